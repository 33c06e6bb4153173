"""Install on the first run and uninstall from the installed copy: files,
shortcuts, the icon file, the self-delete script."""
from __future__ import annotations

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


def test_first_run_installs_and_starts_the_installed_copy(client, portal):
    quick_launch_folder(client)
    proc = client.start()
    assert wait_exit(proc, 30) == 0
    installed = client.install_dir / "Lumendor.exe"
    assert installed.read_bytes() == client.exe.read_bytes()
    icon = (client.install_dir / "Lm03000.ico").read_bytes()
    assert icon[:4] == b"\x00\x00\x01\x00" and icon[4] == 3  # the three sizes of icon group 128
    assert [icon[6 + 16 * i] for i in range(3)] == [16, 32, 48]
    for name, path in links(client).items():
        assert path.exists(), name
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
    # The script deletes the executable once the process has ended; the
    # settings file keeps the folder.
    for _ in range(150):
        if not installed.exists():
            break
        time.sleep(0.1)
    assert not installed.exists()
    assert client.install_dir.exists() and client.stat_ini.exists()
