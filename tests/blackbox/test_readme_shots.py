"""The README's screenshots, taken from the real client: the login window,
the main window with three accounts, a message box, the settings dialog and
the screenshot tool with a selection. Each picture is cut to the windows it
shows and checked before it is kept.

The pictures are read through the screen's device context inside the
prefix (lmdriver capture), the screen as the system composes it. The X
display is no good here: once the main window has filled the screen, the
windows the client shows over it stay black on Xvfb (their pixels never
reach the X server), while the system's own view of the screen has them.

By default the pictures go to the test's temporary folder;
LUMENDOR_SHOTS_DIR=<dir> writes them there (devtools/readme_shots.sh)."""
from __future__ import annotations

import os
import subprocess
import time
from pathlib import Path

import pytest

from conftest import login_windows, poll, rect_of
from test_pages import log_in, page

REPO = Path(__file__).resolve().parents[2]
SCREEN = (1280, 800)
ACCOUNTS = ["12服-abcd-player", "7服-abcd-second", "3服-efgh-third"]
MAIN_MENU_BUTTON, SHOT_BUTTON = 1003, 1028
BOX_OK, SETTINGS_CANCEL = 5000, 2
WM_KEYDOWN, VK_DOWN, VK_RETURN = 0x0100, 0x28, 0x0D
WM_SYSCOMMAND, SC_CLOSE = 0x0112, 0xF060
# Main menu items, separators skipped: 3 "更新" (a message box), 4 "设置...".
MENU_UPDATE, MENU_SETTINGS = 3, 4
SELECTION = (90, 4, 700, 300)  # dragged from the first corner to the second: tabs and tool buttons
FRAME_GREEN = (108, 226, 108)
TAB_CURRENT_TOP = (240, 165, 58)   # the current tab's top line in the tab image
MARGIN = 30                        # overlay kept around the screenshot tool's windows
GAME_PAGE = (16, 19, 27)           # the simulator's game page


class Picture:
    """An RGB picture read back from a PNG file."""

    def __init__(self, path: Path):
        self.path = path
        size = subprocess.run(["identify", "-format", "%w %h", str(path)], capture_output=True, text=True,
                              check=True).stdout
        self.width, self.height = (int(v) for v in size.split())
        self.rgb = subprocess.run(["convert", str(path), "-depth", "8", "rgb:-"], capture_output=True,
                                  check=True).stdout
        assert len(self.rgb) == self.width * self.height * 3

    def __call__(self, x: int, y: int) -> tuple[int, int, int]:
        at = (y * self.width + x) * 3
        return tuple(self.rgb[at:at + 3])

    def colours(self) -> int:
        return len({self.rgb[i:i + 3] for i in range(0, len(self.rgb), 3 * 7)})

    def any_in(self, left: int, top: int, right: int, bottom: int, test) -> bool:
        return any(test(self(x, y)) for y in range(top, bottom) for x in range(left, right))


def near(colour, expected, tolerance=12) -> bool:
    return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


def png_pixel(path: Path, x: int, y: int) -> tuple[int, int, int]:
    out = subprocess.run(["convert", str(path), "-crop", f"1x1+{x}+{y}", "-alpha", "off", "-depth", "8", "rgb:-"],
                         capture_output=True, check=True).stdout
    return tuple(out[:3])


@pytest.fixture
def shots_dir(tmp_path) -> Path:
    folder = Path(os.environ.get("LUMENDOR_SHOTS_DIR") or tmp_path / "shots")
    if not folder.is_absolute():
        folder = REPO / folder
    folder.mkdir(parents=True, exist_ok=True)
    return folder


