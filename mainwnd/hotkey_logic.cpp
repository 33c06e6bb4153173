#include "mainwnd/hotkey_logic.h"

#include "tools/hotkey_names.h"

int ModifierBits(bool ctrl, bool shift, bool alt) {
    return (ctrl ? kModCtrl : 0) | (shift ? kModShift : 0) | (alt ? kModAlt : 0);
}

bool HotkeyMatches(const HotkeyEntry& entry, int vk, int modifiers) {
    if (entry.vk <= 0 || vk <= 0) return false;  // "无" and an unloaded table never fire
    return vk == entry.vk && modifiers == entry.modifiers;
}

HotkeyEntry HotkeyFromValue(std::wstring_view stored) {
    const HotkeyValue v = ParseHotkeyValue(stored);
    return {v.vk, v.modifier};
}

HookAction HookActionFor(const HotkeyEntry (&table)[kHotkeyCount], int pageCount, bool keyDown, int vk,
                         int modifiers) {
    if (pageCount <= 0 || !keyDown) return HookAction::None;
    if (HotkeyMatches(table[kBossHotkey], vk, modifiers)) return HookAction::ToggleBoss;
    if (HotkeyMatches(table[kMuteHotkey], vk, modifiers)) return HookAction::FlipMute;
    return HookAction::None;
}

bool IsSwitchKeyMessage(const HotkeyEntry& entry, bool keyDown, long lParam, int vk, int modifiers) {
    return keyDown && lParam != kSelfPostedMarker && HotkeyMatches(entry, vk, modifiers);
}

int NextPageIndex(int current, int count) {
    if (count <= 0) return 0;
    if (current < 0) current = 0;
    return (current + 1) % count;
}
