#!/usr/bin/env python3
"""The test command's coverage report: which of the client's lines the tests
ran, per folder and per file, and the functions nothing ran.

    coverage_report.py [--native build/native] [--windows build/wincov] [--out build/coverage]

Two sources of counts, read with gcovr:
  * the native unit tests (build/native, LUMENDOR_COVERAGE on): the portable
    logic, counted by the host's gcov;
  * the coverage build of the client (build/wincov, preset windows-coverage)
    under Wine: the Windows-side tests, the black-box scenarios and every
    program they started. Each process wrote its counts into a folder of its
    own under build/wincov/counts while it ran (devtools/coverage/
    gcov_flush_win.cpp); here the folders are checked, merged with MinGW's
    gcov-tool and put beside the objects for MinGW's gcov.
gcovr merges both by source file. The text report is printed and saved with
a JSON and an HTML version in the output folder.
"""
from __future__ import annotations

import argparse
import json
import re
import shutil
import struct
import subprocess
import sys
import tempfile
from collections import defaultdict
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
CLIENT_FOLDERS = ("app", "settings", "stats", "install", "mainwnd", "html", "net", "skin", "tools", "framework")
MINGW_GCOV = "i686-w64-mingw32-gcov-posix"
MINGW_GCOV_TOOL = "i686-w64-mingw32-gcov-tool-posix"
GCDA_MAGIC = b"adcg"
GCDA_HEADER = 16  # magic, version, stamp, checksum
PATH_MARK = "%"   # stands for "/" in a flattened count file's name


def intact_gcda(path: Path) -> bool:
    """Whether a count file is whole: its records exactly fill it. A process
    ended while writing a new file leaves it short; one ended while
    rewriting leaves it whole (the same records, some counts not yet
    added), which only undercounts."""
    data = path.read_bytes()
    if len(data) < GCDA_HEADER or data[:4] != GCDA_MAGIC:
        return False
    pos = GCDA_HEADER
    while pos + 8 <= len(data):
        tag, length = struct.unpack_from("<Ii", data, pos)
        if tag == 0:
            break
        pos += 8 + max(length, 0)  # counters all zero are written as a negative length, without data
    # The last record is a zero tag alone.
    return pos + 4 == len(data) and data[pos:] == b"\0\0\0\0"