class Shooter:
    def __init__(self, client, folder: Path, work: Path):
        self.client, self.folder, self.work = client, folder, work

    def take(self, name: str, rect: tuple[int, int, int, int], check, tries: int = 12, blank: bool = False) -> Picture:
        """Captures the screen's rectangle until `check` accepts the picture
        (painting may still be under way), keeps it as <name>.png. Only a
        `blank` picture may be of one colour."""
        x, y, w, h = rect
        assert w > 0 and h > 0 and x >= 0 and y >= 0 and x + w <= SCREEN[0] and y + h <= SCREEN[1], rect
        raw = self.work / f"{name}.bmp"
        out = self.folder / f"{name}.png"
        problem = None
        for _ in range(tries):
            r = self.client.drive("capture", str(x), str(y), str(w), str(h), self.client.prefix.windows_path(raw))
            assert r.returncode == 0, f"capture failed: {r.stderr!r}"
            subprocess.run(["convert", str(raw), "-alpha", "off", "-strip", "-define", "png:compression-level=9",
                            str(out)], check=True, timeout=60)
            picture = Picture(out)
            assert (picture.width, picture.height) == (w, h)
            problem = check(picture)
            if problem is None:
                assert blank or picture.colours() > 8, f"{name}: a blank picture"
                return picture
            time.sleep(0.4)
        raise AssertionError(f"{name}: {problem}")


def hand_over(client, main, title):
    assert client.hand_over(main["hwnd"], title) == 1


def choose_from_main_menu(client, main, position):
    client.click(main["hwnd"], MAIN_MENU_BUTTON)
    r = client.drive("menu", "10000")
    assert r.returncode == 0, "no menu appeared"
    menu = r.stdout.decode().split("\t")[0]
    for _ in range(position + 1):
        client.drive("post", menu, str(WM_KEYDOWN), str(VK_DOWN), "0")
    client.drive("post", menu, str(WM_KEYDOWN), str(VK_RETURN), "0")


def visible_dialogs(client, pid):
    return [w for w in client.windows() if w["class"] == "#32770" and w["visible"] and w["pid"] == pid]


def union(*rects):
    left = min(r[0] for r in rects)
    top = min(r[1] for r in rects)
    right = max(r[0] + r[2] for r in rects)
    bottom = max(r[1] + r[3] for r in rects)
    return left, top, right - left, bottom - top


def grow(rect, margin):
    x, y, w, h = rect
    left, top = max(0, x - margin), max(0, y - margin)
    right, bottom = min(SCREEN[0], x + w + margin), min(SCREEN[1], y + h + margin)
    return left, top, right - left, bottom - top


