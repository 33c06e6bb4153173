"""The page-driven half, with the stand-in browser control: the login page
and the game pages come from the simulator and act on the client as they do
on Windows, and the player acts on them through the driver."""
from __future__ import annotations

import time
from urllib.parse import unquote

import pytest

from conftest import login_windows, owned, poll, rect_of, reg_value, wait_exit


LOGIN_PATH = "/lmdr/clients/chn-xpvt/reg.html"


def page(client, hwnd, *command) -> str | None:
    """A player's action on the page in hwnd's browser; the page's answer."""
    r = client.drive("page", hwnd, *command)
    return r.stdout.decode("utf-8").rstrip("\r\n") if r.returncode == 0 else None


def game_pages(client, main) -> list[str]:
    background, login, _ = login_windows(client, main)
    return [h for h in owned(client, main["hwnd"])
            if h not in (background, login) and client.drive("text", h, "102").returncode == 0]


def commands(standin) -> list[str]:
    """The command addresses the client cancelled, in order."""
    return [line[len("cancelled app://"):] for line in standin.lines() if line.startswith("cancelled app://")]


def log_in(client, login, account, password, server):
    assert poll(lambda: page(client, login, "text", "panel") is not None, 20)
    for field, value in (("account", account), ("password", password), ("server", server)):
        assert page(client, login, "fill", field, value) == "", field
    assert page(client, login, "click", "login") == ""


def test_a_player_logs_in_through_the_pages_and_plays(client, portal, standin):
    """The typical start, end to end, with the pages doing their part: the
    login window shows on its page's first completed navigation; the player
    logs in on the page; the portal's cookies reach the client; the page's
    commands hand the account over; each game page shows itself when its
    navigation completes. A second account through the "+" button; the first
    one again gives the duplicate message and the login window goes."""
    proc = client.start()
    main = client.main_window()
    background, login, _ = login_windows(client, main)
    assert poll(lambda: rect_of(client, login)["visible"], 20)
    assert poll(lambda: len(commands(standin)) >= 3, 20)
    assert commands(standin)[:2] == ["readinfo", "read_key"]
    assert commands(standin)[2].startswith("saveinfo12345http://")
    assert client.read_settings().get("autorun") in (None, "0", "")

    log_in(client, login, "player1", "secret", "12")
    pages = poll(lambda: game_pages(client, main), 20)
    assert len(pages) == 1
    pauth = portal.logins[0]["pauth"]
    assert commands(standin)[3:] == [
        "loginnum", "setupkey12345player1", f"setpauth|user=player1&pauth={pauth}&",
        "loadgame|S12%E6%9C%8D-%E3%80%8ALumendor%E3%80%8B%E6%98%9F%E5%85%89-player1|"
        f"http://{portal.hosts['portal']}/lmdr/game.html?server=12&logingame=lmdr"]
    assert poll(lambda: not rect_of(client, login)["visible"], 10)  # handed over: the login window goes
    assert poll(lambda: rect_of(client, pages[0])["visible"], 20)   # the page shows itself when loaded
    assert page(client, pages[0], "text", "where") == "服务器 12"
    # Its browser fills the page window laid over the main window, with the
    # game page's host flags (no 3-D border, no scroll bars).
    browser = next(c["hwnd"] for c in client.children(pages[0]) if c["id"] == 102)
    assert poll(lambda: rect_of(client, browser)["rect"] == rect_of(client, pages[0])["rect"], 5), \
        (rect_of(client, browser), rect_of(client, pages[0]))
    assert "host GetHostInfo 0x0000000C" in standin.lines()
    logins = [r for r in portal.requests() if r["path"] == "/login.htm"]
    assert [r["query"].rsplit("&", 2)[-2:] for r in logins] == [["uid=player1", "index=1"]]

    # A second account on another server, through the new-page button.
    time.sleep(1.6)
    client.click(main["hwnd"], 1026)
    assert poll(lambda: rect_of(client, login)["visible"], 10)
    log_in(client, login, "player2", "secret", "7")
    pages = poll(lambda: len(game_pages(client, main)) == 2 and game_pages(client, main), 20)
    assert pages
    assert poll(lambda: sorted(page(client, p, "text", "where") for p in pages) == ["服务器 12", "服务器 7"], 20)

    # The first account on its server again: already playing.
    time.sleep(1.6)
    client.click(main["hwnd"], 1026)
    assert poll(lambda: rect_of(client, login)["visible"], 10)
    log_in(client, login, "player1", "secret", "12")
    def duplicate_box():
        for w in client.windows():
            if w["class"] == "#32770" and w["visible"] and w["hwnd"] not in (main["hwnd"], background, login):
                texts = [c["text"] for c in client.children(w["hwnd"])]
                if any("player1" in t for t in texts):
                    return w
        return None
    box = poll(duplicate_box, 20)
    assert box, [(w["title"], [c["text"] for c in client.children(w["hwnd"])]) for w in client.windows()
                 if w["class"] == "#32770" and w["visible"]]
    client.click(box["hwnd"], 5000)
    assert poll(lambda: not rect_of(client, login)["visible"], 10)
    assert len(game_pages(client, main)) == 2
    assert len([r for r in portal.requests() if r["path"] == "/login.htm"]) == 2

    # Real keys on the page shown, once a click has activated it: F5 loads it
    # again (the client's own refresh, then the control's answer to the key),
    # Ctrl+D saves it as a favourite with its address.
    current = next(p for p in pages if rect_of(client, p)["visible"])
    address = page(client, current, "url")
    loads = lambda: len([r for r in portal.requests() if r["path"] == "/lmdr/game.html"])  # noqa: E731
    before, mark = loads(), len(standin.lines())
    click_on(client, current, "where")
    client.drive("keys", "f5")
    assert poll(lambda: loads() > before, 10)
    keyed = standin.lines()[mark:]
    assert "Refresh" in keyed and keyed.index("Refresh") < keyed.index("host TranslateAccelerator 116"), keyed
    click_on(client, current, "where")
    client.drive("keys", "ctrl+d")
    fav = client.wait_window("#32770", "添加收藏")
    client.click(fav["hwnd"], 1)
    favourites = client.prefix.user_dir() / "Favorites"
    assert poll(lambda: any(f"URL={address}\r\n".encode() in f.read_bytes() for f in favourites.glob("*.url")), 5), \
        [f.read_bytes() for f in favourites.glob("*.url")]

    client.exit_from_tray(main["hwnd"])
    assert wait_exit(proc) == 0


