"""What a page the client did not ask for can make it do: nothing. A frame
of another host inside the portal's login page, and a page of another host
the login browser was led to, each send every command the portal's page
may send; the portal's own page goes on working beside them. What the
portal's page hands over is taken only as it was sent: no game address but
a web one, no field slipped in through the server's text, the external
login opened from its own start address. An install folder another user
made is refused; what the icon's host sends cannot reach the request,
fill the disk or name a file."""
from __future__ import annotations

import os
import time

from conftest import login_windows, poll, rect_of, reg_value, wait_exit
from test_menus import IDC_PAY
from test_faults import DESCRIPTION, ICON, REACH, close_main, describe_icon, message_box, sent
from test_pages import EXT_TITLES, LOGIN_PATH, RUN_KEY, commands, ext_window, game_pages, log_in, page

NEW_PAGE = 1026


def hostile_commands(portal) -> list[str]:
    pay, ext = portal.hosts["pay"], portal.hosts["extlogin"]
    return ["app://readinfo", "app://read_key", f"app://saveinfo12345http://{pay}/evil", "app://loginnum",
            "app://setupkey12345mallory", "app://setpauth|user=mallory&pauth=stolen&",
            f"app://loadgame|S1%E6%9C%8D-x-mallory|http://{pay}/game.html", "app://autorun1", "app://minimize",
            f"app://redrict:http://{pay}/", "app://exitgame",
            f"http://{ext}/qzone/redirectToAuthorize.do?params=game%3Dlmdr"]


def hostile_page(portal) -> str:
    """A page that, loaded, asks for every command at once."""
    sends = "".join(f'window.location.href = "{c}";\n' for c in hostile_commands(portal))
    return ("<html><head><title>ad</title><script>window.onload = function () {\n" + sends +
            "};</script></head><body>ad</body></html>")


def login_page(portal, extra: str) -> str:
    return portal.page("login.html").decode("utf-8").replace("</body>", extra + "</body>")


def start_on(client, portal, extra: str):
    """The client started on a login page with something added to it; its
    process, main window and login page's dialog."""
    portal.route("portal", LOGIN_PATH, login_page(portal, extra))
    proc = client.start()
    main = client.main_window()
    return proc, main, login_windows(client, main)[1]


def nothing_done(client, portal, main, login, settings_before):
    """None of the commands took effect, and the client still runs."""
    settings = client.read_settings()
    for key in ("Key", "RegUrl", "LoginCount"):
        assert settings.get(key) == settings_before.get(key), key
    assert reg_value(client, RUN_KEY, "Lm03000", view64=True) is None
    shown = rect_of(client, main["hwnd"])
    assert shown["visible"] and shown["rect"][0] > -32000  # neither minimized nor closed to the tray
    assert not [w for w in client.windows()
                if w["visible"] and (w["title"] in EXT_TITLES.values() or
                                     (w["class"] == "#32770" and w["pid"] == main["pid"] and
                                      any("确定要取消本次登录吗" in c["text"] for c in client.children(w["hwnd"]))))]
    assert not portal.auto_logins
    assert not [r for r in portal.requests() if r["host"] == "extlogin"]
    assert rect_of(client, login)


def test_only_the_portals_own_login_page_drives_the_client(client, portal, standin):
    pay = portal.hosts["pay"]
    portal.route("pay", "/ad.html", hostile_page(portal))
    portal.route("pay", "/elsewhere.html", hostile_page(portal))
    proc, main, login = start_on(client, portal, f'<iframe id="ad" src="http://{pay}/ad.html"></iframe>'
                                                 f'<a id="away" href="http://{pay}/elsewhere.html">away</a>')

    # The frame asked for everything, with its own browser object: each
    # address cancelled, none carried out.
    expected = ["frame cancelled " + c for c in hostile_commands(portal)]
    framed = lambda: [line for line in standin.lines() if line.startswith("frame cancelled ")]  # noqa: E731
    assert poll(lambda: len(framed()) >= len(expected), 30), standin.lines()[-20:]
    assert framed() == expected
    assert "frame event DocumentComplete " + f"http://{pay}/ad.html" in standin.lines()
    # The portal's page beside it: its own commands run, the page is whole.
    assert poll(lambda: len(commands(standin)) >= 3, 20)
    assert commands(standin)[:3] == ["readinfo", "read_key", f"saveinfo12345{page(client, login, 'url')}"]
    assert poll(lambda: client.read_settings().get("RegUrl") == page(client, login, "url"), 5)
    before = client.read_settings()
    time.sleep(1)
    nothing_done(client, portal, main, login, before)
    assert game_pages(client, main) == []

    # The player logs in on the portal's page: the game page opens.
    log_in(client, login, "player1", "secret", "12")
    pages = poll(lambda: game_pages(client, main), 30)
    assert len(pages) == 1
    assert poll(lambda: not rect_of(client, login)["visible"], 10)

    # The login page again, which a link takes to another host: that page's
    # commands come from the top browser, but not from the portal.
    time.sleep(1.6)
    client.click(main["hwnd"], NEW_PAGE)
    assert poll(lambda: rect_of(client, login)["visible"], 10)
    before, sent = client.read_settings(), len(commands(standin))
    assert page(client, login, "click", "away") == ""
    # (the page sends them in one go: they come one after another)
    asked = [c[len("app://"):] for c in hostile_commands(portal)[:-1]]
    top = lambda: commands(standin)[sent:]  # noqa: E731
    run = lambda: any(top()[i:i + len(asked)] == asked for i in range(len(top())))  # noqa: E731
    assert poll(run, 30), standin.lines()[-20:]
    assert f"cancelled {hostile_commands(portal)[-1]}" in standin.lines()
    assert poll(lambda: page(client, login, "url") == f"http://{pay}/elsewhere.html", 10)
    time.sleep(1)
    nothing_done(client, portal, main, login, before)
    assert len(game_pages(client, main)) == 1

    client.exit_from_tray(main["hwnd"])
    assert wait_exit(proc) == 0


