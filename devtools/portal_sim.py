#!/usr/bin/env python3
"""Portal simulator: one process serving every portal host of a client build
on loopback, recording every request as a JSON line.

Hosts come from the build's hosts.json (written by CMake from the LUMENDOR_*
cache variables), so the simulator always serves exactly what the client was
built to call. Python 3 standard library only.

Scenario knobs (also as command-line options):
  refuse   host names not to listen on at all (connections are refused)
  delay    seconds to wait before answering, per host
  hang     host names that accept a request and never answer it (until
           release() or stop(); then they answer as usual)
  status   reply status per host
  body     reply body per host
  routes   exact replies per (host, path): status, headers, body, delay

Pages of the portal host: the login page (drawn on a magenta ground, driving
the client through "app:" command URLs), "/lmdr/api/login" (sets the "Pauth"
and "ptusertype" cookies for the portal's root), and a game page; the client-
statistics host serves the game wrapper "/webgame.htm".

External login (QQ, Weibo, WeChat: "qzone", "weibo", "weixin"): the external-
login host's start address "/<kind>/redirectToAuthorize.do?params=..."
redirects to the provider's authorization page (QQ's on the QQ-authorisation
host, "/oauth2.0/authorize"; the others on the external-login host,
"/<kind>/authorize.do"), whose form comes back to the completion address
"/<kind>/callback.do?code=<account>". A completion sets the portal's "Pauth",
"ptusertype" and "ptaccount" cookies (Path=/) for its address. With the knob
ext_bind set, the callback first asks for an account binding (no cookie) and
the binding pages "/<kind>/extLoginBind.do" (an existing portal account) and
"/<kind>/extAutoBind.do" (a new one) complete the login.

The log holds one object per request:
  {"host", "method", "path", "query", "headers", "time"}
"""
from __future__ import annotations

import argparse
import json
import re
import os
import signal
import socket
import sys
import threading
import time
import secrets
from dataclasses import dataclass, field
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path
from html import escape
from urllib.parse import parse_qs, quote, urlsplit

PAGES = Path(__file__).resolve().parent / "portal_pages"
LOGIN_PAGE_PATH = "/lmdr/clients/chn-xpvt/reg.html"
# The pages the auto-login forwards the portal links to.
PORTAL_LINK_PAGES = {"/user/userinfo.php": "account", "/message/": "messages", "/kefu/": "customer service"}
EXT_KINDS = ("qzone", "weibo", "weixin")
EXT_NAMES = {"qzone": "QQ", "weibo": "新浪微博", "weixin": "微信"}
HTML = {"Content-Type": "text/html; charset=utf-8"}


def simple_page(title: str, body: str) -> bytes:
    return (f'<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>{escape(title)}</title></head>'
            f"<body>{body}</body></html>\n").encode("utf-8")


def parse_host(value: str) -> tuple[str, int]:
    """"host", "host:port" or a whole "http://host:port/..." address."""
    if "://" in value:
        parts = urlsplit(value)
        return parts.hostname or "127.0.0.1", parts.port or 80
    host, _, port = value.partition(":")
    return host, int(port) if port else 80


def parse_host_text(value: str) -> str:
    """The "host:port" part of a host setting or a whole address."""
    if "://" in value:
        return urlsplit(value).netloc
    return value


@dataclass
class Reply:
    status: int = 200
    body: bytes = b""
    headers: dict = field(default_factory=dict)
    delay: float = 0.0
    ranged: bool = False          # a file: answers "Range: bytes=N-" with 206
    whole_on_range: bool = False  # ... or with the whole file and 200
    cut: int | None = None        # the connection drops after this many body bytes
    hang: bool = False            # accept and never answer (until release)
    plan: list = field(default_factory=list)  # per-request cuts, used up in order (see file)
    reason: str | None = None     # the status line's reason text, when not the usual one


