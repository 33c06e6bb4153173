"""The screenshot tool from the main window's button: a selection dragged
with the mouse, finished to the clipboard, then saved as a BMP file through
the system's save dialog; the pixels are the screen's, not the darkened
overlay's.

The mouse comes from SendInput, which Wine routes by its own window order.
Under openbox the overlay, unowned as it is, stays stacked below the focused
full-screen main window on the X display, so the display is not read here:
the Windows-side tests check the painting with the tool alone on screen."""
from __future__ import annotations

import os
import struct
import subprocess
import time

from conftest import poll

SCREEN = (1280, 800)
SHOT_BUTTON = 1028
DONE, SAVE = 1031, 1035
NAME_BOX, SAVE_BUTTON = 0x47C, 1


def main_window_up(client):
    main = client.main_window()
    assert client.hand_over(main["hwnd"], "12服-abcd-player") == 1
    return poll(lambda: (m := client.main_window())["rect"][2] > 600 and m)


def tool_window(client, rect, exclude=()):
    """A visible dialog window of the client with exactly that rectangle."""
    for w in client.windows():
        if w["class"] == "#32770" and w["visible"] and w["rect"] == rect and w["hwnd"] not in exclude:
            return w
    return None


def toolbar(client):
    r = client.drive("find", "#32770", "*", str(SAVE), "5000")
    assert r.returncode == 0, "no screenshot toolbar"
    return r.stdout.decode().split("\t")[0]


def screen_rgb(display) -> bytes:
    """The X screen as raw RGB bytes, row by row."""
    env = dict(os.environ, DISPLAY=display.name)
    xwd = subprocess.run(["xwd", "-root", "-silent"], env=env, capture_output=True, check=True, timeout=30)
    out = subprocess.run(["/usr/bin/convert", "xwd:-", "-depth", "8", "rgb:-"], input=xwd.stdout,
                         capture_output=True, check=True, timeout=60)
    assert len(out.stdout) == SCREEN[0] * SCREEN[1] * 3
    return out.stdout


def bmp_matches_screen(bmp: bytes, screen: bytes, left: int, top: int) -> float:
    """The share of the BMP's pixels equal to the screen's at the same place."""
    width, height = struct.unpack_from("<ii", bmp, 18)
    same = 0
    for y in range(height):
        row = 54 + (height - 1 - y) * width * 4
        for x in range(0, width, 3):
            b, g, r = bmp[row + x * 4: row + x * 4 + 3]
            at = ((top + y) * SCREEN[0] + left + x) * 3
            same += (r, g, b) == tuple(screen[at:at + 3])
    return same / (height * len(range(0, width, 3)))


def open_tool(client, main):
    client.click(main["hwnd"], SHOT_BUTTON)
    overlay = poll(lambda: tool_window(client, (0, 0, *SCREEN), exclude=(main["hwnd"],)))
    assert overlay, "the overlay did not cover the screen"
    time.sleep(0.5)
    return overlay


def test_drag_finish_to_clipboard_and_save_a_bmp(client, portal, display):
    client.start("/web4286D")
    main = main_window_up(client)
    assert main
    time.sleep(1.0)
    before = screen_rgb(display)

    # First shot: a dragged selection, finished from the toolbar.
    open_tool(client, main)
    moved = client.drive("drag", "300", "150", "620", "390")
    assert moved.returncode == 0 and moved.stdout.split() == [b"620", b"390"]
    selection = poll(lambda: tool_window(client, (300, 150, 320, 240)))
    assert selection, f"no selection window: {client.windows()}"
    bar = toolbar(client)
    bar_rect = [w["rect"] for w in client.windows() if w["hwnd"] == bar][0]
    assert bar_rect == (620 - 152, 395, 152, 26)
    # The bottom-right handle dragged by the pointer resizes the selection
    # and hides the toolbar; the next move over the selection places it again.
    client.drive("drag", "618", "388", "658", "418")
    assert poll(lambda: tool_window(client, (300, 150, 360, 270))), "the selection was not resized"
    client.display.pointer_move(640, 400)
    bar = toolbar(client)
    assert poll(lambda: [w["rect"] for w in client.windows() if w["hwnd"] == bar] == [(660 - 152, 425, 152, 26)])

    client.click(bar, DONE)
    assert poll(lambda: not tool_window(client, (0, 0, *SCREEN), exclude=(main["hwnd"],)))
    clip = client.drive("clipboard")
    assert clip.returncode == 0 and clip.stdout.split() == [b"360", b"270"]

    # Second shot: an odd width, saved through the save dialog. The screen is
    # read again: resizing activated the selection, and as it went the
    # activation passed to the login window, which this test (handing over
    # by itself) leaves shown behind the main window.
    time.sleep(0.5)
    before = screen_rgb(display)
    open_tool(client, main)
    client.drive("drag", "8", "4", "265", "187")  # over the title, a tab and tool buttons
    assert poll(lambda: tool_window(client, (8, 4, 257, 183)))
    client.click(toolbar(client), SAVE)
    dialog = client.wait_window("#32770", "请输入文件名称", 15000)
    offered = client.drive("text", dialog["hwnd"], str(NAME_BOX)).stdout.decode().strip()
    assert len(offered) == 18 and offered[:14].isdigit() and offered.endswith(".bmp"), offered
    folder = client.drive_c / "shots"
    folder.mkdir()
    target = folder / "first"  # no extension: ".bmp" is added
    windows_path = client.prefix.windows_path(target)
    assert client.drive("settext", dialog["hwnd"], str(NAME_BOX), windows_path).returncode == 0
    client.click(dialog["hwnd"], SAVE_BUTTON)

    saved = folder / "first.bmp"
    assert poll(lambda: saved.exists() and saved.stat().st_size >= 54 + 257 * 183 * 4, 15)
    assert not target.exists()
    bmp = saved.read_bytes()
    assert len(bmp) == 54 + 257 * 183 * 4
    magic, size, reserved, offset = struct.unpack_from("<2sIII", bmp, 0)
    assert (magic, size, reserved, offset) == (b"BM", len(bmp), 0, 54)
    header = struct.unpack_from("<IiiHHIIiiII", bmp, 14)
    assert header == (40, 257, 183, 1, 32, 0, 257 * 183 * 4, 0, 0, 0, 0)
    # The frozen screen at full brightness, not the darkened overlay.
    assert bmp_matches_screen(bmp, before, 8, 4) > 0.95
    assert len({bmp[i:i + 3] for i in range(54, len(bmp), 4)}) > 20  # a picture, not a flat area
    assert poll(lambda: not tool_window(client, (0, 0, *SCREEN), exclude=(main["hwnd"],)))
    assert client.drive("wait", "#32770", "请输入文件名称", "500").returncode == 1

    # Third shot, dragged up and to the left and then back: on the way back
    # the pointer is over the selection itself, which hands the moves on, so
    # the band and the magnifier keep following it. A double click inside
    # the selection copies it and closes the tool.
    open_tool(client, main)
    client.drive("drag", "200", "180", "100", "100", "120", "120")
    assert poll(lambda: tool_window(client, (120, 120, 80, 60)))
    assert poll(lambda: any(w["visible"] and w["rect"] == (120 + 15, 120 + 24, 256, 100) for w in client.windows()),
                5), "the magnifier did not follow the pointer over the selection"
    client.double_click_at(150, 140)
    assert poll(lambda: not tool_window(client, (0, 0, *SCREEN), exclude=(main["hwnd"],)))
    assert client.drive("clipboard").stdout.split() == [b"80", b"60"]
