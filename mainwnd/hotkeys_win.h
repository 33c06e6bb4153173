// The boss key, the window-switch key and the mute key: the table in force,
// the low-level keyboard hook that serves the boss and mute keys system-wide,
// and the window-switch key of the main window's pre-translation.
#pragma once
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "mainwnd/hotkey_logic.h"

// Boss key, window-switch key, mute key; every field -1 until loaded.
extern HotkeyEntry g_Hotkeys[kHotkeyCount];
extern HHOOK g_hKeyboardHook;

// Reads ShortKey, AltWndKey and SndKey from the settings file into
// g_Hotkeys; ReloadHotkeysFrom reads them from the file at `path`.
void ReloadHotkeys();
void ReloadHotkeysFrom(const wchar_t* path);

// The low-level hook: the boss key and the mute key while a game page is
// open. Every event is passed on.
LRESULT CALLBACK KeyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam);
// Installs the hook for all threads (replacing one already installed);
// false when the system refused it.
bool InstallKeyboardHook(HINSTANCE module);
void RemoveKeyboardHook();

// Takes the hook off for its lifetime and puts it back after when it was on.
// The user-interface thread serves the hook: while it waits on the network
// every key of the desktop would wait with it, and the system drops a hook
// that misses its time-out for good. Wrap every such wait in one.
class CKeyboardHookPause {
public:
    CKeyboardHookPause();
    ~CKeyboardHookPause();
    CKeyboardHookPause(const CKeyboardHookPause&) = delete;
    CKeyboardHookPause& operator=(const CKeyboardHookPause&) = delete;

private:
    bool m_bWasOn;
};

// The modifier bits of the keys held as of the message being handled
// (GetKeyState): for key messages this thread takes from its queue.
int CurrentModifierBits();
// The modifier bits of the keys held on the keyboard now (GetAsyncKeyState),
// for the low-level hook: it runs before any thread takes the key's message
// and for keys bound to other programs, so this thread's message state may
// not hold a modifier pressed just before the key, or at all.
int HeldModifierBits();

// True when a key message is the window-switch key: a key-down (plain or
// system) that is not self-posted and whose key and modifiers match.
bool IsWindowSwitchKey(const MSG& msg);

// Ends the settings dialog as cancelled when it is open and shown; true
// when it did.
bool CancelShownSettingDlg();
