"""Every beacon of first run, ordinary start, common tail and uninstall, as
the portal simulator records them."""
from __future__ import annotations

import datetime
from urllib.parse import parse_qs

import pytest

from conftest import wait_exit

FIRST_RUN_EVENT = ("/_regevent.gif", "event=106&ename=%E5%AE%89%E8%A3%85&type=0&game=lmdr&oid=17239&oid1=17239"
                   "&oid2=&cid=3000&aid=2&lc=0&userSession=")
TAG = "tag=Lm03000&ver=3.0.0.1"


def first_run(client, timeout=30):
    """A first run ends by itself without a window; the copy it installed
    and started is closed again."""
    proc = client.start()
    assert wait_exit(proc, timeout) == 0
    installed = client.main_window()
    client.exit_client(installed["hwnd"])
    client.drive("gone", installed["hwnd"], "10000")


def open_and_close_main(client, *args, exe=None):
    proc = client.start(*args, exe=exe)
    main = client.main_window()
    client.exit_client(main["hwnd"])
    assert wait_exit(proc) == 0
    return main


BEACON_HOSTS = ("stats", "union", "event", "online")


def by_path(portal, path):
    return [r for r in portal.requests() if r["path"] == path]


def beacons(portal):
    """Requests to the beacon hosts (the login page itself is left out)."""
    return [r for r in portal.requests() if r["host"] in BEACON_HOSTS]


def test_first_run_sends_union_event_and_install_beacons_in_order(client, portal):
    client.install_dir.mkdir(parents=True)  # where the install puts the settings file
    first_run(client)
    first = [r for r in beacons(portal) if r["path"] in ("/_az.gif", "/install.htm")
             or r["query"].startswith("event=106&")]
    assert [r["path"] for r in first] == ["/_az.gif", "/_regevent.gif", "/install.htm"]
    union, event, install = first
    assert union["host"] == "union" and event["host"] == "event" and install["host"] == "stats"

    query = parse_qs(union["query"], keep_blank_values=True)
    assert list(query) == ["agid", "cid", "aid", "game", "did", "vid", "mac"]
    assert union["query"].startswith("agid=0&cid=3000&aid=2&game=lmdr&did=")
    assert len(query["vid"][0]) == 32
    mac = query["mac"][0]
    assert event["query"].startswith(FIRST_RUN_EVENT[1] + mac + "&newStat=0&referer=http%3A%2F%2F")
    assert install["query"] == TAG + "&count=1"
    for r in first:
        assert r["method"] == "GET" and r["headers"]["User-Agent"] == "ZRT"
    # The installed copy started in its folder: an ordinary start.
    assert by_path(portal, "/active.htm")[0]["query"].startswith(TAG + "&count=1&")

    first_run(client)
    assert by_path(portal, "/install.htm")[-1]["query"] == TAG + "&count=2"


def test_two_processes_send_the_same_identity(client, portal):
    first_run(client)
    first_run(client)
    unions = [parse_qs(r["query"]) for r in portal.requests() if r["path"] == "/_az.gif"]
    assert len(unions) == 2
    assert unions[0]["did"] == unions[1]["did"] and unions[0]["vid"] == unions[1]["vid"]


def test_ordinary_start_sends_activity_and_event_100(client, portal):
    client.install_dir.mkdir(parents=True)
    open_and_close_main(client, "/Lm03000D")
    # Nobody waits for the activity beacon, so it may arrive after event 100.
    assert sorted(r["path"] for r in beacons(portal)) == ["/_regevent.gif", "/active.htm"]
    assert by_path(portal, "/active.htm")[0]["query"] == TAG + "&count=1&apartdays=0&keepdays=1&weekdays=1"
    assert by_path(portal, "/_regevent.gif")[0]["query"].startswith(
        "event=100&ename=%E6%89%93%E5%BC%80&type=0&game=lmdr&")

    # The same day again: the same keepdays and weekdays, the count goes on.
    open_and_close_main(client, "/Lm03000D")
    assert by_path(portal, "/active.htm")[1]["query"] == TAG + "&count=2&apartdays=0&keepdays=1&weekdays=1"


@pytest.mark.parametrize("days_back, weekdays, keepdays, expected", [
    (1, 1, 4, "count=8&apartdays=0&keepdays=5&weekdays=2"),
    (3, 5, 4, "count=8&apartdays=2&keepdays=1&weekdays=3"),
    (40, 127, 9, "count=8&apartdays=39&keepdays=1&weekdays=1"),
])
def test_activity_counters_follow_the_stored_date(client, portal, days_back, weekdays, keepdays, expected):
    last = datetime.date.today() - datetime.timedelta(days=days_back)
    client.write_settings({"lstTime": f"{last.year}/{last.month}/{last.day}", "weekdays": str(weekdays),
                           "keepdays": str(keepdays), "Game": "7"})
    open_and_close_main(client, exe=client.install_copy())  # mode 3
    assert by_path(portal, "/active.htm")[0]["query"] == TAG + "&" + expected
    today = datetime.date.today()
    stored = client.read_settings()
    assert stored["lstTime"] == f"{today.year}/{today.month}/{today.day}"
    assert stored["Game"] == "8"


def test_uninstall_confirmed_sends_union_then_event_107(client, portal):
    proc = client.start("/uninst", exe=client.install_copy())
    box = client.wait_window("#32770", "Lumendor")
    client.click(box["hwnd"], 5000)  # "是"
    done = client.wait_window("#32770", "Lumendor")
    for _ in range(50):
        if done["hwnd"] != box["hwnd"]:
            break
        done = client.wait_window("#32770", "Lumendor")
    client.click(done["hwnd"], 5000)  # the closing notice
    assert wait_exit(proc) == 0
    reqs = beacons(portal)
    assert [r["path"] for r in reqs[:2]] == ["/_xz.gif", "/_regevent.gif"]
    assert reqs[1]["query"].startswith("event=107&ename=%E5%8D%B8%E8%BD%BD&")
    assert by_path(portal, "/uninstall.htm")[0]["query"] == TAG + "&count=1"


@pytest.mark.portal(delay={"union": 2.0})
def test_start_up_waits_for_the_union_beacon(client, portal):
    first_run(client)
    union = by_path(portal, "/_az.gif")[0]
    event = [r for r in by_path(portal, "/_regevent.gif") if r["query"].startswith("event=106&")][0]
    assert event["time"] - union["time"] >= 1.9


@pytest.mark.portal(delay={"stats": 2.0, "event": 2.0})
def test_activity_beacon_is_not_waited_for_but_event_100_is(client, portal):
    client.install_dir.mkdir(parents=True)
    proc = client.start("/Lm03000D")
    main = client.main_window()
    shown_at = int(client.drive("find", "#32770", "*", "1001", "1000").stdout.decode().split("\t")[-1]) / 1000
    active, event = by_path(portal, "/active.htm")[0], by_path(portal, "/_regevent.gif")[0]
    assert event["time"] - active["time"] < 1.0       # no wait after the activity beacon
    assert shown_at - event["time"] >= 1.9            # the main window waits for event 100
    client.exit_client(main["hwnd"])
    assert wait_exit(proc) == 0
