#!/usr/bin/env python3
"""Wall time from process start to the first window, under one warm
wineserver on one display: the installed client's ordinary start (the
shortcut's "/Lm03000D", against the simulator) up to its login window, the
same copy started with "/web4286D" (no activity counters, no icon refresh),
and a bare dialog program built from a template of the main window's size.

The measuring program (lmbench, built by the windows preset) starts each
program itself inside Wine, as the shell would, and times it with the
performance counter up to the moment the window is visible.

    flock /tmp/lumendor-ports.lock python3 devtools/bench_first_window.py [--runs N] [--json FILE]

The shared pieces of the benchmark (one Wine session, the summaries) live
here too; devtools/benchmarks.py uses them.
"""
from __future__ import annotations

import argparse
import json
import os
import shutil
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import winenv  # noqa: E402
from portal_sim import LOGIN_PAGE_PATH, PortalSimulator  # noqa: E402

WM_CLOSE, WM_SYSCOMMAND, SC_CLOSE = 0x0010, 0x0112, 0xF060
BARE = "bare dialog"
FLOOR = "browser dialog (the floor)"
ORDINARY = "Lumendor /Lm03000D (installed, ordinary start)"
TRACED = "the same, traced build"
ORDINARY_CLOSED = "the same, the portal closing the connection after the icon description"
ICON_STAMP = "2026-12-01"
ICON_DESCRIPTION = '{"iconUrl":"http://127.0.0.1:47301/icons/Lumendor.ico","iconName":"Lumendor","time":"%s"}' % ICON_STAMP


# -- shared pieces -----------------------------------------------------------
def summary(values: list[float]) -> dict:
    """Median and spread of one series."""
    ordered = sorted(values)
    if not ordered:
        return {"runs": 0}
    quartiles = statistics.quantiles(ordered, n=4, method="inclusive") if len(ordered) > 1 else [ordered[0]] * 3
    return {"runs": len(ordered), "median": statistics.median(ordered), "q1": quartiles[0], "q3": quartiles[2],
            "min": ordered[0], "max": ordered[-1], "values": [round(v, 1) for v in values]}


class CpuWatch:
    """How busy the whole machine was while a phase ran: the share of all
    cores' time not idle (this benchmark's own work included), the share
    the hypervisor took (steal), and the load average before and after."""

    @staticmethod
    def _times() -> list[int]:
        with open("/proc/stat") as stat:
            return [int(v) for v in stat.readline().split()[1:]]

    def __enter__(self) -> "CpuWatch":
        self.before = self._times()
        self.load_start = os.getloadavg()[0]
        self.result: dict = {}
        return self

    def __exit__(self, *exc) -> None:
        delta = [b - a for a, b in zip(self.before, self._times())]
        total = sum(delta[:8]) or 1  # user nice system idle iowait irq softirq steal
        self.result = {"busy_pct": round(100 * (total - delta[3] - delta[4]) / total, 1),
                       "steal_pct": round(100 * delta[7] / total, 1),
                       "load_start": round(self.load_start, 2), "load_end": round(os.getloadavg()[0], 2)}


