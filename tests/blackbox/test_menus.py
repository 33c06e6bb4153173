"""The main window's menus, tray icon, portal links and running-time
counter, driven through the UI driver: the menu button, the tray icon's
messages, the link buttons."""
from __future__ import annotations

import time
from urllib.parse import parse_qs, quote, unquote

from conftest import poll, rect_of, visible, wait_exit

WM_KEYDOWN, VK_DOWN, VK_RETURN, VK_ESCAPE = 0x0100, 0x28, 0x0D, 0x1B
WM_TRAYNOTIFY, WM_RBUTTONUP = 0x0400 + 1, 0x0205
WM_SYSCOMMAND, SC_RESTORE = 0x0112, 0xF120
MINIMIZE_BUTTON = 50001
IDC_MENU, IDC_SERVICE, IDC_CARD, IDC_PAY, IDC_MESSAGE, IDC_ACCOUNT = 1003, 1029, 1030, 1031, 1032, 1033
MAIN_MENU = ["刷新 (F5)", "隐藏/恢复(F10)", "清除缓存", "-", "更新", "设置...", "版本号: 3.0.0.1"]


def hand_over(client, main, title, game="lmdr"):
    client.hand_over(main["hwnd"], title, game, pauth=f"tok-{game}")


def open_menu(client, main, tray=False):
    """Opens a menu and returns its window. Its items live in the client's
    own memory: the tests pick them with the keyboard and watch the effect;
    their texts are checked in the Windows-side tests."""
    if tray:
        client.drive("post", main["hwnd"], str(WM_TRAYNOTIFY), "1", str(WM_RBUTTONUP))
    else:
        client.click(main["hwnd"], IDC_MENU)
    r = client.drive("menu", "10000")
    assert r.returncode == 0, "no menu appeared"
    return r.stdout.decode().split("\t")[0]


def menu_window(client):
    return next(w for w in client.windows() if w["class"] == "#32768")


def choose(client, position):
    """Picks the item at `position` (separators skipped) with the keyboard."""
    menu = menu_window(client)["hwnd"]
    for _ in range(position + 1):
        client.drive("post", menu, str(WM_KEYDOWN), str(VK_DOWN), "0")
    client.drive("post", menu, str(WM_KEYDOWN), str(VK_RETURN), "0")


def close_menu(client):
    client.drive("post", menu_window(client)["hwnd"], str(WM_KEYDOWN), str(VK_ESCAPE), "0")


def message_text(client, main):
    for _ in range(100):
        for w in client.windows():
            if w["class"] == "#32770" and w["pid"] == main["pid"]:
                texts = [c["text"] for c in client.children(w["hwnd"]) if c["id"] == 65535]
                if texts:
                    return w, texts[0]
        time.sleep(0.1)
    raise AssertionError("no message box")


def no_menu(client):
    return client.drive("menu", "0").returncode == 1


def test_main_and_tray_menus(client, portal):
    client.install_copy()
    client.write_settings({"InstallTag": "1"})
    proc = client.start("/Lm03000D", exe=client.install_dir / "Lumendor.exe")
    main = client.main_window()

    # Clearing the cache answers at once.
    open_menu(client, main)
    choose(client, 2)
    box, text = message_text(client, main)
    assert text == "缓存清除完毕！"
    client.click(box["hwnd"], 5000)

    # "Update" always reports the same.
    open_menu(client, main, tray=True)
    choose(client, 3)
    box, text = message_text(client, main)
    assert text == "已经是最新版本，无需进行更新。"
    client.click(box["hwnd"], 5000)

    # The main menu's last item is the version line: nothing happens.
    before = {w["hwnd"] for w in client.windows() if w["pid"] == main["pid"] and w["visible"]}
    open_menu(client, main)
    choose(client, 5)
    time.sleep(1)
    assert no_menu(client) and proc.poll() is None
    after = {w["hwnd"] for w in client.windows() if w["pid"] == main["pid"] and w["visible"]}
    assert after == before  # no message box, no settings dialog

    # The tray menu's last item ends the client.
    open_menu(client, main, tray=True)
    choose(client, 5)
    assert wait_exit(proc) == 0


