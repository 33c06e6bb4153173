#!/usr/bin/env python3
"""The client's benchmark, one phase per call; devtools/bench.sh runs them
all and writes BENCHMARKS.md.

  facts    --json F          the machine, the tools, the executables' sizes
  download --json F          the socket downloader beside curl, same server
  handover --json F          the main window's answer to a page hand-over
                             with fast and with slow beacon hosts
  report   --results DIR     BENCHMARKS.md from the phases' JSON files

The phases that run the simulator must run under the port lock (bench.sh
takes it around each of them); facts and report need no ports.
"""
from __future__ import annotations

import argparse
import json
import os
import platform
import random
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import winenv  # noqa: E402
from bench_first_window import FLOOR, ORDINARY, ORDINARY_CLOSED, CpuWatch, Session, summary  # noqa: E402
from portal_sim import parse_host_text  # noqa: E402

REPO = winenv.REPO
WM_SYSCOMMAND, SC_CLOSE = 0x0112, 0xF060


def run_text(cmd: list[str]) -> str:
    try:
        return subprocess.run(cmd, capture_output=True, text=True, timeout=60).stdout.strip()
    except (OSError, subprocess.SubprocessError):
        return ""


# -- facts -----------------------------------------------------------------------
def machine_facts(build: Path) -> dict:
    cpu = ""
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    os_name = ""
    for line in Path("/etc/os-release").read_text().splitlines():
        if line.startswith("PRETTY_NAME="):
            os_name = line.split("=", 1)[1].strip('"')
    gxx = run_text(["i686-w64-mingw32-g++-posix", "--version"]).splitlines()
    commit = run_text(["git", "-C", str(REPO), "rev-parse", "--short", "HEAD"])
    dirty = run_text(["git", "-C", str(REPO), "status", "--porcelain", "--untracked-files=no"])
    return {
        "date": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()),
        "cpu": cpu,
        "cores": os.cpu_count(),
        "memory_gb": round(os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30, 1),
        "os": os_name,
        "kernel": platform.release(),
        "wine": run_text(["wine", "--version"]),
        "gcc": gxx[0] if gxx else "",
        "curl": run_text(["curl", "--version"]).split("\n")[0].split(" (")[0],
        "python": platform.python_version(),
        "commit": commit + (" (with uncommitted changes)" if dirty else ""),
        "build_type": cache_value(build, "CMAKE_BUILD_TYPE"),
    }


def cache_value(build: Path, name: str) -> str:
    cache = build / "CMakeCache.txt"
    if cache.exists():
        for line in cache.read_text().splitlines():
            if line.startswith(name + ":"):
                return line.split("=", 1)[1]
    return ""


def sizes(build: Path) -> dict:
    out = {}
    for name, exe in (("Lumendor.exe", build / "Lumendor.exe"), ("bare dialog", build / "bench" / "bench_bare.exe")):
        with tempfile.TemporaryDirectory() as tmp:
            stripped = Path(tmp) / exe.name
            subprocess.run(["i686-w64-mingw32-strip", "-o", str(stripped), str(exe)], check=True)
            out[name] = {"built": exe.stat().st_size, "stripped": stripped.stat().st_size}
    return out


