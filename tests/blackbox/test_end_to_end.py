"""A player's whole life with the client, in one prefix, step after step:
the downloaded file installs itself, the shortcut starts the client, three
accounts log in, the player uses the keys, closes pages, quits through the
tray, and finally uninstalls. Each step checks what the portal saw (the
simulator's request log), the files, the registry, the shortcuts and the
windows; the finer points of each step live in the other scenarios.

Under Wine the browser has no HTML engine: pages never render nor run
script. The login page cannot call "loadgame" itself, so the accounts are
handed over with WM_COPYDATA carrying exactly the record the login dialog
builds (title "||" Pauth cookie "||" ptusertype cookie "||" game field),
and the login window is put away the way the page's "minimize" command
does it (SC_CLOSE marked 4286 to the main window)."""
from __future__ import annotations

import datetime
import re
import struct
import subprocess
import time
from pathlib import Path
from urllib.parse import parse_qs

from conftest import reg_value, wait_exit

INSTALL = r"C:\ProgramData\4286\GameLogin"
EXE = INSTALL + r"\Lumendor.exe"
ICON = INSTALL + r"\Lm03000.ico"
TAG = "tag=Lm03000&ver=3.0.0.1"
LOGIN_PAGE = "/lmdr/clients/chn-xpvt/reg.html"
LOGIN_BASE = "oid=17239&oid2=&vcode=cafes&dirtype=0&pt=0&"
ICON_INFO = "/webStatic/index.php"
CACHE_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\5.0\Cache\Content"
RUN_KEY = r"HKLM\SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Run"
CLIENT_KEY = r"HKLM\Software\4286\GameLogin\Lm03000"
EMULATION_KEY = r"HKLM\SOFTWARE\Microsoft\Internet Explorer\MAIN\FeatureControl\FEATURE_BROWSER_EMULATION"
NEW_NAME, NEW_STAMP = "星光岛", "2026-12-01"

WM_SYSCOMMAND, SC_CLOSE = 0x0112, 0xF060
IDC_NEW_PAGE, IDC_ACCOUNT, IDC_CLOSE = 1026, 1033, 50000
IDYES_BUTTON = 5000  # the message box's first button: "是" / "确定"
MUTE_PIXEL = (10 + 18, 36 + 11)  # bright in the muted image, dim in the sound-on one

# The accounts: server, game field; the title is "<server>服-abcd-<account>".
ACCOUNTS = [("p1", "12", "lmdr"), ("p2", "7", "lmdr"), ("p3", "3", "s7x")]


def title_of(account, server):
    return f"{server}服-abcd-{account}"


def record_of(account, server, game):
    return f"{title_of(account, server)}||Pauth=tok-{account}||ptusertype=2||logingame={game}"


# -- places ------------------------------------------------------------------
def link_paths(client, name):
    roaming = client.prefix.user_dir() / "AppData" / "Roaming"
    programs = roaming / "Microsoft" / "Windows" / "Start Menu" / "Programs" / "4286登录器"
    return {
        "desktop": client.drive_c / "users" / "Public" / "Desktop" / f"{name}.lnk",
        "programs": programs / f"{name}.lnk",
        "uninstall": programs / f"卸载 {name}.lnk",
        "quick": roaming / "Microsoft" / "Internet Explorer" / "Quick Launch" / f"{name}.lnk",
    }


def check_links(client, portal, name, icon_for_uninstall):
    expected = {
        "desktop": ("/Lm03000D", ICON, portal.hosts["portal"] + "中国最大的网页游戏平台"),
        "programs": ("/Lm03000D", ICON, ""),
        "uninstall": ("/uninst", icon_for_uninstall, ""),
        "quick": ("/Lm03000D", ICON, ""),
    }
    for place, path in link_paths(client, name).items():
        link = client.read_link(path)
        args, icon, description = expected[place]
        # The refresh names the icon through the executable's folder, with
        # the separator twice: the same file to the system.
        icon_read = link["icon"].replace("\\\\", "\\").lower()
        assert (link["target"].lower(), link["args"], icon_read, link["index"], link["folder"].lower(),
                link["description"]) == (EXE.lower(), args, icon.lower(), 0, INSTALL.lower(), description), place


