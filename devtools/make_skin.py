#!/usr/bin/env python3
"""Draws the client's skin art with ImageMagick into res/skin/ (and the icons
into res/icons/). The results are committed; run again only to change the art.

One look throughout: a dark slate launcher with amber accents. Every pixel of
a skin image is either opaque or exactly magenta RGB(255, 0, 255), the key
colour that the client treats as transparent (cut corners, button
surroundings). Only the login background (129) keeps soft alpha edges.
"""
from __future__ import annotations

import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
SKIN = REPO / "res" / "skin"
ICONS = REPO / "res" / "icons"
FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
CONVERT = shutil.which("convert", path="/usr/bin") or "convert"

KEY = "#ff00ff"
BG = "#1b1f2a"          # window body
CAPTION_TOP = "#2e3548"  # caption band gradient
CAPTION_BOTTOM = "#232837"
EDGE = "#46506b"        # one-pixel frame
AMBER = "#f0a53a"
AMBER_DARK = "#b97a22"
GLYPH = "#c3c9d8"
TEXT = "#d9dde6"

tmp = Path(tempfile.mkdtemp(prefix="skin-"))


def im(*args: str) -> None:
    subprocess.run([CONVERT, *args], check=True)


def keyed(src: Path, dst: Path) -> None:
    """Binary transparency: pixels under half alpha become the key colour,
    the others opaque; the file has no alpha channel."""
    im(str(src), "-channel", "A", "-threshold", "50%", "+channel",
       "-background", KEY, "-alpha", "remove", "-alpha", "off", "-depth", "8",
       "-strip", "-define", "png:exclude-chunk=date,time", "-define", "png:color-type=2", str(dst))


def frame(name: str, w: int, h: int, draw: list[str], base: str = "none") -> Path:
    out = tmp / f"{name}.png"
    im("-size", f"{w}x{h}", f"xc:{base}", *draw, str(out))
    return out


def strip(dst: str, frames: list[Path]) -> None:
    joined = tmp / f"{dst}-joined.png"
    im(*[str(f) for f in frames], "+append", str(joined))
    keyed(joined, SKIN / dst)


def round_corners(src: Path, w: int, h: int, r: int = 3) -> Path:
    """Cuts rounded corners (whole pixels, no smoothing) out of an image."""
    mask = tmp / f"{src.stem}-mask.png"
    im("-size", f"{w}x{h}", "xc:black", "+antialias", "-fill", "white",
       "-draw", f"roundrectangle 0,0 {w - 1},{h - 1} {r},{r}", str(mask))
    out = tmp / f"{src.stem}-round.png"
    im(str(src), str(mask), "-alpha", "off", "-compose", "CopyOpacity", "-composite", str(out))
    return out


# --- window backgrounds ----------------------------------------------------

def background(dst: str, w: int = 30, h: int = 51, caption: int = 30) -> None:
    body = frame(f"{dst}-body", w, h, [], base=BG)
    grad = tmp / f"{dst}-grad.png"
    im("-size", f"{w}x{caption}", f"gradient:{CAPTION_TOP}-{CAPTION_BOTTOM}", str(grad))
    comp = tmp / f"{dst}-comp.png"
    im(str(body), str(grad), "-geometry", "+0+0", "-composite",
       "-fill", "none", "-stroke", EDGE, "-draw", f"rectangle 0,0 {w - 1},{h - 1}",
       # the caption's lower edge sits two rows inside the caption band, the
       # band's last row has the body's colour: a stretch that samples one
       # row early still paints an even body
       "+antialias", "-stroke", "#3a415a", "-draw", f"line 1,{caption - 2} {w - 2},{caption - 2}",
       "-stroke", BG, "-draw", f"line 1,{caption - 1} {w - 2},{caption - 1}",
       str(comp))
    keyed(round_corners(comp, w, h, 3), SKIN / dst)


# --- caption buttons -------------------------------------------------------

def caption_strip(dst: str, w: int, h: int, glyph: list[str], hover_bg: str, pressed_bg: str) -> None:
    frames = []
    looks = [(None, GLYPH), (hover_bg, "#ffffff"), (pressed_bg, "#e6e6e6"), (None, "#5a6070")]
    for i, (bg, ink) in enumerate(looks):
        draw = []
        if bg:
            draw += ["-fill", bg, "-draw", f"rectangle 0,0 {w - 1},{h - 1}"]
        draw += ["+antialias", "-stroke", ink, "-strokewidth", "2", "-fill", "none", *glyph]
        frames.append(frame(f"{dst}-{i}", w, h, draw))
    strip(dst, frames)


def cross(w: int, h: int, s: int) -> list[str]:
    cx, cy = w // 2, h // 2
    return ["-draw", f"line {cx - s},{cy - s} {cx + s},{cy + s}", "-draw", f"line {cx + s},{cy - s} {cx - s},{cy + s}"]


# --- push buttons (light, so that the default black caption reads) ---------