# -- downloads ---------------------------------------------------------------------
def downloads(session: Session, runs: int, large_mb: int, large_runs: int) -> dict:
    icon = (REPO / "res" / "icons" / "Lumendor.ico").read_bytes()
    large = random.Random(4286).randbytes(large_mb * 2**20)
    host = parse_host_text(session.sim.hosts["portal"])
    folder = session.path / "drive_c" / "bench"
    folder.mkdir(parents=True, exist_ok=True)
    result = {}
    for name, path, data, count in (("icon", "/bench/Lumendor.ico", icon, runs),
                                    ("large", "/bench/large.bin", large, large_runs)):
        # An entity tag, as the portal's static files have one: the
        # resumable path of the downloader.
        session.sim.file("portal", path, data, etag=f'"{name}-1"')
        url = f"http://{host}{path}"
        ours, theirs = folder / f"{name}-lmbench", folder / f"{name}-curl"
        series: dict[str, list[float]] = {"CSockDownFile (lmbench under Wine)": [], "curl": []}
        disk: dict[str, list[float]] = {"flushed": [], "unflushed": []}
        for round_ in range(-1 if name == "icon" else 0, count):  # round -1 warms both up
            r = session.bench("download", url, session.win(ours), "1", timeout=600)
            fields = r.stdout.decode().strip().split("\t")
            if r.returncode != 0 or fields[0] != "ok" or ours.read_bytes() != data:
                raise RuntimeError(f"the socket downloader failed on {name}: {r.stdout!r}")
            ours.unlink()
            theirs.unlink(missing_ok=True)
            c = subprocess.run(["curl", "-s", "-o", str(theirs), "-w", "%{time_total}", url],
                               capture_output=True, text=True, timeout=600)
            if c.returncode != 0 or theirs.read_bytes() != data:
                raise RuntimeError(f"curl failed on {name}: {c.stderr}")
            w = session.bench("writes", session.win(folder / f"{name}-pieces"), str(len(data)), timeout=600)
            pieces = w.stdout.decode().strip().split("\t")
            if w.returncode != 0 or len(pieces) < 2:
                raise RuntimeError(f"the disk measurement failed on {name}: {w.stdout!r}")
            print(f"{name} {round_ + 1}/{count}: socket client {fields[1]} ms, curl {float(c.stdout) * 1000:.1f} ms, "
                  f"1 KB pieces flushed {pieces[0]} ms" + (" (warm-up)" if round_ < 0 else ""), file=sys.stderr)
            if round_ >= 0:
                series["CSockDownFile (lmbench under Wine)"].append(float(fields[1]))
                series["curl"].append(float(c.stdout) * 1000)
                disk["flushed"].append(float(pieces[0]))
                disk["unflushed"].append(float(pieces[1]))
        requests = [r for r in session.sim.requests() if r["path"] == path]
        result[name] = {"bytes": len(data), "runs": count,
                        "series": {k: summary(v) for k, v in series.items()},
                        "disk": {k: summary(v) for k, v in disk.items()},
                        "requests": len(requests)}
    return result


# -- hand-over ---------------------------------------------------------------------
def handover(session: Session, runs: int, delay: float) -> dict:
    exe = session.install_client()
    conditions = (("fast beacon hosts", {}), (f"statistics and event hosts {delay:g} s slow",
                                              {"stats": delay, "event": delay}))
    series: dict[str, dict[str, list[float]]] = {
        name: {"reply": [], "page": [], "sized": [], "answers": [], "login_beacon": [], "event_305": []}
        for name, _ in conditions}
    forced: list[str] = []
    for round_ in range(runs + 1):  # the first round warms up
        for name, delays in conditions:
            session.sim.delay.clear()
            session.prefix.spawn(exe, "/Lm03000D")
            main = session.main_window()
            time.sleep(0.3)  # the start-up's own beacons are done
            session.sim.delay.update(delays)
            account = f"bench{round_}{'s' if delays else 'f'}"
            record = f"12服-abcd-{account}||Pauth=tok||ptusertype=2||logingame=lmdr"
            mark = time.time()
            r = session.bench("handover", main, record, str(int(delay * 1000 + 20000)), timeout=delay + 60)
            fields = r.stdout.decode().strip().split("\t")
            if r.returncode != 0 or len(fields) < 6 or fields[0] != "1":
                raise RuntimeError(f"the hand-over failed ({name}): {r.stdout!r}")
            sent = float(fields[5]) / 1000
            login = wait_request(session, lambda q: q["path"] == "/login.htm" and f"uid={account}&" in q["query"], mark)
            event = wait_request(session, lambda q: q["path"] == "/_regevent.gif" and q["query"].startswith("event=305&"),
                                 mark)
            session.sim.delay.clear()
            # Back to the login window (the records of the page go out on
            # this thread, now fast), then the end of the client.
            closing = time.time()
            session.drive("post", main, str(WM_SYSCOMMAND), str(SC_CLOSE), "0")
            try:
                session.exit_client(main)
            except RuntimeError:
                # The figures of this round are in; the client is ended by
                # force and the report counts it.
                log = [(q["host"], q["path"], q["query"][:12], round(q["time"] - closing, 2))
                       for q in session.sim.requests() if q["time"] >= mark]
                print(f"the client did not end; requests since the hand-over: {log}", file=sys.stderr)
                print(session.drive("list").stdout.decode(errors="replace"), file=sys.stderr)
                session.prefix.shutdown()
                session.prefix.start_server()
                forced.append(f"round {round_}, {name}")
            print(f"hand-over {round_}/{runs} ({name}): reply {fields[1]} ms, page {fields[2]} ms, "
                  f"answers {fields[4]} ms" + (" (warm-up)" if not round_ else ""), file=sys.stderr)
            if round_:
                s = series[name]
                for key, value in zip(("reply", "page", "sized", "answers"), fields[1:5]):
                    s[key].append(float(value))
                s["login_beacon"].append((login - sent) * 1000)
                s["event_305"].append((event - sent) * 1000)
    return {"runs": runs, "delay_s": delay, "forced_ends": forced,
            "conditions": {name: {k: summary(v) for k, v in s.items()} for name, s in series.items()}}


