"""The main window as the login window drives it: account hand-overs by
WM_COPYDATA, tabs, the page limit, closing pages and the beacons of it all."""
from __future__ import annotations

import time

from conftest import login_record, login_windows, owned, poll, rect_of, visible, wait_exit

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

    # A fourth is refused at the new-page button, pressed twice at once: one
    # notice, since the button takes one press in 1.5 s.
    client.drive("post", hwnd, str(0x0111), "1026", "0", "2")  # WM_COMMAND, twice in a row
    box = client.wait_window("#32770", "Lumendor")
    for _ in range(50):
        texts = [c["text"] for c in client.children(box["hwnd"]) if c["id"] == 65535]
        if texts:
            break
        box = client.wait_window("#32770", "Lumendor")
    assert texts == ["登录器只支持3个游戏页"]
    client.click(box["hwnd"], 5000)
    time.sleep(1.0)
    notices = [w for w in client.windows() if w["class"] == "#32770" and w["visible"]
               and any(c["id"] == 65535 and c["text"] for c in client.children(w["hwnd"]))]
    assert not notices, notices

    # The first tab's close box: its online record and event 306, on workers.
    client.click_at(hwnd, 290, 15)
    records = wait_requests(portal, "/d.php", 1)
    assert records[0]["query"].startswith("a=web.online&game=lmdr&server=S12&length=")
    assert records[0]["query"].endswith("&cid=3000")
    # events 100 and three 305s came before: the fifth is the close's 306
    assert len(wait_requests(portal, "/_regevent.gif", 5)) == 5
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
    game = portal.address("portal", "/lmdr/game.html?server=12&logingame=lmdr")
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
    # Read once it is whole: the file shows up empty before it is written.
    assert poll(lambda: shortcut.exists() and shortcut.read_bytes().endswith(b"IDList=\r\n"), 5)
    text = shortcut.read_bytes().decode("ascii")
    assert text.count(game) == 2 and text.startswith("[DEFAULT]\r\nBASEURL=" + game)

    client.drive("post", hwnd, str(0x0102), "4", str(0x40200001))  # an auto-repeat: nothing
    assert client.drive("wait", "#32770", "添加收藏", "800").returncode == 1
    client.drive("post", hwnd, str(WM_SYSCOMMAND), str(SC_CLOSE), "0")  # pages open: back to login
    assert len(wait_requests(portal, "/d.php", 2)) == 2
    client.drive("post", hwnd, str(WM_SYSCOMMAND), str(SC_CLOSE), "4286")
    assert wait_exit(proc) == 0


def test_page_follows_a_plain_move_and_f5_in_the_login_window_refreshes_it(client, portal):
    game = portal.address("portal", "/lmdr/game.html?server=12&logingame=lmdr")
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


# -- the login window and the tab strip under real input ---------------------
WM_CLOSE, WM_ADDGAMEPAGE = 0x0010, 0x0400 + 2
LOGIN_SIZE = (1208, 668)


def check_login_geometry(client, background, page, browser):
    """The page dialog lies exactly over the background and its browser fills it."""
    def placed():
        rects = [rect_of(client, h)["rect"] for h in (background, page, browser)]
        return rects if rects[0][2:] == LOGIN_SIZE and rects.count(rects[0]) == 3 else None
    rects = poll(placed, 5)
    assert rects, [rect_of(client, h)["rect"] for h in (background, page, browser)]
    return rects[0]


def test_login_window_closed_by_the_system_hides_or_ends_and_its_browser_fills_it(client, portal):
    proc = client.start("/web4286D")
    main = client.main_window()
    hwnd = main["hwnd"]
    background, page, browser = login_windows(client, main)
    x, y, _, _ = check_login_geometry(client, background, page, browser)
    assert client.drive("move", background, str(x + 31), str(y + 17)).returncode == 0
    assert check_login_geometry(client, background, page, browser)[:2] == (x + 31, y + 17)

    # With a page open, closing the login window only hides it; the new-page
    # button brings the same page dialog back.
    assert hand_over(client, main, "12服-abcd-player") == 1
    closers = [("alt+f4", page), (WM_CLOSE, page), (WM_CLOSE, background)]
    for closer, target in closers:
        assert poll(lambda: visible(client, page), 5), closer
        if closer == "alt+f4":
            poll(lambda: client.drive("activate", page).returncode == 0 and
                 client.drive("foreground").stdout.decode().startswith(page), 5)
            client.drive("keys", closer)
        else:
            client.drive("post", target, str(closer), "0", "0")
        assert poll(lambda: not visible(client, background) and not visible(client, page), 5), closer
        assert proc.poll() is None and rect_of(client, page), closer
        time.sleep(1.6)  # the new-page button takes one press in 1.5 s
        client.click(hwnd, 1026)
        assert poll(lambda: visible(client, background) and visible(client, page), 5), closer
        assert login_windows(client, main) == (background, page, browser)
        check_login_geometry(client, background, page, browser)

    # With no page open, Alt+F4 in the login page ends the client.
    client.drive("post", hwnd, str(WM_SYSCOMMAND), str(SC_CLOSE), "0")  # pages open: back to login
    assert len(wait_requests(portal, "/d.php", 1)) == 1
    assert poll(lambda: visible(client, page), 5)
    poll(lambda: client.drive("activate", page).returncode == 0 and
         client.drive("foreground").stdout.decode().startswith(page), 5)
    client.drive("keys", "alt+f4")
    assert wait_exit(proc) == 0
    assert not [w for w in client.windows() if w["pid"] == main["pid"]]