RUN_KEY = r"HKLM\SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Run"
WM_SYSCOMMAND, SC_RESTORE = 0x0112, 0xF120
BOX_YES, BOX_NO = 5000, 5001


def at(client, hwnd, element) -> tuple[int, int]:
    """Where a player points at an element of the page, on the screen."""
    where = page(client, hwnd, "at", element)
    assert where, f"{element} is not shown"
    x, y = where.split()
    return int(x), int(y)


def click_on(client, hwnd, element):
    client.drive("clickat", *map(str, at(client, hwnd, element)))


def message_box(client, text, owner_pid):
    for w in client.windows():
        if w["class"] == "#32770" and w["visible"] and w["pid"] == owner_pid:
            if any(text in c["text"] for c in client.children(w["hwnd"])):
                return w
    return None


def test_the_login_pages_commands_and_the_players_own_hands(client, portal, standin):
    """Every command the login page sends, each seen by its effect, and the
    client's answers seen on the page; the player's real mouse and keys on
    the page: a drag by its body (not inside the strip), a right click with
    no menu, Enter and Escape doing nothing, F5 reaching the game page,
    Alt+F4 leaving the login window usable, a login typed by hand."""
    client.write_settings({"LoginCount": "41", "Key": "keeper", "RegUrl": "http://127.0.0.1:9/reg"})
    for view64 in (False, True):  # the player's default browser: the system's own, which follows the address
        client.prefix.reg_add(r"HKCR\http\shell\open\command", "",
                              r'"C:\Program Files\Internet Explorer\iexplore.exe" "%1"', view64=view64)
    proc = client.start()
    main = client.main_window()
    background, login, _ = login_windows(client, main)
    assert poll(lambda: len(commands(standin)) >= 3, 20)
    # The stored values reached the page's functions; the page stored its address.
    assert page(client, login, "value", "account") == "keeper"
    assert page(client, login, "value", "reg") == "http://127.0.0.1:9/reg"
    assert client.read_settings()["RegUrl"] == page(client, login, "url")

    # Dragged with the mouse by the page's panel, the page's own mouse-down
    # moving the window (the window manager moves it, so the mouse is the
    # display's); not by the strip.
    x, y = rect_of(client, background)["rect"][:2]
    client.display.pointer_drag(x + 760, y + 520, x + 820, y + 560)
    assert poll(lambda: rect_of(client, background)["rect"][:2] == (x + 60, y + 40), 5), rect_of(client, background)
    assert poll(lambda: rect_of(client, login)["rect"][:2] == (x + 60, y + 40), 5)
    x, y = x + 60, y + 40
    assert "event mousedown div panel" in standin.lines()
    client.display.pointer_drag(x + 1074, y + 400, x + 1134, y + 440)
    time.sleep(0.5)
    assert rect_of(client, background)["rect"][:2] == (x, y)
    assert "event mousedown div scroller" in standin.lines()
    # A right click: the host says it showed its menu, and none shows.
    client.drive("rightat", str(x + 300), str(y + 300))
    assert poll(lambda: "host ShowContextMenu 0x00000000" in standin.lines(), 5)
    assert "menu shown" not in standin.lines()
    assert not [w for w in client.windows() if w["class"] == "#32768" and w["visible"]]

    # The start-with-Windows box, clicked: the Run value comes and goes.
    click_on(client, login, "autorun")
    assert poll(lambda: commands(standin)[-1:] == ["autorun1"], 10)
    assert poll(lambda: "Lumendor.exe" in (reg_value(client, RUN_KEY, "Lm03000", view64=True) or ""), 10)
    assert page(client, login, "checked", "autorun") == "1"
    click_on(client, login, "autorun")
    assert poll(lambda: commands(standin)[-1:] == ["autorun0"], 10)
    assert poll(lambda: reg_value(client, RUN_KEY, "Lm03000", view64=True) is None, 10)

    # Enter and Escape in a field of the page: nothing happens.
    click_on(client, login, "password")
    sent = len(commands(standin))
    client.drive("keys", "enter")
    client.drive("keys", "esc")
    time.sleep(1)
    assert rect_of(client, login)["visible"] and len(commands(standin)) == sent
    assert not [r for r in portal.requests() if r["path"] == "/lmdr/api/login"]

    # "minimize" with no game page: the main window goes to the task bar.
    click_on(client, login, "minimize")
    assert poll(lambda: rect_of(client, main["hwnd"])["rect"][0] <= -32000, 10), rect_of(client, main["hwnd"])
    client.drive("post", main["hwnd"], str(WM_SYSCOMMAND), str(SC_RESTORE), "0")
    assert poll(lambda: rect_of(client, login)["visible"], 10)

    # "exitgame" answered No: the close beacon goes, everything stays.
    click_on(client, login, "close")
    ask = poll(lambda: message_box(client, "确定要取消本次登录吗？", main["pid"]), 10)
    assert ask
    client.click(ask["hwnd"], BOX_NO)
    closes = lambda: [r for r in portal.requests() if r["path"] == "/_regevent.gif"  # noqa: E731
                      and r["query"].startswith("event=115&")]
    assert poll(lambda: len(closes()) == 1, 10)
    assert "关闭客户端" in unquote(closes()[0]["query"])
    assert rect_of(client, main["hwnd"]) and rect_of(client, login)["visible"]

    # A login typed by hand: the stored account is there, the password typed.
    click_on(client, login, "password")
    client.drive("keys", *"secret")
    assert poll(lambda: page(client, login, "value", "password") == "secret", 5)
    click_on(client, login, "login")
    pages = poll(lambda: game_pages(client, main), 20)
    assert len(pages) == 1
    assert portal.logins[-1]["user"] == "keeper"
    assert page(client, login, "text", "count") == "第 42 次登录"  # "loginnum" counted on from 41
    assert poll(lambda: client.read_settings().get("LoginCount") == "42", 5)
    assert poll(lambda: rect_of(client, pages[0])["visible"], 20)

    # The login window again, through the new-page button: its pay link opens
    # the pay centre in the player's browser, logged in.
    time.sleep(1.6)
    client.click(main["hwnd"], 1026)
    assert poll(lambda: rect_of(client, login)["visible"], 10)
    click_on(client, login, "pay")
    assert poll(lambda: portal.auto_logins, 30)
    assert portal.auto_logins[0]["pauth"] == portal.logins[-1]["pauth"]
    assert portal.auto_logins[0]["url"] == f"http://{portal.hosts['pay']}/"
    assert portal.auto_logins[0]["ptusertype"] == "2"
    assert poll(lambda: [r for r in portal.requests("pay") if r["path"] == "/"], 30)

    # F5 in the page reaches the game page, which loads again.
    loads = lambda: len([r for r in portal.requests() if r["path"] == "/lmdr/game.html"])  # noqa: E731
    before = loads()
    click_on(client, login, "account")
    client.drive("keys", "f5")
    assert poll(lambda: loads() == before + 1, 10)
    assert rect_of(client, login)["visible"]

    # Alt+F4 in the page hides the login window (a game is open); it shows
    # again, usable.
    click_on(client, login, "account")
    client.drive("keys", "alt+f4")
    assert poll(lambda: not rect_of(client, login)["visible"], 10)
    assert rect_of(client, main["hwnd"])
    time.sleep(1.6)
    client.click(main["hwnd"], 1026)
    assert poll(lambda: rect_of(client, login)["visible"], 10)
    assert page(client, login, "fill", "account", "again") == ""
    assert page(client, login, "value", "account") == "again"

    # "minimize" with a game page open hides the login window; so does
    # "exitgame" answered Yes, and the client goes on.
    click_on(client, login, "minimize")
    assert poll(lambda: not rect_of(client, login)["visible"], 10)
    time.sleep(1.6)
    client.click(main["hwnd"], 1026)
    assert poll(lambda: rect_of(client, login)["visible"], 10)
    click_on(client, login, "close")
    ask = poll(lambda: message_box(client, "确定要取消本次登录吗？", main["pid"]), 10)
    client.click(ask["hwnd"], BOX_YES)
    assert poll(lambda: not rect_of(client, login)["visible"], 10)
    assert poll(lambda: len(closes()) == 2, 10)
    assert rect_of(client, main["hwnd"]) and len(game_pages(client, main)) == 1

    client.exit_from_tray(main["hwnd"])
    assert wait_exit(proc) == 0
    assert client.drive("gone", main["hwnd"], "15000").returncode == 0