class _Server(ThreadingHTTPServer):
    """Remembers its open connections, so that stopping it also ends the
    kept-alive ones: a stopped host answers nothing more."""
    allow_reuse_address = True
    daemon_threads = True

    def __init__(self, *args, **kw):
        self.connections: set = set()
        self.connections_lock = threading.Lock()
        super().__init__(*args, **kw)

    def get_request(self):
        conn, addr = super().get_request()
        with self.connections_lock:
            self.connections.add(conn)
        return conn, addr

    def shutdown_request(self, request):
        with self.connections_lock:
            self.connections.discard(request)
        super().shutdown_request(request)

    def drop_connections(self) -> None:
        with self.connections_lock:
            conns = list(self.connections)
        for conn in conns:
            try:
                conn.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


class PortalSimulator:
    def __init__(self, hosts: dict[str, str], log_path: Path | str):
        self.hosts = dict(hosts)
        self.log_path = Path(log_path)
        self.refuse: set[str] = set()
        self.delay: dict[str, float] = {}
        self.status: dict[str, int] = {}
        self.body: dict[str, bytes] = {}
        self.routes: dict[tuple[str, str], Reply] = {}
        self.logins: list[dict] = []  # accounts that logged in through the page
        self.auto_logins: list[dict] = []  # the portal links' auto-login requests
        self.ext_bind = False  # external accounts must be bound before the login completes
        self.hang: set[str] = set()
        self.released = threading.Event()  # hanging requests answer once this is set
        self._servers: list[_Server] = []
        self._threads: list[threading.Thread] = []
        self._lock = threading.Lock()

    @classmethod
    def from_build(cls, build_dir: Path | str, log_path: Path | str) -> "PortalSimulator":
        hosts = json.loads((Path(build_dir) / "hosts.json").read_text())
        return cls(hosts, log_path)

    # -- replies -----------------------------------------------------------
    def route(self, host: str, path: str, body: bytes | str = b"", status: int = 200,
              headers: dict | None = None, delay: float = 0.0, hang: bool = False,
              reason: str | None = None) -> None:
        if isinstance(body, str):
            body = body.encode()
        self.routes[(host, path)] = Reply(status, body, headers or {}, delay, hang=hang, reason=reason)

    def file(self, host: str, path: str, data: bytes, etag: str | None = None, cut: int | None = None,
             whole_on_range: bool = False, plan: list | None = None) -> None:
        """A file with Content-Length, an optional ETag and ranges; `cut`
        drops every reply's connection after that many body bytes.

        `plan` scripts the replies to the next requests of this file, one
        entry each, before `cut` applies again: None answers whole,
        ("at", n) drops the connection before the file's byte n (counted
        from the file's start, whatever range was asked for), ("head", n)
        drops it after n bytes of the status line and header fields."""
        headers = {"Content-Type": "application/octet-stream"}
        if etag is not None:
            headers["ETag"] = etag
        self.routes[(host, path)] = Reply(200, data, headers, 0.0, True, whole_on_range, cut,
                                          plan=list(plan or []))

    def release(self) -> None:
        """Hanging requests answer now, and later ones do not hang."""
        self.released.set()

    def page(self, name: str) -> bytes:
        """A page of portal_pages with the build's hosts filled in."""
        text = (PAGES / name).read_text(encoding="utf-8")
        for key in ("portal", "stats", "extlogin", "pay"):
            text = text.replace("{{" + key.upper() + "_HOST}}", parse_host_text(self.hosts.get(key, "")))
        return text.encode("utf-8")

    def builtin(self, host: str, path: str, query: str, body: bytes) -> Reply | None:
        html = {"Content-Type": "text/html; charset=utf-8"}
        if host == "portal" and path == LOGIN_PAGE_PATH:
            return Reply(200, self.page("login.html"), html)
        if host == "portal" and path == "/lmdr/game.html":
            return Reply(200, self.page("game.html"), html)
        if host == "stats" and path == "/webgame.htm":
            return Reply(200, self.page("game.html"), html)
        if host == "portal" and path == "/user/":
            args = parse_qs(query)
            if (args.get("_c") or [""])[0] == "hallClient" and (args.get("_a") or [""])[0] == "autoLogin":
                return self.auto_login(args)
        if (host == "portal" and (path in PORTAL_LINK_PAGES or re.fullmatch(r"/[a-z0-9]+/xsk/", path))) or \
                (host == "pay" and path == "/"):
            title = PORTAL_LINK_PAGES.get(path, "recharge" if host == "pay" else "newcomer card")
            return Reply(200, f"<html><head><title>{title}</title></head><body>{title}</body></html>".encode(), html)
        if host == "portal" and path == "/lmdr/api/login":
            form = parse_qs(body.decode("utf-8", "replace") or query)
            user = (form.get("user") or [""])[0]
            if not user or not (form.get("pass") or [""])[0]:
                return Reply(403, b'{"ok":false}', {"Content-Type": "application/json"})
            pauth = secrets.token_hex(16)
            self.logins.append({"user": user, "pauth": pauth})
            cookies = [f"Pauth={pauth}; Path=/", "ptusertype=2; Path=/", f"ptaccount={user}; Path=/"]
            return Reply(200, b'{"ok":true}', {"Content-Type": "application/json", "Set-Cookie": cookies})
        if host == "qqauth" and path == "/oauth2.0/authorize":
            return self.ext_authorize("qzone", query)
        if host == "extlogin":
            kind, _, page = path.lstrip("/").partition("/")
            if kind in EXT_KINDS:
                return self.ext_page(kind, page, query, body)
        return None

    def auto_login(self, args: dict) -> Reply:
        """Logs the browser in with the pauth value and forwards it to "url"."""
        pauth = (args.get("pauth") or [""])[0]
        target = (args.get("url") or [""])[0]
        self.auto_logins.append({"pauth": pauth, "url": target, "ptusertype": (args.get("ptusertype") or [""])[0],
                                 "type": (args.get("type") or [""])[0], "game": (args.get("game") or [""])[0]})
        if not pauth or not target.startswith("http://"):
            return Reply(400, b"bad auto-login", {"Content-Type": "text/plain"})
        return Reply(302, b"", {"Location": target, "Set-Cookie": f"Pauth={pauth}; Path=/"})
    def address(self, host: str, path: str) -> str:
        """The address of a path on one of the simulator's hosts."""
        return f"http://{parse_host_text(self.hosts.get(host, ''))}{path}"

    # -- external login ----------------------------------------------------
    def ext_address(self, kind: str, page: str) -> str:
        return f"http://{parse_host_text(self.hosts.get('extlogin', ''))}/{kind}/{page}"

    def ext_page(self, kind: str, page: str, query: str, body: bytes) -> Reply | None:
        form = parse_qs(query)
        for key, values in parse_qs(body.decode("utf-8", "replace")).items():
            form.setdefault(key, values)
        value = lambda key: (form.get(key) or [""])[0]  # noqa: E731
        if page == "redirectToAuthorize.do":
            if not query.startswith("params="):
                return Reply(400, simple_page("错误", "缺少参数"), HTML)
            if kind == "qzone":
                target = f"http://{parse_host_text(self.hosts.get('qqauth', ''))}/oauth2.0/authorize"
            else:
                target = self.ext_address(kind, "authorize.do")
            back = quote(self.ext_address(kind, "callback.do"), safe="")
            location = f"{target}?response_type=code&client_id=lmdr&redirect_uri={back}&state={quote(value('params'), safe='')}"
            return Reply(302, b"", {"Location": location})
        if page == "authorize.do" and kind != "qzone":
            return self.ext_authorize(kind, query)
        if page == "callback.do":
            code = value("code")
            if not code:
                return Reply(400, simple_page("授权失败", "<p>授权失败，请关闭窗口重试</p>"), HTML)
            if self.ext_bind:
                return Reply(200, self.ext_bind_page(kind, code), HTML)
            return self.ext_complete(kind, f"{kind}_{code}")
        if page == "extAutoBind.do":
            code = value("code")
            if not code:
                return Reply(400, simple_page("绑定失败", "<p>缺少授权</p>"), HTML)
            return self.ext_complete(kind, f"{kind}_{code}")
        if page == "extLoginBind.do":
            if not value("user") or not value("pass"):
                return Reply(403, self.ext_bind_page(kind, value("code"), "请输入账号和密码"), HTML)
            return self.ext_complete(kind, value("user"))
        return None

    def ext_authorize(self, kind: str, query: str) -> Reply:
        form = parse_qs(query)
        back, state = (form.get("redirect_uri") or [""])[0], (form.get("state") or [""])[0]
        if not back:
            return Reply(400, simple_page("错误", "缺少回调地址"), HTML)
        name = EXT_NAMES[kind]
        body = (f"<h1>{name}授权登录</h1>"
                f'<form method="get" action="{escape(back)}">'
                f'<input type="hidden" name="state" value="{escape(state)}">'
                f'<label>{name}账号 <input id="code" name="code"></label> '
                '<input id="authorize" type="submit" value="授权并登录"></form>')
        return Reply(200, simple_page(f"{name}授权登录", body), HTML)

    def ext_bind_page(self, kind: str, code: str, message: str = "") -> bytes:
        auto = self.ext_address(kind, "extAutoBind.do") + "?code=" + quote(code, safe="")
        body = (f"<h1>绑定{EXT_NAMES[kind]}账号</h1><p>{escape(message)}</p>"
                f'<form method="post" action="{escape(self.ext_address(kind, "extLoginBind.do"))}">'
                f'<input type="hidden" name="code" value="{escape(code)}">'
                '<label>账号 <input name="user"></label> <label>密码 <input name="pass" type="password"></label>'
                '<input type="submit" value="绑定已有账号"></form>'
                f'<p><a href="{escape(auto)}">创建新账号并登录</a></p>')
        return simple_page("绑定账号", body)

    def ext_complete(self, kind: str, user: str) -> Reply:
        pauth = secrets.token_hex(16)
        self.logins.append({"user": user, "pauth": pauth, "via": kind})
        cookies = [f"Pauth={pauth}; Path=/", "ptusertype=3; Path=/", f"ptaccount={quote(user)}; Path=/"]
        # As the services' own pages do, the closing page says so in a box
        # of its own, which the client's external-login window takes away.
        page = simple_page("登录成功", "<p>登录成功，请稍候……</p><script>alert('登录成功');</script>")
        return Reply(200, page, {**HTML, "Set-Cookie": cookies})

    def reply_for(self, host: str, path: str, query: str = "", body: bytes = b"") -> Reply:
        if (host, path) in self.routes:
            return self.routes[(host, path)]
        if host not in self.status and host not in self.body:
            page = self.builtin(host, path, query, body)
            if page is not None:
                return page
        return Reply(self.status.get(host, 200), self.body.get(host, b""), {}, self.delay.get(host, 0.0),
                     hang=host in self.hang)

    # -- recording ---------------------------------------------------------
    def record(self, host: str, handler: BaseHTTPRequestHandler) -> None:
        parts = urlsplit(handler.path)
        entry = {
            "host": host,
            "method": handler.command,
            "path": parts.path,
            "query": parts.query,
            "target": handler.path,
            "headers": {k: v for k, v in handler.headers.items()},
            "time": time.time(),
        }
        with self._lock, open(self.log_path, "a", encoding="utf-8") as log:
            log.write(json.dumps(entry, ensure_ascii=False) + "\n")

    def requests(self, host: str | None = None) -> list[dict]:
        if not self.log_path.exists():
            return []
        with self._lock:
            lines = self.log_path.read_text(encoding="utf-8").splitlines()
        entries = [json.loads(line) for line in lines if line.strip()]
        return [e for e in entries if host is None or e["host"] == host]

    # -- life --------------------------------------------------------------
    def _handler(self, host: str):
        sim = self

        class Handler(BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def _serve(self, send_body: bool) -> None:
                sim.record(host, self)
                length = int(self.headers.get("Content-Length") or 0)
                body = self.rfile.read(length) if length else b""
                parts = urlsplit(self.path)
                reply = sim.reply_for(host, parts.path, parts.query, body)
                if reply.hang or host in sim.hang:
                    sim.released.wait()
                if reply.delay:
                    time.sleep(reply.delay)
                with sim._lock:
                    step = reply.plan.pop(0) if reply.plan else ("body", reply.cut)
                status, body = reply.status, reply.body
                start = 0
                match = re.fullmatch(r"bytes=(\d+)-", self.headers.get("Range") or "")
                if reply.ranged and match and not reply.whole_on_range:
                    start = min(int(match.group(1)), len(body))
                    status, body = 206, body[start:]
                cut = None
                if step is not None:
                    kind, count = step
                    cut = None if count is None else (max(0, count - start) if kind == "at" else count)
                    if kind == "head":
                        cut = None
                headers = {"Content-Type": "text/html", **reply.headers}
                reason = reply.reason or self.responses.get(status, ("",))[0]
                head = [f"HTTP/1.1 {status} {reason}",
                        f"Server: {self.version_string()}", f"Date: {self.date_time_string()}"]
                for key, value in headers.items():
                    for one in value if isinstance(value, list) else [value]:
                        head.append(f"{key}: {one}")
                head.append(f"Content-Length: {len(body)}")
                head_bytes = ("\r\n".join(head) + "\r\n\r\n").encode("latin-1", "replace")
                self.log_request(status)
                if step is not None and step[0] == "head":
                    self.wfile.write(head_bytes[:step[1]])
                    self.wfile.flush()
                    self.close_connection = True
                    return
                self.wfile.write(head_bytes)
                # A reply that says it closes the connection does so, whatever
                # the request asked for.
                if any(k.lower() == "connection" and str(v).lower() == "close" for k, v in headers.items()):
                    self.close_connection = True
                if send_body:
                    if cut is not None and cut < len(body):
                        self.wfile.write(body[:cut])
                        self.wfile.flush()
                        self.close_connection = True
                        return
                    self.wfile.write(body)

            def do_GET(self):  # noqa: N802
                self._serve(True)

            def do_POST(self):  # noqa: N802
                self._serve(True)

            def do_HEAD(self):  # noqa: N802
                self._serve(False)

            def log_message(self, *args):
                pass

        return Handler

    def start(self) -> "PortalSimulator":
        self.released.clear()  # a restarted simulator hangs again
        self.log_path.parent.mkdir(parents=True, exist_ok=True)
        self.log_path.touch()
        bound: dict[tuple[str, int], str] = {}
        for name, value in self.hosts.items():
            if name in self.refuse:
                continue
            address = parse_host(value)
            if address in bound:  # two names on one address share a server
                continue
            server = _Server(address, self._handler(name))
            bound[address] = name
            thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True,
                                      name=f"sim-{name}")
            thread.start()
            self._servers.append(server)
            self._threads.append(thread)
        return self

    def stop(self) -> None:
        self.released.set()  # no handler stays blocked
        # Each server notices its shutdown within its poll interval: end
        # them together, not one after another.
        stoppers = [threading.Thread(target=server.shutdown) for server in self._servers]
        for t in stoppers:
            t.start()
        for t in stoppers:
            t.join()
        for server in self._servers:
            server.server_close()
            server.drop_connections()
        self._servers.clear()
        self._threads.clear()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