def wait_request(session: Session, match, since: float, timeout: float = 10) -> float:
    """The moment the simulator received the first matching request after `since`."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        for r in session.sim.requests():
            if r["time"] >= since and match(r):
                return r["time"]
        time.sleep(0.05)
    raise RuntimeError("a beacon of the hand-over never arrived")


# -- report ------------------------------------------------------------------------
def ms(value: float) -> str:
    return f"{value:.0f}" if value >= 10 else f"{value:.1f}"


def spread(s: dict) -> str:
    return f"{ms(s['q1'])}–{ms(s['q3'])}"


def phase_line(phase: dict) -> str:
    cpu = phase["cpu"]
    return (f"This phase: {phase['seconds']:.0f} s; the machine was {cpu['busy_pct']:.0f} % busy over all cores "
            f"(this benchmark included; steal {cpu['steal_pct']:.1f} %), load average {cpu['load_start']:.1f} "
            f"before and {cpu['load_end']:.1f} after.")


def row(s: dict) -> str:
    return f"{ms(s['median'])} | {spread(s)} | {ms(s['min'])}–{ms(s['max'])}"


# The steps of the traced build that wait on the network as the start-up
# orders: the connectivity check, the icon description (its reply ends after
# 128 ms of silence while the portal keeps the connection open) and event
# "100", whose answer start-up waits for.
NETWORK_STEPS = ("network check", "icon description", "event 100 and its wait")


def startup_steps(first: dict) -> list[str]:
    """The traced build's steps and the goal against the floor."""
    steps = first.get("steps")
    floor = first["subjects"].get(FLOOR)
    ordinary = first["subjects"].get(ORDINARY)
    if not steps or not floor or not ordinary:
        return []
    out = ["The traced build's steps, each from the end of the step before it (the first from the process",
           "start, the last to the moment the window was seen): medians over its runs, and the middle half.", "",
           "| step | median | q1–q3 |", "|---|---|---|"]
    for step, s in steps.items():
        mark = " (network)" if step in NETWORK_STEPS else ""
        out.append(f"| {step}{mark} | {ms(s['median'])} | {spread(s)} |")
    waits = sum(steps[k]["median"] for k in NETWORK_STEPS if k in steps)
    bound = 1.3 * floor["median"] + waits
    met = ordinary["median"] <= bound
    out += ["", "The last step is negative when the window was seen before the step that shows it had ended.",
            "", f"The goal: the ordinary start within 1.3 × the floor plus the network steps, "
                f"1.3 × {ms(floor['median'])} + {ms(waits)} = {ms(bound)} ms. "
                f"The ordinary start took {ms(ordinary['median'])} ms: "
                + ("**met**." if met else "**not met**.")]
    if not met:
        held = sorted(((s["median"], step) for step, s in steps.items() if step not in NETWORK_STEPS), reverse=True)
        out.append("What holds it there, the largest steps off the network: "
                   + ", ".join(f"{step} ({ms(value)} ms)" for value, step in held[:4]) + ".")
    out.append("")
    return out