def test_readme_screenshots(client, portal, standin, shots_dir, tmp_path):
    shooter = Shooter(client, shots_dir, tmp_path)
    client.start("/web4286D")
    main = client.main_window()
    pid = main["pid"]

    # 1. The login window: the portal's login page (the stand-in browser
    #    control draws it), transparent where the page is magenta, over the
    #    layered background picture.
    login = poll(lambda: next((w for w in visible_dialogs(client, pid)
                               if w["title"] == "Lumendor" and w["rect"][2:] == (1208, 668)), None))
    assert login, f"no login window: {visible_dialogs(client, pid)}"
    _, page_dialog, _ = login_windows(client, main)
    assert poll(lambda: page(client, page_dialog, "text", "panel") is not None, 20)
    background = REPO / "res" / "skin" / "129.png"
    # The picture shows through the page's magenta; the page's panel covers it.
    through = {p: png_pixel(background, *p) for p in [(300, 560), (2, 2), (1205, 665), (100, 300)]}

    def login_check(pic):
        for p, colour in through.items():
            if not near(pic(*p), colour, 6):
                return f"pixel {p} is {pic(*p)}, not the picture's {colour}"
        if not near(pic(1090, 520), (32, 38, 58), 6):
            return f"no login panel at (1090, 520): {pic(1090, 520)}"
        if not pic.any_in(768, 170, 900, 195, lambda c: near(c, (240, 165, 58), 40)):
            return "no panel heading"
        return None
    shooter.take("login", login["rect"], login_check)

    # 2. The main window with three accounts: the first logged in on the
    #    login page, two more handed over as the page would hand them; three
    #    tabs, the third current, and the third account's game page.
    log_in(client, page_dialog, "player", "secret", "12")
    assert poll(lambda: not rect_of(client, page_dialog)["visible"], 20)
    for title in ACCOUNTS[1:]:
        hand_over(client, main, title)
    # The login page hides its window after a hand-over; these hand-overs
    # came from outside, so close it the way the page's own close does.
    client.drive("post", main["hwnd"], str(WM_SYSCOMMAND), str(SC_CLOSE), "4286")
    assert poll(lambda: not any(w["hwnd"] == login["hwnd"] for w in visible_dialogs(client, pid)))
    main = poll(lambda: (m := client.main_window())["rect"] == (0, 0, *SCREEN) and m)
    assert main, "the main window did not fill the screen"
    owned = [line.split("\t")[0] for line in client.drive("owned", main["hwnd"]).stdout.decode().splitlines()]
    pages = [h for h in owned if client.drive("text", h, "102").returncode == 0]
    assert len(pages) == 3

    def main_check(pic):
        for i in range(3):
            # Each tab shows its title (text brighter than the tab image).
            if not pic.any_in(151 + 176 * i, 8, 283 + 176 * i, 22, lambda c: min(c) > 120):
                return f"no title on tab {i}"
            current = near(pic(130 + 176 * i + 88, 3), TAB_CURRENT_TOP, 20)
            if current != (i == 2):
                return f"tab {i} is {'' if current else 'not '}marked current"
        # No fourth tab: no title and no tab line after the new-page button.
        if pic.any_in(690, 8, 810, 22, lambda c: min(c) > 120) or near(pic(746, 3), TAB_CURRENT_TOP, 20):
            return "a fourth tab"
        if not near(pic(640, 400), GAME_PAGE, 6):
            return f"the page area is {pic(640, 400)}, not the game page"
        return None
    shooter.take("main-three-tabs", main["rect"], main_check)

    # 3. A message box: "更新" from the main menu.
    choose_from_main_menu(client, main, MENU_UPDATE)
    box = poll(lambda: next((w for w in visible_dialogs(client, pid)
                             if w["title"] == "Lumendor" and w["hwnd"] != main["hwnd"]
                             and w["rect"][2:] != (1208, 668)), None))
    assert box, "no message box"
    texts = poll(lambda: [c["text"] for c in client.children(box["hwnd"]) if c["id"] == 65535])
    assert texts == ["已经是最新版本，无需进行更新。"]
    assert any(c["id"] == BOX_OK for c in client.children(box["hwnd"]))

    def box_check(pic):
        caption = pic(pic.width // 2, 12)
        if not (35 <= caption[0] <= 60 and 40 <= caption[1] <= 65 and 55 <= caption[2] <= 85):
            return f"caption pixel {caption}"
        # The text, grey on the dark body, on its first line (y 55 on).
        if not pic.any_in(10, 55, pic.width - 10, 70, lambda c: near(c, (153, 153, 153), 40)):
            return "no text drawn"
        return None
    shooter.take("message-box", box["rect"], box_check)
    client.click(box["hwnd"], BOX_OK)
    assert client.drive("gone", box["hwnd"], "5000").returncode == 0

    # 4. The settings dialog: "设置..." from the main menu.
    choose_from_main_menu(client, main, MENU_SETTINGS)
    settings = client.wait_window("#32770", "设置")
    edits = poll(lambda: [c["text"] for c in client.children(settings["hwnd"]) if c["class"] == "Edit"])
    assert edits == ["F10", "Ctrl  +  Tab", "Ctrl  +  Q"]

    def settings_check(pic):
        # The three group frames are painted in white, 2 pixels wide, at x 12.
        for top, bottom in ((50, 120), (153, 223), (256, 326)):
            if not all(near(pic(12, y), (255, 255, 255), 30) for y in range(top + 5, bottom - 5, 10)):
                return f"no white frame between y {top} and {bottom}"
        caption = pic(pic.width // 2, 12)
        if not (35 <= caption[0] <= 60 and 40 <= caption[1] <= 65 and 55 <= caption[2] <= 85):
            return f"caption pixel {caption}"
        return None
    shooter.take("settings", settings["rect"], settings_check)
    client.click(settings["hwnd"], SETTINGS_CANCEL)
    assert client.drive("gone", settings["hwnd"], "5000").returncode == 0

    # 5. The screenshot tool with a dragged selection, its toolbar and the
    #    magnifier. A window exactly the screen's size is held above every
    #    other by the window manager, the top-most overlay included: one
    #    pixel shorter, it is an ordinary window again.
    assert client.drive("place", main["hwnd"], "0", "0", str(SCREEN[0]), str(SCREEN[1] - 1)).returncode == 0
    assert poll(lambda: client.main_window()["rect"] == (0, 0, SCREEN[0], SCREEN[1] - 1))
    time.sleep(0.5)
    client.click(main["hwnd"], SHOT_BUTTON)
    overlay = poll(lambda: next((w for w in visible_dialogs(client, pid)
                                 if w["rect"] == (0, 0, *SCREEN) and w["hwnd"] != main["hwnd"]), None))
    assert overlay, "the overlay did not cover the screen"
    time.sleep(0.5)
    x1, y1, x2, y2 = SELECTION
    assert client.drive("drag", str(x1), str(y1), str(x2), str(y2)).stdout.split() == [str(x2).encode(),
                                                                                        str(y2).encode()]
    selection_rect = (x1, y1, x2 - x1, y2 - y1)
    selection = poll(lambda: next((w for w in visible_dialogs(client, pid) if w["rect"] == selection_rect), None))
    assert selection, "no selection window"
    bar = client.drive("find", "#32770", "*", "1035", "5000")
    assert bar.returncode == 0, "no toolbar"
    bar_rect = next(w["rect"] for w in client.windows() if w["hwnd"] == bar.stdout.decode().split("\t")[0])
    assert bar_rect == (x2 - 152, y2 + 5, 152, 26)
    magnifier = poll(lambda: next((w for w in visible_dialogs(client, pid) if w["rect"][2:] == (256, 100)), None))
    assert magnifier, "no magnifier"
    crop = grow(union(selection_rect, bar_rect, magnifier["rect"]), MARGIN)

    def tool_check(pic):
        sx, sy = x1 - crop[0], y1 - crop[1]
        inside = pic(sx + 100, sy + 100)   # the frozen main window at full brightness
        outside = pic(sx - MARGIN // 2, sy + 100)  # the same window under the darkening
        if not near(inside, GAME_PAGE, 6):
            return f"inside the selection {inside}"
        if not (all(o < i for o, i in zip(outside, inside) if i > 8) and near(outside, tuple(round(c / 2) for c in GAME_PAGE), 6)):
            return f"outside the selection {outside}, inside {inside}"
        if not near(pic(sx, sy + 50), FRAME_GREEN, 10) or not near(pic(sx + (x2 - x1) // 2, sy), FRAME_GREEN, 10):
            return "no green frame"
        bx, by = bar_rect[0] - crop[0], bar_rect[1] - crop[1]
        if not pic.any_in(bx, by, bx + 152, by + 26, lambda c: min(c) > 150):
            return "no toolbar captions"
        mx, my = magnifier["rect"][0] - crop[0], magnifier["rect"][1] - crop[1]
        if not near(pic(mx + 1, my + 50), (255, 255, 255), 10):
            return "no magnifier frame"
        return None
    shooter.take("screenshot-tool", crop, tool_check)

    for png in ("login", "main-three-tabs", "message-box", "settings", "screenshot-tool"):
        assert (shots_dir / f"{png}.png").stat().st_size < 150_000, png