def test_newcomer_card_link_logs_in_with_the_current_page(client, portal):
    proc = client.start("/web4286D")
    main = client.main_window()
    hand_over(client, main, "12服-abcd-p1", game="lmdr")
    hand_over(client, main, "7服-efgh-p2", game="s7x")  # the current page
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline and len(client.children(main["hwnd"])) == 0:
        time.sleep(0.1)
    client.click(main["hwnd"], IDC_CARD)
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline and not any(r["path"] == "/s7x/xsk/" for r in portal.requests("portal")):
        time.sleep(0.2)
    logins = [r for r in portal.requests("portal") if r["path"] == "/user/"]
    assert len(logins) == 1
    query = parse_qs(logins[0]["query"])
    assert {k: v[0] for k, v in query.items()} == {
        "_c": "hallClient", "_a": "autoLogin", "pauth": "tok-s7x", "ptusertype": "2", "type": "4", "game": "lmdr",
        "url": portal.address("portal", "/s7x/xsk/")}
    # The target percent-encoded whole (the browser may give the dots back).
    encoded = quote(portal.address("portal", "/s7x/xsk/"), safe="").replace(".", "%2E")
    assert f"url={encoded}&" in logins[0]["query"].replace(".", "%2E")
    # The browser followed the auto-login to the page, logged in.
    page = next(r for r in portal.requests("portal") if r["path"] == "/s7x/xsk/")
    assert "Pauth=tok-s7x" in page["headers"].get("Cookie", "")
    # The other link buttons, and the account label under a real pointer:
    # each logs in to its own target with the current page's pass.
    for button in (IDC_SERVICE, IDC_PAY, IDC_MESSAGE):
        client.click(main["hwnd"], button)
    label = next(c["hwnd"] for c in client.children(main["hwnd"]) if c["id"] == IDC_ACCOUNT)
    lx, ly, lw, lh = rect_of(client, label)["rect"]
    client.display.pointer_move(lx + lw // 2, ly + lh // 2)
    client.drive("clickat", str(lx + lw // 2), str(ly + lh // 2))
    client.display.pointer_move(lx + lw // 2, ly + 200)  # and off the label again

    def targets():
        return {(q["type"][0], q["pauth"][0], unquote(q["url"][0])) for q in
                (parse_qs(r["query"]) for r in portal.requests("portal") if r["path"] == "/user/")}
    expected = {("4", "tok-s7x", portal.address("portal", "/s7x/xsk/")),
                ("5", "tok-s7x", portal.address("portal", "/kefu/")),
                ("3", "tok-s7x", portal.address("pay", "/?gamename=lmdr")),
                ("2", "tok-s7x", portal.address("portal", "/message/")),
                ("1", "tok-s7x", portal.address("portal", "/user/userinfo.php"))}
    assert poll(lambda: targets() == expected, 30), targets()
    # With pages open only the tray menu's exit ends the client.
    open_menu(client, main, tray=True)
    choose(client, 5)
    assert wait_exit(proc) == 0


def test_running_time_counts_sixteen_ticks_and_stays(client, portal):
    # A test build whose running-time timer ticks every 250 ms.
    fast = client.build / "fast-timers" / "Lumendor.exe"
    client.install_dir.mkdir(parents=True, exist_ok=True)
    installed = client.install_dir / "Lumendor.exe"
    installed.write_bytes(fast.read_bytes())
    client.write_settings({"InstallTag": "1"})
    proc = client.start("/Lm03000D", exe=installed)
    main = client.main_window()
    seen = []
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        value = client.read_settings().get("RunningTime")
        if value is not None and (not seen or seen[-1] != value):
            seen.append(value)
        if value == "15":
            break
        time.sleep(0.05)
    assert seen[-1] == "15" and [int(v) for v in seen] == sorted(int(v) for v in seen)
    time.sleep(1.5)  # six more periods
    assert client.read_settings()["RunningTime"] == "15"
    client.exit_client(main["hwnd"])
    assert wait_exit(proc) == 0


def test_the_menus_refresh_and_hide_items_with_a_page_open(client, portal, standin):
    """ "Refresh" loads the current page again (a page the stand-in control
    has shown); "hide/restore" hides the client, and the tray menu's same
    item brings it back."""
    client.write_settings({})  # a settings file for the settings dialog to save into
    proc = client.start("/newgm", "h0", "x" + portal.address("portal", "/lmdr/game.html?server=12"))
    main = client.main_window()
    hand_over(client, main, "12服-abcd-player")
    games = lambda: len([r for r in portal.requests() if r["path"] == "/lmdr/game.html"])  # noqa: E731
    assert poll(lambda: games() == 1, 10), [r["path"] for r in portal.requests()]
    assert poll(lambda: any(line.startswith("event DocumentComplete") for line in standin.lines()), 10)
    main = client.main_window()
    open_menu(client, main)
    choose(client, 0)
    assert poll(lambda: games() == 2, 10), "the page was not loaded again"
    open_menu(client, main)
    choose(client, 1)
    assert poll(lambda: not visible(client, main["hwnd"]), 5), "the client did not hide"
    open_menu(client, main, tray=True)
    choose(client, 1)
    assert poll(lambda: visible(client, main["hwnd"]), 5), "the client did not come back"
    # "Settings..." opens the settings dialog; a boss key typed into it and
    # saved is the boss key from then on.
    open_menu(client, main)
    choose(client, 4)
    dlg = client.wait_window("#32770", "设置")
    field = next(c["hwnd"] for c in client.children(dlg["hwnd"]) if c["id"] == 1007)
    client.drive("post", field, "513", "1", str((5 << 16) | 5))  # a click into the field
    client.drive("post", field, "514", "0", str((5 << 16) | 5))
    time.sleep(0.3)
    client.drive("keys", "f9")
    assert poll(lambda: client.drive("text", dlg["hwnd"], "1007").stdout.decode().strip() == "F9", 5)
    client.click(dlg["hwnd"], 1)
    assert poll(lambda: client.read_settings().get("ShortKey") == "0,120", 5), client.read_settings()
    for shown in (False, True):
        client.drive("keys", "f9")
        assert poll(lambda: visible(client, main["hwnd"]) == shown, 5), shown
    # Minimized by its caption button and restored with the page open: the window comes back as it was.
    placed = rect_of(client, main["hwnd"])["rect"]
    client.click(main["hwnd"], MINIMIZE_BUTTON)
    assert poll(lambda: rect_of(client, main["hwnd"])["rect"] != placed, 5), "the client was not minimized"
    client.drive("post", main["hwnd"], str(WM_SYSCOMMAND), str(SC_RESTORE), "0")
    assert poll(lambda: rect_of(client, main["hwnd"])["rect"] == placed, 5), rect_of(client, main["hwnd"])
    client.exit_from_tray(main["hwnd"])
    assert wait_exit(proc) == 0
