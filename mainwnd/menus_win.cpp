#include "mainwnd/menus_win.h"

#include <shellapi.h>

#include <cwchar>

#include "app/build_config.h"
#include "app/halvane3_app_win.h"
#include "install/icon_update_win.h"
#include "mainwnd/main_dlg_win.h"
#include "mainwnd/menu_logic.h"
#include "settings/settings_win.h"
#include "skin/message_box_win.h"
#include "tools/hotkey_names.h"
#include "tools/setting_dlg_win.h"

namespace {

constexpr UINT kTrayIconId = 1;
constexpr const wchar_t* kBrowserPath = L"C:\\Program Files\\Internet Explorer\\iexplore.exe";

void RunCommand(CHalvane3Dlg& dlg, UINT command) {
    switch (command) {
    case kMenuRefresh:
        ::PostMessageW(dlg.m_hWnd, WM_KEYDOWN, VK_F5, kSelfMarker);
        break;
    case kMenuBossKey:
        dlg.ToggleBossKey();
        break;
    case kMenuClearCache:
        // The worker runs on; the message does not wait for it.
        StartCacheCleaning();
        ShowMessage(0, L"缓存清除完毕！", dlg.m_hWnd);
        break;
    case kMenuUpdate:
        ShowMessage(0, L"已经是最新版本，无需进行更新。", dlg.m_hWnd);
        break;
    case kMenuSettings:
        RunSettingDlg(&dlg);
        break;
    case kMenuExit:
        dlg.ExitClient();
        break;
    default:
        break;
    }
}

}  // namespace

HMENU BuildMenu(bool tray, const std::wstring& settingsPath) {
    HMENU menu = ::CreatePopupMenu();
    if (!menu) return nullptr;
    // The boss key's name as the settings file holds it now.
    const HotkeyValue boss = ParseHotkeyValue(ReadSetting(Keys::ShortKey, settingsPath));
    for (const MenuItem& item : BuildMenuItems(tray, FormatHotkey(boss.vk, boss.modifier))) {
        if (item.command == 0)
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        else
            ::AppendMenuW(menu, MF_STRING, item.command, item.text.c_str());
    }
    return menu;
}

void SetTrayIcon(CHalvane3Dlg& dlg) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = dlg.m_hWnd;
    nid.uID = kTrayIconId;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_TRAYNOTIFY;
    nid.hIcon = dlg.m_hIcon;
    ::lstrcpynW(nid.szTip, DisplayName, 128);
    ::Shell_NotifyIconW(NIM_ADD, &nid);
}

void DeleteTrayIcon(CHalvane3Dlg& dlg) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = dlg.m_hWnd;
    nid.uID = kTrayIconId;
    ::Shell_NotifyIconW(NIM_DELETE, &nid);
}

void ShowMainMenu(CHalvane3Dlg& dlg) {
    HMENU menu = BuildMenu(false, StatIniPath());
    if (!menu) return;
    RECT button{};
    ::GetWindowRect(dlg.m_btnMenu.m_hWnd, &button);
    const UINT command = static_cast<UINT>(
        ::TrackPopupMenu(menu, TPM_RETURNCMD, button.left, button.bottom + 2, 0, dlg.m_hWnd, nullptr));
    ::DestroyMenu(menu);
    RunCommand(dlg, command);
}

void ShowTrayMenu(CHalvane3Dlg& dlg) {
    HMENU menu = BuildMenu(true, StatIniPath());
    if (!menu) return;
    ::SetForegroundWindow(dlg.m_hWnd);
    POINT at{};
    ::GetCursorPos(&at);
    CWnd* owner = CWinApp::Get() && CWinApp::Get()->m_pMainWnd ? CWinApp::Get()->m_pMainWnd : &dlg;
    const UINT command = static_cast<UINT>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTALIGN | TPM_BOTTOMALIGN,
                                                            at.x, at.y, 0, owner->m_hWnd, nullptr));
    ::DestroyMenu(menu);
    RunCommand(dlg, command);
}

void OpenPortalLink(CHalvane3Dlg& dlg, int type) {
    PageLogin login;
    if (dlg.m_nCurPage >= 0 && dlg.m_nCurPage < static_cast<int>(dlg.m_vecPageLogin.size()))
        login = dlg.m_vecPageLogin[static_cast<std::size_t>(dlg.m_nCurPage)];
    const std::wstring address = AutoLoginAddress(type, {LUMENDOR_PORTAL_HOST_W, LUMENDOR_PAY_HOST_W}, login.pauth,
                                                  login.game, login.ptusertype);
    if (address.empty()) return;
    std::wstring commandLine = L" " + address;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // A missing browser at the fixed path opens nothing.
    if (::CreateProcessW(kBrowserPath, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
}
