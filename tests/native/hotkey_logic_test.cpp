#include "mainwnd/hotkey_logic.h"

#include <gtest/gtest.h>

namespace {

constexpr HotkeyEntry kDefaults[kHotkeyCount] = {{121, 0}, {9, 2}, {81, 2}};

TEST(HotkeyMatching, ExactModifierBits) {
    const struct {
        HotkeyEntry entry;
        int vk, modifiers;
        bool matches;
    } cases[] = {
        {{121, 0}, 121, 0, true},
        {{121, 0}, 121, 2, false},  // Ctrl+F10 is not F10
        {{121, 0}, 120, 0, false},
        {{81, 2}, 81, 2, true},
        {{81, 2}, 81, 6, false},    // Ctrl+Shift+Q is not Ctrl+Q
        {{81, 2}, 81, 0, false},
        {{81, 7}, 81, 7, true},
        {{0, 0}, 0, 0, false},      // "无" never fires
        {{0, 2}, 0, 2, false},
        {kUnloadedHotkey, -1, -1, false},
        {kUnloadedHotkey, 121, 0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HotkeyMatches(c.entry, c.vk, c.modifiers), c.matches)
            << c.entry.vk << "," << c.entry.modifiers << " vs " << c.vk << "," << c.modifiers;
}

TEST(HotkeyMatching, ModifierBitsOfTheHeldKeys) {
    EXPECT_EQ(ModifierBits(false, false, false), 0);
    EXPECT_EQ(ModifierBits(true, false, false), 2);
    EXPECT_EQ(ModifierBits(false, true, false), 4);
    EXPECT_EQ(ModifierBits(false, false, true), 1);
    EXPECT_EQ(ModifierBits(true, true, true), 7);
}

TEST(HotkeyMatching, EntriesFromStoredValues) {
    const struct {
        const wchar_t* stored;
        int vk, modifiers;
    } cases[] = {{L"0,121", 121, 0}, {L"2,9", 9, 2}, {L"2,81", 81, 2}, {L"0,0", 0, 0}, {L"6", 0, 6}, {L"x", 0, 0}};
    for (const auto& c : cases) {
        const HotkeyEntry e = HotkeyFromValue(c.stored);
        EXPECT_EQ(e.vk, c.vk);
        EXPECT_EQ(e.modifiers, c.modifiers);
    }
}

TEST(HookAction, OnlyWithAPageOpenAndOnlyOnKeyDown) {
    const struct {
        int pages;
        bool keyDown;
        int vk, modifiers;
        HookAction action;
    } cases[] = {
        {0, true, 121, 0, HookAction::None},  // login page only
        {0, true, 81, 2, HookAction::None},
        {1, true, 121, 0, HookAction::ToggleBoss},
        {3, true, 81, 2, HookAction::FlipMute},
        {1, false, 121, 0, HookAction::None},  // key up
        {1, true, 121, 2, HookAction::None},
        {1, true, 9, 2, HookAction::None},     // the switch key is not the hook's
        {1, true, 81, 0, HookAction::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HookActionFor(kDefaults, c.pages, c.keyDown, c.vk, c.modifiers), c.action)
            << c.pages << " " << c.vk << "," << c.modifiers;
}

TEST(HookAction, TheBossKeyWinsOverAnEqualMuteKey) {
    const HotkeyEntry same[kHotkeyCount] = {{81, 2}, {9, 2}, {81, 2}};
    EXPECT_EQ(HookActionFor(same, 1, true, 81, 2), HookAction::ToggleBoss);
    const HotkeyEntry none[kHotkeyCount] = {{0, 0}, {0, 0}, {0, 0}};
    EXPECT_EQ(HookActionFor(none, 1, true, 0, 0), HookAction::None);
    const HotkeyEntry unloaded[kHotkeyCount] = {kUnloadedHotkey, kUnloadedHotkey, kUnloadedHotkey};
    EXPECT_EQ(HookActionFor(unloaded, 1, true, 121, 0), HookAction::None);
}

TEST(SwitchKey, SelfPostedKeysNeverMatch) {
    const HotkeyEntry f5{116, 0};
    EXPECT_TRUE(IsSwitchKeyMessage(f5, true, 0x003F0001, 116, 0));
    EXPECT_FALSE(IsSwitchKeyMessage(f5, true, 4286, 116, 0));  // the refresh button's F5
    EXPECT_FALSE(IsSwitchKeyMessage(f5, false, 0, 116, 0));
    EXPECT_FALSE(IsSwitchKeyMessage(kDefaults[kSwitchHotkey], true, 0, 9, 0));  // Tab without Ctrl
    EXPECT_TRUE(IsSwitchKeyMessage(kDefaults[kSwitchHotkey], true, 0, 9, 2));
}

TEST(SwitchKey, PagesCycle) {
    const struct {
        int current, count, next;
    } cases[] = {{0, 3, 1}, {1, 3, 2}, {2, 3, 0}, {0, 1, 0}, {1, 2, 0}, {0, 2, 1}, {0, 0, 0}, {-1, 2, 1}};
    for (const auto& c : cases) EXPECT_EQ(NextPageIndex(c.current, c.count), c.next) << c.current << "/" << c.count;
}

}  // namespace
