#include "mainwnd/hotkeys_win.h"

#include "mainwnd/main_dlg_win.h"
#include "settings/settings_win.h"
#include "tools/setting_dlg_win.h"

HotkeyEntry g_Hotkeys[kHotkeyCount] = {kUnloadedHotkey, kUnloadedHotkey, kUnloadedHotkey};
HHOOK g_hKeyboardHook = nullptr;

namespace {
HINSTANCE g_hHookModule = nullptr;  // what the hook was installed with
}

void ReloadHotkeys() { ReloadHotkeysFrom(StatIniPath().c_str()); }

void ReloadHotkeysFrom(const wchar_t* path) {
    const SettingKey* keys[kHotkeyCount] = {&Keys::ShortKey, &Keys::AltWndKey, &Keys::SndKey};
    for (int i = 0; i < kHotkeyCount; ++i) g_Hotkeys[i] = HotkeyFromValue(ReadSetting(*keys[i], path));
}

int CurrentModifierBits() {
    auto down = [](int vk) { return (::GetKeyState(vk) & 0x8000) != 0; };
    return ModifierBits(down(VK_CONTROL), down(VK_SHIFT), down(VK_MENU));
}

int HeldModifierBits() {
    auto down = [](int vk) { return (::GetAsyncKeyState(vk) & 0x8000) != 0; };
    return ModifierBits(down(VK_CONTROL), down(VK_SHIFT), down(VK_MENU));
}

LRESULT CALLBACK KeyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam) {
    if (nCode == HC_ACTION && g_pMainDlg && lParam) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const bool keyDown = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
        switch (HookActionFor(g_Hotkeys, g_pMainDlg->PageCount(), keyDown, static_cast<int>(key->vkCode),
                              keyDown ? HeldModifierBits() : 0)) {
        case HookAction::ToggleBoss:
            // Hiding and showing windows takes longer than the system lets a
            // low-level hook run before it drops the hook: the main window
            // does it as soon as the hook has returned.
            ::PostMessageW(g_pMainDlg->m_hWnd, WM_BOSSKEY, 0, 0);
            break;
        case HookAction::FlipMute:
            g_pMainDlg->m_bMuted = !g_pMainDlg->m_bMuted;
            break;
        case HookAction::None:
            break;
        }
    }
    // Never swallowed: the program in front gets the key as well.
    return ::CallNextHookEx(g_hKeyboardHook, nCode, wParam, lParam);
}

bool InstallKeyboardHook(HINSTANCE module) {
    RemoveKeyboardHook();
    g_hHookModule = module;
    g_hKeyboardHook = ::SetWindowsHookExW(WH_KEYBOARD_LL, &KeyboardHookProc, module, 0);
    return g_hKeyboardHook != nullptr;
}

void RemoveKeyboardHook() {
    if (g_hKeyboardHook) ::UnhookWindowsHookEx(g_hKeyboardHook);
    g_hKeyboardHook = nullptr;
}

CKeyboardHookPause::CKeyboardHookPause() : m_bWasOn(g_hKeyboardHook != nullptr) { RemoveKeyboardHook(); }

CKeyboardHookPause::~CKeyboardHookPause() {
    if (m_bWasOn) InstallKeyboardHook(g_hHookModule);
}

bool IsWindowSwitchKey(const MSG& msg) {
    const bool keyDown = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
    if (!keyDown) return false;
    return IsSwitchKeyMessage(g_Hotkeys[kSwitchHotkey], true, static_cast<long>(msg.lParam),
                              static_cast<int>(msg.wParam), CurrentModifierBits());
}

bool CancelShownSettingDlg() {
    if (!g_pSettingDlg || !g_pSettingDlg->m_hWnd || !::IsWindowVisible(g_pSettingDlg->m_hWnd)) return false;
    g_pSettingDlg->EndDialog(IDCANCEL);
    return true;
}

// --- the main window's actions ---------------------------------------------------

void CHalvane3Dlg::ToggleBossKey() {
    const int n = PageCount();
    HWND current = n > 0 ? m_arrPageWnd[static_cast<std::size_t>(m_nCurPage < n ? m_nCurPage : n - 1)] : nullptr;
    if (::IsWindowVisible(m_hWnd)) {
        if (!current) return;
        ::ShowWindow(current, SW_HIDE);
        ::ShowWindow(m_hWnd, SW_HIDE);
        CancelShownSettingDlg();
        if (m_dlgLoginBk.m_hWnd && ::IsWindowVisible(m_dlgLoginBk.m_hWnd)) ::ShowWindow(m_dlgLoginBk.m_hWnd, SW_HIDE);
        return;
    }
    // Hidden only by the branch above; should the pages have gone meanwhile,
    // the window still comes back.
    if (current) ::ShowWindow(current, SW_SHOW);
    ::ShowWindow(m_hWnd, SW_RESTORE);
    BringToFront();
}

void CHalvane3Dlg::SwitchToNextPage() {
    const int n = PageCount();
    if (n == 0 || !::IsWindowVisible(m_hWnd) || ::IsIconic(m_hWnd)) return;
    if (n > 1) {
        const int old = m_nCurPage;
        m_nCurPage = NextPageIndex(m_nCurPage, n);
        InvalidateTab(old, false);
        InvalidateTab(m_nCurPage, false);
    }
    if (m_nCurPage >= n) m_nCurPage = n - 1;
    ShowPage(m_arrPageWnd[static_cast<std::size_t>(m_nCurPage)]);
}

void CHalvane3Dlg::BringToFront() {
    const DWORD self = ::GetCurrentThreadId();
    HWND foreground = ::GetForegroundWindow();
    const DWORD other = foreground ? ::GetWindowThreadProcessId(foreground, nullptr) : 0;
    const bool attached = other && other != self && ::AttachThreadInput(self, other, TRUE);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetForegroundWindow(m_hWnd);
    if (attached) ::AttachThreadInput(self, other, FALSE);
}