def render(results: Path, command: str, seconds: float | None) -> str:
    facts = json.loads((results / "facts.json").read_text())
    first = json.loads((results / "first_window.json").read_text())
    down_phase = json.loads((results / "download.json").read_text())
    down = down_phase["files"]
    hand = json.loads((results / "handover.json").read_text())
    m = facts["machine"]
    out = ["# Benchmarks", "",
           f"Made by `{command}` on {m['date']}" + (f" in {seconds / 60:.1f} minutes" if seconds else "") + ".",
           "Every figure below comes from that one run; run the command again to replace this file.",
           "Times are wall-clock milliseconds: the median of the runs, the middle half of them (q1–q3) and",
           f"the extremes. The machine's {m['cores']} cores may be shared with other builds and tests, which shows in the",
           "extremes; each phase states how busy the machine was while it ran.", "",
           "## Machine", "",
           "| | |", "|---|---|",
           f"| CPU | {m['cpu']} |",
           f"| cores | {m['cores']} |",
           f"| memory | {m['memory_gb']} GB |",
           f"| system | {m['os']}, Linux {m['kernel']} |",
           f"| Wine | {m['wine']}; one prefix and one warm wineserver per phase, Xvfb with openbox |",
           f"| compiler | {m['gcc']}, build type {m['build_type']} |",
           f"| other tools | {m['curl']}, Python {m['python']} |",
           f"| source | commit {m['commit']} |", ""]

    out += ["## Start-up to the first window", "",
            "From process creation inside Wine (as the shell starts a program) to the moment its window is",
            "visible, timed by the measuring program `lmbench` (`devtools/bench/lmbench.cpp`, polling every 5 ms).",
            "The client is the installed copy in the install folder doing an ordinary start from the desktop",
            "shortcut against the simulator: activity counters and their beacon, the icon description fetched",
            "over the socket client (already applied, so nothing is downloaded), event \"100\" and its wait, then",
            "the main window, whose initialisation shows the login window (the figure ends when that one is",
            "visible). \"/web4286D\" skips the counters and the icon refresh. Two yardsticks: a bare dialog",
            "program from a template of the main window's size (`devtools/bench/bare_dialog.cpp`), and the true",
            "floor, a dialog of the login window's size that creates the browser control, activates it in place",
            "and navigates it to the login page before it is shown (`devtools/bench/browser_dialog.cpp`). The",
            "traced build is the client with the end of each start-up step noted (`app/startup_trace.h`). Each",
            "round starts every program once; \"over\" a yardstick is the median of the rounds' differences.", "",
            "| program | runs | median | q1–q3 | min–max | over the bare dialog | over the floor |",
            "|---|---|---|---|---|---|---|"]
    subjects = first["subjects"]
    for name, s in subjects.items():
        cells = []
        for over in (first["over_bare"].get(name), first.get("over_floor", {}).get(name)):
            cells.append(f"{ms(over['median'])} ({spread(over)})" if over else "—")
        out.append(f"| {name} | {s['runs']} | {row(s)} | {cells[0]} | {cells[1]} |")
    out += ["", "Where the client's time goes: when the simulator received event \"100\" (sent after the network",
            "check, the counters and the icon description; start-up waits for its answer) and the login page (the",
            "login window's browser navigates during the main window's initialisation), from the process start.", "",
            "| program | event 100 requested | login page requested | login window visible |", "|---|---|---|---|"]
    for name, m in first.get("milestones", {}).items():
        cells = [f"{ms(m[k]['median'])} ({spread(m[k])})" if k in m else "—"
                 for k in ("event 100 requested", "login page requested")]
        out.append(f"| {name} | " + " | ".join(cells) + f" | {ms(subjects[name]['median'])} ({spread(subjects[name])}) |")
    kept, closed = first["over_bare"].get(ORDINARY), first["over_bare"].get(ORDINARY_CLOSED)
    out.append("")
    marks = first.get("milestones", {})
    if kept and closed and ORDINARY in marks and ORDINARY_CLOSED in marks:
        event_late = (marks[ORDINARY]["event 100 requested"]["median"]
                      - marks[ORDINARY_CLOSED]["event 100 requested"]["median"])
        out += ["The socket client ends the icon description's reply when the portal closes the connection, or",
                "after 128 ms of silence when the portal keeps it open (as the simulator does by default). With",
                f"the connection kept open event \"100\" goes out {ms(event_late)} ms later and the login window "
                + (f"shows {ms(window_late)} ms later" if (window_late := kept['median'] - closed['median']) >= 0
                   else f"shows {ms(-window_late)} ms earlier"),
                "(medians; the window's figure over the bare dialog): the part of the start-up after event \"100\"",
                "is not of a fixed length and the rounds' spread is larger than the wait.", ""]
    out += startup_steps(first)
    out += [phase_line(first), ""]

    out += ["## Executable size", "", "| program | as built | stripped |", "|---|---|---|"]
    for name, s in facts["sizes"].items():
        out.append(f"| {name} | {s['built']:,} bytes ({s['built'] / 1024:.0f} KB) | "
                   f"{s['stripped']:,} bytes ({s['stripped'] / 1024:.0f} KB) |")
    out += ["", "Both are static 32-bit programs (MinGW-w64, posix threads, static libgcc and libstdc++);",
            "\"stripped\" is `i686-w64-mingw32-strip` of the same file.", ""]

    out += ["## Downloads: the socket client beside curl", "",
            "The same simulator serves the same file (with Content-Length and an entity tag) on loopback.",
            "`lmbench download` runs the client's `CSockDownFile::Download` once per process under Wine and",
            "times the call; curl's figure is its own `time_total`. Both write into the same folder and both",
            "results are compared byte for byte with the served file. The socket client asks twice per",
            "download (once for the length and the entity tag, once for the data), reads the header byte by",
            "byte and writes the body in 1 KB pieces, each flushed to disk at once so that an interruption loses",
            "at most one piece.", "",
            "| file | bytes | client | runs | median | q1–q3 | min–max | throughput (median) |",
            "|---|---|---|---|---|---|---|---|"]
    ours_name = "CSockDownFile (lmbench under Wine)"
    for name, d in down.items():
        label = "icon (Lumendor.ico)" if name == "icon" else f"large ({d['bytes'] // 2**20} MB)"
        for client, s in d["series"].items():
            rate = d["bytes"] / (s["median"] / 1000) / 2**20 if s["median"] > 0 else 0
            out.append(f"| {label} | {d['bytes']:,} | {client} | {s['runs']} | {row(s)} | {rate:.1f} MB/s |")
    out.append("")
    for name, d in down.items():
        ours, theirs = d["series"][ours_name]["median"], d["series"]["curl"]["median"]
        out.append(f"- {name}: the socket client takes {ours / theirs:.0f} times curl's time (medians).")
    out += ["", "The downloader's disk work alone, in the same rounds (`lmbench writes`: the same file calls, the",
            "same number of bytes in 1 KB pieces, in the same folder under Wine):", "",
            "| file | each piece flushed | no flushes | flushed writing against the whole download (medians) |",
            "|---|---|---|---|"]
    for name, d in down.items():
        label = "icon" if name == "icon" else f"large ({d['bytes'] // 2**20} MB)"
        flushed, plain = d["disk"]["flushed"], d["disk"]["unflushed"]
        ours = d["series"][ours_name]["median"]
        out.append(f"| {label} | {ms(flushed['median'])} ({spread(flushed)}) | {ms(plain['median'])} "
                   f"({spread(plain)}) | {100 * flushed['median'] / ours:.0f} % |")
    out += ["", phase_line(down_phase), ""]

    out += ["## Page hand-over with slow beacon hosts", "",
            "The installed client after an ordinary start; `lmbench handover` hands an account over to the",
            "main window with WM_COPYDATA as the login window does, and times, from the send: the reply, the",
            "moment the new game page window exists (a new dialog owned by the main window), the moment the",
            "main window has left its 1 × 1 waiting size (its handling of the page's arrival), and the answer",
            "to a message sent after that (the window is free again). The login-statistics and event \"305\"",
            "beacons go out on detached workers; the two columns on the right are when the simulator received",
            f"them. In the slow case the statistics and event hosts answer only after {hand['delay_s']:g} s.", "",
            "| hosts | runs | reply | page exists | window sized | answers again | login beacon received | "
            "event 305 received |", "|---|---|---|---|---|---|---|---|"]
    conds = hand["conditions"]
    for name, c in conds.items():
        cells = [f"{ms(c[k]['median'])} ({spread(c[k])})" for k in
                 ("reply", "page", "sized", "answers", "login_beacon", "event_305")]
        out.append(f"| {name} | {c['reply']['runs']} | " + " | ".join(cells) + " |")
    out += ["", "Medians in ms, q1–q3 in brackets.", ""]
    names = list(conds)
    fast, slow = conds[names[0]], conds[names[1]]
    late = {k: slow[k]["median"] - fast[k]["median"] for k in ("reply", "page", "sized", "answers")}
    if any(v > hand["delay_s"] * 500 for v in late.values()):
        out.append(f"**Fault: the user-interface thread waits for the beacons.** With slow hosts the reply comes "
                   f"{ms(late['reply'])} ms and the window's answer {ms(late['answers'])} ms later than with fast "
                   "ones (medians); the beacons of a hand-over are meant to go out on detached workers.")
    else:
        out.append(f"The user-interface thread does not wait for the beacons: with hosts {hand['delay_s']:g} s slow "
                   f"the reply comes {ms(late['reply'])} ms and the window's answer {ms(late['answers'])} ms "
                   "later than with fast hosts (medians; negative is sooner), while the simulator received the "
                   f"login beacon {ms(slow['login_beacon']['median'])} ms and event \"305\" "
                   f"{ms(slow['event_305']['median'])} ms after the hand-over was sent.")
    if hand.get("forced_ends"):
        out += ["", f"**The client did not end when asked** after these hand-overs and was ended by force (its "
                f"figures were already taken): {'; '.join(hand['forced_ends'])}."]
    out += ["", phase_line(hand), ""]
    return "\n".join(out)