def main(argv: list[str] | None = None) -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=str(Path(__file__).resolve().parent.parent / "build" / "windows"),
                    help="build folder holding hosts.json")
    ap.add_argument("--log", required=True, help="request log (JSON lines)")
    ap.add_argument("--refuse", action="append", default=[], help="host name not to serve")
    ap.add_argument("--delay", action="append", default=[], metavar="HOST=SECONDS")
    ap.add_argument("--status", action="append", default=[], metavar="HOST=CODE")
    ap.add_argument("--hang", action="append", default=[], help="host name that never answers")
    ap.add_argument("--body", action="append", default=[], metavar="HOST=TEXT")
    ap.add_argument("--ext-bind", action="store_true", help="external accounts must be bound first")
    ap.add_argument("--ready-file", help="written once every host listens")
    args = ap.parse_args(argv)

    sim = PortalSimulator.from_build(args.build, args.log)
    sim.refuse.update(args.refuse)
    sim.ext_bind = args.ext_bind
    sim.hang.update(args.hang)
    for item in args.delay:
        host, _, value = item.partition("=")
        sim.delay[host] = float(value)
    for item in args.status:
        host, _, value = item.partition("=")
        sim.status[host] = int(value)
    for item in args.body:
        host, _, value = item.partition("=")
        sim.body[host] = value.encode()
    sim.start()
    if args.ready_file:
        Path(args.ready_file).write_text(str(os.getpid()))
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    stop.wait()
    sim.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
