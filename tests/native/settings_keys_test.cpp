#include "settings/settings_keys.h"

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

TEST(CounterText, NonDigitsIncrementToOne) {
    EXPECT_EQ(FormatCounter(ParseCounterText(L"junk") + 1u), L"1");
    EXPECT_EQ(FormatCounter(ParseCounterText(L"41") + 1u), L"42");
    EXPECT_EQ(FormatCounter(4294967295u), L"4294967295");
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
