// The settings dialog driven inside its own modal loop: keys into the
// fields, OK and Cancel, the conflict message, the settings file it writes
// and the reload it posts to the game windows; the hotkey table it feeds.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/halvane3_app_win.h"
#include "mainwnd/hotkeys_win.h"
#include "mainwnd/main_dlg_win.h"
#include "res/resource.h"
#include "settings/settings_win.h"
#include "test_util.h"
#include "tools/setting_dlg_win.h"

namespace {

// A top-level dialog that counts the reloads posted to it.
class CReceiver : public CDialog {
public:
    explicit CReceiver(const wchar_t* title) : CDialog(IDD_BLANK), m_title(title) {}
    BOOL OnInitDialog() override {
        ::SetWindowTextW(m_hWnd, m_title.c_str());
        return TRUE;
    }
    LRESULT OnHotkeysChanged(WPARAM wParam, LPARAM lParam) {
        ++m_nReloads;
        m_bZeroParams = m_bZeroParams && wParam == 0 && lParam == 0;
        return 0;
    }
    std::wstring m_title;
    int m_nReloads = 0;
    bool m_bZeroParams = true;

protected:
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CReceiver, CDialog)
    ON_MESSAGE(WM_HOTKEYSCHANGED, OnHotkeysChanged)
END_MESSAGE_MAP()

// Steps run one per timer tick inside the dialog's modal loop; when they
// run out the dialog is ended with kStuck so that a test fails, not hangs.
constexpr INT_PTR kStuck = 999;
std::vector<std::function<void()>> g_steps;
std::size_t g_nextStep = 0;
int g_idleTicks = 0;
CDialog* g_pRunning = nullptr;

void CALLBACK StepTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (g_nextStep < g_steps.size()) {
        auto step = g_steps[g_nextStep++];
        step();
    } else if (++g_idleTicks > 60) {
        CDialog* running = g_pRunning ? g_pRunning : g_pSettingDlg;
        if (running && running->m_hWnd) running->EndDialog(static_cast<int>(kStuck));
    }
}

INT_PTR RunScripted(CDialog& dlg, std::vector<std::function<void()>> steps) {
    g_steps = std::move(steps);
    g_nextStep = 0;
    g_idleTicks = 0;
    g_pRunning = &dlg;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 40, &StepTimer);
    const INT_PTR result = dlg.DoModal();
    ::KillTimer(nullptr, timer);
    g_pRunning = nullptr;
    return result;
}

// The modifiers this thread's key state reports as held.
void HoldModifiers(bool ctrl, bool shift, bool alt) {
    BYTE state[256] = {};
    ::GetKeyboardState(state);
    auto set = [&](int vk, bool down) { state[vk] = down ? 0x80 : 0; };
    set(VK_CONTROL, ctrl);
    set(VK_LCONTROL, ctrl);
    set(VK_SHIFT, shift);
    set(VK_LSHIFT, shift);
    set(VK_MENU, alt);
    set(VK_LMENU, alt);
    ::SetKeyboardState(state);
}

struct Key {
    UINT field;  // the edit's id
    int vk;
    bool ctrl = false, shift = false, alt = false;
    UINT message = WM_KEYDOWN;
};

std::function<void()> Press(CSettingDlg& dlg, Key key) {
    return [&dlg, key] {
        HWND edit = ::GetDlgItem(dlg.m_hWnd, static_cast<int>(key.field));
        ::SetFocus(edit);
        HoldModifiers(key.ctrl, key.shift, key.alt);
        ::PostMessageW(edit, key.message, static_cast<WPARAM>(key.vk), 1);
    };
}

std::wstring FieldText(CSettingDlg& dlg, UINT id) {
    wchar_t text[128] = {};
    ::GetDlgItemTextW(dlg.m_hWnd, static_cast<int>(id), text, 128);
    return text;
}

// Records a field's text at this point of the script.
std::function<void()> Look(CSettingDlg& dlg, UINT id, std::wstring& into) {
    return [&dlg, id, &into] {
        HoldModifiers(false, false, false);
        into = FieldText(dlg, id);
    };
}

