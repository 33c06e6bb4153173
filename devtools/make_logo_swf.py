#!/usr/bin/env python3
"""Writes the splash movie res/movie/Logo.swf: a small uncompressed Flash
movie of our own, a golden ring that breathes (grows and brightens, then
shrinks and fades) around the desktop icon once a second, looping.

    make_logo_swf.py [OUT]            write the movie (default res/movie/Logo.swf)
    make_logo_swf.py --check FILE     FILE must be exactly what we write, and
                                      must read back as a well-formed movie

Only integer arithmetic is used, so every machine writes the same bytes.
"""
from __future__ import annotations

import math
import struct
import sys
from pathlib import Path

SWF_VERSION = 8
STAGE_TWIPS = 960          # 48 x 48 pixels; the host scales it to the splash
FRAME_RATE = 24            # frames per second
FRAMES = 24                # one breath a second
OUTER, INNER = 440, 356    # ring radii in twips
RING_RGBA = (255, 196, 48, 255)
SHAPE_ID, DEPTH = 1, 1

TAG_END, TAG_SHOW_FRAME, TAG_SET_BACKGROUND = 0, 1, 9
TAG_PLACE_OBJECT2, TAG_DEFINE_SHAPE3, TAG_FILE_ATTRIBUTES = 26, 32, 69