def install_files(client):
    return sorted(p.name for p in client.install_dir.iterdir())


def today():
    d = datetime.date.today()
    return f"{d.year}/{d.month}/{d.day}"


# -- the request log -----------------------------------------------------------
class Log:
    """The simulator's log, read from a mark on: what one step caused."""

    def __init__(self, portal):
        self.portal = portal
        self.mark = 0

    def step(self):
        self.mark = len(self.portal.requests())

    def since(self):
        return self.portal.requests()[self.mark:]

    def wait(self, path, count, timeout=10.0, query=""):
        deadline = time.monotonic() + timeout
        while True:
            found = [r for r in self.since() if r["path"] == path and r["query"].startswith(query)]
            if len(found) >= count or time.monotonic() > deadline:
                return found
            time.sleep(0.05)


def position(reqs, path, query=""):
    hits = [i for i, r in enumerate(reqs) if r["path"] == path and r["query"].startswith(query)]
    assert len(hits) == 1, (path, query, [(r["path"], r["query"][:40]) for r in reqs])
    return hits[0]


def event_query(number):
    return f"event={number}&"


# -- windows ------------------------------------------------------------------
def windows(client):
    return {w["hwnd"]: w for w in client.windows()}


def own_windows(client, pid):
    return [w for w in client.windows() if w["pid"] == pid]


def login_window(client, main):
    for w in client.windows():
        if (w["class"], w["title"], w["pid"]) == ("#32770", "Lumendor", main["pid"]) and w["hwnd"] != main["hwnd"]:
            return w
    raise AssertionError("no login window")


def owned(client, hwnd):
    return [line.split("\t")[0] for line in client.drive("owned", hwnd).stdout.decode().splitlines() if line]


def page_windows(client, main):
    """The game pages: windows owned by the main window that hold the browser (102)."""
    return [w for w in owned(client, main["hwnd"]) if client.drive("text", w, "102").returncode == 0]


def wait_for(predicate, what, timeout=10.0):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(what)
        time.sleep(0.05)


def account_label(client, main):
    return client.drive("text", main["hwnd"], str(IDC_ACCOUNT)).stdout.decode().strip()


def message_box(client, caption, other_than=None):
    """A skinned message box with this caption (not the one given) and its text."""
    def found():
        for w in client.windows():
            if w["class"] == "#32770" and w["title"] == caption and w["visible"] and w["hwnd"] != other_than:
                texts = [c["text"] for c in client.children(w["hwnd"]) if c["id"] == 65535]
                if texts:
                    return w, texts[0]
        return None
    return wait_for(found, f"no message box {caption!r}")


def foreground(client):
    r = client.drive("foreground")
    return r.stdout.decode().split("\t")[0] if r.returncode == 0 else None


def activate(client, hwnd):
    wait_for(lambda: client.drive("activate", hwnd) and foreground(client) == hwnd, f"{hwnd} not in front", 5)


def pixel(client, x, y):
    return int(client.drive("pixel", str(x), str(y)).stdout.decode().strip(), 16)


def post(client, hwnd, msg, wparam, lparam):
    client.drive("post", hwnd, str(msg), str(wparam), str(lparam))


# -- the walk -----------------------------------------------------------------
def test_a_players_life_from_download_to_uninstall(client, portal):
    started = time.monotonic()
    log = Log(portal)
    star = (client.build.parents[1] / "res" / "icons" / "favourite.ico").read_bytes()
    # A used system has these: the quick-launch folder (before Windows 10)
    # and the browser's cache key.
    link_paths(client, "x")["quick"].parent.mkdir(parents=True, exist_ok=True)
    assert client.prefix.reg_add(CACHE_KEY).returncode == 0

    first_run(client, portal, log)
    main, proc = ordinary_start(client, portal, log, star)
    login = login_window_shown(client, portal, log, main)
    main, pages = hand_over_three(client, portal, log, main, login)
    pages = keys(client, main, pages)
    close_and_quit(client, portal, log, main, login, proc, pages)
    uninstall(client, portal, log)
    print(f"the walk took {time.monotonic() - started:.1f} s")


