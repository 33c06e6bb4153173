"""The coverage report's own handling of counts: the processes' folders
merged with a forced end's short file left out, and the totals per folder
with a function that either build ran counted as run."""
from __future__ import annotations

import struct
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "devtools"))

from coverage_report import intact_gcda, merge_process_counts, summary  # noqa: E402

FUNCTION, ARCS, OBJECT_SUMMARY = 0x01000000, 0x01A10000, 0xA1000000


def gcda(*arcs: list[int]) -> bytes:
    """A count file as MinGW's libgcov writes it: one function per list of
    arc counts, all-zero counters as a negative length without data."""
    out = b"adcg" + b"*02B" + struct.pack("<II", 1234, 5678)
    out += struct.pack("<Ii", OBJECT_SUMMARY, 8) + struct.pack("<II", 1, max(max(a) for a in arcs))
    for ident, counts in enumerate(arcs, start=1):
        out += struct.pack("<Ii", FUNCTION, 12) + struct.pack("<III", ident, 0x1111, 0x2222)
        if any(counts):
            out += struct.pack("<Ii", ARCS, 8 * len(counts)) + struct.pack(f"<{len(counts)}q", *counts)
        else:
            out += struct.pack("<Ii", ARCS, -8 * len(counts))
    return out + b"\0\0\0\0"


def arc_counts(data: bytes) -> list[list[int]]:
    pos, found = 16, []
    while True:
        tag, length = struct.unpack_from("<Ii", data + b"\0" * 4, pos)
        if tag == 0:
            return found
        if tag == ARCS:
            found.append(list(struct.unpack_from(f"<{length // 8}q", data, pos + 8)) if length > 0
                         else [0] * (-length // 8))
        pos += 8 + max(length, 0)


def test_process_folders_merge_and_short_files_are_left_out(tmp_path):
    whole = gcda([3, 0], [0, 0])
    for data, intact in [(whole, True), (gcda([0]), True), (whole[:-4], False), (whole[:40], False),
                         (whole + b"\0\0\0\0", False), (b"xxxx" + whole[4:], False), (b"", False)]:
        (tmp_path / "one.gcda").write_bytes(data)
        assert intact_gcda(tmp_path / "one.gcda") == intact, data[:8]

    counts, work = tmp_path / "counts", tmp_path / "work"
    work.mkdir()
    obj = "work/build/CMakeFiles/core.dir/stats/beacons.cpp.gcda"
    other = "work/build/CMakeFiles/Lumendor.dir/framework/winmain_win.cpp.gcda"
    for process, files in {"40-1": {obj: gcda([3, 0], [0, 0])},
                           "52-2": {obj: gcda([1, 2], [0, 5]), other: gcda([7])},
                           "60-3": {obj: gcda([9, 9], [9, 9])[:50]},  # ended while writing
                           "61-4": {},
                           # whole, but of another compiler's version: gcov-tool refuses the process
                           "70-5": {obj: gcda([5, 5], [5, 5])[:4] + b"B33*" + gcda([5, 5], [5, 5])[8:]}}.items():
        for name, data in files.items():
            (counts / process / name).parent.mkdir(parents=True, exist_ok=True)
            (counts / process / name).write_bytes(data)
        (counts / process).mkdir(parents=True, exist_ok=True)
    merged, processes, damaged, refused = merge_process_counts(counts, work)
    assert (processes, damaged, refused) == (2, 1, 1)
    names = {p.name: p.read_bytes() for p in merged.iterdir()}
    assert set(names) == {"%".join(obj.split("/")), "%".join(other.split("/"))}
    assert arc_counts(names["%".join(obj.split("/"))]) == [[4, 2], [0, 5]]
    assert arc_counts(names["%".join(other.split("/"))]) == [[7]]


def test_totals_per_folder_and_functions_never_run():
    def lines(*counts):
        return [{"line_number": n, "count": c} for n, c in enumerate(counts, start=1)]
    report = {"files": [
        {"file": "net/http_socket.cpp", "lines": lines(1, 0, 4) + [{"line_number": 9, "count": 0, "gcovr/noncode": True}],
         # One function as the 64-bit and the 32-bit compiler spell it: one of them ran it.
         "functions": [{"name": "Split(unsigned int)", "lineno": 2, "execution_count": 3},
                       {"name": "Split(unsigned long)", "lineno": 2, "execution_count": 0},
                       {"name": "Unused()", "lineno": 3, "execution_count": 0}]},
        {"file": "net/http_address.cpp", "lines": lines(0), "functions": []},
        {"file": "app/run_mode.cpp", "lines": lines(1, 1), "functions": [
            {"name": "Parse()", "lineno": 1, "execution_count": 2}]},
    ]}
    out, covered, total = summary(report)
    assert (covered, total) == (4, 6)
    assert "app/               2       2   100.0%" in out
    assert "net/               4       2    50.0%" in out
    assert "all                6       4    66.7%" in out
    assert out[out.index("Functions never executed (1):") + 1:] == ["  net/http_socket.cpp:3  Unused()"]