class Bits:
    """Big-endian bit writer of the movie format (fields padded to bytes)."""

    def __init__(self) -> None:
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def ub(self, value: int, nbits: int) -> None:
        assert 0 <= value < (1 << nbits) or nbits == 0
        for i in range(nbits - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.n += 1
            if self.n == 8:
                self.out.append(self.acc)
                self.acc = self.n = 0

    def sb(self, value: int, nbits: int) -> None:
        assert -(1 << (nbits - 1)) <= value < (1 << (nbits - 1))
        self.ub(value & ((1 << nbits) - 1), nbits)

    def align(self) -> None:
        if self.n:
            self.ub(0, 8 - self.n)

    def bytes(self) -> bytes:
        self.align()
        return bytes(self.out)


def sbits(*values: int) -> int:
    """Bits a signed field needs to hold every value."""
    need = 1
    for v in values:
        need = max(need, (v if v >= 0 else ~v).bit_length() + 1)
    return need


def rect(xmin: int, xmax: int, ymin: int, ymax: int) -> bytes:
    b = Bits()
    n = sbits(xmin, xmax, ymin, ymax)
    b.ub(n, 5)
    for v in (xmin, xmax, ymin, ymax):
        b.sb(v, n)
    return b.bytes()


def tag(code: int, body: bytes) -> bytes:
    if len(body) < 0x3F:
        return struct.pack("<H", (code << 6) | len(body)) + body
    return struct.pack("<HI", (code << 6) | 0x3F, len(body)) + body


def circle(r: int, clockwise: bool) -> list[tuple[int, int, int, int]]:
    """Eight quadratic curves round (0, 0) from (r, 0), clockwise or not as
    seen on the screen (y grows downwards): (control x, control y, anchor x,
    anchor y) in absolute coordinates."""
    d = math.isqrt(r * r // 2)          # r / sqrt(2): the anchors at 45 degrees
    t = math.isqrt(2 * r * r) - r       # r * tan(22.5 degrees): the control points
    anchors = [(r, 0), (d, d), (0, r), (-d, d), (-r, 0), (-d, -d), (0, -r), (d, -d)]
    controls = [(r, t), (t, r), (-t, r), (-r, t), (-r, -t), (-t, -r), (t, -r), (r, -t)]
    if clockwise:
        return [controls[k] + anchors[(k + 1) % 8] for k in range(8)]
    # The same points the other way round: from (r, 0) up to (d, -d) first.
    return [controls[(8 - k - 1) % 8] + anchors[(8 - k - 1) % 8] for k in range(8)]


def shape_records(b: Bits, fill_bits: int) -> None:
    def style_change(x: int, y: int, fill0: int, fill1: int) -> None:
        b.ub(0, 1)                       # not an edge
        b.ub(0, 1)                       # no new styles
        b.ub(0, 1)                       # line style unchanged
        b.ub(1, 1)                       # fill style 1
        b.ub(1, 1)                       # fill style 0
        b.ub(1, 1)                       # move to
        n = sbits(x, y)
        b.ub(n, 5)
        b.sb(x, n)
        b.sb(y, n)
        b.ub(fill0, fill_bits)
        b.ub(fill1, fill_bits)

    def curves(r: int, clockwise: bool) -> None:
        x, y = r, 0
        for cx, cy, ax, ay in circle(r, clockwise):
            deltas = (cx - x, cy - y, ax - cx, ay - cy)
            n = max(sbits(*deltas), 2)
            b.ub(1, 1)                   # edge
            b.ub(0, 1)                   # curved
            b.ub(n - 2, 4)
            for v in deltas:
                b.sb(v, n)
            x, y = ax, ay

    # One fill style, on both circles, and the two run opposite ways: the
    # ring between them is filled whether a player toggles its fill at every
    # edge or counts the windings.
    style_change(OUTER, 0, 1, 0)
    curves(OUTER, True)
    style_change(INNER, 0, 1, 0)
    curves(INNER, False)
    b.ub(0, 6)                           # end of shape


def define_shape() -> bytes:
    body = struct.pack("<H", SHAPE_ID) + rect(-OUTER, OUTER, -OUTER, OUTER)
    body += bytes([1, 0x00]) + bytes(RING_RGBA)     # one solid fill
    body += bytes([0])                              # no line styles
    b = Bits()
    b.ub(1, 4)                                      # fill index bits
    b.ub(0, 4)                                      # line index bits
    shape_records(b, 1)
    return tag(TAG_DEFINE_SHAPE3, body + b.bytes())


def place(frame: int) -> bytes:
    # A triangle wave over the loop: 0 at the first frame, 12 half way.
    half = FRAMES // 2
    k = frame if frame <= half else FRAMES - frame
    scale = 52429 + (13107 * k) // half            # 0.8 to 1.0 in 16.16
    alpha = 112 + (144 * k) // half                # 0.44 to 1.0 in 8.8
    first = frame == 0
    flags = 0x08 | 0x04 | (0x02 if first else 0x01)  # colour, matrix, character or move
    body = bytes([flags]) + struct.pack("<H", DEPTH)
    if first:
        body += struct.pack("<H", SHAPE_ID)
    m = Bits()
    m.ub(1, 1)                                      # scale
    n = sbits(scale)
    m.ub(n, 5)
    m.sb(scale, n)
    m.sb(scale, n)
    m.ub(0, 1)                                      # no rotation
    centre = STAGE_TWIPS // 2
    n = sbits(centre)
    m.ub(n, 5)
    m.sb(centre, n)
    m.sb(centre, n)
    body += m.bytes()
    c = Bits()
    c.ub(0, 1)                                      # no add terms
    c.ub(1, 1)                                      # multiply terms
    n = sbits(256, alpha)
    c.ub(n, 4)
    for v in (256, 256, 256, alpha):
        c.sb(v, n)
    body += c.bytes()
    return tag(TAG_PLACE_OBJECT2, body)


def movie() -> bytes:
    tags = tag(TAG_FILE_ATTRIBUTES, struct.pack("<I", 0))
    tags += tag(TAG_SET_BACKGROUND, bytes([0, 0, 0]))
    tags += define_shape()
    for frame in range(FRAMES):
        tags += place(frame) + tag(TAG_SHOW_FRAME, b"")
    tags += tag(TAG_END, b"")
    head = rect(0, STAGE_TWIPS, 0, STAGE_TWIPS) + struct.pack("<HH", FRAME_RATE << 8, FRAMES)
    length = 8 + len(head) + len(tags)
    return b"FWS" + bytes([SWF_VERSION]) + struct.pack("<I", length) + head + tags


def read_back(data: bytes) -> dict:
    """Walks the movie's header and tags; raises ValueError when it is not
    well formed."""
    if data[:3] != b"FWS" or len(data) < 8:
        raise ValueError("not an uncompressed movie")
    if struct.unpack("<I", data[4:8])[0] != len(data):
        raise ValueError("length field does not match the file")
    nbits = data[8] >> 3
    pos = 8 + (5 + 4 * nbits + 7) // 8
    rate, frames = struct.unpack("<HH", data[pos:pos + 4])
    pos += 4
    shown, codes = 0, []
    while True:
        if pos + 2 > len(data):
            raise ValueError("tags run past the end")
        head = struct.unpack("<H", data[pos:pos + 2])[0]
        pos += 2
        code, size = head >> 6, head & 0x3F
        if size == 0x3F:
            size = struct.unpack("<I", data[pos:pos + 4])[0]
            pos += 4
        pos += size
        if pos > len(data):
            raise ValueError("a tag runs past the end")
        codes.append(code)
        shown += code == TAG_SHOW_FRAME
        if code == TAG_END:
            break
    if pos != len(data):
        raise ValueError("bytes after the end tag")
    if shown != frames:
        raise ValueError("frame count does not match the shown frames")
    return {"version": data[3], "rate": rate >> 8, "frames": frames, "tags": codes}


def main(argv: list[str]) -> int:
    repo = Path(__file__).resolve().parents[1]
    data = movie()
    read_back(data)
    if argv[:1] == ["--check"]:
        if len(argv) != 2:
            print(__doc__, file=sys.stderr)
            return 2
        existing = Path(argv[1]).read_bytes()
        try:
            info = read_back(existing)
        except ValueError as err:
            print(f"{argv[1]}: {err}", file=sys.stderr)
            return 1
        if existing != data:
            print(f"{argv[1]}: differs from what make_logo_swf.py writes", file=sys.stderr)
            return 1
        print(f"{argv[1]}: {len(existing)} bytes, version {info['version']}, {info['frames']} frames "
              f"at {info['rate']} fps")
        return 0
    out = Path(argv[0]) if argv else repo / "res" / "movie" / "Logo.swf"
    out.parent.mkdir(parents=True, exist_ok=True)
    out.write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
