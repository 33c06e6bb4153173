"""Fixtures of the black-box tests: the real client under Wine and Xvfb,
against the portal simulator, driven by the UI driver.

Every test gets its own display (Xvfb + openbox), its own prefix cloned from
one template, and its own simulator; teardown ends exactly those, by PID and
by prefix.
"""
from __future__ import annotations

import os
import shutil
import sys
import time
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "devtools"))

import winenv  # noqa: E402
from portal_sim import PortalSimulator  # noqa: E402

NO_NETWORK = "当前网络不可用，请检查网络连接是否正常！"


def pytest_configure(config):
    config.addinivalue_line("markers", "portal(refuse=[], delay={}, status={}, hang=[]): simulator knobs")


@pytest.fixture(scope="session")
def build_dir() -> Path:
    path = Path(os.environ.get("LUMENDOR_BUILD", REPO / "build" / "windows"))
    assert (path / "Lumendor.exe").exists(), f"build the windows preset first ({path})"
    return path


@pytest.fixture(scope="session")
def template() -> Path:
    return winenv.ensure_template()


@pytest.fixture
def display():
    disp = winenv.Display().start()
    yield disp
    disp.stop()


@pytest.fixture
def portal(request, build_dir, tmp_path):
    sim = PortalSimulator.from_build(build_dir, tmp_path / "requests.jsonl")
    marker = request.node.get_closest_marker("portal")
    if marker:
        sim.refuse.update(marker.kwargs.get("refuse", []))
        sim.delay.update(marker.kwargs.get("delay", {}))
        sim.status.update(marker.kwargs.get("status", {}))
        sim.hang.update(marker.kwargs.get("hang", []))
    sim.start()
    yield sim
    sim.stop()


class Client:
    """The client and the UI driver in one prefix."""

    def __init__(self, prefix: winenv.WinePrefix, build: Path, display: winenv.Display):
        self.prefix = prefix
        self.build = build
        self.display = display
        self.exe = build / "Lumendor.exe"
        self.driver = build / "lmdriver.exe"

    # -- places ------------------------------------------------------------
    @property
    def drive_c(self) -> Path:
        return self.prefix.path / "drive_c"

    @property
    def install_dir(self) -> Path:
        return self.drive_c / "ProgramData" / "4286" / "GameLogin"

    @property
    def stat_ini(self) -> Path:
        return self.install_dir / "Statistic.ini"

    def install_copy(self) -> Path:
        """Puts the client into the install folder, as an install would."""
        self.install_dir.mkdir(parents=True, exist_ok=True)
        target = self.install_dir / "Lumendor.exe"
        shutil.copy2(self.exe, target)
        return target

    def write_settings(self, values: dict[str, str]) -> None:
        self.install_dir.mkdir(parents=True, exist_ok=True)
        text = "[Lm03000]\r\n" + "".join(f"{k}={v}\r\n" for k, v in values.items())
        self.stat_ini.write_bytes(b"\xff\xfe" + text.encode("utf-16-le"))

    def read_settings(self) -> dict[str, str]:
        """Keys of section Lm03000 as the client left them."""
        raw = self.stat_ini.read_bytes()
        # (read while the client may be writing it: a cut character is no error)
        text = raw.decode("utf-16", "replace") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("latin-1")
        values, section = {}, None
        for line in text.splitlines():
            line = line.strip()
            if line.startswith("[") and line.endswith("]"):
                section = line[1:-1]
            elif "=" in line and section == "Lm03000":
                key, _, value = line.partition("=")
                values[key] = value
        return values

    def read_link(self, path: Path) -> dict:
        """A shell link read back through the shell's link object."""
        r = self.drive("link", self.prefix.windows_path(path))
        assert r.returncode == 0, f"no link {path}"
        target, args, icon, index, folder, description = r.stdout.decode().rstrip("\r\n").split("\t")
        return {"target": target, "args": args, "icon": icon, "index": int(index), "folder": folder,
                "description": description}

    # -- running -----------------------------------------------------------
    def start(self, *args: str, exe: Path | None = None, preexec_fn=None):
        return self.prefix.spawn(exe or self.exe, *args, preexec_fn=preexec_fn)

    def drive(self, *args: str, timeout: float = 60):
        return self.prefix.run(self.driver, *args, timeout=timeout)

    def hand_over(self, hwnd: str, title: str, game: str = "lmdr", pauth: str = "tok") -> int:
        """Hands an account over to the main window as the login window does;
        returns the main window's reply (1 accepted, 0 already open)."""
        r = self.drive("copydata", hwnd, "0", login_record(title, game, pauth))
        assert r.returncode == 0, r.stderr
        return int(r.stdout.decode().strip())

    def click_at(self, hwnd: str, x: int, y: int) -> None:
        """A left click at a client point, posted as the two button messages."""
        lp = str((y << 16) | x)
        self.drive("post", hwnd, str(0x0201), "1", lp)  # WM_LBUTTONDOWN
        self.drive("post", hwnd, str(0x0202), "0", lp)  # WM_LBUTTONUP

    def double_click_at(self, x: int, y: int) -> None:
        """A real left double click at a point of the screen, made by one
        driver run (two runs can come further apart than the double-click time)."""
        r = self.drive("dblclickat", str(x), str(y))
        assert r.returncode == 0, r.stderr

    def exit_from_tray(self, hwnd: str) -> None:
        """The tray menu's last item, "退出", picked with the keyboard (a
        popup menu's items cannot be read from another process)."""
        self.drive("post", hwnd, str(0x0400 + 1), "1", str(0x0205))  # WM_TRAYNOTIFY, right button up
        r = self.drive("menu", "10000")
        assert r.returncode == 0, "no tray menu"
        menu = r.stdout.decode().split("\t")[0]
        for _ in range(6):
            self.drive("post", menu, str(0x0100), str(0x28), "0")  # WM_KEYDOWN, VK_DOWN
        self.drive("post", menu, str(0x0100), str(0x0D), "0")  # WM_KEYDOWN, VK_RETURN

    def wait_window(self, cls: str = "*", title: str = "*", timeout_ms: int = 20000) -> dict:
        r = self.drive("wait", cls, title, str(timeout_ms), timeout=timeout_ms / 1000 + 30)
        assert r.returncode == 0, f"no window {cls!r} {title!r}: {r.stdout!r} {r.stderr!r}"
        return parse_window(r.stdout.decode().strip())

    def main_window(self, timeout_ms: int = 20000) -> dict:
        """The main window: the one with the boss-key button."""
        r = self.drive("find", "#32770", "*", "1001", str(timeout_ms), timeout=timeout_ms / 1000 + 30)
        assert r.returncode == 0, f"no main window: {r.stdout!r}"
        return parse_window(r.stdout.decode().strip())

    def exit_client(self, hwnd: str) -> None:
        """What the tray's exit and a closed login window do: SC_CLOSE posted."""
        self.drive("post", hwnd, str(0x0112), str(0xF060), "0")

    def windows(self) -> list[dict]:
        r = self.drive("list")
        assert r.returncode == 0
        return [parse_window(line) for line in r.stdout.decode().splitlines() if line.strip()]

    def children(self, hwnd: str) -> list[dict]:
        r = self.drive("children", hwnd)
        rows = []
        for line in r.stdout.decode().splitlines():
            parts = line.split("\t")
            if len(parts) >= 5:
                rows.append({"hwnd": parts[0], "id": int(parts[1]), "class": parts[2], "text": parts[3],
                             "visible": parts[4] == "visible"})
        return rows

    def click(self, hwnd: str, control_id: int) -> None:
        r = self.drive("click", hwnd, str(control_id))
        assert r.returncode == 0, f"no control {control_id} in {hwnd}"

    def screenshot(self, name: str) -> Path:
        out = Path(os.environ.get("LUMENDOR_ARTEFACTS", self.build / "test-artefacts")) / name
        return self.display.screenshot(out)


