"""The oldest system the client serves: Windows XP SP3 (major version 5).

Wine exports functions XP lacks and runs a program that imports them even
when it reports itself as XP, so what XP's loader would refuse is read from
the linked executable itself: its import table against the functions XP
SP3's system libraries export (windows_xp_sp3_imports.txt says how each
entry was checked), the system version its header asks for, and the
side-by-side library its manifest must name. Then the client runs in a
prefix that reports Windows XP to it (Wine's per-program version): an
ordinary start, a hand-over, the mute key (on XP the mute intercepts the
sound functions inside the process) and the uninstall."""
from __future__ import annotations

import re
import subprocess
from pathlib import Path

import pytest

from conftest import wait_exit
from test_end_to_end import (CLIENT_KEY, IDYES_BUTTON, MUTE_PIXEL, SC_CLOSE, WM_SYSCOMMAND, Log, activate,
                             login_window, message_box, page_windows, pixel, post, record_of, tray_icons, wait_for,
                             windows)

HERE = Path(__file__).resolve().parent
XP_VERSION = (5, 1)


def import_table(exe: Path) -> dict[str, list[str]]:
    """Library (lower case) to the names it is asked for; an import by
    ordinal shows as "#N"."""
    out = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(exe)], capture_output=True, text=True,
                         check=True).stdout
    table: dict[str, list[str]] = {}
    library = None
    for line in out.splitlines():
        if m := re.match(r"\s+DLL Name: (\S+)", line):
            library = m.group(1).lower()
            table[library] = []
        elif library and (m := re.match(r"\t[0-9a-f]+\t\s+(\d+)\s+(\S+)?\s*$", line)):
            table[library].append(m.group(2) or f"#{m.group(1)}")
        elif not line.strip() or line.startswith("The ") or line.startswith("PE File"):
            library = None if line.startswith("The ") else library
    return table


def xp_exports() -> dict[str, set[str]]:
    table: dict[str, set[str]] = {}
    library = None
    for line in (HERE / "windows_xp_sp3_imports.txt").read_text(encoding="utf-8").splitlines():
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith("["):
            library = line.strip("[]").lower()
            table[library] = set()
        else:
            table[library].add(line)
    return table


def header_version(exe: Path, field: str) -> tuple[int, int]:
    out = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(exe)], capture_output=True, text=True,
                         check=True).stdout
    major = int(re.search(rf"Major{field}Version\s+(\d+)", out).group(1))
    minor = int(re.search(rf"Minor{field}Version\s+(\d+)", out).group(1))
    return major, minor


def test_the_executable_asks_only_for_what_windows_xp_sp3_has(build_dir):
    exe = build_dir / "Lumendor.exe"
    table, allowed = import_table(exe), xp_exports()
    assert "kernel32.dll" in table and len(table["kernel32.dll"]) > 50  # the table was read
    missing = [f"{library}!{name}" for library, names in sorted(table.items()) for name in names
               if name not in allowed.get(library, set())]
    assert not missing, "imports Windows XP SP3 does not export (by name): " + ", ".join(missing)
    # The loader refuses an image that asks for a later system.
    assert header_version(exe, "Subsystem") <= XP_VERSION
    assert header_version(exe, "OSystem") <= XP_VERSION
    # On XP the imaging library lives only among the side-by-side assemblies.
    if "gdiplus.dll" in table:
        assert b'name="Microsoft.Windows.GdiPlus"' in exe.read_bytes()


# -- the client shown Windows XP ---------------------------------------------
def code_of(client, pid, library, export, count=16):
    r = client.drive("code", str(pid), library, export, str(count))
    return r.stdout.decode().strip() if r.returncode == 0 else None


def shown_login(client, main):
    try:
        found = login_window(client, main)
    except AssertionError:
        return None
    return found if found["visible"] else None


def test_an_ordinary_start_a_game_the_mute_and_the_uninstall_on_windows_xp(client, portal):
    key = r"HKCU\Software\Wine\AppDefaults\Lumendor.exe"
    assert client.prefix.reg_add(key, "Version", "winxp").returncode == 0
    exe = client.install_copy()
    # The client's own key with a sub-key: the uninstall removes the tree.
    assert client.prefix.reg_add(CLIENT_KEY + r"\sub", "x", "1").returncode == 0
    log = Log(portal)

    # The ordinary start: counters, beacons, the login window.
    proc = client.start("/Lm03000D", exe=exe)
    main = client.main_window()
    assert log.wait("/active.htm", 1) and log.wait("/_regevent.gif", 1, query="event=100&")
    login = wait_for(lambda: shown_login(client, main), "no login window")
    before = code_of(client, main["pid"], "winmm.dll", "waveOutWrite")
    assert before, "the client's sound library cannot be read"

    # A hand-over: the page, the beacons, the work area.
    log.step()
    r = client.drive("copydata", main["hwnd"], "0", record_of("p1", "12", "lmdr"))
    assert r.stdout.decode().strip() == "1"
    assert log.wait("/login.htm", 1) and log.wait("/_regevent.gif", 1, query="event=305&")
    wait_for(lambda: len(page_windows(client, main)) == 1, "no page")
    post(client, main["hwnd"], WM_SYSCOMMAND, SC_CLOSE, 4286)
    wait_for(lambda: not windows(client)[login["hwnd"]]["visible"], "the login window stayed")
    main = wait_for(lambda: (m := client.main_window())["rect"][2] > 1 and m, "no work area")
    assert tray_icons(client) == 1

    # The mute: XP's path intercepts waveOut inside the process at the first
    # tick, then the key flips the state and the button follows.
    wait_for(lambda: code_of(client, main["pid"], "winmm.dll", "waveOutWrite") not in (None, before),
             "waveOutWrite was not intercepted")
    activate(client, main["hwnd"])
    mx, my = main["rect"][0] + MUTE_PIXEL[0], main["rect"][1] + MUTE_PIXEL[1]
    assert pixel(client, mx, my) >> 16 < 130  # sound on
    r = client.drive("keywatch", str(mx), str(my), "3000", "ctrl+q")
    assert r.returncode == 0, "the mute button did not follow the key"
    assert int(r.stdout.decode().split()[0], 16) >> 16 > 180

    # The exit: the online record, then the process ends.
    log.step()
    client.exit_from_tray(main["hwnd"])
    assert wait_exit(proc, 30) == 0
    assert [r["path"] for r in log.since()] == ["/d.php"]

    # The uninstall, confirmed: beacons, links, keys and files go.
    log.step()
    proc = client.start("/uninst", exe=exe)
    box, text = message_box(client, "Lumendor")
    assert text == "确定要移除 Lumendor 吗？"
    client.click(box["hwnd"], IDYES_BUTTON)
    done, _ = message_box(client, "Lumendor", other_than=box["hwnd"])
    log.wait("/uninstall.htm", 1)
    assert [r["path"] for r in log.since()] == ["/_xz.gif", "/_regevent.gif", "/uninstall.htm"]
    client.click(done["hwnd"], IDYES_BUTTON)
    assert wait_exit(proc) == 0
    assert client.prefix.reg_query(CLIENT_KEY).returncode == 1
    wait_for(lambda: not exe.exists(), "the executable stayed", 15)
