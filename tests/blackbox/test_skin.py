"""The skinned message box and dialog, driven on their own (skin_probe.exe)
and looked at in screenshots."""
from __future__ import annotations

import subprocess

import pytest

from conftest import poll, wait_exit

WM_CLOSE, WM_NCHITTEST = 0x0010, 0x0084


@pytest.fixture
def probe(client):
    return client.build / "tests" / "skin_probe.exe"


def pixel(path, x, y):
    out = subprocess.run(["convert", str(path), "-format", f"%[fx:int(255*p{{{x},{y}}}.r)],"
                          f"%[fx:int(255*p{{{x},{y}}}.g)],%[fx:int(255*p{{{x},{y}}}.b)]", "info:"],
                         capture_output=True, text=True, check=True).stdout
    return tuple(int(v) for v in out.split(","))


def open_box(client, probe, kind, text="请确认"):
    proc = client.start("box", str(kind), text, exe=probe)
    box = client.wait_window("#32770", "Lumendor")
    return proc, box


@pytest.mark.parametrize("kind, control, result", [
    (4, 5000, 6), (4, 5001, 7), (4, 50000, 2),
    (1, 5000, 1), (1, 5001, 2), (1, 50000, 2),
    (0, 5000, 1), (0, 50000, 2), (7, 5000, 1),
])
def test_message_box_buttons_answer(client, probe, kind, control, result):
    proc, box = open_box(client, probe, kind)
    ids = sorted(c["id"] for c in client.children(box["hwnd"]) if c["class"] == "Button")
    assert ids == ([5000, 5001, 50000] if kind in (1, 4) else [5000, 50000])
    client.click(box["hwnd"], control)
    assert wait_exit(proc) == result


def test_message_box_ignores_enter_and_escape_and_closes_on_wm_close(client, probe):
    proc, box = open_box(client, probe, 4)
    client.drive("keys", "enter", "esc")
    assert client.drive("gone", box["hwnd"], "800").returncode == 1  # still there
    assert proc.poll() is None
    client.drive("post", box["hwnd"], str(WM_CLOSE), "0", "0")
    assert wait_exit(proc) == 2


@pytest.mark.parametrize("text, check", [
    ("", lambda w, h, base: w == 174),
    ("这是一行很长很长的提示文字，用来把消息框撑宽到文字宽度再加六十像素", lambda w, h, base: w > 300),
    ("第一行\\n", lambda w, h, base: h > base[1]),
])
def test_message_box_sizes_itself_to_the_text(client, probe, text, check):
    proc, one = open_box(client, probe, 0, "第一行")
    base = one["rect"][2:]
    client.click(one["hwnd"], 5000)
    wait_exit(proc)
    proc, box = open_box(client, probe, 0, text)
    w, h = box["rect"][2:]
    assert check(w, h, base), (w, h, base)
    client.click(box["hwnd"], 5000)
    wait_exit(proc)


@pytest.mark.parametrize("kind", [0, 1, 4])
def test_message_box_looks_right(client, probe, kind):
    proc, box = open_box(client, probe, kind, "当前网络不可用，请检查网络连接是否正常！\\n第二行提示")
    x, y, w, h = box["rect"]
    shot = client.screenshot(f"message-box-type{kind}.png")
    # Opaque skin pixels: the caption band is dark slate, the body darker,
    # the button light; the corner pixel is cut away (the black desktop).
    r, g, b = pixel(shot, x + w // 2, y + 12)
    assert 35 <= r <= 60 and 40 <= g <= 65 and 55 <= b <= 85, (r, g, b)
    assert pixel(shot, x, y) == (0, 0, 0)
    buttons = [c for c in client.children(box["hwnd"]) if c["id"] == 5000]
    assert buttons
    assert texts_of(client, box) == ["当前网络不可用，请检查网络连接是否正常！\n第二行提示"]
    client.click(box["hwnd"], 5000)
    wait_exit(proc)


def texts_of(client, box):
    return [c["text"].replace("\\n", "\n") for c in client.children(box["hwnd"]) if c["id"] == 65535]


def test_skinned_dialog_maximizes_restores_and_hit_tests(client, probe):
    proc = client.start("dialog", exe=probe)
    dlg = client.wait_window("#32770", "Lumendor 皮肤测试")
    hwnd = dlg["hwnd"]
    x, y, w, h = dlg["rect"]
    assert (w, h) == (480, 300)
    ids = sorted(c["id"] for c in client.children(hwnd) if c["class"] == "Button")
    assert ids == [1001, 1002, 50000, 50001, 50002]
    client.screenshot("skinned-dialog.png")

    def hit(px, py):
        return int(client.drive("send", hwnd, str(WM_NCHITTEST), "0", str((py << 16) | px)).stdout)
    assert hit(x + 100, y + 10) == 2           # caption
    assert hit(x + w - 1, y + h - 1) == 17     # bottom-right corner
    assert hit(x + 1, y + 100) == 10           # left edge
    assert hit(x + 100, y + 1) == 12           # top band

    def rect_after(control, differs_from):
        client.click(hwnd, control)
        for _ in range(50):
            now = client.wait_window("#32770", "Lumendor 皮肤测试")["rect"]
            if now != differs_from:
                return now
        return now

    # A press on the frame (here one that does not drag) records where the
    # window is; maximizing and restoring brings it back there.
    client.drive("send", hwnd, str(0x00A1), "1", "0")  # WM_NCLBUTTONDOWN, HTCLIENT
    maxed = rect_after(50002, dlg["rect"])
    assert maxed[2] > w and maxed[3] > h
    client.screenshot("skinned-dialog-maximized.png")
    assert rect_after(50002, maxed) == dlg["rect"]
    # A real double click on the caption maximizes, a second restores; the
    # bottom-right corner dragged by the pointer resizes.
    for at, expected in ((dlg["rect"], maxed), (maxed, dlg["rect"])):
        client.double_click_at(at[0] + 100, at[1] + 10)
        assert poll(lambda: client.wait_window("#32770", "Lumendor 皮肤测试")["rect"] == expected, 5), expected
    client.drive("drag", str(x + w - 2), str(y + h - 2), str(x + w + 98), str(y + h + 48))
    assert poll(lambda: client.wait_window("#32770", "Lumendor 皮肤测试")["rect"] == (x, y, w + 100, h + 50), 5)
    client.click(hwnd, 50000)
    assert wait_exit(proc) == 0