def first_run(client, portal, log):
    """1. The downloaded file installs, reports and starts the installed copy."""
    proc = client.start()
    assert wait_exit(proc, 30) == 0
    copy = client.main_window()  # the installed copy, an ordinary start (mode 3)

    assert install_files(client) == ["Lm03000.ico", "Lumendor.exe", "Statistic.ini"]
    assert (client.install_dir / "Lumendor.exe").read_bytes() == client.exe.read_bytes()
    icon = (client.install_dir / "Lm03000.ico").read_bytes()
    assert struct.unpack_from("<HHH", icon) == (0, 1, 3)
    check_links(client, portal, "Lumendor", icon_for_uninstall=EXE)

    log.wait(LOGIN_PAGE, 1)
    log.wait("/active.htm", 1)  # nobody waits for it
    reqs = log.since()
    union, event, install = (position(reqs, "/_az.gif"), position(reqs, "/_regevent.gif", event_query(106)),
                             position(reqs, "/install.htm"))
    assert union < event < install
    assert reqs[install]["query"] == TAG + "&count=1"
    assert list(parse_qs(reqs[union]["query"], keep_blank_values=True)) == \
        ["agid", "cid", "aid", "game", "did", "vid", "mac"]
    # The installed copy: activity, icon description, event 100, then its login page.
    active = position(reqs, "/active.htm")
    assert reqs[active]["query"] == TAG + "&count=1&apartdays=0&keepdays=1&weekdays=1"
    info, opened, page = (position(reqs, ICON_INFO), position(reqs, "/_regevent.gif", event_query(100)),
                          position(reqs, LOGIN_PAGE))
    assert info < opened < page
    # The first login window after an install asks for the advertisement.
    assert reqs[page]["query"] == LOGIN_BASE + reqs[union]["query"] + "&toAd=1&autorun=0"
    assert len(reqs) == 7, [(r["path"], r["query"][:30]) for r in reqs]

    stored = client.read_settings()
    assert {k: stored.get(k) for k in ("InstallTag", "Inst", "Game", "keepdays", "weekdays", "lstTime")} == \
        {"InstallTag": "0", "Inst": "1", "Game": "1", "keepdays": "1", "weekdays": "1", "lstTime": today()}
    assert "0x100000" in reg_value(client, CACHE_KEY, "CacheLimit")
    assert reg_value(client, RUN_KEY, "Lm03000", view64=True) is None

    client.exit_client(copy["hwnd"])  # the login window closed with no game open
    assert client.drive("gone", copy["hwnd"], "10000").returncode == 0
    wait_for(lambda: not own_windows(client, copy["pid"]), "the installed copy left windows behind")


def ordinary_start(client, portal, log, star):
    """2. The desktop shortcut: counters, activity, the portal's icon, event 100."""
    portal.file("portal", "/icons/star.ico", star, etag='"star-1"')
    portal.route("portal", ICON_INFO, 'iconInfo({"iconUrl":"http://%s/icons/star.ico","iconName":"%s","time":"%s"});'
                 % (portal.hosts["portal"], NEW_NAME, NEW_STAMP))
    assert client.prefix.reg_add(CACHE_KEY, "CacheLimit", "0", kind="REG_DWORD").returncode == 0
    log.step()
    proc = client.start("/Lm03000D", exe=client.install_dir / "Lumendor.exe")
    main = client.main_window()
    assert main["title"] == "Lumendor" and main["rect"] == (0, 0, 1, 1)  # the name is read before the refresh

    log.wait(LOGIN_PAGE, 1)
    log.wait("/active.htm", 1)
    reqs = log.since()
    assert [r["query"] for r in reqs if r["path"] == "/active.htm"] == \
        [TAG + "&count=2&apartdays=0&keepdays=1&weekdays=1"]
    info, opened, page = (position(reqs, ICON_INFO), position(reqs, "/_regevent.gif", event_query(100)),
                          position(reqs, LOGIN_PAGE))
    # The download asks for the file's head first, then for its body.
    icon = [i for i, r in enumerate(reqs) if r["path"] == "/icons/star.ico"]
    assert len(icon) == 2 and info < icon[0] and icon[-1] < opened < page
    assert reqs[info]["query"] == "_c=client&_a=getIconInfo&game=lmdr&aid=2"
    assert len(reqs) == 6

    stored = client.read_settings()
    assert {k: stored.get(k) for k in ("Game", "keepdays", "weekdays", "lstTime", "iconName", "iconTime")} == \
        {"Game": "2", "keepdays": "1", "weekdays": "1", "lstTime": today(), "iconName": NEW_NAME,
         "iconTime": NEW_STAMP}
    assert "0x100000" in reg_value(client, CACHE_KEY, "CacheLimit")  # raised again at every start
    assert (client.install_dir / "Lm03000.ico").read_bytes() == star
    assert install_files(client) == ["Lm03000.ico", "Lumendor.exe", "Statistic.ini"]  # nothing left of the download
    check_links(client, portal, NEW_NAME, icon_for_uninstall=ICON)
    for place, path in link_paths(client, "Lumendor").items():
        assert not path.exists(), place
    return main, proc


