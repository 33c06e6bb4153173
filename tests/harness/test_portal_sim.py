"""The portal simulator on its own: what the client relies on from it."""
from __future__ import annotations

import http.client
import json
import sys
from pathlib import Path

from urllib.parse import parse_qs, quote, urlsplit

import pytest

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "devtools"))

from portal_sim import LOGIN_PAGE_PATH, PortalSimulator  # noqa: E402

HOSTS = {"portal": "127.0.0.1:47401", "stats": "127.0.0.1:47402", "union": "127.0.0.1:47403",
         "event": "127.0.0.1:47404", "online": "127.0.0.1:47405", "extlogin": "127.0.0.1:47406",
         "pay": "127.0.0.1:47407", "qqauth": "127.0.0.1:47408", "netcheck": "http://127.0.0.1:47409/"}


@pytest.fixture
def sim(tmp_path):
    s = PortalSimulator(HOSTS, tmp_path / "log.jsonl").start()
    yield s
    s.stop()


def get(port, path, method="GET", body=None, headers=None):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
    conn.request(method, path, body=body, headers=headers or {})
    resp = conn.getresponse()
    data = resp.read()
    conn.close()
    return resp, data


def test_login_page_is_drawn_on_magenta_and_drives_the_client(sim):
    resp, page = get(47401, LOGIN_PAGE_PATH + "?oid=17239&agid=0")
    text = page.decode("utf-8")
    assert resp.status == 200 and "charset=utf-8" in resp.getheader("Content-Type")
    assert "background: #ff00ff" in text
    for function in ("function postDataUrl", "function getTheKey", "function getlogin", "function check_login"):
        assert function in text
    for command in ("app://", "loadgame|", "setpauth|", "readinfo", "read_key", "loginnum", "minimize", "exitgame",
                    "redrict:http://127.0.0.1:47407/"):
        assert command in text
    assert 'extHost = "127.0.0.1:47406"' in text and "{{" not in text
    assert "/redirectToAuthorize.do?params=" in text


def test_login_sets_the_portal_cookies_for_its_root(sim):
    resp, _ = get(47401, "/lmdr/api/login", "POST", "user=player&pass=secret",
                  {"Content-Type": "application/x-www-form-urlencoded"})
    assert resp.status == 200
    cookies = resp.msg.get_all("Set-Cookie")
    names = {c.split("=", 1)[0]: c for c in cookies}
    assert set(names) == {"Pauth", "ptusertype", "ptaccount"}
    assert all("Path=/" in c for c in cookies)
    assert sim.logins[0]["user"] == "player" and names["Pauth"].startswith("Pauth=" + sim.logins[0]["pauth"])
    refused, _ = get(47401, "/lmdr/api/login", "POST", "user=player&pass=", {})
    assert refused.status == 403


def test_beacons_answer_empty_and_are_recorded(sim):
    resp, body = get(47402, "/active.htm?tag=Lm03000&count=1")
    assert resp.status == 200 and body == b""
    entry = sim.requests("stats")[0]
    assert entry["path"] == "/active.htm" and entry["query"] == "tag=Lm03000&count=1"
    assert json.loads(json.dumps(entry))["method"] == "GET"


def test_knobs_refuse_and_status(tmp_path):
    s = PortalSimulator(HOSTS, tmp_path / "log.jsonl")
    s.refuse.add("netcheck")
    s.status["stats"] = 500
    s.start()
    try:
        resp, _ = get(47402, "/install.htm")
        assert resp.status == 500
        with pytest.raises(ConnectionRefusedError):
            get(47409, "/")
    finally:
        s.stop()


def raw_get(port, path, headers=""):
    """The reply bytes as they arrive, however the connection ends."""
    import socket
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(f"GET {path} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n{headers}\r\n".encode())
        data = b""
        while chunk := s.recv(4096):
            data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    return head.decode(), body


@pytest.mark.parametrize("range_header, knobs, status, body, length", [
    ("", {}, "200", b"0123456789", 10),
    ("Range: bytes=4-\r\n", {}, "206", b"456789", 6),
    ("Range: bytes=40-\r\n", {}, "206", b"", 0),
    ("Range: bytes=4-\r\n", {"whole_on_range": True}, "200", b"0123456789", 10),
    ("", {"cut": 3}, "200", b"012", 10),
    ("Range: bytes=5-\r\n", {"cut": 3}, "206", b"567", 5),
])
def test_files_with_tags_ranges_and_cuts(sim, range_header, knobs, status, body, length):
    sim.file("portal", "/icons/a.ico", b"0123456789", etag='"a-1"', **knobs)
    head, got = raw_get(47401, "/icons/a.ico", range_header)
    assert head.split(" ")[1] == status
    assert f"Content-Length: {length}" in head and 'ETag: "a-1"' in head
    assert got == body