class Session:
    """One display, one prefix with a wineserver kept alive, the simulator."""

    def __init__(self, build: Path, tag: str):
        self.build = build
        self.tag = tag
        self.driver = build / "lmdriver.exe"
        self.lmbench = build / "bench" / "lmbench.exe"
        for exe in (self.driver, self.lmbench, build / "Lumendor.exe"):
            if not exe.exists():
                raise FileNotFoundError(f"{exe} is missing: build the windows preset first")

    def __enter__(self) -> "Session":
        self.display = winenv.Display().start()
        self.path = winenv.temp_prefix_dir(self.tag)
        winenv.clone_prefix(self.path)
        self.prefix = winenv.WinePrefix(self.path, self.display.name)
        self.sim = PortalSimulator.from_build(self.build, self.path.parent / (self.path.name + "-requests.jsonl"))
        self.sim.start()
        # The client drops connections on purpose (the downloader's first
        # request, a client that ends while a slow beacon is answered): no
        # tracebacks for those.
        for server in self.sim._servers:
            server.handle_error = lambda *args: None
        self.prefix.start_server()
        return self

    def __exit__(self, *exc) -> None:
        try:
            self.prefix.shutdown()
        finally:
            self.sim.stop()
            self.display.stop()
            shutil.rmtree(self.path, ignore_errors=True)
            shutil.rmtree(self.prefix.home, ignore_errors=True)
            self.sim.log_path.unlink(missing_ok=True)

    # -- the client --------------------------------------------------------
    @property
    def install_dir(self) -> Path:
        return self.path / "drive_c" / "ProgramData" / "4286" / "GameLogin"

    def install_client(self, description_headers: dict | None = None) -> Path:
        """An installed copy with settings as after earlier starts: the icon
        description the portal serves is the one already applied, so an
        ordinary start fetches it and downloads nothing. The portal keeps
        the connection open after the description unless told otherwise."""
        self.install_dir.mkdir(parents=True, exist_ok=True)
        exe = self.install_dir / "Lumendor.exe"
        shutil.copy2(self.build / "Lumendor.exe", exe)
        text = "[Lm03000]\r\n" + "".join(f"{k}={v}\r\n" for k, v in {
            "InstallTag": "0", "iconName": "Lumendor", "iconTime": ICON_STAMP}.items())
        (self.install_dir / "Statistic.ini").write_bytes(b"\xff\xfe" + text.encode("utf-16-le"))
        self.describe_icon(description_headers)
        return exe

    def describe_icon(self, headers: dict | None = None) -> None:
        self.sim.route("portal", "/webStatic/index.php", ICON_DESCRIPTION, headers=headers)

    def win(self, path: Path) -> str:
        return self.prefix.windows_path(path)

    def drive(self, *args: str, timeout: float = 60):
        return self.prefix.run(self.driver, *args, timeout=timeout)

    def bench(self, *args: str, timeout: float = 120):
        return self.prefix.run(self.lmbench, *args, timeout=timeout)

    def main_window(self, timeout_ms: int = 20000) -> str:
        r = self.drive("find", "#32770", "*", "1001", str(timeout_ms), timeout=timeout_ms / 1000 + 30)
        if r.returncode != 0:
            raise RuntimeError("the client showed no main window")
        return r.stdout.decode().split("\t")[0]

    def exit_client(self, main: str) -> None:
        """SC_CLOSE without the marker: with no page open the client ends."""
        self.drive("post", main, str(WM_SYSCOMMAND), str(SC_CLOSE), "0")
        if self.drive("gone", main, "20000", timeout=40).returncode != 0:
            raise RuntimeError("the client did not end")