std::function<void()> Command(CSettingDlg& dlg, UINT id) {
    return [&dlg, id] {
        HoldModifiers(false, false, false);
        ::PostMessageW(dlg.m_hWnd, WM_COMMAND, id, 0);
    };
}

std::string FileBytes(const std::wstring& path) {
    std::string all;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        char chunk[512];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) all.append(chunk, n);
        std::fclose(f);
    }
    return all;
}

std::wstring Stored(const std::wstring& ini, const wchar_t* key) { return ReadRaw(ini, L"Lm03000", key); }

struct OwnedSearch {
    HWND owner, found;
};

BOOL CALLBACK FindOwnedBox(HWND w, LPARAM lp) {
    auto* f = reinterpret_cast<OwnedSearch*>(lp);
    if (::GetWindow(w, GW_OWNER) == f->owner && ::IsWindowVisible(w) && ::GetDlgItem(w, 0xFFFF)) {
        f->found = w;
        return FALSE;
    }
    return TRUE;
}

// The message box this dialog owns, if one is shown.
HWND OwnedMessageBox(HWND owner) {
    OwnedSearch f{owner, nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindOwnedBox, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

class SettingDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_ini = TempFilePath(L"settings");
        ASSERT_TRUE(m_game.Create());
        ASSERT_TRUE(m_other.Create());
    }
    void TearDown() override {
        HoldModifiers(false, false, false);
        m_game.DestroyWindow();
        m_other.DestroyWindow();
        ::DeleteFileW(m_ini.c_str());
    }
    void Prefill(const wchar_t* boss, const wchar_t* windowSwitch, const wchar_t* sound) {
        if (boss) WriteSetting(Keys::ShortKey, boss, m_ini);
        if (windowSwitch) WriteSetting(Keys::AltWndKey, windowSwitch, m_ini);
        if (sound) WriteSetting(Keys::SndKey, sound, m_ini);
    }
    std::wstring m_ini;
    CReceiver m_game{DisplayName};
    CReceiver m_other{L"not the game"};
};

TEST_F(SettingDlgTest, FieldsShowTheStoredKeys) {
    Prefill(L"7,116", L"0,0", L"abc");
    CSettingDlg dlg;
    dlg.m_strIniPath = m_ini;
    std::wstring boss, windowSwitch, sound, title;
    const INT_PTR result = RunScripted(dlg, {Look(dlg, IDC_SET_BOSS_KEY, boss),
                                             Look(dlg, IDC_SET_SWITCH_KEY, windowSwitch),
                                             Look(dlg, IDC_SET_SOUND_KEY, sound),
                                             [&] {
                                                 wchar_t t[32] = {};
                                                 ::GetWindowTextW(dlg.m_hWnd, t, 32);
                                                 title = t;
                                             },
                                             Command(dlg, IDCANCEL)});
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(boss, L"Ctrl  +  Shift  +  Alt  +  F5");
    EXPECT_EQ(windowSwitch, L"无");
    EXPECT_EQ(sound, L"无");
    EXPECT_EQ(title, L"设置");
    EXPECT_EQ(dlg.m_nKeyVk[0], 116);
    EXPECT_EQ(dlg.m_nKeyVk[1], 0);
}

TEST_F(SettingDlgTest, MissingFileShowsTheDefaults) {
    CSettingDlg dlg;
    dlg.m_strIniPath = m_ini;
    std::wstring boss, windowSwitch, sound;
    RunScripted(dlg, {Look(dlg, IDC_SET_BOSS_KEY, boss), Look(dlg, IDC_SET_SWITCH_KEY, windowSwitch),
                      Look(dlg, IDC_SET_SOUND_KEY, sound), Command(dlg, IDCANCEL)});
    EXPECT_EQ(boss, L"F10");
    EXPECT_EQ(windowSwitch, L"Ctrl  +  Tab");
    EXPECT_EQ(sound, L"Ctrl  +  Q");
    EXPECT_EQ(::GetFileAttributesW(m_ini.c_str()), INVALID_FILE_ATTRIBUTES);  // Cancel wrote nothing
}

