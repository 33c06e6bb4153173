#!/usr/bin/env python3
"""Portal simulator: one process serving every portal host of a client build
on loopback, recording every request as a JSON line.

Hosts come from the build's hosts.json (written by CMake from the LUMENDOR_*
cache variables), so the simulator always serves exactly what the client was
built to call. Python 3 standard library only.

Scenario knobs (also as command-line options):
  refuse   host names not to listen on at all (connections are refused)
  delay    seconds to wait before answering, per host
  status   reply status per host
  body     reply body per host
  routes   exact replies per (host, path): status, headers, body, delay

Pages of the portal host: the login page (drawn on a magenta ground, driving
the client through "app:" command URLs), "/lmdr/api/login" (sets the "Pauth"
and "ptusertype" cookies for the portal's root), and a game page; the client-
statistics host serves the game wrapper "/webgame.htm".

The log holds one object per request:
  {"host", "method", "path", "query", "headers", "time"}
"""
from __future__ import annotations

import argparse
import json
import re
import os
import signal
import sys
import threading
import time
import secrets
from dataclasses import dataclass, field
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path
from urllib.parse import parse_qs, urlsplit

PAGES = Path(__file__).resolve().parent / "portal_pages"
LOGIN_PAGE_PATH = "/lmdr/clients/chn-xpvt/reg.html"
# The pages the auto-login forwards the portal links to.
PORTAL_LINK_PAGES = {"/user/userinfo.php": "account", "/message/": "messages", "/kefu/": "customer service"}


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
        self._servers: list[ThreadingHTTPServer] = []
        self._threads: list[threading.Thread] = []
        self._lock = threading.Lock()

    @classmethod
    def from_build(cls, build_dir: Path | str, log_path: Path | str) -> "PortalSimulator":
        hosts = json.loads((Path(build_dir) / "hosts.json").read_text())
        return cls(hosts, log_path)

    # -- replies -----------------------------------------------------------
    def route(self, host: str, path: str, body: bytes | str = b"", status: int = 200,
              headers: dict | None = None, delay: float = 0.0) -> None:
        if isinstance(body, str):
            body = body.encode()
        self.routes[(host, path)] = Reply(status, body, headers or {}, delay)

    def file(self, host: str, path: str, data: bytes, etag: str | None = None, cut: int | None = None,
             whole_on_range: bool = False) -> None:
        """A file with Content-Length, an optional ETag and ranges; `cut`
        drops every reply's connection after that many body bytes."""
        headers = {"Content-Type": "application/octet-stream"}
        if etag is not None:
            headers["ETag"] = etag
        self.routes[(host, path)] = Reply(200, data, headers, 0.0, True, whole_on_range, cut)

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

    def reply_for(self, host: str, path: str, query: str = "", body: bytes = b"") -> Reply:
        if (host, path) in self.routes:
            return self.routes[(host, path)]
        if host not in self.status and host not in self.body:
            page = self.builtin(host, path, query, body)
            if page is not None:
                return page
        return Reply(self.status.get(host, 200), self.body.get(host, b""), {}, self.delay.get(host, 0.0))

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
                if reply.delay:
                    time.sleep(reply.delay)
                status, body = reply.status, reply.body
                match = re.fullmatch(r"bytes=(\d+)-", self.headers.get("Range") or "")
                if reply.ranged and match and not reply.whole_on_range:
                    start = min(int(match.group(1)), len(body))
                    status, body = 206, body[start:]
                self.send_response(status)
                headers = {"Content-Type": "text/html", **reply.headers}
                for key, value in headers.items():
                    for one in value if isinstance(value, list) else [value]:
                        self.send_header(key, one)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                if send_body:
                    if reply.cut is not None and reply.cut < len(body):
                        self.wfile.write(body[:reply.cut])
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
        self.log_path.parent.mkdir(parents=True, exist_ok=True)
        self.log_path.touch()
        bound: dict[tuple[str, int], str] = {}
        for name, value in self.hosts.items():
            if name in self.refuse:
                continue
            address = parse_host(value)
            if address in bound:  # two names on one address share a server
                continue
            ThreadingHTTPServer.allow_reuse_address = True
            server = ThreadingHTTPServer(address, self._handler(name))
            server.daemon_threads = True
            bound[address] = name
            thread = threading.Thread(target=server.serve_forever, daemon=True, name=f"sim-{name}")
            thread.start()
            self._servers.append(server)
            self._threads.append(thread)
        return self

    def stop(self) -> None:
        # Each server notices its shutdown within its poll interval: end
        # them together, not one after another.
        stoppers = [threading.Thread(target=server.shutdown) for server in self._servers]
        for t in stoppers:
            t.start()
        for t in stoppers:
            t.join()
        for server in self._servers:
            server.server_close()
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
    ap.add_argument("--body", action="append", default=[], metavar="HOST=TEXT")
    ap.add_argument("--ready-file", help="written once every host listens")
    args = ap.parse_args(argv)

    sim = PortalSimulator.from_build(args.build, args.log)
    sim.refuse.update(args.refuse)
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