# -- command line ------------------------------------------------------------------
def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("phase", choices=("facts", "download", "handover", "report"))
    ap.add_argument("--build", default=str(REPO / "build" / "windows"))
    ap.add_argument("--json", help="the phase's result file")
    ap.add_argument("--results", help="report: the folder of the phases' result files")
    ap.add_argument("--out", default=str(REPO / "BENCHMARKS.md"))
    ap.add_argument("--command", default="bash devtools/bench.sh")
    ap.add_argument("--seconds", type=float, help="report: how long the whole run took")
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--large-mb", type=int, default=8)
    ap.add_argument("--large-runs", type=int, default=5)
    ap.add_argument("--delay", type=float, default=4.0)
    opts = ap.parse_args()
    build = Path(opts.build)

    if opts.phase == "report":
        text = render(Path(opts.results), opts.command, opts.seconds)
        Path(opts.out).write_text(text, encoding="utf-8")
        print(text)
        return 0
    if opts.phase == "facts":
        result = {"machine": machine_facts(build), "sizes": sizes(build)}
    else:
        started = time.time()
        with Session(build, "bench-" + opts.phase) as session, CpuWatch() as cpu:
            if opts.phase == "download":
                result = {"files": downloads(session, opts.runs, opts.large_mb, opts.large_runs)}
            else:
                result = handover(session, opts.runs, opts.delay)
        result["cpu"] = cpu.result
        result["seconds"] = round(time.time() - started, 1)
    Path(opts.json).write_text(json.dumps(result, indent=1, ensure_ascii=False), encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
