#!/usr/bin/env python3
"""Runs the built client under Wine against the portal simulator.

The prefix lives in build/windows/run/prefix. Its first use runs the client's
first run (no argument, from the build folder); every use then makes an
ordinary start ("/Lm03000D"), of the installed copy when there is one.

With $DISPLAY set the client runs there until it ends. Without one it runs
under Xvfb: the script waits for the client's first window, saves a
screenshot, closes the client and prints where everything is.
"""
from __future__ import annotations

import argparse
import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import winenv  # noqa: E402
from portal_sim import PortalSimulator  # noqa: E402

WM_SYSCOMMAND, SC_CLOSE = 0x0112, 0xF060


def display_usable(name: str | None) -> bool:
    if not name:
        return False
    return subprocess.run(["xprop", "-root", "-display", name], capture_output=True).returncode == 0


def main() -> int:
    repo = winenv.REPO
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=str(repo / "build" / "windows"))
    ap.add_argument("--args", nargs="*", help="start the client with these arguments instead")
    ap.add_argument("--fresh", action="store_true", help="start again from a new prefix (first run)")
    ap.add_argument("--xvfb", action="store_true", help="use Xvfb even when $DISPLAY is set")
    ap.add_argument("--timeout", type=float, default=60, help="seconds to wait for a window under Xvfb")
    opts = ap.parse_args()

    build = Path(opts.build)
    exe, driver = build / "Lumendor.exe", build / "lmdriver.exe"
    run_dir = build / "run"
    prefix_dir = run_dir / "prefix"
    log = run_dir / "requests.jsonl"
    run_dir.mkdir(parents=True, exist_ok=True)

    fresh = opts.fresh or not (prefix_dir / "system.reg").exists()
    if fresh:
        winenv.clone_prefix(prefix_dir)

    headless = opts.xvfb or not display_usable(os.environ.get("DISPLAY"))
    display = winenv.Display().start() if headless else None
    prefix = winenv.WinePrefix(prefix_dir, display.name if display else os.environ["DISPLAY"])
    sim = PortalSimulator.from_build(build, log).start()
    shots: list[Path] = []
    try:
        prefix.start_server()
        installed = prefix_dir / "drive_c" / "ProgramData" / "4286" / "GameLogin" / "Lumendor.exe"
        proc = None
        if fresh and opts.args is None:
            # The first run installs the client and starts the installed copy.
            print("first run in", prefix_dir)
            prefix.spawn(exe).wait(120)
        else:
            args = opts.args if opts.args is not None else ["/Lm03000D"]
            target = installed if installed.exists() else exe
            print("starting", target.name, " ".join(args))
            proc = prefix.spawn(target, *args)

        deadline = time.monotonic() + (opts.timeout if headless else 24 * 3600)
        window = None
        while time.monotonic() < deadline and (proc is None or proc.poll() is None):
            r = prefix.run(driver, "find", "#32770", "*", "1001", "2000", timeout=30)
            if r.returncode == 0:
                window = r.stdout.decode().split("\t")
                break
        if window is None:
            print("the client showed no main window; it ended with", proc.poll() if proc else "?")
            return 1
        if not headless:
            # Until the player ends the client.
            while prefix.run(driver, "gone", window[0], "60000", timeout=90).returncode != 0:
                pass
            return 0
        time.sleep(1.5)  # let it paint
        n = len(list(run_dir.glob("screenshot-*.png"))) + 1
        shots.append(display.screenshot(run_dir / f"screenshot-{n}.png"))
        print("main window:", window[0], repr(window[2]), "(the login window shows over it)")
        prefix.run(driver, "post", window[0], str(WM_SYSCOMMAND), str(SC_CLOSE), "0")
        prefix.run(driver, "gone", window[0], "20000", timeout=40)
        if proc is not None:
            try:
                proc.wait(20)
            except subprocess.TimeoutExpired:
                winenv.stop_process(proc)
        return 0
    finally:
        prefix.shutdown()
        sim.stop()
        if display:
            display.stop()
        for shot in shots:
            print("screenshot:", shot)
        print("request log:", log, f"({len(sim.requests())} requests)")


if __name__ == "__main__":
    sys.exit(main())
