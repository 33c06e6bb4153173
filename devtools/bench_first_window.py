#!/usr/bin/env python3
"""Wall time from process start to the first visible window: the client
("/web4286D", against the simulator) beside a bare dialog program, under the
same warm wineserver and display. Prints a small table for the README.

    python3 devtools/bench_first_window.py [--runs N]
"""
from __future__ import annotations

import argparse
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import winenv  # noqa: E402
from portal_sim import PortalSimulator  # noqa: E402

WM_CLOSE = 0x0010


def first_window_ms(prefix, driver, exe, args, title) -> float:
    """Starts the driver's wait first, then the program; the driver notes the
    moment the window became visible."""
    with tempfile.TemporaryFile() as out:
        waiter = subprocess.Popen(["wine", str(driver), "wait", "#32770", title, "30000"], env=prefix.env,
                                  stdout=out, stderr=subprocess.DEVNULL)
        time.sleep(0.5)  # the driver is polling by now
        start = time.time()
        proc = prefix.spawn(exe, *args)
        waiter.wait(60)
        out.seek(0)
        fields = out.read().decode().strip().split("\t")
    if len(fields) < 7:
        raise RuntimeError(f"{exe.name} showed no window")
    prefix.run(driver, "post", fields[0], str(WM_CLOSE), "0", "0")
    proc.wait(30)
    return int(fields[-1]) - start * 1000


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=str(winenv.REPO / "build" / "windows"))
    ap.add_argument("--runs", type=int, default=7)
    opts = ap.parse_args()
    build = Path(opts.build)
    driver = build / "lmdriver.exe"
    display = winenv.Display().start()
    path = winenv.temp_prefix_dir("bench")
    winenv.clone_prefix(path)
    prefix = winenv.WinePrefix(path, display.name)
    sim = PortalSimulator.from_build(build, path.parent / (path.name + "-requests.jsonl")).start()
    results: dict[str, list[float]] = {"bare dialog": [], "Lumendor /web4286D": []}
    try:
        prefix.start_server()
        subjects = [("bare dialog", build / "bench" / "bench_bare.exe", [], "Bare"),
                    ("Lumendor /web4286D", build / "Lumendor.exe", ["/web4286D"], "Lumendor")]
        for _, exe, args, title in subjects:  # warm-up: caches, fonts, services
            first_window_ms(prefix, driver, exe, args, title)
        for _ in range(opts.runs):
            for name, exe, args, title in subjects:
                results[name].append(first_window_ms(prefix, driver, exe, args, title))
    finally:
        prefix.shutdown()
        sim.stop()
        display.stop()
        shutil.rmtree(path, ignore_errors=True)
        shutil.rmtree(prefix.home, ignore_errors=True)
    print(f"| program | runs | median ms | min ms | max ms |")
    print(f"|---|---|---|---|---|")
    for name, values in results.items():
        print(f"| {name} | {len(values)} | {statistics.median(values):.0f} | {min(values):.0f} | {max(values):.0f} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