def parse_window(line: str) -> dict:
    parts = line.split("\t")
    x, y, w, h = (int(v) for v in parts[3].split(","))
    return {"hwnd": parts[0], "class": parts[1], "title": parts[2], "rect": (x, y, w, h),
            "visible": parts[4] == "visible", "pid": int(parts[5])}


@pytest.fixture
def client(template, build_dir, display):
    path = winenv.temp_prefix_dir("bb")
    winenv.clone_prefix(path, template)
    prefix = winenv.WinePrefix(path, display.name)
    prefix.start_server()
    yield Client(prefix, build_dir, display)
    prefix.shutdown()
    shutil.rmtree(path, ignore_errors=True)
    shutil.rmtree(prefix.home, ignore_errors=True)


class StandIn:
    """The stand-in browser control registered in the client's prefix, and
    the record its processes keep."""

    def __init__(self, client: Client):
        self.path = client.prefix.path.parent / (client.prefix.path.name + "-standin.txt")
        self.path.write_text("")
        client.prefix.register_standin(client.build / "lmstandin.dll", self.path)

    def lines(self) -> list[str]:
        """The record's lines so far, of every process (without their ids)."""
        return [line.partition("\t")[2]
                for line in self.path.read_text(encoding="utf-8", errors="replace").splitlines()]


@pytest.fixture
def standin(client):
    return StandIn(client)


# -- windows of the client ------------------------------------------------
def rect_of(client, hwnd):
    r = client.drive("rect", hwnd)
    return parse_window(r.stdout.decode().strip()) if r.returncode == 0 else None


def visible(client, hwnd) -> bool:
    """Whether a window is there and shown."""
    w = rect_of(client, hwnd)
    return bool(w and w["visible"])


def reg_value(client, key, value, view64=False):
    """A registry value as `reg query` prints it, or None when it is not there."""
    r = client.prefix.reg_query(key, value, view64=view64)
    return r.stdout.decode(errors="replace") if r.returncode == 0 else None


def owned(client, hwnd):
    return [line.split("\t")[0] for line in client.drive("owned", hwnd).stdout.decode().splitlines() if line]


def login_windows(client, main):
    """The login window's background, its page dialog and the page's browser."""
    holds_browser = lambda h: client.drive("text", h, "102").returncode == 0  # noqa: E731
    background = [h for h in owned(client, main["hwnd"])
                  if rect_of(client, h)["class"] == "#32770" and not holds_browser(h)]
    assert len(background) == 1, background
    page = [h for h in owned(client, background[0]) if holds_browser(h)]
    assert len(page) == 1, page
    browser = [c["hwnd"] for c in client.children(page[0]) if c["id"] == 102]
    return background[0], page[0], browser[0]



def login_record(title: str, game: str = "lmdr", pauth: str = "tok") -> str:
    """The hand-over text the login window sends for an account."""
    return f"{title}||Pauth={pauth}||ptusertype=2||logingame={game}"


def poll(what, timeout: float = 15.0, step: float = 0.1):
    """Calls `what` until it gives a true value or the time is up; returns
    its last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = what()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(step)


def wait_exit(proc, timeout: float = 20) -> int:
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        code = proc.poll()
        if code is not None:
            return code
        time.sleep(0.05)
    raise TimeoutError("the client did not end")