@pytest.mark.parametrize("where,status", [("login", 404), ("login", 500), ("login", None), ("game", 500)],
                         ids=["login-404", "login-500", "login-refused", "game-500"])
def test_the_portal_failing_at_the_login_or_the_game_address(client, portal, standin, where, status):
    """The login page answered 404 or 500 or not at all: the login window
    cancels the browser's error page and stays as it was, and the client
    goes on. A game address answered 500: the game page keeps the browser's
    own error page (it does not cancel it), and shows itself."""
    path = LOGIN_PATH if where == "login" else "/lmdr/game.html"
    if status is None:
        portal.stop()
        portal.refuse.add("portal")
        portal.start()
    else:
        portal.route("portal", path, "<html><body>error</body></html>", status=status)
    proc = client.start()
    main = client.main_window()
    background, login, _ = login_windows(client, main)
    errors = lambda: [line for line in standin.lines() if line.startswith("event NavigateError ")]  # noqa: E731
    if where == "login":
        assert poll(lambda: errors(), 20)
        code, url = errors()[0].split(" ")[2:4]
        assert code == (str(status) if status else "0x800C0002") and LOGIN_PATH in url
        assert poll(lambda: f"cancelled error {url}" in standin.lines(), 5)
        time.sleep(0.5)
        # Nothing else was loaded: no document, no error page; the window stays.
        assert page(client, login, "text") is None
        assert rect_of(client, login)["visible"] and rect_of(client, background)["visible"]
        assert not [line for line in standin.lines() if line.startswith("event NavigateComplete2")]
        client.exit_client(main["hwnd"])  # no game page: the client ends
    else:
        log_in(client, login, "player1", "secret", "12")
        pages = poll(lambda: game_pages(client, main), 20)
        assert pages and poll(lambda: rect_of(client, pages[0])["visible"], 20)
        assert page(client, pages[0], "text") == "This page can't be displayed"
        game = [line for line in errors() if "/lmdr/game.html" in line]
        assert game and game[0].startswith("event NavigateError 500 ")
        assert not [line for line in standin.lines() if line.startswith("cancelled error ")]
        client.exit_from_tray(main["hwnd"])
    assert wait_exit(proc) == 0
    assert client.drive("gone", main["hwnd"], "15000").returncode == 0


