"""Install on the first run and uninstall from the installed copy: files,
shortcuts, the icon file, the self-delete script."""
from __future__ import annotations

import resource
import signal
import struct
import time

from conftest import wait_exit


def links(client):
    user = client.prefix.user_dir()
    roaming = user / "AppData" / "Roaming"
    programs = roaming / "Microsoft" / "Windows" / "Start Menu" / "Programs" / "4286登录器"
    return {
        "desktop": client.drive_c / "users" / "Public" / "Desktop" / "Lumendor.lnk",
        "programs": programs / "Lumendor.lnk",
        "uninstall": programs / "卸载 Lumendor.lnk",
        "quick": roaming / "Microsoft" / "Internet Explorer" / "Quick Launch" / "Lumendor.lnk",
    }


def quick_launch_folder(client):
    """Windows before 10 has the quick-launch folder; a fresh prefix lacks it."""
    links(client)["quick"].parent.mkdir(parents=True, exist_ok=True)


INSTALL = r"C:\ProgramData\4286\GameLogin"
EXE = INSTALL + r"\Lumendor.exe"
ICON = INSTALL + r"\Lm03000.ico"


def check_icon_file(data: bytes, sizes: list[int]) -> None:
    """An icon file: its header, directory and every image inside the file."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    assert (reserved, kind, count) == (0, 1, len(sizes))
    end = 6 + 16 * count
    for i in range(count):
        width, height, _, _, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        assert (width, height) == (sizes[i], sizes[i])
        assert offset >= end and offset + size <= len(data)
        header_size, bmp_width, bmp_height = struct.unpack_from("<Iii", data, offset)
        if data[offset:offset + 8] != b"\x89PNG\r\n\x1a\n":
            assert header_size == 40 and bmp_width == sizes[i] and bmp_height == 2 * sizes[i]


def test_first_run_installs_and_starts_the_installed_copy(client, portal):
    quick_launch_folder(client)
    proc = client.start()
    assert wait_exit(proc, 30) == 0
    installed = client.install_dir / "Lumendor.exe"
    assert installed.read_bytes() == client.exe.read_bytes()
    check_icon_file((client.install_dir / "Lm03000.ico").read_bytes(), [16, 32, 48])  # icon group 128

    expected = {
        "desktop": ("/Lm03000D", ICON, portal.hosts["portal"] + "中国最大的网页游戏平台"),
        "programs": ("/Lm03000D", ICON, ""),
        "uninstall": ("/uninst", EXE, ""),
        "quick": ("/Lm03000D", ICON, ""),
    }
    for name, path in links(client).items():
        link = client.read_link(path)
        args, icon, description = expected[name]
        assert (link["target"].lower(), link["args"], link["icon"].lower(), link["index"],
                link["folder"].lower(), link["description"]) == \
            (EXE.lower(), args, icon.lower(), 0, INSTALL.lower(), description), name
    # The installed copy runs from the install folder: an ordinary start.
    main = client.main_window()
    assert main["pid"] != 0
    client.exit_client(main["hwnd"])
    client.drive("gone", main["hwnd"], "10000")


def test_uninstall_removes_links_icon_and_itself(client, portal):
    quick_launch_folder(client)
    first = client.start()
    assert wait_exit(first, 30) == 0
    main = client.main_window()
    client.exit_client(main["hwnd"])
    client.drive("gone", main["hwnd"], "10000")
    client.prefix.reg_add(r"HKLM\SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Run", "Lm03000",
                          r"C:\ProgramData\4286\GameLogin\Lumendor.exe", view64=True)
    assert client.prefix.reg_add(r"HKCR\loginerlumendor\shell\open\command", "", EXE + ' "%1"').returncode == 0
    assert client.prefix.reg_query(r"HKCR\loginerlumendor\shell\open\command").returncode == 0

    installed = client.install_dir / "Lumendor.exe"
    proc = client.start("/uninst", exe=installed)
    box = client.wait_window("#32770", "Lumendor")
    client.click(box["hwnd"], 5000)
    for _ in range(100):
        done = client.wait_window("#32770", "Lumendor")
        texts = [c["text"] for c in client.children(done["hwnd"]) if c["id"] == 65535]
        if texts and texts[0].startswith("Lumendor已成功移除"):
            break
        time.sleep(0.1)
    assert texts == ["Lumendor已成功移除，部分文件将在程序退出\\n或计算机重启后自行删除"]
    client.click(done["hwnd"], 5000)
    assert wait_exit(proc) == 0

    for name, path in links(client).items():
        assert not path.exists(), name
    assert not (client.install_dir / "Lm03000.ico").exists()
    stored = client.read_settings()
    assert stored.get("iconName") == "" and stored.get("iconTime") == ""
    assert client.prefix.reg_query(r"HKLM\SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Run",
                                   "Lm03000", view64=True).returncode == 1
    assert client.prefix.reg_query(r"HKCR\loginerlumendor").returncode == 1
    # The script deletes the executable once the process has ended; the
    # settings file keeps the folder.
    for _ in range(150):
        if not installed.exists():
            break
        time.sleep(0.1)
    assert not installed.exists()
    assert client.install_dir.exists() and client.stat_ini.exists()


def capped_files(limit):
    """For a spawned program: no file it writes grows past `limit` bytes; the
    write that would is cut short, as on a full disk."""
    def cap():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, resource.RLIM_INFINITY))
    return cap


def test_a_full_disk_leaves_no_cut_icon_file_or_script(client, portal):
    """Writes are cut short past a few bytes: the icon file and the
    self-delete script are not left half-written, and the links take the
    executable's own icon."""
    quick_launch_folder(client)
    # Another program first, so that the system's own processes do not start
    # under the cap.
    client.prefix.spawn(client.driver, "hold", "300000")
    client.wait_window("LmHold", "*")
    first = client.start(preexec_fn=capped_files(4096))  # the icon file is about 15 kB
    box = client.wait_window("#32770", ICON)
    assert "写图标文件头时出错!" in [c["text"] for c in client.children(box["hwnd"])]
    assert not (client.install_dir / "Lm03000.ico").exists()
    client.click(box["hwnd"], 1)
    assert wait_exit(first, 30) == 0
    assert client.read_link(links(client)["desktop"])["icon"].lower() == EXE.lower()

    # The executable could not be copied under the cap: put it in place.
    (client.install_dir / "Lumendor.exe").write_bytes(client.exe.read_bytes())
    temp = client.prefix.user_dir() / "Temp"
    temp.mkdir(exist_ok=True)
    proc = client.start("/uninst", exe=client.install_dir / "Lumendor.exe", preexec_fn=capped_files(64))
    box = client.wait_window("#32770", "Lumendor")
    client.click(box["hwnd"], 5000)
    done = None
    for _ in range(100):
        done = client.wait_window("#32770", "Lumendor")
        if any(c["text"].startswith("Lumendor已成功移除") for c in client.children(done["hwnd"])):
            break
        time.sleep(0.1)
    client.click(done["hwnd"], 5000)
    assert wait_exit(proc) == 0
    assert len(list(temp.glob("Del*.tmp"))) == 1   # the script's name was taken
    assert not list(temp.glob("Del*.bat"))          # and no part of a script is left to run
    assert (client.install_dir / "Lumendor.exe").exists()