def test_auto_login_sets_pauth_and_forwards(sim):
    target = "http%3A%2F%2F127.0.0.1%3A47401%2Fs12%2Fxsk%2F"
    resp, _ = get(47401, f"/user/?_c=hallClient&_a=autoLogin&pauth=abc&url={target}&ptusertype=2&type=4&game=lmdr")
    assert resp.status == 302
    assert resp.getheader("Location") == "http://127.0.0.1:47401/s12/xsk/"
    assert resp.getheader("Set-Cookie") == "Pauth=abc; Path=/"
    assert sim.auto_logins == [{"pauth": "abc", "url": "http://127.0.0.1:47401/s12/xsk/", "ptusertype": "2",
                                "type": "4", "game": "lmdr"}]
    page, body = get(47401, "/s12/xsk/")
    assert page.status == 200 and b"newcomer card" in body
    assert get(47407, "/?gamename=lmdr")[0].status == 200
    assert get(47401, "/user/?_c=hallClient&_a=autoLogin&pauth=&url=x")[0].status == 400

# -- external login ------------------------------------------------------------

EXT = "127.0.0.1:47406"


def follow_start(kind):
    """The start address and the authorization page it leads to."""
    resp, _ = get(47406, f"/{kind}/redirectToAuthorize.do?params=" + quote("game=lmdr&back=x", safe=""))
    assert resp.status == 302
    target = urlsplit(resp.getheader("Location"))
    page_resp, page = get(target.port, target.path + "?" + target.query)
    return target, page_resp, page.decode("utf-8")


@pytest.mark.parametrize("kind,auth_port,auth_path", [
    ("qzone", 47408, "/oauth2.0/authorize"),
    ("weibo", 47406, "/weibo/authorize.do"),
    ("weixin", 47406, "/weixin/authorize.do"),
])
def test_start_address_leads_to_the_providers_authorization(sim, kind, auth_port, auth_path):
    target, resp, page = follow_start(kind)
    assert (target.port, target.path) == (auth_port, auth_path)
    query = parse_qs(target.query)
    assert query["redirect_uri"] == [f"http://{EXT}/{kind}/callback.do"]
    assert query["state"] == ["game=lmdr&back=x"]
    assert resp.status == 200 and "charset=utf-8" in resp.getheader("Content-Type")
    assert f'action="http://{EXT}/{kind}/callback.do"' in page and 'name="code"' in page
    assert resp.getheader("Set-Cookie") is None


def test_start_address_needs_its_params(sim):
    resp, _ = get(47406, "/qzone/redirectToAuthorize.do")
    assert resp.status == 400 and resp.getheader("Location") is None


def cookies_of(resp):
    return {c.split("=", 1)[0]: c for c in resp.msg.get_all("Set-Cookie") or []}


@pytest.mark.parametrize("kind", ["qzone", "weibo", "weixin"])
def test_completion_sets_the_portal_cookies_for_its_address(sim, kind):
    resp, page = get(47406, f"/{kind}/callback.do?code=alice&state=s")
    assert resp.status == 200
    cookies = cookies_of(resp)
    assert set(cookies) == {"Pauth", "ptusertype", "ptaccount"}
    assert all("Path=/" in c for c in cookies.values())
    login = sim.logins[-1]
    assert login == {"user": f"{kind}_alice", "pauth": login["pauth"], "via": kind}
    assert cookies["Pauth"].startswith(f"Pauth={login['pauth']};")
    assert cookies["ptaccount"].startswith(f"ptaccount={kind}_alice;")
    assert "登录成功" in page.decode("utf-8")


def test_callback_without_a_code_sets_no_cookie(sim):
    resp, _ = get(47406, "/qzone/callback.do?state=s")
    assert resp.status == 400 and not cookies_of(resp) and not sim.logins


def test_binding_first_then_either_binding_page_completes(sim):
    sim.ext_bind = True
    resp, page = get(47406, "/weixin/callback.do?code=bob")
    text = page.decode("utf-8")
    assert resp.status == 200 and not cookies_of(resp) and not sim.logins
    assert f'action="http://{EXT}/weixin/extLoginBind.do"' in text
    assert f'href="http://{EXT}/weixin/extAutoBind.do?code=bob"' in text

    refused, _ = get(47406, "/weixin/extLoginBind.do", "POST", "code=bob&user=carol&pass=",
                     {"Content-Type": "application/x-www-form-urlencoded"})
    assert refused.status == 403 and not cookies_of(refused)
    bound, _ = get(47406, "/weixin/extLoginBind.do", "POST", "code=bob&user=carol&pass=secret",
                   {"Content-Type": "application/x-www-form-urlencoded"})
    assert bound.status == 200 and "Pauth" in cookies_of(bound)
    assert sim.logins[-1]["user"] == "carol" and sim.logins[-1]["via"] == "weixin"

    auto, _ = get(47406, "/weibo/extAutoBind.do?code=dave")
    assert auto.status == 200 and "Pauth" in cookies_of(auto)
    assert sim.logins[-1]["user"] == "weibo_dave"
    assert len({login["pauth"] for login in sim.logins}) == 2