def tab_count(client, main):
    """The tabs the strip holds, read from the new-page button's place."""
    button = [c["hwnd"] for c in client.children(main["hwnd"]) if c["id"] == 1026][0]
    return (rect_of(client, button)["rect"][0] - rect_of(client, main["hwnd"])["rect"][0] - 130) // 176


def test_tabs_close_by_real_clicks_in_the_restored_window_and_stray_page_messages_change_nothing(client, portal):
    proc = client.start("/web4286D")
    main = client.main_window()
    hwnd = main["hwnd"]
    background, _, _ = login_windows(client, main)
    strays = ["0", "0x1234", background, hwnd]

    def post_strays(extra=()):
        for wparam in [*strays, *extra]:
            client.drive("post", hwnd, str(WM_ADDGAMEPAGE), wparam, "0")
        time.sleep(1.0)
        assert proc.poll() is None

    post_strays()
    assert rect_of(client, hwnd)["rect"][2:] == (1, 1)  # no page, so no strip and no grown window
    # A page that cannot be made: reply 2, nothing recorded or sent, so the
    # same account can come again and the later tabs keep their own records.
    refused = client.drive("copydata", hwnd, "0", login_record("5服-abcd-player"), "refused")
    assert refused.returncode == 0 and refused.stdout.strip() == b"2", refused
    time.sleep(1.0)
    assert not [r for r in portal.requests() if r["path"] == "/login.htm"] and not events(portal, 305)
    # The first account twice at once (a log-in pressed twice): the second
    # is refused, even while the first is being made a tab.
    twice = client.drive("copydata", hwnd, "0", login_record("12服-abcd-player"), "twice")
    assert twice.returncode == 0 and twice.stdout.split() == [b"1", b"0"], twice
    for server in ("7", "3"):
        assert hand_over(client, main, f"{server}服-abcd-player") == 1
    logins = wait_requests(portal, "/login.htm", 3)
    assert [r["query"].rsplit("&", 1)[-1] for r in logins] == ["index=1", "index=2", "index=3"]
    assert poll(lambda: tab_count(client, main) == 3, 5)
    pages = [h for h in owned(client, hwnd) if client.drive("text", h, "102").returncode == 0]
    assert len(pages) == 3
    post_strays(pages)  # pages already added, once more
    assert tab_count(client, main) == 3

    # The pointer resting on a tab shows its account as a tip; the tip goes
    # when the pointer leaves the strip.
    def tips():
        return [w for w in client.windows() if w["class"] == "tooltips_class32" and w["visible"]
                and w["pid"] == main["pid"]]
    mx, my = rect_of(client, hwnd)["rect"][:2]
    client.display.pointer_move(mx + 130 + 176 + 50, my + 15)
    shown = poll(tips, 5)
    assert shown, "no tip over the tab"
    assert client.drive("text", shown[0]["hwnd"]).stdout.decode().strip() == "7服-abcd-player"
    client.display.pointer_move(mx + 640, my + 300)
    assert poll(lambda: not tips(), 5), "the tip stayed"
    # The pointer on a tool button shows its hover frame; off it, the normal one.
    bx, by, bw, bh = rect_of(client, next(c["hwnd"] for c in client.children(hwnd) if c["id"] == 1001))["rect"]
    def frame():
        return [client.drive("pixel", str(bx + i), str(by + bh // 2)).stdout.strip() for i in range(2, bw - 2, 6)]
    normal = frame()
    client.display.pointer_move(bx + bw // 2, by + bh - 3)
    assert poll(lambda: frame() != normal, 5), "no hover frame"
    client.display.pointer_move(mx + 640, my + 300)
    assert poll(lambda: frame() == normal, 5), "the hover frame stayed"
    # The caption buttons' tips: closing, and restoring the maximized window.
    for button, tip in ((50000, "关闭"), (50002, "还原")):
        cx, cy, cw, ch = rect_of(client, next(c["hwnd"] for c in client.children(hwnd) if c["id"] == button))["rect"]
        client.display.pointer_move(cx + cw // 2, cy + ch // 2)
        assert poll(lambda: [w for w in tips() if client.drive("text", w["hwnd"]).stdout.decode().strip() == tip],
                    5), f"no tip {tip}"
    client.display.pointer_move(mx + 640, my + 300)
    # Space and Escape typed in the main window do nothing (a focused tool
    # button would take Space as a click).
    client.drive("activate", hwnd)
    client.drive("keys", "space", "esc", "space")
    time.sleep(0.5)
    assert visible(client, hwnd) and tab_count(client, main) == 3
    # A real click on the first tab shows its page; a double click on the
    # strip shows the second and changes nothing more (the window stays).
    def current():
        return [p for p in pages if visible(client, p)]
    client.drive("clickat", str(mx + 130 + 60), str(my + 15))
    first = poll(lambda: len(shown := current()) == 1 and shown, 5)
    assert first, current()
    placed = rect_of(client, hwnd)["rect"]
    client.double_click_at(mx + 130 + 176 + 60, my + 15)
    assert poll(lambda: len(shown := current()) == 1 and shown != first, 5), current()
    time.sleep(0.5)
    assert rect_of(client, hwnd)["rect"] == placed

    # Restored (not maximized): the strip answers as caption, so the
    # releases arrive as non-client messages.
    client.drive("post", hwnd, str(WM_SYSCOMMAND), str(SC_CLOSE), "4286")  # the login window away
    client.click(hwnd, 50002)
    restored = poll(lambda: (r := rect_of(client, hwnd)["rect"])[0] > 0 and r, 5)
    assert restored, rect_of(client, hwnd)
    x, y = restored[:2]
    # Sizes asked of the restored window: below the least for three tabs and
    # the tool bar (3 x 176 + 440 by 260) it is raised to it. The right-hand
    # tool buttons keep to the right edge, the boss key to the tabs' end, and
    # the current page fills the window below the bars.
    service = next(c["hwnd"] for c in client.children(hwnd) if c["id"] == 1029)
    boss = next(c["hwnd"] for c in client.children(hwnd) if c["id"] == 1001)
    for asked, size in [((700, 200), (968, 260)), ((1100, 200), (1100, 260)), ((1000, 640), (1000, 640))]:
        client.drive("place", hwnd, str(x), str(y), *map(str, asked))
        assert poll(lambda: rect_of(client, hwnd)["rect"] == (x, y, *size), 5), (asked, rect_of(client, hwnd))
        assert poll(lambda: rect_of(client, service)["rect"][:3] == (x + size[0] - 75, y + 36, 60), 5), asked
        assert rect_of(client, boss)["rect"][:2] == (x + size[0] - 170, y)
        page = poll(lambda: [p for p in pages if visible(client, p)], 5)
        assert page and rect_of(client, page[0])["rect"] == (x + 4, y + 65, size[0] - 8, size[1] - 69), asked
    assert client.drive("send", hwnd, str(0x0084), "0", str(((y + 15) << 16) | (x + 290))).stdout.strip() == b"2"
    # A double click on a tab of the restored strip (caption here) does not maximize.
    client.double_click_at(x + 130 + 60, y + 15)
    time.sleep(0.5)
    assert rect_of(client, hwnd)["rect"] == (x, y, 1000, 640)
    # Off the tabs a double click on the caption maximizes; there the strip
    # is client area, and a middle click on the third tab closes it. A
    # double click on the maximized strip restores.
    client.double_click_at(x + 720, y + 15)
    assert poll(lambda: rect_of(client, hwnd)["rect"] == (0, 0, 1280, 800), 5), rect_of(client, hwnd)
    client.drive("middleat", str(130 + 2 * 176 + 60), "15")
    records = wait_requests(portal, "/d.php", 1)
    assert [r["query"].split("&")[2] for r in records] == ["server=S3"]
    assert poll(lambda: len(events(portal, 306)) == 1, 5)
    assert poll(lambda: tab_count(client, main) == 2, 5)
    client.double_click_at(720, 15)
    assert poll(lambda: rect_of(client, hwnd)["rect"] == (x, y, 1000, 640), 5), rect_of(client, hwnd)

    client.drive("middleat", str(x + 130 + 176 + 60), str(y + 15))  # anywhere on the second tab, restored
    records = wait_requests(portal, "/d.php", 2)
    assert [r["query"].split("&")[2] for r in records] == ["server=S3", "server=S7"]
    assert poll(lambda: len(events(portal, 306)) == 2, 5)
    assert poll(lambda: tab_count(client, main) == 1, 5)

    # The boss button hides the client; a left click on the tray icon brings
    # it back, and a second one hides it again, as the boss key does.
    client.click(hwnd, 1001)
    assert poll(lambda: not visible(client, hwnd), 5), "the boss button did not hide the client"
    for after in (True, False, True):
        client.drive("post", hwnd, str(0x0400 + 1), "1", str(0x0202))  # WM_TRAYNOTIFY, left button up
        assert poll(lambda: visible(client, hwnd) == after, 5), after

    # The only page closed by its close box: the window shrinks to nothing
    # and the login window comes back.
    client.drive("clickat", str(x + 290), str(y + 15))
    records = wait_requests(portal, "/d.php", 3)
    assert [r["query"].split("&")[2] for r in records] == ["server=S3", "server=S7", "server=S12"]
    assert poll(lambda: rect_of(client, hwnd)["rect"][2:] == (2, 1), 5)
    assert poll(lambda: visible(client, background), 5)

    client.exit_client(hwnd)
    assert wait_exit(proc) == 0
    assert len([r for r in portal.requests() if r["path"] == "/d.php"]) == 3
