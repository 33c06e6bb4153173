"""The page-driven half, with the stand-in browser control: the login page
and the game pages come from the simulator and act on the client as they do
on Windows, and the player acts on them through the driver."""
from __future__ import annotations

import time

from conftest import login_windows, owned, poll, rect_of, wait_exit


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

    client.exit_from_tray(main["hwnd"])
    assert wait_exit(proc) == 0