def push_strip(dst: str, w: int, h: int) -> None:
    looks = [("#e4e7ee", "#c5cad6", "#9aa3b8"), ("#ffd28a", AMBER, AMBER_DARK),
             (AMBER, AMBER_DARK, "#8a5a18"), ("#6b7080", "#5d6272", "#4b5060")]
    frames = []
    for i, (top, bottom, edge) in enumerate(looks):
        grad = tmp / f"{dst}-g{i}.png"
        im("-size", f"{w}x{h}", f"gradient:{top}-{bottom}", "-fill", "none", "-stroke", edge,
           "-draw", f"rectangle 0,0 {w - 1},{h - 1}", str(grad))
        frames.append(round_corners(grad, w, h, 3))
    strip(dst, frames)


# --- tool-bar buttons: a glyph or label on a pill ---------------------------

def tool_strip(dst: str, w: int, h: int, label: str = "", glyph: list[str] | None = None, size: int = 12) -> None:
    looks = [("#262c3c", TEXT), ("#3a4360", "#ffffff"), ("#1d2230", AMBER), ("#23262e", "#5d6272")]
    frames = []
    for i, (pill, ink) in enumerate(looks):
        draw = ["-fill", pill, "-draw", f"rectangle 0,0 {w - 1},{h - 1}"]
        if i == 1:
            draw += ["-fill", "none", "-stroke", AMBER, "-draw", f"rectangle 0,0 {w - 1},{h - 1}", "-stroke", "none"]
        if glyph:
            draw += ["-stroke", ink, "-strokewidth", "1.5", "-fill", "none", *glyph, "-stroke", "none"]
        if label:
            draw += ["-font", FONT, "-pointsize", str(size), "-fill", ink, "-gravity", "center",
                     "-annotate", f"+{(7 if glyph else 0)}+0", label, "-gravity", "northwest"]
        base = frame(f"{dst}-{i}", w, h, draw)
        frames.append(round_corners(base, w, h, 4))
    strip(dst, frames)


def tabs() -> None:
    w, h = 176, 22
    looks = [("#232838", "#2a3042"), ("#2d3448", "#343c53"), ("#3a4460", "#2e364c")]
    frames = []
    for i, (top, bottom) in enumerate(looks):
        grad = tmp / f"tab-{i}.png"
        draw = ["-fill", "none", "-stroke", EDGE, "-draw", f"line 0,0 0,{h - 1}", "-draw", f"line {w - 1},0 {w - 1},{h - 1}"]
        if i == 2:
            draw += ["-stroke", AMBER, "-draw", f"line 2,0 {w - 3},0", "-draw", f"line 2,1 {w - 3},1"]
        im("-size", f"{w}x{h}", f"gradient:{top}-{bottom}", *draw, str(grad))
        # rounded top corners only
        mask = tmp / f"tab-{i}-mask.png"
        im("-size", f"{w}x{h}", "xc:black", "+antialias", "-fill", "white",
           "-draw", f"roundrectangle 0,0 {w - 1},{h + 6} 4,4", str(mask))
        out = tmp / f"tab-{i}-r.png"
        im(str(grad), str(mask), "-alpha", "off", "-compose", "CopyOpacity", "-composite", str(out))
        frames.append(out)
    strip("140.png", frames)

    close = []
    for i, (bg, ink) in enumerate([(None, "#9aa3b8"), ("#c0392b", "#ffffff"), ("#8e2a20", "#e0e0e0")]):
        draw = []
        if bg:
            draw += ["+antialias", "-fill", bg, "-draw", "circle 6.5,6.5 6.5,0"]
        draw += ["+antialias", "-stroke", ink, "-strokewidth", "1.6", *cross(14, 14, 3)]
        close.append(frame(f"tabclose-{i}", 14, 14, draw))
    strip("141.png", close)


def login_background() -> None:
    """1208 x 668: a panel with a soft shadow (real alpha) around it."""
    w, h, m = 1208, 668, 24
    panel = tmp / "login-panel.png"
    im("-size", f"{w - 2 * m}x{h - 2 * m}", "gradient:#262c3d-#151821", "-fill", "none", "-stroke", EDGE,
       "-draw", f"rectangle 0,0 {w - 2 * m - 1},{h - 2 * m - 1}",
       # a warm glow and the game's name at the top left
       "(", "-size", "520x520", "radial-gradient:#f0a53a55-#f0a53a00", ")", "-geometry", "-140-200", "-composite",
       "-font", FONT, "-pointsize", "30", "-fill", AMBER, "-stroke", "none", "-annotate", "+34+52", "Lumendor",
       "-pointsize", "14", "-fill", "#8c93a6", "-annotate", "+36+78", "点亮你的冒险", str(panel))
    shadow = tmp / "login-shadow.png"
    im("-size", f"{w}x{h}", "xc:none", "-fill", "#000000b0",
       "-draw", f"roundrectangle {m - 6},{m - 4} {w - m + 5},{h - m + 8} 14,14", "-blur", "0x9",
       # the faintest tail of the blur becomes fully transparent
       "-channel", "A", "-level", "4%,100%", "+channel", str(shadow))
    rounded = tmp / "login-rounded.png"
    mask = tmp / "login-mask.png"
    im("-size", f"{w - 2 * m}x{h - 2 * m}", "xc:black", "-fill", "white",
       "-draw", f"roundrectangle 0,0 {w - 2 * m - 1},{h - 2 * m - 1} 10,10", str(mask))
    im(str(panel), str(mask), "-alpha", "off", "-compose", "CopyOpacity", "-composite", str(rounded))
    im(str(shadow), str(rounded), "-geometry", f"+{m}+{m}", "-compose", "over", "-composite",
       "-depth", "8", "-strip", "-define", "png:exclude-chunk=date,time",
       "-define", "png:color-type=6", str(SKIN / "129.png"))


