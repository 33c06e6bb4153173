#include "tools/hotkey_names.h"

#include <gtest/gtest.h>

#include <climits>
#include <cwchar>

namespace {

TEST(KeyNames, TableEntriesAndTheirNeighbours) {
    const struct {
        int vk;
        const wchar_t* name;
    } cases[] = {
        {8, L"Back"},         {9, L"Tab"},        {13, L"Enter"},       {16, L"Shift"},       {17, L"Ctrl"},
        {18, L"Alt"},         {19, L"Pause Break"}, {20, L"Caps"},      {27, L"Esc"},         {33, L"Page Up"},
        {34, L"Page Down"},   {35, L"End"},       {36, L"Home"},        {37, L"Left"},        {38, L"Up"},
        {39, L"Right"},       {40, L"Down"},      {45, L"Insert"},      {46, L"Del"},         {48, L"0"},
        {57, L"9"},           {65, L"A"},         {81, L"Q"},           {90, L"Z"},           {91, L"LWin"},
        {92, L"RWin"},        {96, L"Num 0"},     {105, L"Num 9"},      {106, L"Num *"},      {107, L"Num +"},
        {109, L"Num -"},      {110, L"Num Del"},  {111, L"Num /"},      {112, L"F1"},         {121, L"F10"},
        {123, L"F12"},        {144, L"Num Lock"}, {145, L"Scroll Lock"}, {186, L";"},         {187, L"+"},
        {188, L","},          {189, L"-"},        {190, L"."},          {191, L"/"},          {192, L"`"},
        {219, L"["},          {220, L"\\"},       {221, L"]"},          {222, L"'"},
        // No name: the gaps between the table's runs and values outside it.
        {-1, L""},            {0, L""},           {7, L""},             {10, L""},            {21, L""},
        {32, L""},            {41, L""},          {47, L""},            {58, L""},            {64, L""},
        {93, L""},            {108, L""},         {124, L""},           {143, L""},           {146, L""},
        {185, L""},           {193, L""},         {218, L""},           {223, L""},           {255, L""},
        {65 + 65536, L""},
    };
    for (const auto& c : cases) EXPECT_EQ(KeyName(c.vk), c.name) << c.vk;
}

TEST(KeyNames, StayInsideTheirBufferAndOverwriteOldText) {
    for (int vk = -2; vk < 300; ++vk) {
        wchar_t buffer[kKeyNameCapacity + 4];
        std::wmemset(buffer, L'#', kKeyNameCapacity + 4);
        EXPECT_EQ(GetKeyName(buffer, vk), buffer);
        const std::size_t length = std::wcslen(buffer);
        EXPECT_LT(length, kKeyNameCapacity) << vk;
        for (std::size_t i = kKeyNameCapacity; i < kKeyNameCapacity + 4; ++i) EXPECT_EQ(buffer[i], L'#') << vk;
    }
    EXPECT_EQ(GetKeyName(nullptr, 65), nullptr);
}

TEST(FormatHotkey, PrefixesInTheirOrderThenTheName) {
    const struct {
        int vk, modifier;
        const wchar_t* text;
    } cases[] = {
        {121, 0, L"F10"},
        {9, 2, L"Ctrl  +  Tab"},
        {81, 2, L"Ctrl  +  Q"},
        {65, 7, L"Ctrl  +  Shift  +  Alt  +  A"},
        {65, 1, L"Alt  +  A"},
        {65, 5, L"Shift  +  Alt  +  A"},
        {220, 4, L"Shift  +  \\"},
        {0, 7, L"无"},
        {0, 0, L"无"},
        {255, 2, L"Ctrl  +  "},  // a code without a name: the prefixes only
        {255, 0, L""},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatHotkey(c.vk, c.modifier), c.text) << c.vk << "," << c.modifier;
}

TEST(HotkeyValue, SplitsAtTheFirstCommaWithTheCLibrarysNumbers) {
    const struct {
        const wchar_t* text;
        int modifier, vk;
    } cases[] = {
        {L"0,121", 0, 121},  {L"2,9", 2, 9},     {L"2,81", 2, 81},          {L"7", 7, 0},
        {L"", 0, 0},         {L",65", 0, 65},    {L"a,b", 0, 0},            {L" 2, 81", 2, 81},
        {L"2,81,5", 2, 81},  {L"-1,-1", -1, -1}, {L"3x,4y", 3, 4},          {L"+4,+5", 4, 5},
        {L"99999999999,1", INT_MAX, 1},          {L"1,-99999999999", 1, INT_MIN},
    };
    for (const auto& c : cases) {
        const HotkeyValue v = ParseHotkeyValue(c.text);
        EXPECT_EQ(v.modifier, c.modifier) << static_cast<const void*>(c.text);
        EXPECT_EQ(v.vk, c.vk) << static_cast<const void*>(c.text);
    }
    EXPECT_EQ(FormatHotkeyValue(2, 81), L"2,81");
    EXPECT_EQ(FormatHotkeyValue(0, 0), L"0,0");
}

TEST(AcceptedKeys, RunsOfTheTableAndTheSwitchFieldsTab) {
    const struct {
        int vk;
        bool accepted;
    } cases[] = {
        {112, true}, {122, true}, {123, false}, {48, true},  {57, true},  {58, false}, {65, true},  {90, true},
        {91, false}, {33, true},  {40, true},   {32, false}, {41, false}, {45, true},  {46, false}, {20, true},
        {19, false}, {186, true}, {192, true},  {193, false}, {219, true}, {222, true}, {223, false}, {144, true},
        {145, false}, {96, true}, {107, true},  {108, false}, {109, true}, {111, true}, {8, false},  {13, false},
        {16, false}, {17, false}, {18, false},  {27, false}, {0, false},  {-1, false}, {9, false},
    };
    for (HotkeyField field : {HotkeyField::Boss, HotkeyField::Sound, HotkeyField::Switch})
        for (const auto& c : cases) {
            const bool expected = c.accepted || (c.vk == 9 && field == HotkeyField::Switch);
            EXPECT_EQ(IsAcceptedHotkeyKey(field, c.vk), expected) << static_cast<int>(field) << " " << c.vk;
        }
}

TEST(Capture, OnlyKeyDownsAndTheSystemKeysF10AndAltAreExamined) {
    EXPECT_TRUE(IsCaptureKeyMessage(true, false, 81));
    EXPECT_TRUE(IsCaptureKeyMessage(false, true, 121));
    EXPECT_TRUE(IsCaptureKeyMessage(false, true, 18));
    EXPECT_FALSE(IsCaptureKeyMessage(false, true, 81));  // Alt + letter arrives as a system key
    EXPECT_FALSE(IsCaptureKeyMessage(false, false, 81));
    EXPECT_TRUE(IsSwallowedKey(27));
    EXPECT_TRUE(IsSwallowedKey(13));
    EXPECT_FALSE(IsSwallowedKey(8));
}

struct Press {
    HotkeyField field;
    int vk;
    bool ctrl, shift, alt;
    const wchar_t* text;
    bool takesKey;
};

TEST(Capture, WhatEachFieldShows) {
    const Press cases[] = {
        {HotkeyField::Sound, 17, true, false, false, L"Ctrl  +  ", false},  // Ctrl alone
        {HotkeyField::Sound, 81, true, false, false, L"Ctrl  +  Q", true},
        {HotkeyField::Boss, 8, false, false, false, L"无", false},
        {HotkeyField::Boss, 46, true, false, false, L"无", false},
        {HotkeyField::Boss, 91, false, false, false, L"无", false},
        {HotkeyField::Sound, 92, false, true, false, L"无", false},
        {HotkeyField::Boss, 123, true, false, false, L"无", false},
        {HotkeyField::Sound, 123, false, false, false, L"无", false},
        {HotkeyField::Switch, 123, true, false, false, L"Ctrl  +  ", false},
        {HotkeyField::Switch, 123, false, false, false, L"", false},
        {HotkeyField::Switch, 8, false, false, false, L"无", false},
        {HotkeyField::Switch, 46, false, false, false, L"无", false},
        {HotkeyField::Switch, 9, true, false, false, L"Ctrl  +  Tab", true},
        {HotkeyField::Boss, 9, true, false, false, L"Ctrl  +  ", false},
        {HotkeyField::Sound, 9, false, false, false, L"", false},
        {HotkeyField::Boss, 121, false, false, true, L"Alt  +  F10", true},
        {HotkeyField::Boss, 18, false, false, true, L"Alt  +  ", false},
        {HotkeyField::Boss, 65, true, true, true, L"Ctrl  +  Shift  +  Alt  +  A", true},
        {HotkeyField::Boss, 16, false, true, false, L"Shift  +  ", false},
        {HotkeyField::Sound, 220, false, false, false, L"\\", true},
    };
    for (const Press& p : cases) {
        const CaptureOutcome out = CaptureHotkeyKey(p.field, p.vk, p.ctrl, p.shift, p.alt);
        EXPECT_EQ(out.text, p.text) << static_cast<int>(p.field) << " " << p.vk;
        EXPECT_EQ(out.takesKey, p.takesKey) << static_cast<int>(p.field) << " " << p.vk;
    }
}

TEST(Saving, WhatAFieldsTextWrites) {
    const struct {
        const wchar_t* text;
        int fieldVk;
        bool write;
        const wchar_t* value;
    } cases[] = {
        {L"Ctrl  +  Q", 81, true, L"2,81"},
        {L"Ctrl  +  ", 81, false, L""},
        {L"", 121, false, L""},
        {L"无", 121, true, L"0,0"},
        {L"F10", 121, true, L"0,121"},
        {L"Ctrl  +  Shift  +  Alt  +  Num +", 107, true, L"7,107"},
        {L"Shift  +  ,", 188, true, L"4,188"},
        {L"Alt  +  F10", 121, true, L"1,121"},
    };
    for (const auto& c : cases) {
        const SavedHotkey s = SaveHotkeyField(c.text, c.fieldVk);
        EXPECT_EQ(s.write, c.write) << static_cast<const void*>(c.text);
        EXPECT_EQ(s.value, c.value) << static_cast<const void*>(c.text);
    }
}

TEST(Saving, ConflictsAreEqualTexts) {
    EXPECT_TRUE(HotkeyTextsConflict(L"无", L"Ctrl  +  Tab", L"无"));
    EXPECT_TRUE(HotkeyTextsConflict(L"F10", L"F10", L"Ctrl  +  Q"));
    EXPECT_TRUE(HotkeyTextsConflict(L"F10", L"", L""));
    EXPECT_FALSE(HotkeyTextsConflict(L"F10", L"Ctrl  +  Tab", L"Ctrl  +  Q"));
    EXPECT_FALSE(HotkeyTextsConflict(L"Ctrl  +  Q", L"Ctrl  +  Shift  +  Q", L"Q"));
}

// Whatever a field captures, saving it and reading it back gives the key and
// the modifiers that were held, and the stored value shows the same text.
TEST(Saving, EveryCapturedCombinationRoundTrips) {
    for (HotkeyField field : {HotkeyField::Boss, HotkeyField::Switch, HotkeyField::Sound})
        for (int vk = 1; vk < 256; ++vk)
            for (int mods = 0; mods < 8; ++mods) {
                const bool ctrl = mods & kModCtrl, shift = mods & kModShift, alt = mods & kModAlt;
                const CaptureOutcome out = CaptureHotkeyKey(field, vk, ctrl, shift, alt);
                if (!out.takesKey) continue;
                const SavedHotkey saved = SaveHotkeyField(out.text, vk);
                ASSERT_TRUE(saved.write) << vk;
                const HotkeyValue back = ParseHotkeyValue(saved.value);
                EXPECT_EQ(back.vk, vk);
                EXPECT_EQ(back.modifier, mods) << vk;
                EXPECT_EQ(FormatHotkey(back.vk, back.modifier), out.text) << vk;
            }
}

}  // namespace
