"""Wine prefixes, displays and processes for the client's tests and the run command.

Everything started here is remembered by PID and ended by PID; nothing is
looked up by name, so processes of other people stay untouched.
"""
from __future__ import annotations

import fcntl
import os
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
DLL_OVERRIDES = "winemenubuilder.exe=d;mshtml=d;winealsa.drv=d"
CJK_FACE = "WenQuanYi Micro Hei"

# Faces the client asks for, drawn with the installed CJK font.
FONT_REPLACEMENTS = ["微软雅黑", "Microsoft YaHei", "MS Shell Dlg", "MS Shell Dlg 2", "宋体", "SimSun", "Tahoma"]


def wine_root() -> Path:
    """Where prefixes live: LUMENDOR_WINE_ROOT, else build/wine."""
    return Path(os.environ.get("LUMENDOR_WINE_ROOT", REPO / "build" / "wine"))


def base_env(prefix: Path, home: Path, display: str | None) -> dict:
    env = dict(os.environ)
    env.update(
        WINEPREFIX=str(prefix),
        HOME=str(home),
        WINEDEBUG="-all",
        WINEDLLOVERRIDES=DLL_OVERRIDES,
        WINEARCH="win64",
        LANG=os.environ.get("LUMENDOR_LANG", "zh_CN.UTF-8") if _has_locale("zh_CN.utf8") else "C.UTF-8",
    )
    env.pop("WINESERVER", None)
    if display:
        env["DISPLAY"] = display
    else:
        env.pop("DISPLAY", None)
    return env


def _has_locale(name: str) -> bool:
    try:
        out = subprocess.run(["locale", "-a"], capture_output=True, text=True, timeout=10).stdout
    except (OSError, subprocess.SubprocessError):
        return False
    return name.lower() in out.lower().split()


def _replace_home_links(prefix: Path) -> None:
    """Folders that wineboot linked into the Linux home become real folders."""
    users = prefix / "drive_c" / "users"
    if not users.is_dir():
        return
    for user in users.iterdir():
        if not user.is_dir() or user.is_symlink():
            continue
        for entry in user.iterdir():
            if entry.is_symlink():
                entry.unlink()
                entry.mkdir()


# Bump when the template's content changes: older templates are rebuilt.
TEMPLATE_VERSION = "2"
WEB_BROWSER_CLSID = "{8856F961-340A-11D0-A96B-00C04FD705A2}"


def _template_reg() -> str:
    lines = ["Windows Registry Editor Version 5.00", "", r"[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]"]
    for face in FONT_REPLACEMENTS:
        lines.append(f'"{face}"="{CJK_FACE}"')
    # A crashing test program ends instead of waiting in the crash dialog.
    lines += ["", r"[HKEY_CURRENT_USER\Software\Wine\WineDbg]", '"ShowCrashDialog"=dword:00000000']
    return "\r\n".join(lines) + "\r\n"


def kill_wineserver(env: dict, timeout: float = 30) -> None:
    """Ends the wineserver of env's prefix only, and waits for it."""
    try:
        quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)
        subprocess.run(["wineserver", "-k"], env=env, **quiet)
        subprocess.run(["wineserver", "-w"], env=env, **quiet)
    except subprocess.TimeoutExpired:
        pass


def ensure_template(root: Path | None = None) -> Path:
    """The template prefix, made once (about 20 s) and reused by every clone."""
    root = root or wine_root()
    root.mkdir(parents=True, exist_ok=True)
    template = root / "template"
    ready = template / ".lumendor-ready"
    with open(root / ".template.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if ready.exists() and ready.read_text() == TEMPLATE_VERSION:
            return template
        shutil.rmtree(template, ignore_errors=True)
        home = root / "template-home"
        shutil.rmtree(home, ignore_errors=True)
        home.mkdir(parents=True)
        env = base_env(template, home, None)
        quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineboot", "--init"], env=env, timeout=1200, check=True, **quiet)
        subprocess.run(["wineserver", "-w"], env=env, timeout=1200, **quiet)
        _replace_home_links(template)
        reg = root / "template.reg"
        reg.write_text(_template_reg(), encoding="utf-16")
        subprocess.run(["wine", "regedit", "/S", str(reg)], env=env, capture_output=True, timeout=600, check=True)
        kill_wineserver(env)
        ready.write_text(TEMPLATE_VERSION)
        return template


def clone_prefix(dest: Path, template: Path | None = None) -> Path:
    """A cheap copy of the template: hard links, with real copies of
    everything a program may change in place (registry, user and program
    data folders)."""
    template = template or ensure_template()
    if dest.exists():
        shutil.rmtree(dest)
    dest.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["cp", "-al", str(template), str(dest)], check=True)
    for name in ("system.reg", "user.reg", "userdef.reg"):
        (dest / name).unlink()
        shutil.copy2(template / name, dest / name)
    for sub in ("drive_c/users", "drive_c/ProgramData"):
        target = dest / sub
        if target.exists():
            shutil.rmtree(target)
            shutil.copytree(template / sub, target, symlinks=True)
    (dest / ".lumendor-ready").unlink(missing_ok=True)
    return dest