def merge_process_counts(counts: Path, work: Path) -> tuple[Path | None, int, int, int]:
    """Merges every process's folder into one flat folder of count files
    named after their absolute paths. Returns it (None if there were none),
    the number of processes merged, the number of damaged files left out,
    and the number of processes left out because gcov-tool refused their
    counts (a file of another build, or one whole in length but not in
    content)."""
    merged, processes, damaged, refused = None, 0, 0, 0
    for index, folder in enumerate(sorted(p for p in counts.iterdir() if p.is_dir())):
        flat = work / f"p{index}"
        flat.mkdir()
        for gcda in folder.rglob("*.gcda"):
            if not intact_gcda(gcda):
                damaged += 1
                continue
            # The path below the process folder is the object's own, without its root.
            shutil.copyfile(gcda, flat / str(gcda.relative_to(folder)).replace("/", PATH_MARK))
        if not any(flat.iterdir()):
            continue
        if merged is None:
            processes += 1
            merged = flat
            continue
        target = work / f"m{index}"
        done = subprocess.run([MINGW_GCOV_TOOL, "merge", "-o", str(target), str(merged), str(flat)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
        shutil.rmtree(flat)
        if not done:
            refused += 1
            shutil.rmtree(target, ignore_errors=True)
            continue
        processes += 1
        shutil.rmtree(merged)
        merged = target
    return merged, processes, damaged, refused


def place_counts(merged: Path, build: Path) -> int:
    """Puts the merged count files beside their objects in the build."""
    placed = 0
    for gcda in merged.iterdir():
        dest = Path("/" + gcda.name.replace(PATH_MARK, "/"))
        if build.resolve() in dest.parents and dest.with_suffix(".gcno").exists():
            shutil.copyfile(gcda, dest)
            placed += 1
    return placed


def gcovr_json(build: Path, gcov: str, out: Path) -> None:
    client = "|".join(CLIENT_FOLDERS)
    subprocess.run(["gcovr", "--root", str(REPO), "--gcov-executable", gcov,
                    "--filter", re.escape(str(REPO)) + f"/({client})/",
                    "--gcov-ignore-parse-errors", "--json", str(out), str(build)],
                   check=True, stdout=subprocess.DEVNULL)


def folder_of(name: str) -> str:
    return name.split("/", 1)[0]


def summary(report: dict) -> tuple[list[str], int, int]:
    """Per-folder line totals and the functions never executed, from
    gcovr's merged JSON. A function counts as executed when any of its
    builds ran it: both compilers name it, a 32-bit and a 64-bit one may
    spell its parameter types apart, so a function is its file and line."""
    folders: dict[str, list[int]] = defaultdict(lambda: [0, 0])
    never: list[tuple[str, int, str]] = []
    total = covered = 0
    for entry in report["files"]:
        name = entry["file"]
        lines = [ln for ln in entry["lines"] if not ln.get("gcovr/noncode")]
        hit = sum(1 for ln in lines if ln["count"] > 0)
        folders[folder_of(name)][0] += hit
        folders[folder_of(name)][1] += len(lines)
        total += len(lines)
        covered += hit
        ran: dict[int, bool] = {}
        names: dict[int, str] = {}
        for fn in entry.get("functions", []):
            ran[fn["lineno"]] = ran.get(fn["lineno"], False) or fn["execution_count"] > 0
            names.setdefault(fn["lineno"], fn["name"])
        never += [(name, line, names[line]) for line, done in sorted(ran.items()) if not done]
    out = ["", "Per folder:", f"{'folder':<12}{'lines':>8}{'run':>8}{'cover':>9}"]
    for folder, (hit, count) in sorted(folders.items()):
        out.append(f"{folder + '/':<12}{count:>8}{hit:>8}{100.0 * hit / max(count, 1):>8.1f}%")
    out.append(f"{'all':<12}{total:>8}{covered:>8}{100.0 * covered / max(total, 1):>8.1f}%")
    out += ["", f"Functions never executed ({len(never)}):"]
    out += [f"  {name}:{line}  {fn}" for name, line, fn in never]
    return out, covered, total


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--native", type=Path, default=REPO / "build" / "native")
    parser.add_argument("--windows", type=Path, default=REPO / "build" / "wincov")
    parser.add_argument("--out", type=Path, default=REPO / "build" / "coverage")
    args = parser.parse_args(argv)
    args.out.mkdir(parents=True, exist_ok=True)
    tracefiles, notes = [], []

    if any(args.native.rglob("*.gcda")):
        gcovr_json(args.native, "gcov", args.out / "native.json")
        tracefiles.append(args.out / "native.json")
    else:
        notes.append(f"no counts in {args.native} (run its unit tests with LUMENDOR_COVERAGE on)")

    counts = args.windows / "counts"
    if counts.is_dir():
        for stale in args.windows.rglob("*.gcda"):
            if counts not in stale.parents:
                stale.unlink()
        with tempfile.TemporaryDirectory(prefix="lumendor-coverage-") as work:
            merged, processes, damaged, refused = merge_process_counts(counts, Path(work))
            if merged is not None:
                place_counts(merged, args.windows)
        notes.append(f"Windows programs counted: {processes}"
                     + (f" ({damaged} count files cut short, by a forced end or a file-size cap a test set, left out)" if damaged else "")
                     + (f"; {refused} programs' counts refused by gcov-tool, left out" if refused else ""))
        if merged is not None:
            gcovr_json(args.windows, MINGW_GCOV, args.out / "windows.json")
            tracefiles.append(args.out / "windows.json")
    else:
        notes.append(f"no counts in {counts} (run the Windows-side tests with the coverage build)")

    if not tracefiles:
        print("coverage: nothing counted; " + "; ".join(notes), file=sys.stderr)
        return 1
    merge = ["gcovr", "--root", str(REPO)]
    for trace in tracefiles:
        merge += ["--add-tracefile", str(trace)]
    subprocess.run(merge + ["--json", str(args.out / "coverage.json"), "--txt", str(args.out / "coverage.txt"),
                            "--html-details", str(args.out / "index.html")], check=True, stdout=subprocess.DEVNULL)
    report = json.loads((args.out / "coverage.json").read_text())
    lines, covered, total = summary(report)
    text = (args.out / "coverage.txt").read_text() + "\n".join(lines) + "\n"
    (args.out / "coverage.txt").write_text(text)
    print(text + "\n".join(notes) + f"\nFull report: {args.out / 'index.html'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