# -- start-up to the first window ----------------------------------------------
def first_window(session: Session, runs: int) -> dict:
    exe = session.install_client()
    bare = session.build / "bench" / "bench_bare.exe"
    floor = session.build / "bench" / "bench_browser.exe"
    traced = session.install_dir / "traced" / "Lumendor.exe"
    traced.parent.mkdir(exist_ok=True)
    shutil.copy2(session.build / "traced" / "Lumendor.exe", traced)
    trace = session.path / "startup-trace.txt"
    session.prefix.env["LUMENDOR_STARTUP_TRACE"] = session.win(trace)
    login_page = session.sim.address("portal", LOGIN_PAGE_PATH)
    # (name, program, arguments, window class, title, minimum size, how it
    # ends, the icon description's connection)
    # and the portal's way of ending the icon description's reply.
    keep, close = None, {"Connection": "close"}
    subjects = [
        (BARE, bare, [], "#32770", "Bare", 100, "close", keep),
        (FLOOR, floor, [login_page], "#32770", "Browser", 600, "close", keep),
        (ORDINARY, exe, ["/Lm03000D"], "#32770", "Lumendor", 600, "client", keep),
        (ORDINARY_CLOSED, exe, ["/Lm03000D"], "#32770", "Lumendor", 600, "client", close),
        ("Lumendor /web4286D (installed)", exe, ["/web4286D"], "#32770", "Lumendor", 600, "client", keep),
        (TRACED, traced, ["/Lm03000D"], "#32770", "Lumendor", 600, "client", keep),
    ]

    # When the simulator saw the client's requests, from the process start.
    milestones: dict[str, dict[str, list[float]]] = {
        name: {"event 100 requested": [], "login page requested": []} for name, *_ in subjects[2:]}
    milestones[FLOOR] = {"login page requested": []}
    # The traced build's steps: the milliseconds each took, by run.
    steps: dict[str, list[float]] = {}

    def once(name, program, args, cls, title, size, ending, headers, record=False) -> float:
        session.describe_icon(headers)
        r = session.bench("first", cls, title, str(size), str(size), "30000", session.win(program), *args)
        trace.unlink(missing_ok=True)
        fields = r.stdout.decode().strip().split("\t")
        if r.returncode != 0 or len(fields) < 5:
            raise RuntimeError(f"{program.name} {' '.join(args)} showed no window")
        started = float(fields[3]) / 1000
        if ending == "close":
            session.drive("post", fields[1], str(WM_CLOSE), "0", "0")
            session.drive("gone", fields[1], "20000", timeout=40)
        else:
            session.exit_client(session.main_window())
        if not record or name not in milestones:
            return float(fields[0])
        seen = [q for q in session.sim.requests() if q["time"] >= started]
        page = next((q for q in seen if q["path"] == LOGIN_PAGE_PATH), None)
        if page is None:
            raise RuntimeError(f"{program.name} {' '.join(args)} never asked for the login page")
        milestones[name]["login page requested"].append((page["time"] - started) * 1000)
        if "event 100 requested" in milestones[name]:
            event = next(q for q in seen if q["path"] == "/_regevent.gif" and q["query"].startswith("event=100&"))
            milestones[name]["event 100 requested"].append((event["time"] - started) * 1000)
        if name == TRACED:
            for step, took in step_times(trace, float(fields[4]), float(fields[0])):
                steps.setdefault(step, []).append(took)
        return float(fields[0])

    results: dict[str, list[float]] = {name: [] for name, *_ in subjects}
    for subject in subjects:  # warm-up: caches, fonts, services
        once(*subject)
    for round_ in range(runs):
        for subject in subjects:
            results[subject[0]].append(once(*subject, record=True))
        print(f"round {round_ + 1}/{runs}: " + ", ".join(f"{v[-1]:.0f}" for v in results.values()) + " ms",
              file=sys.stderr)
    bare_times = results[BARE]
    # Each round runs every program once, one after another: the round's
    # difference to the bare dialog leaves out what the machine's other work
    # did to that round as a whole.
    paired = {name: summary([v - b for v, b in zip(values, bare_times)])
              for name, values in results.items() if name != BARE}
    over_floor = {name: summary([v - f for v, f in zip(values, results[FLOOR])])
                  for name, values in results.items() if name not in (BARE, FLOOR)}
    return {"runs": runs, "subjects": {name: summary(values) for name, values in results.items()},
            "over_bare": paired, "over_floor": over_floor,
            "milestones": {name: {k: summary(v) for k, v in m.items()} for name, m in milestones.items()},
            "steps": {step: summary(v) for step, v in steps.items()}}


def step_times(trace: Path, started: float, visible: float) -> list[tuple[str, float]]:
    """The traced build's record as (step, milliseconds it took): each mark
    ends a step that began at the mark before it (the first at the process
    start); the last step runs to the moment the window was seen visible."""
    marks = [line.split("\t") for line in trace.read_text().splitlines() if "\t" in line]
    out, before = [], started
    for step, moment in marks:
        out.append((step, float(moment) - before))
        before = float(moment)
    out.append(("until the window is seen visible", started + visible - before))
    return out


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=str(winenv.REPO / "build" / "windows"))
    ap.add_argument("--runs", type=int, default=9)
    ap.add_argument("--json", help="write the results here as JSON")
    opts = ap.parse_args()
    started = time.time()
    with Session(Path(opts.build), "bench-start") as session, CpuWatch() as cpu:
        result = first_window(session, opts.runs)
    result["cpu"] = cpu.result
    result["seconds"] = round(time.time() - started, 1)
    if opts.json:
        Path(opts.json).write_text(json.dumps(result, indent=1))
    print("| program | runs | median ms | q1–q3 ms | min–max ms |")
    print("|---|---|---|---|---|")
    for name, s in result["subjects"].items():
        print(f"| {name} | {s['runs']} | {s['median']:.0f} | {s['q1']:.0f}–{s['q3']:.0f} | {s['min']:.0f}–{s['max']:.0f} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
