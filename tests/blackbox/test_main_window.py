"""The main window as the login window drives it: account hand-overs by
WM_COPYDATA, tabs, the page limit, closing pages and the beacons of it all."""
from __future__ import annotations

import time

from conftest import wait_exit

WM_SYSCOMMAND, SC_CLOSE = 0x0112, 0xF060


def hand_over(client, main, title, game="lmdr"):
    return client.hand_over(main["hwnd"], title, game)


def wait_requests(portal, path, count, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = [r for r in portal.requests() if r["path"] == path]
        if len(found) >= count:
            return found
        time.sleep(0.1)
    return [r for r in portal.requests() if r["path"] == path]


def events(portal, number):
    return [r for r in portal.requests() if r["path"] == "/_regevent.gif" and r["query"].startswith(f"event={number}&")]


def test_hand_overs_open_pages_and_closing_sends_records(client, portal):
    proc = client.start("/web4286D")
    main = client.main_window()
    hwnd = main["hwnd"]

    assert hand_over(client, main, "12服-abcd-player") == 1
    logins = wait_requests(portal, "/login.htm", 1)
    assert logins[0]["query"] == "tag=Lm03000&ver=3.0.0.1&uid=player&index=1"
    assert wait_requests(portal, "/_regevent.gif", 2)  # event 100 at start, then 305
    assert len(events(portal, 305)) == 1

    before = len(portal.requests())
    assert hand_over(client, main, "12服-abcd-player") == 0   # the same title: refused
    time.sleep(1.0)
    assert len(portal.requests()) == before                    # and nothing sent

    assert hand_over(client, main, "12服-abcd-second") == 1   # another account, same server
    assert hand_over(client, main, "7服-abcd-player") == 1    # the same account, another server
    logins = wait_requests(portal, "/login.htm", 3)
    assert [r["query"].rsplit("&", 2)[-2:] for r in logins] == [
        ["uid=player", "index=1"], ["uid=second", "index=2"], ["uid=player", "index=3"]]

    # Three pages: the window fills the work area and paints three tabs.
    for _ in range(50):
        main = client.main_window()
        if main["rect"][2] > 1:
            break
        time.sleep(0.1)
    assert main["rect"][2] > 600
    client.screenshot("main-window-three-tabs.png")

    # A fourth is refused at the new-page button.
    client.click(hwnd, 1026)
    box = client.wait_window("#32770", "Lumendor")
    for _ in range(50):
        texts = [c["text"] for c in client.children(box["hwnd"]) if c["id"] == 65535]
        if texts:
            break
        box = client.wait_window("#32770", "Lumendor")
    assert texts == ["登录器只支持3个游戏页"]
    client.click(box["hwnd"], 5000)

    # The first tab's close box: its online record and event 306, on workers.
    client.click_at(hwnd, 290, 15)
    records = wait_requests(portal, "/d.php", 1)
    assert records[0]["query"].startswith("a=web.online&game=lmdr&server=S12&length=")
    assert records[0]["query"].endswith("&cid=3000")
    assert len(wait_requests(portal, "/_regevent.gif", 4)) >= 4
    assert len(events(portal, 306)) == 1

    # The window's close button: the two remaining records, then the login state at 2 x 1.
    client.click(hwnd, 50000)
    assert len(wait_requests(portal, "/d.php", 3)) == 3
    for _ in range(50):
        main = client.main_window()
        if main["rect"][2:] == (2, 1):
            break
        time.sleep(0.1)
    assert main["rect"][2:] == (2, 1)
    assert len(events(portal, 306)) == 3

    # With no page open, closing ends the client; no further records.
    client.drive("post", hwnd, str(WM_SYSCOMMAND), str(SC_CLOSE), "4286")
    assert wait_exit(proc) == 0
    assert len([r for r in portal.requests() if r["path"] == "/d.php"]) == 3


def test_f5_and_ctrl_d_reach_the_current_page_only(client, portal):
    game = "http://127.0.0.1:47301/lmdr/game.html?server=12&logingame=lmdr"
    proc = client.start("/newgm", "h0", "x" + game)
    main = client.main_window()
    hwnd = main["hwnd"]
    assert hand_over(client, main, "12服-abcd-player") == 1
    assert hand_over(client, main, "12服-abcd-second") == 1
    pages = wait_requests(portal, "/lmdr/game.html", 2)
    assert len(pages) == 2

    owned = [line.split("\t") for line in client.drive("owned", hwnd).stdout.decode().splitlines()]
    page_windows = [w[0] for w in owned if client.drive("text", w[0], "102").returncode == 0]
    assert len(page_windows) == 2
    # No HTML engine here, so no page shows itself: show both; only the
    # current one may react.
    for page in page_windows:
        client.drive("show", page)
    time.sleep(0.3)

    client.drive("post", hwnd, str(0x0100), str(0x74), "0")  # WM_KEYDOWN VK_F5 to the main window
    assert len(wait_requests(portal, "/lmdr/game.html", 3)) == 3  # one page refreshed, once
    time.sleep(1.0)
    assert len([r for r in portal.requests() if r["path"] == "/lmdr/game.html"]) == 3

    client.drive("post", hwnd, str(0x0102), "4", str(0x200001))  # WM_CHAR Ctrl+D, first press
    fav = client.wait_window("#32770", "添加收藏")
    client.click(fav["hwnd"], 1)  # "收藏"
    shortcut = client.prefix.user_dir() / "Favorites" / "Lumendor.url"
    for _ in range(50):
        if shortcut.exists():
            break
        time.sleep(0.1)
    text = shortcut.read_bytes().decode("ascii")
    assert text.count(game) == 2 and text.startswith("[DEFAULT]\r\nBASEURL=" + game)

    client.drive("post", hwnd, str(0x0102), "4", str(0x40200001))  # an auto-repeat: nothing
    assert client.drive("wait", "#32770", "添加收藏", "800").returncode == 1
    client.drive("post", hwnd, str(WM_SYSCOMMAND), str(SC_CLOSE), "0")  # pages open: back to login
    assert len(wait_requests(portal, "/d.php", 2)) == 2
    client.drive("post", hwnd, str(WM_SYSCOMMAND), str(SC_CLOSE), "4286")
    assert wait_exit(proc) == 0


def test_page_follows_a_plain_move_and_f5_in_the_login_window_refreshes_it(client, portal):
    game = "http://127.0.0.1:47301/lmdr/game.html?server=12&logingame=lmdr"
    client.start("/newgm", "h0", "x" + game)
    main = client.main_window()
    hwnd = main["hwnd"]
    assert hand_over(client, main, "12服-abcd-player") == 1
    assert len(wait_requests(portal, "/lmdr/game.html", 1)) == 1

    owned = [line.split("\t") for line in client.drive("owned", hwnd).stdout.decode().splitlines()]
    page = [w[0] for w in owned if client.drive("text", w[0], "102").returncode == 0]
    login = [w[0] for w in owned if w[0] not in page and w[1] == "#32770"]
    assert len(page) == 1 and len(login) == 1
    page = page[0]
    client.drive("show", page)

    def rect(h):
        return next((w["rect"] for w in client.windows() if w["hwnd"] == h), None)

    # A move without a size (as a drag by the caption makes) takes the page along.
    for _ in range(50):
        main = client.main_window()
        if main["rect"][2] > 600:
            break
        time.sleep(0.1)
    x, y, w, h = main["rect"]
    assert client.drive("move", hwnd, str(x + 37), str(y + 21)).returncode == 0
    for _ in range(50):
        if rect(page) == (x + 37 + 4, y + 21 + 65, w - 8, h - 69):
            break
        time.sleep(0.1)
    assert rect(page) == (x + 37 + 4, y + 21 + 65, w - 8, h - 69)

    # F5 reaching the login window goes on to the main window: the page refreshes.
    client.drive("post", login[0], str(0x0100), str(0x74), "0")
    assert len(wait_requests(portal, "/lmdr/game.html", 2)) == 2
