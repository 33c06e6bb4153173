"""The "/Logo" splash as a player sees it, on a machine without the Flash
control: with no client icon on the desktop the splash ends at its first
tick and the main window follows; over a desktop icon it stays and follows
the icon, and a second "/Logo" client meanwhile ends its own splash at once
and goes on to its main window."""
from __future__ import annotations


from conftest import REPO, parse_window, poll, wait_exit

FLASH_HOST = ("FlashControl", "FlashWindow")
LVM_DELETEITEM = 0x1008


def seen_at(line: str) -> int:
    """The driver's time stamp (Unix milliseconds) at the end of a line."""
    return int(line.strip().split("\t")[-1])


def wait_line(client, *args, timeout_ms=20000) -> str:
    r = client.drive(*args, str(timeout_ms), timeout=timeout_ms / 1000 + 30)
    assert r.returncode == 0, f"driver {args}: {r.stdout!r}"
    return r.stdout.decode().strip()


def own_windows(client, pid: int, cls: str | None = None) -> list[dict]:
    return [w for w in client.windows() if w["pid"] == pid and (cls is None or w["class"] == cls)]


def splash_of(client, pid: int) -> dict | None:
    """The splash: the client's empty square pop-up dialog placed on the desktop."""
    for w in own_windows(client, pid, "#32770"):
        x, y, cx, cy = w["rect"]
        if w["title"] == "" and cx == cy and cx > 0 and w["visible"]:
            return w
    return None


def has_browser(client, pid: int) -> bool:
    """The login window's embedded browser exists (it needs OLE after the splash)."""
    return any(c["class"] == "Shell Embedding"
               for w in own_windows(client, pid) for c in client.children(w["hwnd"]))


def test_without_a_desktop_icon_the_splash_ends_at_its_first_tick(client, portal):
    exe = client.install_copy()
    proc = client.start("/Logo", exe=exe)
    host_line = wait_line(client, "wait", *FLASH_HOST)
    host = parse_window(host_line)
    main_line = wait_line(client, "find", "#32770", "*", "1001")
    main = parse_window(main_line)
    # The splash waited for its first tick (300 ms) before the main window came.
    assert seen_at(main_line) - seen_at(host_line) >= 250
    assert client.drive("gone", host["hwnd"], "1000").returncode == 0
    assert splash_of(client, main["pid"]) is None
    # The main window's login page has its browser: OLE is still there.
    assert poll(lambda: has_browser(client, main["pid"]))
    # The movie lies beside the program, as the client carries it.
    assert (client.install_dir / "Logo.swf").read_bytes() == (REPO / "res" / "movie" / "Logo.swf").read_bytes()
    client.exit_client(main["hwnd"])
    assert wait_exit(proc) == 0


def test_a_second_splash_ends_at_once_while_the_first_follows_the_icon(client, portal):
    exe = client.install_copy()
    # A stand-in desktop whose list view answers like a 64-bit shell's, with
    # the item "LUMENDOR".
    client.prefix.spawn(client.build / "tests" / "fake_desktop.exe", "/x64")
    client.wait_window("Progman", "Program Manager")

    first = client.start("/Logo", exe=exe)
    first_host = parse_window(wait_line(client, "wait", *FLASH_HOST))
    first_pid = first_host["pid"]
    splash = poll(lambda: splash_of(client, first_pid))
    assert splash, "the first splash did not go over the icon"
    x, y, side, _ = splash["rect"]
    assert side > 0
    # The (empty) Flash host follows the splash (a loaded machine may take
    # some seconds to get there).
    host = poll(lambda: next((w for w in own_windows(client, first_pid, "FlashControl")
                              if w["rect"] == splash["rect"]), None), timeout=10)
    assert host, "the Flash host did not follow the splash"
    # While its splash runs, the first client shows no main window.
    assert client.drive("find", "#32770", "*", "1001", "1500").returncode == 1

    second = client.start("/Logo", exe=exe)
    main2 = parse_window(wait_line(client, "find", "#32770", "*", "1001"))
    assert main2["pid"] != first_pid
    # The first splash is still there, over the icon, and its client still waits.
    assert splash_of(client, first_pid) == splash
    assert not [w for w in own_windows(client, first_pid, "#32770") if w["hwnd"] != splash["hwnd"]
                and any(c["id"] == 1001 for c in client.children(w["hwnd"]))]
    assert splash_of(client, main2["pid"]) is None

    # The icon goes: the first splash ends and its main window follows.
    progman = client.wait_window("Progman", "Program Manager")
    lists = [c for c in client.children(progman["hwnd"]) if c["class"] == "SysListView32"]
    assert lists
    assert client.drive("send", lists[0]["hwnd"], str(LVM_DELETEITEM), "2", "0").returncode == 0
    assert client.drive("gone", splash["hwnd"], "3000").returncode == 0
    mains = poll(lambda: [w for w in client.windows() if w["pid"] == first_pid and w["class"] == "#32770"
                          and any(c["id"] == 1001 for c in client.children(w["hwnd"]))])
    assert mains, "no main window after the first splash"

    client.exit_client(main2["hwnd"])
    client.exit_client(mains[0]["hwnd"])
    assert wait_exit(second) == 0
    assert wait_exit(first) == 0
