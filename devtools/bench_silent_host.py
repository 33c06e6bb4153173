#!/usr/bin/env python3
"""How long the system internet library under Wine waits for a host that
accepts a request and never answers, and which default time-outs it
reports. Every beacon goes through that library, and start-up, the exit
and the closing of all pages wait for some of them.

    python3 devtools/bench_silent_host.py [--limit SECONDS]

The silent host listens on a free loopback port of its own: no port lock.
"""
from __future__ import annotations

import argparse
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import winenv  # noqa: E402

HERE = Path(__file__).resolve().parent
BINARY = HERE.parent / "build" / "bench" / "wininet_silent_host.exe"


def build() -> Path:
    source = HERE / "bench" / "wininet_silent_host.c"
    if not BINARY.exists() or BINARY.stat().st_mtime < source.stat().st_mtime:
        BINARY.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["i686-w64-mingw32-gcc", "-O1", "-o", str(BINARY), str(source), "-lwininet"], check=True)
    return BINARY


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--limit", type=float, default=120.0, help="seconds to watch the request")
    args = ap.parse_args()
    exe = build()
    silent = socket.socket()
    silent.bind(("127.0.0.1", 0))
    silent.listen(8)
    held = []  # accepted and never answered
    threading.Thread(target=lambda: [held.append(silent.accept()) for _ in range(8)], daemon=True).start()

    path = winenv.temp_prefix_dir("silent")
    winenv.clone_prefix(path, winenv.ensure_template())
    prefix = winenv.WinePrefix(path, None)
    prefix.start_server()
    try:
        with tempfile.TemporaryFile() as out:
            started = time.monotonic()
            proc = subprocess.Popen(["wine", str(exe), str(silent.getsockname()[1])], env=prefix.env,
                                    stdout=out, stderr=subprocess.DEVNULL)
            try:
                proc.wait(args.limit)
            except subprocess.TimeoutExpired:
                print(f"the request still waits after {time.monotonic() - started:.0f} s")
                winenv.stop_process(proc)
            out.seek(0)
            sys.stdout.write(out.read().decode(errors="replace"))
    finally:
        prefix.shutdown()
        shutil.rmtree(path, ignore_errors=True)
        shutil.rmtree(prefix.home, ignore_errors=True)
        silent.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