TEST_F(SettingDlgTest, CapturedKeysAreSavedAndTheGameWindowsTold) {
    Prefill(L"4,66", L"2,9", L"0,65");
    CSettingDlg dlg;
    dlg.m_strIniPath = m_ini;
    std::wstring afterCtrl, afterQ, bossCtrlOnly;
    const INT_PTR result = RunScripted(
        dlg, {Press(dlg, {IDC_SET_SOUND_KEY, VK_CONTROL, true}), Look(dlg, IDC_SET_SOUND_KEY, afterCtrl),
              Press(dlg, {IDC_SET_SOUND_KEY, 'Q', true}), Look(dlg, IDC_SET_SOUND_KEY, afterQ),
              Press(dlg, {IDC_SET_BOSS_KEY, VK_CONTROL, true}), Look(dlg, IDC_SET_BOSS_KEY, bossCtrlOnly),
              Command(dlg, IDOK)});
    Pump(100);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(afterCtrl, L"Ctrl  +  ");
    EXPECT_EQ(afterQ, L"Ctrl  +  Q");
    EXPECT_EQ(bossCtrlOnly, L"Ctrl  +  ");
    EXPECT_EQ(Stored(m_ini, L"SndKey"), L"2,81");
    EXPECT_EQ(Stored(m_ini, L"ShortKey"), L"4,66");  // Ctrl alone ends in a space: not saved
    EXPECT_EQ(Stored(m_ini, L"AltWndKey"), L"2,9");
    EXPECT_EQ(m_game.m_nReloads, 1);
    EXPECT_TRUE(m_game.m_bZeroParams);
    EXPECT_EQ(m_other.m_nReloads, 0);
}

TEST_F(SettingDlgTest, WhatEachFieldTakes) {
    Prefill(L"0,121", L"2,9", L"2,81");
    CSettingDlg dlg;
    dlg.m_strIniPath = m_ini;
    struct Case {
        Key key;
        const wchar_t* shown;
    };
    const std::vector<Case> cases = {
        {{IDC_SET_BOSS_KEY, VK_F12, true}, L"无"},
        {{IDC_SET_SOUND_KEY, VK_F12}, L"无"},
        {{IDC_SET_SWITCH_KEY, VK_F12, true}, L"Ctrl  +  "},
        {{IDC_SET_SWITCH_KEY, VK_F12}, L""},
        {{IDC_SET_BOSS_KEY, VK_TAB, true}, L"Ctrl  +  "},
        {{IDC_SET_SWITCH_KEY, VK_TAB, true, true}, L"Ctrl  +  Shift  +  Tab"},
        {{IDC_SET_BOSS_KEY, VK_BACK}, L"无"},
        {{IDC_SET_SWITCH_KEY, VK_DELETE}, L"无"},
        {{IDC_SET_SOUND_KEY, VK_LWIN}, L"无"},
        {{IDC_SET_BOSS_KEY, 'A', false, false, true, WM_SYSKEYDOWN}, L"无"},  // Alt+A is not examined
        {{IDC_SET_BOSS_KEY, VK_F10, false, false, false, WM_SYSKEYDOWN}, L"F10"},
        {{IDC_SET_BOSS_KEY, VK_MENU, false, false, true, WM_SYSKEYDOWN}, L"Alt  +  "},
        {{IDC_SET_SOUND_KEY, VK_OEM_5, false, true}, L"Shift  +  \\"},
        {{IDC_SET_SOUND_KEY, VK_ESCAPE}, L"Shift  +  \\"},  // swallowed, the field keeps its text
        {{IDC_SET_SOUND_KEY, VK_RETURN}, L"Shift  +  \\"},
    };
    std::vector<std::wstring> got(cases.size());
    std::vector<std::function<void()>> steps;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        steps.push_back(Press(dlg, cases[i].key));
        steps.push_back(Look(dlg, cases[i].key.field, got[i]));
    }
    steps.push_back(Command(dlg, IDCANCEL));
    const INT_PTR result = RunScripted(dlg, steps);
    EXPECT_EQ(result, IDCANCEL);  // Escape and Enter did not end it
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(got[i], cases[i].shown) << cases[i].key.field << " " << cases[i].key.vk;
    EXPECT_EQ(Stored(m_ini, L"ShortKey"), L"0,121");
    EXPECT_EQ(m_game.m_nReloads, 0);
}

