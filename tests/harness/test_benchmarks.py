"""The benchmark's report: its summaries, and that a main window which waits
for slow beacon hosts is reported as a fault, never as a figure."""
from __future__ import annotations

import json
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "devtools"))

from bench_first_window import FLOOR, ORDINARY, ORDINARY_CLOSED, summary  # noqa: E402
from benchmarks import render  # noqa: E402

CPU = {"busy_pct": 40.0, "steal_pct": 0.5, "load_start": 1.0, "load_end": 1.1}


def write_results(folder: Path, fast: dict, slow: dict, forced=(), icon_ms=130) -> None:
    machine = {"date": "2026-12-08 08:00 UTC", "cpu": "x", "cores": 2, "memory_gb": 8, "os": "Debian", "kernel": "6",
               "wine": "wine-8.0", "gcc": "gcc 12", "curl": "curl 7", "python": "3.11", "commit": "abc",
               "build_type": "Release"}
    (folder / "facts.json").write_text(json.dumps({"machine": machine, "sizes": {
        "Lumendor.exe": {"built": 4000, "stripped": 2000}, "bare dialog": {"built": 100, "stripped": 16}}}))
    subjects = {"bare dialog": summary([100, 110]), FLOOR: summary([200, 210]), ORDINARY: summary([500, 520]),
                ORDINARY_CLOSED: summary([400, 420])}
    steps = {"until the application starts": summary([150]), "network check": summary([2]),
             "icon description": summary([icon_ms]), "event 100 and its wait": summary([3]),
             "main window's skin images": summary([90])}
    marks = {name: {"event 100 requested": summary([300]), "login page requested": summary([450])}
             for name in (ORDINARY, ORDINARY_CLOSED)}
    (folder / "first_window.json").write_text(json.dumps({
        "runs": 2, "subjects": subjects, "cpu": CPU, "seconds": 50, "milestones": marks, "steps": steps,
        "over_bare": {ORDINARY: summary([400, 410]), ORDINARY_CLOSED: summary([300, 310])},
        "over_floor": {ORDINARY: summary([300, 310])}}))
    disk = {"flushed": summary([10]), "unflushed": summary([1])}
    files = {"icon": {"bytes": 15000, "runs": 1, "requests": 2, "disk": disk,
                      "series": {"CSockDownFile (lmbench under Wine)": summary([50]), "curl": summary([2])}}}
    (folder / "download.json").write_text(json.dumps({"files": files, "cpu": CPU, "seconds": 20}))
    conditions = {}
    for name, values in (("fast beacon hosts", fast), ("hosts 4 s slow", slow)):
        conditions[name] = {k: summary([v]) for k, v in values.items()}
    (folder / "handover.json").write_text(json.dumps({"runs": 1, "delay_s": 4.0, "forced_ends": list(forced),
                                                      "conditions": conditions, "cpu": CPU, "seconds": 30}))


FAST = {"reply": 18, "page": 12, "sized": 19, "answers": 50, "login_beacon": 6, "event_305": 8}


@pytest.mark.parametrize("slow, fault", [
    (FAST, False),
    ({**FAST, "reply": 4020, "page": 4015, "sized": 4021, "answers": 4060}, True),  # the send waits
    ({**FAST, "sized": 4019, "answers": 4052}, True),       # the page's arrival waits
    ({**FAST, "reply": 1800, "answers": 1830}, False),      # slower, yet not by the hosts' delay
])
def test_a_waiting_main_window_is_reported_as_a_fault(tmp_path, slow, fault):
    write_results(tmp_path, FAST, slow)
    text = render(tmp_path, "bash devtools/bench.sh", 150)
    assert ("**Fault: the user-interface thread waits for the beacons.**" in text) == fault
    assert ("does not wait for the beacons" in text) == (not fault)


@pytest.mark.parametrize("icon_ms, verdict", [(130, "**not met**"), (240, "**met**")])
def test_report_states_the_command_the_paired_figures_the_steps_and_forced_ends(tmp_path, icon_ms, verdict):
    write_results(tmp_path, FAST, FAST, forced=["round 2, hosts 4 s slow"], icon_ms=icon_ms)
    text = render(tmp_path, "bash devtools/bench.sh", 150)
    assert "Made by `bash devtools/bench.sh` on 2026-12-08 08:00 UTC in 2.5 minutes." in text
    assert f"| {ORDINARY} | 2 | 510 | 505–515 | 500–520 | 405 (402–408) | 305 (302–308) |" in text
    assert f"| {FLOOR} | 2 | 205 | 202–208 | 200–210 | — | — |" in text
    assert "| icon description (network) |" in text and "| main window's skin images | 90 |" in text
    # The ordinary start (510) against 1.3 x the floor (205) plus the three network steps.
    bound = 1.3 * 205 + 2 + icon_ms + 3
    assert f"= {bound:.0f} ms. The ordinary start took 510 ms: {verdict}." in text
    assert ("off the network: until the application starts (150 ms), main window's skin images (90 ms)." in text) \
        == (verdict == "**not met**")
    assert "was ended by force" in text and "round 2, hosts 4 s slow" in text


def test_summary_of_an_even_and_an_odd_series():
    even = summary([4, 1, 3, 2])
    assert (even["median"], even["min"], even["max"], even["q1"], even["q3"]) == (2.5, 1, 4, 1.75, 3.25)
    odd = summary([7])
    assert (odd["median"], odd["q1"], odd["q3"]) == (7, 7, 7)