def login_window_shown(client, portal, log, main):
    """3. The login window: the background picture's size, centred; the page
    dialog over it; the login page with the identity and no advertisement."""
    login = login_window(client, main)
    assert login["visible"] and tray_icons(client) == 0  # no tray icon before a game
    x, y, w, h = login["rect"]
    assert (w, h) == (1208, 668)
    assert (x, y) == ((client.display.width - w) // 2, (client.display.height - h) // 2)
    (page_dialog,) = owned(client, login["hwnd"])
    assert windows(client)[page_dialog]["rect"] == login["rect"]
    (page,) = [r for r in log.since() if r["path"] == LOGIN_PAGE]
    union = [r for r in portal.requests() if r["path"] == "/_az.gif"][0]
    assert page["query"] == LOGIN_BASE + union["query"] + "&autorun=0"
    return login


def hand_over_three(client, portal, log, main, login):
    """4. Three accounts; a duplicate title and a fourth page are refused."""
    last_press = 0.0
    for n, (account, server, game) in enumerate(ACCOUNTS, start=1):
        if n > 1:
            # Another account: the new-page button shows the login window again.
            time.sleep(max(0.0, last_press + 1.6 - time.monotonic()))
            client.click(main["hwnd"], IDC_NEW_PAGE)
            last_press = time.monotonic()
            wait_for(lambda: windows(client)[login["hwnd"]]["visible"], "the login window did not come back")
            assert windows(client)[login["hwnd"]]["rect"] == login["rect"]
        log.step()
        r = client.drive("copydata", main["hwnd"], "0", record_of(account, server, game))
        assert r.stdout.decode().strip() == "1"
        logins = log.wait("/login.htm", 1)
        assert [q["query"] for q in logins] == [TAG + f"&uid={account}&index={n}"]
        assert len(log.wait("/_regevent.gif", 1, query=event_query(305))) == 1
        assert account_label(client, main) == account
        wait_for(lambda: len(page_windows(client, main)) == n, f"page {n} did not appear")
        # The login dialog puts its window away after an accepted hand-over.
        post(client, main["hwnd"], WM_SYSCOMMAND, SC_CLOSE, 4286)
        wait_for(lambda: not windows(client)[login["hwnd"]]["visible"], "the login window stayed")
        if n == 1:
            # The first page: the window fills the work area; the tray icon appears.
            main = wait_for(lambda: (m := client.main_window())["rect"][2] > 1 and m, "no work area")
            assert main["rect"] == (0, 0, client.display.width, client.display.height)
            assert tray_icons(client) == 1
    pages = page_windows(client, main)

    log.step()
    r = client.drive("copydata", main["hwnd"], "0", record_of("p2", "7", "lmdr"))
    assert r.stdout.decode().strip() == "0"  # the same title: refused
    time.sleep(max(0.0, last_press + 1.6 - time.monotonic()))
    client.click(main["hwnd"], IDC_NEW_PAGE)
    box, text = message_box(client, "Lumendor")
    assert text == "登录器只支持3个游戏页"
    client.click(box["hwnd"], IDYES_BUTTON)
    assert not windows(client)[login["hwnd"]]["visible"]
    assert page_windows(client, main) == pages and account_label(client, main) == "p3"
    assert log.since() == []  # neither refusal reports anything

    # Three tabs in the caption band, the third current; the strip ends there.
    x, y = main["rect"][:2]
    tabs = [pixel(client, x + 130 + 176 * i + 8, y + 5) for i in range(4)]
    assert tabs[0] == tabs[1] != tabs[2] and tabs[3] not in tabs[:3], [hex(t) for t in tabs]
    return main, pages


def tray_icons(client):
    """Icons docked in the display's tray: the tray host keeps them inside its
    own unnamed 1 x 1 window at (-10, -10)."""
    out = subprocess.run(["xwininfo", "-root", "-tree"], env={"DISPLAY": client.display.name},
                         capture_output=True, text=True, timeout=30).stdout
    found = re.search(r"^\s+0x[0-9a-f]+ \(has no name\): \(\)\s+1x1\+-10\+-10.*\n\s+(\d+) child", out, re.M)
    return int(found.group(1)) if found else 0


def keys(client, main, pages):
    """5. The window-switch key, the boss key and the mute key, as real keys."""
    activate(client, main["hwnd"])
    seen = []
    for _ in range(3):
        client.drive("keys", "ctrl+tab")
        wait_for(lambda: account_label(client, main) != (seen[-1][0] if seen else "p3"), "no switch", 3)
        shown = windows(client)
        seen.append((account_label(client, main), [p for p in pages if shown[p]["visible"]]))
    assert [label for label, _ in seen] == ["p1", "p2", "p3"]
    assert all(len(shown) == 1 for _, shown in seen) and len({shown[0] for _, shown in seen}) == 3
    by_account = {label: shown[0] for label, shown in seen}

    activate(client, main["hwnd"])
    client.drive("keys", "f10")
    wait_for(lambda: not windows(client)[main["hwnd"]]["visible"], "the boss key did not hide the client", 5)
    assert not any(windows(client)[p]["visible"] for p in pages)
    client.drive("keys", "f10")
    wait_for(lambda: foreground(client) == main["hwnd"], "the boss key did not bring the client back", 5)
    shown = windows(client)
    assert shown[main["hwnd"]]["rect"] == main["rect"] and shown[by_account["p3"]]["visible"]

    mx, my = main["rect"][0] + MUTE_PIXEL[0], main["rect"][1] + MUTE_PIXEL[1]
    assert pixel(client, mx, my) >> 16 < 130  # sound on
    for muted in (True, False):
        r = client.drive("keywatch", str(mx), str(my), "6000", "ctrl+q")
        assert r.returncode == 0, "the mute button did not follow the key"
        assert (int(r.stdout.decode().split()[0], 16) >> 16 > 180) == muted
    return by_account


def close_and_quit(client, portal, log, main, login, proc, pages):
    """6. One tab closed, then all, then a new login and the tray's "退出"."""
    hwnd = main["hwnd"]
    log.step()
    client.click_at(hwnd, 290 + 176, 15)  # the second tab's close box
    records = log.wait("/d.php", 1)
    closed = log.wait("/_regevent.gif", 1, query=event_query(306))
    time.sleep(0.5)
    reqs = log.since()
    assert [r["path"] for r in reqs].count("/d.php") == 1 and len(closed) == 1 and len(reqs) == 2
    assert records[0]["query"].startswith("a=web.online&game=lmdr&server=S7&length=")
    assert records[0]["query"].endswith("&cid=3000")
    wait_for(lambda: len(page_windows(client, main)) == 2, "the page stayed")
    assert pages["p2"] not in page_windows(client, main) and account_label(client, main) == "p3"

    log.step()
    client.click(hwnd, IDC_CLOSE)  # the window's close button: every page, back to the login window
    wait_for(lambda: client.main_window()["rect"] == (0, 0, 2, 1), "not back in the login state")
    wait_for(lambda: windows(client)[login["hwnd"]]["visible"], "no login window")
    reqs = log.since()
    assert [(r["path"], r["query"].split("&length=")[0] if r["path"] == "/d.php" else r["query"][:10])
            for r in reqs] == [("/d.php", "a=web.online&game=lmdr&server=S12"), ("/_regevent.gif", "event=306&"),
                               ("/d.php", "a=web.online&game=s7x&server=S3"), ("/_regevent.gif", "event=306&")]
    assert page_windows(client, main) == []

    # Another login from the login window, then the tray menu's exit.
    log.step()
    r = client.drive("copydata", hwnd, "0", record_of("p4", "5", "lmdr"))
    assert r.stdout.decode().strip() == "1"
    assert [q["query"] for q in log.wait("/login.htm", 1)] == [TAG + "&uid=p4&index=1"]
    log.wait("/_regevent.gif", 1, query=event_query(305))
    log.step()
    client.exit_from_tray(hwnd)
    assert wait_exit(proc) == 0
    reqs = log.since()
    assert [r["path"] for r in reqs] == ["/d.php"]  # the online record only, no "306"
    assert reqs[0]["query"].startswith("a=web.online&game=lmdr&server=S5&length=")
    assert own_windows(client, main["pid"]) == []
    assert tray_icons(client) == 0


def uninstall(client, portal, log):
    """7. The uninstall shortcut: confirmation, beacons, nothing left behind."""
    # What other parts of the system leave in the registry.
    assert client.prefix.reg_add(RUN_KEY, "Lm03000", EXE, view64=True).returncode == 0
    assert client.prefix.reg_add(CLIENT_KEY + r"\sub", "x", "1").returncode == 0
    assert client.prefix.reg_add(EMULATION_KEY, "Lumendor.exe", "11000", kind="REG_DWORD").returncode == 0
    temp = client.prefix.user_dir() / "Temp"  # the system's temporary folder under Wine
    temp_before = set(temp.iterdir()) if temp.exists() else set()

    log.step()
    uninstaller = link_paths(client, NEW_NAME)["uninstall"]
    assert client.read_link(uninstaller)["args"] == "/uninst"
    proc = client.start("/uninst", exe=client.install_dir / "Lumendor.exe")
    box, text = message_box(client, NEW_NAME)  # the portal's name is the display name now
    assert text == f"确定要移除 {NEW_NAME} 吗？"
    client.click(box["hwnd"], IDYES_BUTTON)
    done, text = message_box(client, NEW_NAME, other_than=box["hwnd"])
    assert text == f"{NEW_NAME}已成功移除，部分文件将在程序退出\\n或计算机重启后自行删除"
    log.wait("/uninstall.htm", 1)  # the notice follows once the worker has the address
    reqs = log.since()
    assert [r["path"] for r in reqs] == ["/_xz.gif", "/_regevent.gif", "/uninstall.htm"]
    assert reqs[1]["query"].startswith("event=107&ename=%E5%8D%B8%E8%BD%BD&")
    assert reqs[2]["query"] == TAG + "&count=1"
    assert reqs[0]["query"] == [r for r in portal.requests() if r["path"] == "/_az.gif"][0]["query"]  # the same identity
    client.click(done["hwnd"], IDYES_BUTTON)
    assert wait_exit(proc) == 0

    for place, path in link_paths(client, NEW_NAME).items():
        assert not path.exists(), place
    assert not link_paths(client, NEW_NAME)["programs"].parent.exists()  # the empty program folder too
    assert reg_value(client, RUN_KEY, "Lm03000", view64=True) is None
    assert client.prefix.reg_query(CLIENT_KEY).returncode == 1
    assert reg_value(client, EMULATION_KEY, "Lumendor.exe") is None
    stored = client.read_settings()
    assert (stored["iconName"], stored["iconTime"], stored["UnInst"]) == ("", "", "1")
    # The script removes the executable once the process has ended, then
    # itself; the settings file keeps the folder.
    wait_for(lambda: install_files(client) == ["Statistic.ini"], "the executable stayed", 15)
    new = wait_for(lambda: [p.name for p in set(temp.iterdir()) - temp_before
                            if not p.name.lower().endswith(".bat")], "no script", 5)
    assert len(new) == 1 and new[0].lower().startswith("del") and new[0].lower().endswith(".tmp"), new
    wait_for(lambda: not any(p.name.lower().endswith(".bat") for p in temp.iterdir()), "the script stayed", 15)