TEST_F(SettingDlgTest, BackspaceSavesNoKeyAndAnEmptyFieldIsSkipped) {
    Prefill(L"0,121", L"2,70", L"2,81");
    CSettingDlg dlg;
    dlg.m_strIniPath = m_ini;
    const INT_PTR result = RunScripted(dlg, {Press(dlg, {IDC_SET_BOSS_KEY, VK_BACK}),
                                             Press(dlg, {IDC_SET_SWITCH_KEY, VK_F12}),  // empty text
                                             Press(dlg, {IDC_SET_SOUND_KEY, VK_F3, false, true}), Command(dlg, IDOK)});
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(Stored(m_ini, L"ShortKey"), L"0,0");
    EXPECT_EQ(Stored(m_ini, L"AltWndKey"), L"2,70");
    EXPECT_EQ(Stored(m_ini, L"SndKey"), L"4,114");
}

TEST_F(SettingDlgTest, TwoEqualFieldsConflictAndNothingIsWritten) {
    Prefill(L"0,121", L"2,9", L"2,81");
    const std::string before = FileBytes(m_ini);
    CSettingDlg dlg;
    dlg.m_strIniPath = m_ini;
    std::wstring message;
    bool stillOpen = false;
    const INT_PTR result = RunScripted(
        dlg, {Press(dlg, {IDC_SET_BOSS_KEY, VK_BACK}), Press(dlg, {IDC_SET_SOUND_KEY, VK_BACK}), Command(dlg, IDOK),
              [&] {
                  HWND box = OwnedMessageBox(dlg.m_hWnd);
                  if (!box) return;
                  wchar_t text[128] = {};
                  ::GetDlgItemTextW(box, 0xFFFF, text, 128);
                  message = text;
                  ::PostMessageW(box, WM_COMMAND, 5000, 0);  // its OK button
              },
              [&] { stillOpen = ::IsWindowVisible(dlg.m_hWnd) && !OwnedMessageBox(dlg.m_hWnd); },
              Command(dlg, kCloseButtonId)});
    Pump(100);
    EXPECT_EQ(message, L"热键冲突，请重新设置不同热键值");
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(result, IDCANCEL);  // then closed from the caption
    EXPECT_EQ(FileBytes(m_ini), before);
    EXPECT_EQ(m_game.m_nReloads, 0);
}

TEST_F(SettingDlgTest, TheBossKeyEndsTheOpenDialogAsCancelled) {
    Prefill(L"0,121", L"2,9", L"0,65");
    CSettingDlg dlg;
    dlg.m_strIniPath = m_ini;
    g_pSettingDlg = &dlg;
    bool cancelled = false;
    const INT_PTR result = RunScripted(dlg, {Press(dlg, {IDC_SET_SOUND_KEY, 'Q', true}),
                                             [&] { cancelled = CancelShownSettingDlg(); }});
    g_pSettingDlg = nullptr;
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(Stored(m_ini, L"SndKey"), L"0,65");
    EXPECT_FALSE(CancelShownSettingDlg());  // none open
}

// Opened for the main window, the dialog works on the statistics file, the
// one the hotkeys are reloaded from.
TEST_F(SettingDlgTest, OpenedForTheMainWindowItSavesWhereTheHotkeysAreRead) {
    ::SHCreateDirectoryExW(nullptr, InstallDirPath().c_str(), nullptr);
    const std::wstring stat = StatIniPath();
    ::DeleteFileW(stat.c_str());
    bool published = false;
    g_steps = {[&] {
                   published = g_pSettingDlg && ::IsWindowVisible(g_pSettingDlg->m_hWnd);
                   if (g_pSettingDlg) Press(*g_pSettingDlg, {IDC_SET_BOSS_KEY, 'B', true, true})();
               },
               [] {
                   HoldModifiers(false, false, false);
                   ::PostMessageW(g_pSettingDlg->m_hWnd, WM_COMMAND, IDOK, 0);
               }};
    g_nextStep = 0;
    g_idleTicks = 0;
    g_pRunning = nullptr;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 40, &StepTimer);
    const INT_PTR result = RunSettingDlg(nullptr);
    ::KillTimer(nullptr, timer);
    Pump(100);
    EXPECT_TRUE(published);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(g_pSettingDlg, nullptr);
    EXPECT_EQ(m_game.m_nReloads, 1);
    ReloadHotkeys();
    EXPECT_EQ(g_Hotkeys[kBossHotkey].vk, 'B');
    EXPECT_EQ(g_Hotkeys[kBossHotkey].modifiers, 6);
    ::DeleteFileW(stat.c_str());
}

