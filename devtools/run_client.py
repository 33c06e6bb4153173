#!/usr/bin/env python3
"""Runs the built client under Wine against the portal simulator.

The prefix lives in build/windows/run/prefix. Its first use runs the client's
first run (no argument, from the build folder); every use then makes an
ordinary start ("/Lm03000D"), of the installed copy when there is one.

The prefix has the stand-in browser control (devtools/ie_standin) as its
web-browser control, so the portal's pages load and drive the client.

With $DISPLAY set the client runs there until it ends: log in on the login
page by hand (any account and password; the simulator takes them all).
Without one it runs under Xvfb: the script logs one account in through the
login page, saves screenshots of the login window and of the main window
with the game's tab (read from the screen as the system composes it),
closes the client and prints where everything is.
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


class Driver:
    """The UI driver in the run's prefix."""

    def __init__(self, prefix: winenv.WinePrefix, exe: Path):
        self.prefix, self.exe = prefix, exe

    def __call__(self, *args: str) -> subprocess.CompletedProcess:
        return self.prefix.run(self.exe, *args, timeout=60)

    def owned(self, hwnd: str) -> list[str]:
        return [line.split("\t")[0] for line in self("owned", hwnd).stdout.decode().splitlines() if line]

    def holds_browser(self, hwnd: str) -> bool:
        return self("text", hwnd, "102").returncode == 0

    def rect(self, hwnd: str) -> tuple[tuple[int, int, int, int], bool] | None:
        r = self("rect", hwnd)
        if r.returncode:
            return None
        parts = r.stdout.decode().strip().split("\t")
        return tuple(int(v) for v in parts[3].split(",")), parts[4] == "visible"

    def page(self, hwnd: str, *command: str) -> str | None:
        r = self("page", hwnd, *command)
        return r.stdout.decode("utf-8").strip() if r.returncode == 0 else None

    def capture(self, hwnd: str, path: Path) -> Path | None:
        """The window as the screen shows it, composed by the system (the X
        root shows layered windows black), as PNG."""
        where = self.rect(hwnd)
        if not where:
            return None
        x, y, w, h = where[0]
        raw = path.with_suffix(".bmp")
        if self("capture", str(x), str(y), str(w), str(h), self.prefix.windows_path(raw)).returncode:
            return None
        subprocess.run(["convert", str(raw), "-alpha", "off", "-strip", str(path)], check=True, timeout=60)
        raw.unlink()
        return path


def wait_for(what, timeout: float):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = what()
        if value:
            return value
        time.sleep(0.2)
    return None


def log_in_and_shoot(drive: Driver, main: str, run_dir: Path, shots: list[Path]) -> bool:
    """One account logged in through the login page, as a player would."""
    def login_windows():
        for background in drive.owned(main):
            if not drive.holds_browser(background):
                pages = [h for h in drive.owned(background) if drive.holds_browser(h)]
                if pages:
                    return background, pages[0]
        return None
    found = wait_for(login_windows, 30)
    if not found or not wait_for(lambda: drive.page(found[1], "text", "panel") is not None, 30):
        print("the login page did not load")
        return False
    time.sleep(1.0)  # let it paint
    if shot := drive.capture(found[1], run_dir / "screenshot-login.png"):
        shots.append(shot)
    for field, value in (("account", "player1"), ("password", "secret"), ("server", "12")):
        drive.page(found[1], "fill", field, value)
    drive.page(found[1], "click", "login")
    game = wait_for(lambda: [h for h in drive.owned(main) if h not in found and drive.holds_browser(h)
                             and (drive.rect(h) or (None, False))[1]], 30)
    if not game:
        print("no game page opened")
        return False
    time.sleep(1.5)
    if shot := drive.capture(main, run_dir / "screenshot-main.png"):
        shots.append(shot)
    print("logged in as player1; game page", game[0])
    return True


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
    drive = Driver(prefix, driver)
    sim = PortalSimulator.from_build(build, log).start()
    shots: list[Path] = []
    try:
        prefix.start_server()
        prefix.register_standin(build / "lmstandin.dll")
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
        print("main window:", window[0], repr(window[2]))
        logged_in = log_in_and_shoot(drive, window[0], run_dir, shots)
        # With a game page open the first close goes back to the login
        # window; the next one ends the client.
        for _ in range(2):
            drive("post", window[0], str(WM_SYSCOMMAND), str(SC_CLOSE), "0")
            if drive("gone", window[0], "10000").returncode == 0:
                break
        if proc is not None:
            try:
                proc.wait(20)
            except subprocess.TimeoutExpired:
                winenv.stop_process(proc)
        return 0 if logged_in else 1
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
