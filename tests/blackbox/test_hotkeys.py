"""The boss key, the mute key and the window-switch key of the running client,
pressed as real keys (SendInput from the UI driver), and the settings dialog
taking real keys.

Wine delivers low-level key events only while one of its windows has the
focus: "another program in front" is the driver's own window (`hold`)."""
from __future__ import annotations

import time

import pytest

from conftest import wait_exit

WM_SYSCOMMAND, SC_CLOSE, WM_KEYDOWN = 0x0112, 0xF060, 0x0100
WM_LBUTTONDOWN, WM_LBUTTONUP = 0x0201, 0x0202
VK_F5 = 0x74
GAME = "/lmdr/game.html?server=12&logingame=lmdr"

# A pixel of the mute button (client (10, 36), 56 x 23) that is bright in the
# muted image and dim in the sound-on image.
MUTE_PIXEL = (10 + 18, 36 + 11)


def hand_over(client, main, account):
    return client.hand_over(main["hwnd"], f"12服-abcd-{account}")


def windows_by_handle(client):
    return {w["hwnd"]: w for w in client.windows()}


def page_windows(client, main):
    """The game pages: windows owned by the main window holding the browser (102)."""
    owned = [line.split("\t")[0] for line in client.drive("owned", main["hwnd"]).stdout.decode().splitlines()]
    return [w for w in owned if client.drive("text", w, "102").returncode == 0]


