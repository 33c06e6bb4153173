#include "settings/settings_keys.h"

#include "html/login_logic.h"

#include <gtest/gtest.h>


namespace {

TEST(LetterHex, EncodesLowNibbleFirst) {
    struct {
        std::basic_string<std::uint8_t> bytes;
        const wchar_t* text;
    } cases[] = {
        {{0x00, 0xFF}, L"AAPP"},
        {{0x3C}, L"MD"},
        {{0x01, 0x10, 0xA5}, L"BAABFK"},
        {{}, L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LetterHexEncode(c.bytes.data(), c.bytes.size()), c.text);
        std::basic_string<std::uint8_t> back;
        ASSERT_TRUE(LetterHexDecode(c.text, back));
        EXPECT_EQ(back, c.bytes);
    }
}

TEST(LetterHex, RoundTripsEveryByteAndRejectsJunk) {
    std::basic_string<std::uint8_t> all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<std::uint8_t>(b));
    const std::wstring text = LetterHexEncode(all.data(), all.size());
    ASSERT_EQ(text.size(), 512u);
    for (wchar_t c : text) ASSERT_TRUE(c >= L'A' && c <= L'P');
    std::basic_string<std::uint8_t> back;
    ASSERT_TRUE(LetterHexDecode(text, back));
    EXPECT_EQ(back, all);
    EXPECT_FALSE(LetterHexDecode(L"ABC", back));
    EXPECT_FALSE(LetterHexDecode(L"AQ", back));
    EXPECT_FALSE(LetterHexDecode(L"a0", back));
}

TEST(CounterText, ParsesLikeADecimalConversion) {
    struct {
        const wchar_t* text;
        std::uint32_t value;
    } cases[] = {
        {L"0", 0},           {L"", 0},          {L"abc", 0},          {L"17", 17},
        {L"  9", 9},         {L"12x", 12},      {L"+3", 3},           {L"-4", 0},
        {L"4294967295", 4294967295u},           {L"99999999999", 4294967295u},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseCounterText(c.text), c.value);
}

TEST(CounterText, IncrementsSaturateAtTheTop) {
    // The stored text and what the next increment writes: a counter at its
    // top stays there rather than starting again at 0.
    struct {
        const wchar_t* stored;
        const wchar_t* next;
    } cases[] = {{L"junk", L"1"}, {L"41", L"42"}, {L"4294967294", L"4294967295"}, {L"4294967295", L"4294967295"},
                 {L"99999999999", L"4294967295"}};
    for (const auto& c : cases) {
        EXPECT_EQ(FormatCounter(NextCounter(ParseCounterText(c.stored))), c.next) << c.stored;
        EXPECT_EQ(NextLoginCount(c.stored), c.next) << c.stored;
    }
}

TEST(SettingText, OnlyWhatReadsBackIntactIsStored) {
    // The profile string read drops blanks around a value and one pair of
    // enclosing quotes, ends a value at a line break and keeps at most
    // capacity - 1 characters.
    struct {
        std::wstring value;
        bool intact;
    } cases[] = {
        {L"星光岛", true},           {L"", true},          {L"Moon v1.2 (beta)", true}, {L"a'b'", true},
        {L"'a", true},               {L"\"q", true},       {L"x=y;z", true},          {L"[x]", true},
        {std::wstring(31, L'n'), true},
        {std::wstring(32, L'n'), false}, {L" lead", false},   {L"trail ", false},         {L"\tx", false},
        {L"'quoted'", false},        {L"\"q\"", false},     {L"''", false},              {L"a\rb", false},
        {L"a\nb", false},            {L"a\x01b", false},   {L"\x3000星", true},         {L"星\x00A0", true},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadsBackIntact(c.value, 32), c.intact) << c.value.size();
    EXPECT_TRUE(ReadsBackIntact(std::wstring(63, L't'), Keys::IconTime.capacity));
    EXPECT_FALSE(ReadsBackIntact(std::wstring(64, L't'), Keys::IconTime.capacity));
}

TEST(Weekdays, ValuesAbove128CountAsZero) {
    EXPECT_EQ(SanitizeWeekdays(0), 0u);
    EXPECT_EQ(SanitizeWeekdays(127), 127u);
    EXPECT_EQ(SanitizeWeekdays(128), 128u);
    EXPECT_EQ(SanitizeWeekdays(129), 0u);
    EXPECT_EQ(SanitizeWeekdays(200), 0u);
    EXPECT_EQ(SanitizeWeekdays(static_cast<std::uint32_t>(-5)), 0u);
}

TEST(KeyTable, DefaultsFitTheirCapacity) {
    const SettingKey keys[] = {Keys::InstallTag, Keys::Inst,      Keys::UnInst,   Keys::Game,
                               Keys::KeepDays,   Keys::LstTime,   Keys::IconName, Keys::IconTime,
                               Keys::ShortKey,   Keys::AltWndKey, Keys::SndKey,   Keys::RegUrl,
                               Keys::Key,        Keys::LoginCount};
    for (const auto& k : keys) EXPECT_LT(std::wcslen(k.defaultValue), k.capacity) << k.capacity;
    EXPECT_EQ(CutToCapacity(L"abcdefghij", 8), L"abcdefg");
    EXPECT_EQ(CutToCapacity(L"abc", 8), L"abc");
    EXPECT_EQ(CutToCapacity(L"abc", 0), L"");
}

}  // namespace
