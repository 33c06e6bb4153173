"""Shared by every Python test: one run of the tests split into shards that
run side by side. With LUMENDOR_SHARD="I/N" a run keeps every N-th test
from the I-th (counted from 0) in the order they were collected, so that
each shard takes its share of every file."""
from __future__ import annotations

import os
import signal


def pytest_collection_modifyitems(config, items):
    shard = os.environ.get("LUMENDOR_SHARD")
    if not shard:
        return
    index, count = (int(part) for part in shard.split("/"))
    keep = [item for n, item in enumerate(items) if n % count == index]
    dropped = [item for n, item in enumerate(items) if n % count != index]
    if dropped:
        config.hook.pytest_deselected(items=dropped)
    items[:] = keep


def pytest_configure(config):
    # A shard started in the background by a shell begins with Ctrl+C
    # ignored; its time limit interrupts it, and it should end as on Ctrl+C.
    if os.environ.get("LUMENDOR_SHARD"):
        signal.signal(signal.SIGINT, signal.default_int_handler)
