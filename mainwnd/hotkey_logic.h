// The hotkeys in force: the table of boss, window-switch and mute key, how
// a key event is matched against it, and what the keyboard hook and the
// window-switch key do with a match. Portable.
#pragma once
#include <string_view>

struct HotkeyEntry {
    int vk;         // virtual-key code; 0 ("无") and -1 (not loaded) never match
    int modifiers;  // 1 Alt, 2 Ctrl, 4 Shift
};

// Indexes into the hotkey table.
inline constexpr int kBossHotkey = 0;
inline constexpr int kSwitchHotkey = 1;
inline constexpr int kMuteHotkey = 2;
inline constexpr int kHotkeyCount = 3;

// The table before the first load: nothing matches.
inline constexpr HotkeyEntry kUnloadedHotkey{-1, -1};

// The modifier bits of the keys held down.
int ModifierBits(bool ctrl, bool shift, bool alt);

// A key event matches when its code equals the entry's and its modifier
// bits equal the entry's exactly.
bool HotkeyMatches(const HotkeyEntry& entry, int vk, int modifiers);

// An entry from its stored "modifier,vk" text.
HotkeyEntry HotkeyFromValue(std::wstring_view stored);

// What the low-level hook does with one key event.
enum class HookAction { None, ToggleBoss, FlipMute };
HookAction HookActionFor(const HotkeyEntry (&table)[kHotkeyCount], int pageCount, bool keyDown, int vk,
                         int modifiers);

// The marker in lParam of key messages the client posts to itself.
inline constexpr long kSelfPostedMarker = 4286;

// True when a key message of the main window's pre-translation is the
// window-switch key (never a self-posted one).
bool IsSwitchKeyMessage(const HotkeyEntry& entry, bool keyDown, long lParam, int vk, int modifiers);

// The page after `current` of `count`, wrapping round; the same page when
// there is only one.
int NextPageIndex(int current, int count);