EXT_TITLES = {"qzone": "QQ账号安全登录", "weibo": "新浪微博账号安全登录", "weixin": "微信账号安全登录"}


def ext_window(client, kind):
    """The external-login frame for a provider, and the page inside it."""
    frame = client.wait_window("#32770", EXT_TITLES[kind])
    pages = poll(lambda: [h for h in owned(client, frame["hwnd"]) if client.drive("text", h, "102").returncode == 0])
    assert pages, "no page in the external-login window"
    return frame, pages[0]


def test_external_logins_through_qq_weibo_and_wechat(client, portal, standin):
    """Each provider from the login page's own link: the external-login
    window opens with its title and the provider's authorization page; a
    second provider replaces a window still open; the authorization comes
    back to the portal, whose cookie closes the window (its closing box
    taken away), and the login page's "check_login" hands the account over."""
    proc = client.start()
    main = client.main_window()
    background, login, _ = login_windows(client, main)
    assert poll(lambda: len(commands(standin)) >= 3, 20)
    click_on(client, login, "qq")
    first, _ = ext_window(client, "qzone")
    # Another provider while QQ's window is open (and covers the page's
    # links): QQ's window goes.
    assert page(client, login, "click", "weibo") == ""
    _, ext = ext_window(client, "weibo")
    assert client.drive("gone", first["hwnd"], "5000").returncode == 0
    for n, kind in enumerate(("weibo", "weixin", "qzone")):
        if n:
            time.sleep(1.6)
            client.click(main["hwnd"], 1026)
            assert poll(lambda: rect_of(client, login)["visible"], 10)
            click_on(client, login, {"qzone": "qq", "weixin": "wechat"}[kind])
            _, ext = ext_window(client, kind)
        assert poll(lambda: page(client, ext, "fill", "code", f"u{n}") == "", 20)  # the provider's page
        assert page(client, ext, "click", "authorize") == ""
        pages = poll(lambda: len(game_pages(client, main)) == n + 1 and game_pages(client, main), 30)
        assert pages, (kind, standin.lines()[-10:])
        assert portal.logins[-1] == {"user": f"{kind}_u{n}", "pauth": portal.logins[-1]["pauth"], "via": kind}
        assert poll(lambda: not (rect_of(client, ext) or {}).get("visible"), 10)  # the page closed, and its box
        assert poll(lambda: not message_box(client, "登录成功", main["pid"]), 10)
        assert not [w for w in client.windows() if w["visible"] and w["title"] in EXT_TITLES.values()]
        assert not rect_of(client, login)["visible"]
        assert commands(standin)[-1].startswith("loadgame|") and commands(standin)[-1].endswith("logingame=lmdr")
        assert f"-{kind}_u{n}" in unquote(commands(standin)[-1])
    # Each closing page raised its box, and each was taken away.
    assert len([line for line in standin.lines() if line == "host ShowMessage 登录成功"]) >= 3
    asked = {(r["host"], r["path"]) for r in portal.requests()}
    assert {("extlogin", "/weibo/authorize.do"), ("extlogin", "/weixin/authorize.do"),
            ("qqauth", "/oauth2.0/authorize")} <= asked
    client.exit_from_tray(main["hwnd"])
    assert wait_exit(proc) == 0