class Display:
    """Xvfb with -noreset plus openbox, started and ended by PID."""

    def __init__(self, width: int = 1280, height: int = 800):
        self.width, self.height = width, height
        self.xvfb: subprocess.Popen | None = None
        self.wm: subprocess.Popen | None = None
        self.tray: subprocess.Popen | None = None
        self.name = ""

    def start(self, timeout: float = 20) -> "Display":
        r, w = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-noreset", "-nolisten", "tcp",
             "-screen", "0", f"{self.width}x{self.height}x24"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        number = b""
        deadline = time.monotonic() + timeout
        with os.fdopen(r, "rb") as pipe:
            while not number.endswith(b"\n"):
                if time.monotonic() > deadline:
                    raise TimeoutError("Xvfb did not report its display")
                ch = pipe.read(1)
                if not ch:
                    raise RuntimeError("Xvfb ended before reporting its display")
                number += ch
        self.name = ":" + number.decode().strip()
        env = dict(os.environ, DISPLAY=self.name)
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        while time.monotonic() < deadline:
            out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env,
                                 capture_output=True, text=True).stdout
            if "window id" in out:
                self.tray = start_tray_host(env)
                return self
            time.sleep(0.05)
        raise TimeoutError("openbox did not come up")

    def screenshot(self, path: Path) -> Path:
        path.parent.mkdir(parents=True, exist_ok=True)
        env = dict(os.environ, DISPLAY=self.name)
        xwd = subprocess.run(["xwd", "-root", "-silent"], env=env, capture_output=True, check=True, timeout=30)
        subprocess.run(["convert", "xwd:-", str(path)], input=xwd.stdout, check=True, timeout=60)
        return path

    def pointer_move(self, x: int, y: int) -> None:
        """The display's own pointer moved to (x, y) in a few steps, as a hand
        moves it: programs see the moves (and hover over what is there)."""
        env = dict(os.environ, DISPLAY=self.name)
        subprocess.run(["xdotool", "mousemove", "--sync", str(x - 6), str(y - 3), "sleep", "0.1",
                        "mousemove", "--sync", str(x - 2), str(y - 1), "sleep", "0.1",
                        "mousemove", "--sync", str(x), str(y)],
                       env=env, check=True, timeout=30, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def pointer_drag(self, x1: int, y1: int, x2: int, y2: int, steps: int = 8) -> None:
        """A left-button drag on the display itself (XTest): the window
        manager sees it too, as it sees a person's mouse. The system's own
        input (SendInput) reaches only the programs, so a move the window
        manager performs (a window dragged by its caption) needs this."""
        env = dict(os.environ, DISPLAY=self.name)
        cmd = ["xdotool", "mousemove", "--sync", str(x1), str(y1), "sleep", "0.2", "mousedown", "1", "sleep", "0.5"]
        for i in range(1, steps + 1):
            cmd += ["mousemove", str(x1 + (x2 - x1) * i // steps), str(y1 + (y2 - y1) * i // steps), "sleep", "0.1"]
        cmd += ["sleep", "0.3", "mouseup", "1", "sleep", "0.3"]
        subprocess.run(cmd, env=env, check=True, timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop(self) -> None:
        for proc in (self.tray, self.wm, self.xvfb):
            stop_process(proc)
        self.tray = self.wm = self.xvfb = None


def start_tray_host(env: dict) -> subprocess.Popen:
    """A system tray that docks and hides every icon (devtools/tray_host.c,
    built on first use): without one Wine shows its own tray window, which
    takes the focus."""
    source = Path(__file__).resolve().parent / "tray_host.c"
    binary = Path(__file__).resolve().parents[1] / "build" / "tray_host"
    if not binary.exists() or binary.stat().st_mtime < source.stat().st_mtime:
        binary.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["cc", "-O2", "-o", str(binary), str(source), "-lX11"], check=True)
    proc = subprocess.Popen([str(binary)], env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if proc.stdout.readline().strip() != b"ready":
        raise RuntimeError("the tray host did not start")
    return proc


def stop_process(proc: subprocess.Popen | None, grace: float = 5) -> None:
    if proc is None or proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(grace)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait(grace)


class WinePrefix:
    """One prefix with its own wineserver; runs programs in it."""

    def __init__(self, path: Path, display: str | None):
        self.path = path
        self.home = path.parent / (path.name + "-home")
        self.home.mkdir(parents=True, exist_ok=True)
        self.env = base_env(path, self.home, display)
        self.procs: list[subprocess.Popen] = []

    def start_server(self) -> None:
        """Keeps a wineserver alive for this prefix, so that each program starts fast."""
        subprocess.run(["wineserver", "-p"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)

    def spawn(self, exe: Path | str, *args: str, **kw) -> subprocess.Popen:
        proc = subprocess.Popen(["wine", str(exe), *args], env=self.env,
                                stdout=kw.get("stdout", subprocess.DEVNULL),
                                stderr=kw.get("stderr", subprocess.DEVNULL),
                                preexec_fn=kw.get("preexec_fn"))
        self.procs.append(proc)
        return proc

    def run(self, exe: Path | str, *args: str, timeout: float = 60) -> subprocess.CompletedProcess:
        return run_detached_output(["wine", str(exe), *args], self.env, timeout)

    def reg_query(self, key: str, value: str | None = None, view64: bool = False) -> subprocess.CompletedProcess:
        cmd = ["wine", "reg", "query", key]
        if value is not None:
            cmd += ["/v", value]
        if view64:
            cmd.append("/reg:64")
        return run_detached_output(cmd, self.env, 60)

    def reg_add(self, key: str, value: str | None = None, data: str = "", kind: str = "REG_SZ",
                view64: bool = False) -> subprocess.CompletedProcess:
        cmd = ["wine", "reg", "add", key, "/f"]
        if value == "":  # the key's default value
            cmd += ["/ve", "/t", kind, "/d", data]
        elif value is not None:
            cmd += ["/v", value, "/t", kind, "/d", data]
        if view64:
            cmd.append("/reg:64")
        return run_detached_output(cmd, self.env, 60)

    def register_standin(self, dll: Path, record: Path | None = None) -> None:
        """Makes the stand-in browser control the WebBrowser class of this
        prefix's 32-bit programs; with `record`, every process that loads it
        appends its record of host calls and events there."""
        key = "HKLM\\Software\\Classes\\CLSID\\" + WEB_BROWSER_CLSID + "\\InprocServer32"
        for extra in (["/ve", "/d", self.windows_path(dll)], ["/v", "ThreadingModel", "/d", "Apartment"]):
            done = run_detached_output(["wine", "reg", "add", key, *extra, "/f", "/reg:32"], self.env, 60)
            if done.returncode != 0:
                raise RuntimeError(f"cannot register the stand-in: {done.stderr!r}")
        if record is not None:
            self.env["LMSTANDIN_RECORD"] = self.windows_path(record)

    def windows_path(self, unix: Path) -> str:
        """The Windows name of a file inside drive_c or elsewhere (Z:)."""
        unix = Path(unix).resolve()
        drive_c = (self.path / "drive_c").resolve()
        try:
            return "C:\\" + str(unix.relative_to(drive_c)).replace("/", "\\")
        except ValueError:
            return "Z:" + str(unix).replace("/", "\\")

    def user_dir(self) -> Path:
        users = self.path / "drive_c" / "users"
        for entry in users.iterdir():
            if entry.name not in ("Public",) and entry.is_dir():
                return entry
        raise FileNotFoundError("no user folder in the prefix")

    def shutdown(self) -> None:
        # A coverage build writes its counts once a second: before a program
        # still running is ended, it is given the time to write what it ran
        # last (a test's last steps are often the ones it is there for).
        if os.environ.get("LUMENDOR_COVERAGE_DIR") and any(p.poll() is None for p in self.procs):
            time.sleep(1.5)
        for proc in self.procs:
            stop_process(proc)
        self.procs.clear()
        kill_wineserver(self.env)


def run_detached_output(cmd: list[str], env: dict, timeout: float) -> subprocess.CompletedProcess:
    """Runs a command and collects its output through files, not pipes: Wine's
    background services inherit a pipe and would keep it open long after the
    command itself has ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.Popen(cmd, env=env, stdout=out, stderr=err, stdin=subprocess.DEVNULL)
        try:
            code = proc.wait(timeout)
        except subprocess.TimeoutExpired:
            stop_process(proc)
            raise
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(cmd, code, out.read(), err.read())


def temp_prefix_dir(tag: str) -> Path:
    root = wine_root() / "runs"
    root.mkdir(parents=True, exist_ok=True)
    return Path(tempfile.mkdtemp(prefix=tag + "-", dir=root))


def hard_kill(proc: subprocess.Popen) -> None:
    try:
        os.kill(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