def test_windows_10_gets_no_quick_launch_link(client, portal):
    quick_launch_folder(client)
    client.prefix.reg_add(r"HKCU\Software\Wine\AppDefaults\Lumendor.exe", "Version", "win10")
    proc = client.start()
    assert wait_exit(proc, 30) == 0
    main = client.main_window()
    places = links(client)
    assert places["desktop"].exists() and places["programs"].exists() and places["uninstall"].exists()
    assert not places["quick"].exists()
    client.exit_client(main["hwnd"])
    client.drive("gone", main["hwnd"], "10000")


def test_icon_download_cut_half_way_completes_on_the_next_start(client, portal):
    client.install_copy()
    client.write_settings({"InstallTag": "1", "iconTime": "1"})
    star = (client.build.parents[1] / "res" / "icons" / "favourite.ico").read_bytes()
    # Five attempts of a tenth each: half of the file arrives in this run.
    portal.file("portal", "/icons/star.ico", star, etag='"star-2"', cut=len(star) // 10)
    portal.route("portal", "/webStatic/index.php",
                 '{"iconUrl":"%s","iconName":"星","time":"2"}' % portal.address("portal", "/icons/star.ico"))
    proc = client.start("/Lm03000D", exe=client.install_dir / "Lumendor.exe")
    main = client.main_window()
    client.exit_client(main["hwnd"])
    assert wait_exit(proc) == 0
    entity = client.install_dir / "_star-2_.~tmp"
    assert entity.read_bytes() == star[:5 * (len(star) // 10)]
    assert not (client.install_dir / "Lm03000.ico").exists()
    assert client.read_settings()["iconTime"] == "1"  # not applied

    portal.file("portal", "/icons/star.ico", star, etag='"star-2"')
    proc = client.start("/Lm03000D", exe=client.install_dir / "Lumendor.exe")
    main = client.main_window()
    assert (client.install_dir / "Lm03000.ico").read_bytes() == star
    assert not entity.exists()
    assert client.read_settings()["iconTime"] == "2"
    ranges = [r["headers"].get("Range") for r in portal.requests() if r["path"] == "/icons/star.ico"]
    assert ranges[-1] == f"bytes={5 * (len(star) // 10)}-"
    client.exit_client(main["hwnd"])
    assert wait_exit(proc) == 0


def test_icon_refresh_renames_the_shortcuts(client, portal):
    quick_launch_folder(client)
    client.write_settings({"InstallTag": "1"})  # a Unicode settings file, as Chinese names need
    star = (client.build.parents[1] / "res" / "icons" / "favourite.ico").read_bytes()
    portal.route("portal", "/icons/star.ico", star, headers={"ETag": '"star-1"', "Content-Type": "image/x-icon"})

    def describe(name, stamp):
        portal.route("portal", "/webStatic/index.php",
                     'iconInfo({"iconUrl":"%s","iconName":"%s","time":"%s"});'
                     % (portal.address("portal", "/icons/star.ico"), name, stamp))

    describe("星光岛", "2026-12-01")
    first = client.start()
    assert wait_exit(first, 30) == 0
    main = client.main_window()  # the installed copy refreshed its icon before its window
    places = links(client)
    user_programs = places["programs"].parent
    assert (places["desktop"].parent / "星光岛.lnk").exists()
    assert (user_programs / "星光岛.lnk").exists() and (user_programs / "卸载 星光岛.lnk").exists()
    assert (places["quick"].parent / "星光岛.lnk").exists()
    assert not places["desktop"].exists() and not places["programs"].exists() and not places["uninstall"].exists()
    assert (client.install_dir / "Lm03000.ico").read_bytes() == star
    stored = client.read_settings()
    assert stored["iconName"] == "星光岛" and stored["iconTime"] == "2026-12-01"
    client.exit_client(main["hwnd"])
    client.drive("gone", main["hwnd"], "10000")

    # The same stamp again: nothing is downloaded.
    downloads = len([r for r in portal.requests() if r["path"] == "/icons/star.ico"])
    again = client.start("/Lm03000D", exe=client.install_dir / "Lumendor.exe")
    main = client.main_window()
    assert len([r for r in portal.requests() if r["path"] == "/icons/star.ico"]) == downloads
    client.exit_client(main["hwnd"])
    assert wait_exit(again) == 0

    # Another name: the links of the previous one go, not "Lumendor" ones.
    describe("月影", "2026-12-02")
    later = client.start("/Lm03000D", exe=client.install_dir / "Lumendor.exe")
    main = client.main_window()
    assert (user_programs / "月影.lnk").exists() and not (user_programs / "星光岛.lnk").exists()
    assert not (places["desktop"].parent / "星光岛.lnk").exists()
    assert client.read_settings()["iconName"] == "月影"
    client.exit_client(main["hwnd"])
    assert wait_exit(later) == 0


def test_icon_refresh_ignores_bad_descriptions(client, portal):
    client.install_copy()
    client.write_settings({"iconTime": "1"})
    for body in ['no object here', '{"iconUrl":"http://127.0.0.1:47301/x.ico","iconName":"n"}',
                 '{"iconUrl":"http://127.0.0.1:47301/x.ico","iconName":"' + "长" * 32 + '","time":"2"}']:
        portal.route("portal", "/webStatic/index.php", body)
        proc = client.start("/Lm03000D", exe=client.install_dir / "Lumendor.exe")
        main = client.main_window()
        client.exit_client(main["hwnd"])
        assert wait_exit(proc) == 0
        assert client.read_settings()["iconTime"] == "1"
    assert not [r for r in portal.requests() if r["path"] == "/x.ico"]