def screenshot_toolbar() -> None:
    w, h = 152, 26
    base = frame("177-base", w, h, ["-fill", "#232838", "-draw", f"rectangle 0,0 {w - 1},{h - 1}",
                                    "-fill", "none", "-stroke", EDGE, "-draw", f"rectangle 0,0 {w - 1},{h - 1}"])
    keyed(round_corners(base, w, h, 3), SKIN / "177.png")
    tool_strip("178.png", 40, 15, "取消", size=10)
    tool_strip("179.png", 42, 12, "完成", size=9)
    tool_strip("180.png", 42, 16, "保存", size=10)


def icons() -> None:
    # 155: a star for the favourites dialog.
    star = tmp / "star.png"
    im("-size", "64x64", "xc:none", "-fill", AMBER, "-stroke", "#fff2c8", "-strokewidth", "3",
       "-draw", "polygon 32,4 40,24 62,24 44,38 51,60 32,46 13,60 20,38 2,24 24,24", str(star))
    im(str(star), "-define", "icon:auto-resize=32,16", str(ICONS / "favourite.ico"))
    # 173: the screenshot cursor, 44 x 44: a crosshair with a ring.
    cursor = tmp / "cursor.png"
    im("-size", "44x44", "xc:none", "-stroke", "#000000", "-strokewidth", "3",
       "-draw", "line 22,2 22,42", "-draw", "line 2,22 42,22",
       "-stroke", AMBER, "-strokewidth", "1", "-draw", "line 22,2 22,42", "-draw", "line 2,22 42,22",
       "-fill", "none", "-stroke", "#ffffff", "-draw", "circle 22,22 22,12", str(cursor))
    im(str(cursor), "-define", "icon:auto-resize=44", str(ICONS / "shot-cursor.ico"))


def main() -> int:
    SKIN.mkdir(parents=True, exist_ok=True)
    background("131.png")
    background("134.png")
    caption_strip("132.png", 30, 25, cross(30, 25, 4), "#c0392b", "#8e2a20")
    caption_strip("165.png", 33, 27, cross(33, 27, 4), "#c0392b", "#8e2a20")
    caption_strip("136.png", 30, 25, ["-draw", "line 10,13 19,13"], "#3d4661", "#2a3044")
    caption_strip("135.png", 30, 25, ["-draw", "rectangle 10,8 19,17"], "#3d4661", "#2a3044")
    caption_strip("137.png", 30, 25, ["-draw", "rectangle 10,10 17,17", "-draw", "polyline 12,10 12,7 20,7 20,15 17,15"],
                  "#3d4661", "#2a3044")
    push_strip("133.png", 57, 23)

    tool_strip("138.png", 53, 25, "老板键")
    tool_strip("139.png", 29, 25, glyph=["-draw", "line 9,8 20,8", "-draw", "line 9,12 20,12", "-draw", "line 9,16 20,16"])
    speaker = ["-draw", "polygon 6,9 9,9 13,5 13,18 9,14 6,14"]
    tool_strip("149.png", 56, 23, "声音", glyph=speaker + ["-draw", "arc 11,7 19,16 -60,60"])
    tool_strip("148.png", 56, 23, "静音", glyph=speaker + ["-draw", "line 16,8 21,15", "-draw", "line 21,8 16,15"])
    tool_strip("164.png", 28, 16, glyph=["-draw", "line 14,3 14,12", "-draw", "line 9,8 19,8"])
    tool_strip("166.png", 57, 23, "刷新", glyph=["-draw", "arc 5,6 15,16 30,330", "-draw", "line 15,7 15,11"])
    tool_strip("167.png", 63, 23, "截图", glyph=["-draw", "rectangle 5,7 16,16", "-draw", "circle 10.5,11.5 10.5,9.5"])
    tool_strip("168.png", 60, 23, "客服")
    tool_strip("169.png", 60, 23, "新手卡")
    tool_strip("170.png", 60, 23, "充值")
    tool_strip("171.png", 60, 23, "消息")
    person = frame("172", 14, 14, ["-fill", "#949494", "-draw", "circle 7,4 7,1", "-draw", "ellipse 7,13 5,5 180,360"])
    keyed(person, SKIN / "172.png")

    tabs()
    screenshot_toolbar()
    login_background()
    icons()
    shutil.rmtree(tmp, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