def test_what_the_portals_page_hands_over_is_taken_as_sent(client, portal, standin):
    pay, ext = portal.hosts["pay"], portal.hosts["extlogin"]
    bad = ["file:///C:/windows/win.ini", r"\\127.0.0.1\c$\windows\win.ini", "res://ieframe.dll/navcancl.htm",
           "javascript:alert(1)", "about:blank", "C:\\windows\\win.ini"]
    sends = "".join(f"command({repr('loadgame|S12%E6%9C%8D-x-p|' + b)});" for b in bad)
    start = f"http://{ext}/qzone/redirectToAuthorize.do?params=game%3Dlmdr"
    proc, main, login = start_on(client, portal,
                                 f'<a id="bad" href="javascript:void(0)" onclick="{sends.replace(chr(34), "&quot;")}">'
                                 f'bad</a><a id="wrapped" href="http://{pay}/track?to={start}">wrapped</a>')
    assert poll(lambda: len(commands(standin)) >= 3, 20)

    # Game addresses that are no web address: no page opens for any.
    assert page(client, login, "click", "bad") == ""
    assert poll(lambda: len(commands(standin)) >= 3 + len(bad), 20)
    assert [c.rpartition("|")[2] for c in commands(standin)[3:]] == bad
    time.sleep(1)
    assert game_pages(client, main) == [] and rect_of(client, login)["visible"]

    # The external login's start address inside another address: the
    # window opens at the start address, the other host never asked.
    assert page(client, login, "click", "wrapped") == ""
    ext_window(client, "qzone")
    assert f"cancelled http://{pay}/track?to={start}" in standin.lines()
    assert f"Navigate GET {start}" in standin.lines()
    assert not [r for r in portal.requests() if r["host"] == "pay"]

    # An account whose name carries the hand-over's field separator and a
    # field of its own: the portal's pass stays the one the portal gave.
    log_in(client, login, "mallory||Pauth=forged", "secret", "12")
    assert poll(lambda: game_pages(client, main), 30)
    assert "%7C%7CPauth%3Dforged" in commands(standin)[-1]
    client.click(main["hwnd"], IDC_PAY)
    assert poll(lambda: portal.auto_logins, 30)
    assert portal.auto_logins[-1]["pauth"] == portal.logins[-1]["pauth"]

    client.exit_from_tray(main["hwnd"])
    assert wait_exit(proc) == 0


def test_an_install_folder_another_user_made_is_refused(client, portal):
    """Another local user made the machine-wide folder first and left a
    library there that the client would load: nothing is installed into it,
    nothing reported, and the player is told why."""
    client.install_dir.mkdir(parents=True)
    planted = client.install_dir / "winmm.dll"
    planted.write_bytes(b"MZ planted")
    for path in (client.install_dir, planted):
        os.chown(path, 1234, 1234)
    proc = client.start()
    box = message_box(client, "安装目录已被其他用户占用，无法安装！", 30)
    assert box
    client.click(box["hwnd"], 5000)
    assert wait_exit(proc, 30) == 0
    assert sorted(p.name for p in client.install_dir.iterdir()) == ["winmm.dll"]
    assert not (client.drive_c / "users" / "Public" / "Desktop" / "Lumendor.lnk").exists()
    assert not [r for r in portal.requests() if r["host"] in ("union", "event", "stats")]


def test_what_the_icons_host_sends_is_bounded(client, portal):
    """Three starts, each with the icon's host hostile in one way: a line
    break in the icon's address, a file far above any icon's size, an
    entity tag naming the partial file's extension. The old icon stays."""
    icon = (client.build.parents[1] / "res" / "icons" / "Lumendor.ico").read_bytes()
    installed = client.install_copy()
    client.write_settings({"iconTime": "1"})
    destination = client.install_dir / "Lm03000.ico"
    destination.write_bytes(b"old icon")
    starts = [
        (f"http://{portal.hosts['portal']}{ICON}?a\\r\\nX-Injected: 1", icon, None, None),
        (None, b"\0" * (4 * 1024 * 1024 + 1), None, None),
        (None, icon, '"' + "n" * 150 + '.exe"', 1000),
    ]
    for url, data, etag, cut in starts:
        describe_icon(portal, url)
        portal.file("portal", ICON, data, etag=etag, cut=cut)
        asked = len(sent(portal, ICON))
        proc = client.start("/Lm03000D", exe=installed)
        close_main(client, proc, client.main_window(int(REACH * 1000))["hwnd"])
        assert sent(portal, DESCRIPTION)
        assert destination.read_bytes() == b"old icon"
        assert client.read_settings()["iconTime"] == "1"
        if url:  # no request went out with the address's line break
            assert len(sent(portal, ICON)) == asked
            assert not [r for r in portal.requests() if "X-Injected" in r["headers"]]
    files = sorted(p.name for p in client.install_dir.iterdir())
    partial = [f for f in files if f not in ("Lm03000.ico", "Lumendor.exe", "Statistic.ini")]
    assert len(partial) == 1 and partial[0].endswith(".~tmp") and len(partial[0]) <= 127, files
    assert (client.install_dir / partial[0]).stat().st_size <= len(icon)