TEST_F(SettingDlgTest, TheGroupFramesArePainted) {
    CSettingDlg dlg;
    dlg.m_strIniPath = m_ini;
    COLORREF onFrame[4] = {}, offFrame = 0;
    RunScripted(dlg, {[] {},
                      [&] {
                          HDC dc = ::GetDC(dlg.m_hWnd);
                          const POINT on[] = {{12, 85}, {297, 190}, {150, 326}, {200, 50}};
                          for (int i = 0; i < 4; ++i) onFrame[i] = ::GetPixel(dc, on[i].x, on[i].y);
                          offFrame = ::GetPixel(dc, 12, 137);
                          ::ReleaseDC(dlg.m_hWnd, dc);
                      },
                      Command(dlg, IDCANCEL)});
    for (COLORREF c : onFrame) EXPECT_EQ(c, RGB(255, 255, 255));
    EXPECT_NE(offFrame, RGB(255, 255, 255));
}

// --- the hotkey table --------------------------------------------------------------

TEST(Hotkeys, ReloadReadsTheThreeKeysWithTheirDefaults) {
    const std::wstring ini = TempFilePath(L"hotkeys");
    ReloadHotkeysFrom(ini.c_str());
    EXPECT_EQ(g_Hotkeys[kBossHotkey].vk, 121);
    EXPECT_EQ(g_Hotkeys[kBossHotkey].modifiers, 0);
    EXPECT_EQ(g_Hotkeys[kSwitchHotkey].vk, 9);
    EXPECT_EQ(g_Hotkeys[kSwitchHotkey].modifiers, 2);
    EXPECT_EQ(g_Hotkeys[kMuteHotkey].vk, 81);
    EXPECT_EQ(g_Hotkeys[kMuteHotkey].modifiers, 2);

    WriteSetting(Keys::ShortKey, L"6,66", ini);
    WriteSetting(Keys::AltWndKey, L"0,0", ini);
    WriteSetting(Keys::SndKey, L"1", ini);
    ReloadHotkeysFrom(ini.c_str());
    EXPECT_EQ(g_Hotkeys[kBossHotkey].vk, 66);
    EXPECT_EQ(g_Hotkeys[kBossHotkey].modifiers, 6);
    EXPECT_EQ(g_Hotkeys[kSwitchHotkey].vk, 0);
    EXPECT_EQ(g_Hotkeys[kMuteHotkey].vk, 0);
    EXPECT_EQ(g_Hotkeys[kMuteHotkey].modifiers, 1);
    ::DeleteFileW(ini.c_str());
}