def wait_pages(client, main, count, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        pages = page_windows(client, main)
        if len(pages) == count:
            return pages
        time.sleep(0.1)
    raise AssertionError(f"{count} pages did not appear")


def login_window(client, main):
    for w in client.windows():
        if (w["class"], w["title"], w["pid"]) == ("#32770", "Lumendor", main["pid"]) and w["hwnd"] != main["hwnd"]:
            return w
    raise AssertionError("no login window")


def hold_front(client):
    """Another program in front of the client: the driver's own window."""
    client.start("hold", "120000", exe=client.driver)
    holder = client.wait_window("LmHold", "lmdriver-hold")
    activate(client, holder["hwnd"])
    return holder


def activate(client, hwnd):
    for _ in range(50):
        client.drive("activate", hwnd)
        if foreground(client) == hwnd:
            return
        time.sleep(0.1)
    raise AssertionError(f"{hwnd} did not come to the front")


def foreground(client):
    r = client.drive("foreground")
    return r.stdout.decode().split("\t")[0] if r.returncode == 0 else None


def pixel(client, x, y):
    return int(client.drive("pixel", str(x), str(y)).stdout.decode().strip(), 16)


def brightness(rgb):
    return rgb >> 16


def mute_point(main):
    x, y = main["rect"][:2]
    return x + MUTE_PIXEL[0], y + MUTE_PIXEL[1]


def wait_mute_shown(client, main, muted, timeout=5.0):
    """Waits until the mute button shows the muted (bright) or sound-on (dim) image."""
    x, y = mute_point(main)
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = brightness(pixel(client, x, y))
        if (value > 180) if muted else (value < 130):
            return
        time.sleep(0.05)
    raise AssertionError(f"the mute button does not show {'muted' if muted else 'sound on'}: {value}")


def keywatch(client, main, chord, timeout_ms):
    """Presses a chord and reports (new brightness, milliseconds) once the
    mute button's pixel changed, or None."""
    x, y = mute_point(main)
    r = client.drive("keywatch", str(x), str(y), str(timeout_ms), chord)
    if r.returncode != 0:
        return None
    colour, ms = r.stdout.decode().split()
    return brightness(int(colour, 16)), int(ms)


def playing_main_window(client, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        main = client.main_window()
        if main["rect"][2] > 600:
            return main
        time.sleep(0.1)
    raise AssertionError("the main window did not fill the work area")


def account_label(client, main):
    return client.drive("text", main["hwnd"], "1033").stdout.decode().strip()


def test_with_no_page_open_the_boss_and_mute_keys_do_nothing(client, portal):
    client.start("/newgm", "h0", "x" + portal.address("portal", GAME))
    main = client.main_window()
    login = login_window(client, main)

    # In the client (the login window is its only window in sight) ...
    activate(client, login["hwnd"])
    client.drive("keys", "f10", "ctrl+q")
    time.sleep(0.5)
    # ... and in another program.
    holder = hold_front(client)
    client.drive("keys", "f10", "ctrl+q")
    time.sleep(0.5)
    shown = windows_by_handle(client)
    assert shown[main["hwnd"]]["visible"] and shown[login["hwnd"]]["visible"]

    # The mute state was not flipped: the first page shows the sound-on image.
    assert hand_over(client, main, "p1") == 1
    main = playing_main_window(client)
    activate(client, holder["hwnd"])
    wait_mute_shown(client, main, muted=False)
    time.sleep(1.0)  # a few more ticks of the mute poll
    wait_mute_shown(client, main, muted=False, timeout=0.5)
    # The same key now that a page is open: the hook did see the keys.
    flipped = keywatch(client, main, "ctrl+q", 6000)
    assert flipped is not None and flipped[0] > 180


def test_boss_key_hides_everything_and_brings_it_back_in_front(client, portal):
    client.start("/newgm", "h0", "x" + portal.address("portal", GAME))
    main = client.main_window()
    login = login_window(client, main)
    assert hand_over(client, main, "p1") == 1
    main = playing_main_window(client)
    (page,) = wait_pages(client, main, 1)
    client.drive("show", page)  # no HTML engine here: the page cannot show itself
    shown = windows_by_handle(client)
    assert shown[page]["visible"] and shown[login["hwnd"]]["visible"]  # the login page over the game

    holder = hold_front(client)
    client.drive("keys", "ctrl+f10")  # not the boss key: exact modifiers
    time.sleep(0.5)
    assert windows_by_handle(client)[main["hwnd"]]["visible"]

    client.drive("keys", "f10")
    time.sleep(0.5)
    shown = windows_by_handle(client)
    assert not shown[main["hwnd"]]["visible"]
    assert not shown[page]["visible"]
    assert not shown[login["hwnd"]]["visible"]
    assert foreground(client) == holder["hwnd"]
    client.screenshot("boss-key-hidden.png")

    client.drive("keys", "f10")
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline and foreground(client) != main["hwnd"]:
        time.sleep(0.05)
    shown = windows_by_handle(client)
    assert shown[main["hwnd"]]["visible"] and shown[page]["visible"]
    assert not shown[login["hwnd"]]["visible"]  # coming back shows the game, not the login page
    assert foreground(client) == main["hwnd"]  # in front of the other program
    assert shown[main["hwnd"]]["rect"] == main["rect"]
    client.screenshot("boss-key-back.png")


def test_mute_key_flips_the_mute_button_within_the_poll(client, portal):
    client.start("/newgm", "h0", "x" + portal.address("portal", GAME))
    main = client.main_window()
    assert hand_over(client, main, "p1") == 1
    main = playing_main_window(client)
    hold_front(client)
    wait_mute_shown(client, main, muted=False)

    assert keywatch(client, main, "ctrl+shift+q", 1200) is None  # not the mute key
    times = []
    for muted in (True, False, True):
        flipped = keywatch(client, main, "ctrl+q", 3000)
        assert flipped is not None, "the mute button did not change"
        value, ms = flipped
        assert (value > 180) == muted
        times.append(ms)
        time.sleep(0.5)
    print("mute button followed the key after", times, "ms")
    # A click on the button itself flips it as well.
    client.click(main["hwnd"], 1002)
    wait_mute_shown(client, main, muted=False)
    # The poll runs every 400 ms; the repaint follows at once.
    assert max(times) <= 600, times


def test_window_switch_key_cycles_three_pages(client, portal):
    client.start("/newgm", "h0", "x" + portal.address("portal", GAME))
    main = client.main_window()
    for account in ("p1", "p2", "p3"):
        assert hand_over(client, main, account) == 1
    main = playing_main_window(client)
    pages = wait_pages(client, main, 3)
    client.drive("post", main["hwnd"], str(WM_SYSCOMMAND), str(SC_CLOSE), "4286")  # hide the login page
    activate(client, main["hwnd"])

    seen = []
    for _ in range(4):
        client.drive("keys", "ctrl+tab")
        time.sleep(0.4)
        shown = windows_by_handle(client)
        visible = [p for p in pages if shown[p]["visible"]]
        assert len(visible) == 1
        assert foreground(client) == visible[0]
        seen.append((account_label(client, main), visible[0]))
    assert [s[0] for s in seen] == ["p1", "p2", "p3", "p1"]
    assert len({s[1] for s in seen[:3]}) == 3 and seen[3][1] == seen[0][1]

    # Pressed in another program it does nothing.
    hold_front(client)
    client.drive("keys", "ctrl+tab")
    time.sleep(0.5)
    assert account_label(client, main) == "p1"
    assert windows_by_handle(client)[seen[0][1]]["visible"]


def test_the_refresh_buttons_f5_is_never_the_switch_key(client, portal):
    client.write_settings({"AltWndKey": "0,116"})  # the window-switch key is F5 alone
    client.start("/newgm", "h0", "x" + portal.address("portal", GAME))
    main = client.main_window()
    for account in ("p1", "p2"):
        assert hand_over(client, main, account) == 1
    main = playing_main_window(client)
    wait_pages(client, main, 2)

    def game_requests():
        return len([r for r in portal.requests() if r["path"] == "/lmdr/game.html"])

    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and game_requests() < 2:
        time.sleep(0.1)
    assert game_requests() == 2

    # An F5 key message is the switch key: the other page, no refresh.
    client.drive("post", main["hwnd"], str(WM_KEYDOWN), str(VK_F5), "0x003F0001")
    time.sleep(0.5)
    assert account_label(client, main) == "p1"

    # The refresh button posts F5 marked 4286: the page refreshes, no switch.
    client.click(main["hwnd"], 1027)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and game_requests() < 3:
        time.sleep(0.1)
    time.sleep(0.5)
    assert game_requests() == 3
    assert account_label(client, main) == "p1"

    client.drive("post", main["hwnd"], str(WM_KEYDOWN), str(VK_F5), "0x003F0001")
    time.sleep(0.5)
    assert account_label(client, main) == "p2"
    assert game_requests() == 3


@pytest.fixture
def probe(client):
    return client.build / "tests" / "skin_probe.exe"


def test_settings_dialog_takes_real_keys_and_saves_them(client, probe):
    ini = client.drive_c / "hk" / "Statistic.ini"
    ini.parent.mkdir(parents=True)
    ini.write_bytes(b"\xff\xfe" + "[Lm03000]\r\nSndKey=0,65\r\n".encode("utf-16-le"))
    proc = client.start("setting", "C:\\hk\\Statistic.ini", exe=probe)
    dlg = client.wait_window("#32770", "设置")
    activate(client, dlg["hwnd"])
    edits = {c["id"]: c for c in client.children(dlg["hwnd"]) if c["class"] == "Edit"}
    assert {k: v["text"] for k, v in edits.items()} == {1007: "F10", 1010: "Ctrl  +  Tab", 1014: "A"}

    sound = edits[1014]["hwnd"]
    client.drive("post", sound, str(WM_LBUTTONDOWN), "1", str((5 << 16) | 5))  # click into the field
    client.drive("post", sound, str(WM_LBUTTONUP), "0", str((5 << 16) | 5))
    time.sleep(0.3)
    client.drive("keys", "ctrl+q", "enter", "esc")  # Enter and Esc neither close nor change it
    time.sleep(0.3)
    assert proc.poll() is None
    assert client.drive("text", dlg["hwnd"], "1014").stdout.decode().strip() == "Ctrl  +  Q"

    # The painted group frames: white lines on the dark skin.
    x, y = dlg["rect"][:2]
    shot = client.screenshot("settings-dialog.png")
    assert shot.exists()
    assert pixel(client, x + 12, y + 85) == 0xFFFFFF
    assert pixel(client, x + 200, y + 50) == 0xFFFFFF
    assert pixel(client, x + 12, y + 137) != 0xFFFFFF

    client.click(dlg["hwnd"], 1)
    assert wait_exit(proc) == 1
    text = ini.read_bytes()
    text = text.decode("utf-16") if text[:2] == b"\xff\xfe" else text.decode("latin-1")
    assert "SndKey=2,81" in text
    assert "ShortKey=0,121" in text and "AltWndKey=2,9" in text