def test_other_kinds_and_pages_get_the_plain_reply(sim):
    for path in ("/alipay/callback.do?code=x", "/qzone/other.do", "/qzone/authorize.do?redirect_uri=x"):
        resp, body = get(47406, path)
        assert resp.status == 200 and body == b"" and not cookies_of(resp)
    assert not sim.logins


def raw_reply(port, path, headers=b"", timeout=5.0):
    """The raw bytes of one reply, up to the server's close or the time-out."""
    import socket
    s = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    s.sendall(b"GET " + path.encode() + b" HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" + headers + b"\r\n")
    data = b""
    try:
        while chunk := s.recv(4096):
            data += chunk
    except OSError:
        pass
    s.close()
    return data


def test_a_hanging_host_accepts_and_answers_only_after_release(sim):
    import socket
    import threading
    sim.hang.add("event")
    s = socket.create_connection(("127.0.0.1", 47404), timeout=0.5)
    s.sendall(b"GET /_regevent.gif?event=100 HTTP/1.1\r\nHost: x\r\n\r\n")
    with pytest.raises(socket.timeout):
        s.recv(1)
    assert [r["path"] for r in sim.requests("event")] == ["/_regevent.gif"]  # the request arrived
    threading.Timer(0.2, sim.release).start()
    s.settimeout(5)
    assert s.recv(12) == b"HTTP/1.1 200"
    s.close()


@pytest.mark.parametrize("plan, ranged, expected", [
    ([("at", 700)], b"", lambda d: d[:700]),
    ([("at", 700)], b"Range: bytes=300-\r\n", lambda d: d[300:700]),
    ([("at", 100)], b"Range: bytes=300-\r\n", lambda d: b""),
    ([None], b"Range: bytes=300-\r\n", lambda d: d[300:]),
])
def test_a_planned_cut_drops_the_file_at_its_byte(sim, plan, ranged, expected):
    data = bytes(range(256)) * 8
    sim.file("portal", "/f.ico", data, etag='"e"', plan=plan)
    reply = raw_reply(47401, "/f.ico", ranged)
    head, _, body = reply.partition(b"\r\n\r\n")
    assert body == expected(data)
    assert b"Content-Length: " + str(len(data) - (300 if ranged else 0)).encode() in head
    assert raw_reply(47401, "/f.ico").partition(b"\r\n\r\n")[2] == data  # the plan is used up


def test_a_planned_head_cut_ends_inside_the_header_fields(sim):
    sim.file("portal", "/f.ico", b"x" * 100, etag='"e"', plan=[("head", 20)])
    reply = raw_reply(47401, "/f.ico")
    assert reply == b"HTTP/1.1 200 OK\r\nSer"


def test_a_stopped_host_ends_its_kept_alive_connections(sim):
    conn = http.client.HTTPConnection("127.0.0.1", 47404, timeout=5)
    conn.request("GET", "/_regevent.gif?event=1")
    assert conn.getresponse().read() == b""
    sim.stop()
    sim.refuse.add("event")
    sim.start()
    with pytest.raises((ConnectionError, http.client.HTTPException, OSError)):
        conn.request("GET", "/_regevent.gif?event=2")
        conn.getresponse()
    assert [r["query"] for r in sim.requests("event")] == ["event=1"]


def test_a_route_can_give_its_own_reason_text(sim):
    sim.route("portal", "/moved", status=302, headers={"Location": "http://x/"}, reason="Moved Temporarily")
    assert raw_reply(47401, "/moved").startswith(b"HTTP/1.1 302 Moved Temporarily\r\n")


@pytest.mark.parametrize("headers, closes", [({"Connection": "close"}, True), ({}, False)])
def test_a_reply_saying_close_closes_a_kept_alive_connection(sim, headers, closes):
    import socket
    sim.route("portal", "/d.json", body=b"{}", headers=headers)
    s = socket.create_connection(("127.0.0.1", 47401), timeout=1.0)
    s.sendall(b"GET /d.json HTTP/1.1\r\nHost: x\r\nConnection: Keep-Alive\r\n\r\n")
    data = b""
    try:
        while not data.endswith(b"\r\n\r\n{}"):
            data += s.recv(4096)
        ended = s.recv(1) == b""
    except socket.timeout:
        ended = False
    s.close()
    assert data.endswith(b"{}") and ended == closes