TEST(Hotkeys, TheSwitchKeyMessageReadsTheHeldModifiers) {
    g_Hotkeys[kSwitchHotkey] = {VK_TAB, 2};
    const struct {
        UINT message;
        WPARAM vk;
        LPARAM lParam;
        bool ctrl, shift;
        bool matches;
    } cases[] = {
        {WM_KEYDOWN, VK_TAB, 0x000F0001, true, false, true},
        {WM_SYSKEYDOWN, VK_TAB, 0x000F0001, true, false, true},
        {WM_KEYDOWN, VK_TAB, 4286, true, false, false},  // self-posted
        {WM_KEYDOWN, VK_TAB, 0x000F0001, false, false, false},
        {WM_KEYDOWN, VK_TAB, 0x000F0001, true, true, false},
        {WM_KEYUP, VK_TAB, static_cast<LPARAM>(0xC00F0001u), true, false, false},
        {WM_CHAR, VK_TAB, 0x000F0001, true, false, false},
    };
    for (const auto& c : cases) {
        HoldModifiers(c.ctrl, c.shift, false);
        MSG msg{};
        msg.message = c.message;
        msg.wParam = c.vk;
        msg.lParam = c.lParam;
        EXPECT_EQ(IsWindowSwitchKey(msg), c.matches) << c.message << " " << c.lParam << " " << c.ctrl << c.shift;
    }
    HoldModifiers(false, false, false);
    g_Hotkeys[kSwitchHotkey] = {0, 0};
    MSG none{};
    none.message = WM_KEYDOWN;
    EXPECT_FALSE(IsWindowSwitchKey(none));
}

// A thread that types the keys of a vector of inputs in one SendInput call.
DWORD WINAPI TypeKeys(void* keys) {
    auto& inputs = *static_cast<std::vector<INPUT>*>(keys);
    return ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// The hook reads the modifiers held on the keyboard, not this thread's
// message state, which follows only the key messages the thread takes (none
// here, as when another program has the focus): a Q while the thread's state
// still says Ctrl does not flip the mute, Ctrl+Q does, Ctrl+Shift+Q does not.
TEST(Hotkeys, TheHookSeesTheModifiersHeldWhateverMessagesItsThreadHasTaken) {
    HoldModifiers(true, false, false);
    CHalvane3Dlg main;  // the main window the hook serves (never shown)
    main.m_arrPageWnd.push_back(::GetDesktopWindow());
    const HotkeyEntry saved = g_Hotkeys[kMuteHotkey];
    g_Hotkeys[kMuteHotkey] = {'Q', 2};
    ASSERT_TRUE(InstallKeyboardHook(::GetModuleHandleW(nullptr)));
    auto key = [](WORD vk, bool up) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = vk;
        in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        return in;
    };
    std::vector<INPUT> keys;
    keys.push_back(key('Q', false));  // Q alone: no
    keys.push_back(key('Q', true));
    for (WORD vk : {WORD(VK_CONTROL), WORD('Q')}) keys.push_back(key(vk, false));  // Ctrl+Q: flips
    for (WORD vk : {WORD('Q'), WORD(VK_CONTROL)}) keys.push_back(key(vk, true));
    for (WORD vk : {WORD(VK_SHIFT), WORD(VK_CONTROL), WORD('Q')}) keys.push_back(key(vk, false));  // Ctrl+Shift+Q: no
    for (WORD vk : {WORD('Q'), WORD(VK_CONTROL), WORD(VK_SHIFT)}) keys.push_back(key(vk, true));
    HANDLE typist = ::CreateThread(nullptr, 0, &TypeKeys, &keys, 0, nullptr);
    ASSERT_NE(typist, nullptr);
    // Only sent messages (the hook's calls) are taken until the typist ends.
    MSG msg;
    while (::MsgWaitForMultipleObjects(1, &typist, FALSE, 10000, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1)
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    DWORD sent = 0;
    ::GetExitCodeThread(typist, &sent);
    ::CloseHandle(typist);
    RemoveKeyboardHook();
    while (::PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    g_Hotkeys[kMuteHotkey] = saved;
    main.m_arrPageWnd.clear();
    HoldModifiers(false, false, false);
    EXPECT_EQ(sent, keys.size());
    EXPECT_EQ(main.m_bMuted, 1);
}

TEST(Hotkeys, TheHookInstallsAndGoes) {
    ASSERT_TRUE(InstallKeyboardHook(::GetModuleHandleW(nullptr)));
    ASSERT_TRUE(InstallKeyboardHook(::GetModuleHandleW(nullptr)));  // replaces the first
    HHOOK installed = g_hKeyboardHook;
    ASSERT_NE(installed, nullptr);
    RemoveKeyboardHook();
    EXPECT_EQ(g_hKeyboardHook, nullptr);
    EXPECT_FALSE(::UnhookWindowsHookEx(installed));  // already gone
}

}  // namespace
