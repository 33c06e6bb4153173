"""Start-up as a player and a maintainer see it: the network check before
every mode, the display name, the first window."""
from __future__ import annotations

import pytest

from conftest import NO_NETWORK, wait_exit

MODES = {
    "first_run": [],
    "web": ["/web4286D"],
    "shortcut": ["/Lm03000D"],
    "uninstall": ["/uninst"],
    "uninstall_caps": ["/UNINST"],
    "update": ["/update"],
    "new_game": ["/newgm", "h1234", "xhttp://127.0.0.1:47301/game"],
    "game_hall": ["/gmhall", "h1234"],
    "logo": ["/Logo"],
}

RUN_KEYS = [
    (r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run", False),
    (r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run", True),
    (r"HKLM\SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Run", True),
]
CACHE_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\5.0\Cache\Content"


def tree(path):
    return sorted((str(p.relative_to(path)), p.stat().st_size) for p in path.rglob("*")) if path.exists() else None


def assert_offline_notice(client, proc, caption="Lumendor"):
    box = client.wait_window("#32770", caption)
    texts = [c["text"] for c in client.children(box["hwnd"]) if c["class"] == "Static"]
    assert NO_NETWORK in texts
    # The notice is the only window the client shows.
    own = [w for w in client.windows() if w["pid"] == box["pid"] and w["visible"]]
    assert [w["hwnd"] for w in own] == [box["hwnd"]]
    client.click(box["hwnd"], 5000)
    assert wait_exit(proc) == 0


@pytest.mark.portal(refuse=["netcheck"])
@pytest.mark.parametrize("mode", list(MODES) + ["installed"])
def test_without_network_every_mode_only_shows_the_notice(client, portal, mode):
    exe = client.install_copy() if mode == "installed" else None
    ini_before = tree(client.install_dir.parent)
    proc = client.start(*MODES.get(mode, []), exe=exe)
    assert_offline_notice(client, proc)

    assert portal.requests() == []
    assert tree(client.install_dir.parent) == ini_before
    for key, view64 in RUN_KEYS:
        assert client.prefix.reg_query(key, "Lm03000", view64).returncode == 1
    assert client.prefix.reg_query(CACHE_KEY, "CacheLimit").returncode == 1


@pytest.mark.portal(refuse=["netcheck"])
def test_display_name_comes_from_the_icon_name(client, portal):
    client.write_settings({"iconName": "星光岛"})
    proc = client.start("/uninst")
    assert_offline_notice(client, proc, caption="星光岛")


WINDOW_MODES = {k: v for k, v in MODES.items() if k not in ("first_run", "uninstall", "uninstall_caps")}


@pytest.mark.parametrize("mode", list(WINDOW_MODES) + ["installed"])
def test_with_network_every_window_mode_reaches_the_main_window(client, portal, mode):
    # The browser's cache key exists on a used system; a fresh prefix lacks it.
    assert client.prefix.reg_add(CACHE_KEY).returncode == 0
    exe = client.install_copy() if mode == "installed" else None
    proc = client.start(*WINDOW_MODES.get(mode, []), exe=exe)
    main = client.main_window()
    assert main["title"] == "Lumendor" and main["rect"][2:] == (1, 1)  # out of sight until a page opens
    if mode == "web":
        client.screenshot("startup-login-window.png")
    client.exit_client(main["hwnd"])
    assert wait_exit(proc) == 0
    limit = client.prefix.reg_query(CACHE_KEY, "CacheLimit")
    assert limit.returncode == 0 and b"0x100000" in limit.stdout


@pytest.mark.parametrize("args", [["/uninst"], ["/Uninst", "ignored"]])
def test_uninstall_asks_first_and_no_changes_nothing(client, portal, args):
    client.install_copy()
    client.write_settings({"iconName": "", "Game": "3"})
    before = tree(client.install_dir.parent)
    proc = client.start(*args)
    box = client.wait_window("#32770", "Lumendor")
    texts = [c["text"] for c in client.children(box["hwnd"]) if c["class"] == "Static"]
    assert "确定要移除 Lumendor 吗？" in texts
    client.click(box["hwnd"], 5001)  # "否"
    assert wait_exit(proc) == 0
    assert tree(client.install_dir.parent) == before
    assert portal.requests() == []
