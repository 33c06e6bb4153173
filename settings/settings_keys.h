// Every key of the client's settings file: name, default and read capacity
// (wide characters, terminator included). Portable: no Windows headers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr wchar_t kSettingsSection[] = L"Lm03000";
inline constexpr wchar_t kSettingsFileName[] = L"Statistic.ini";
inline constexpr wchar_t kInstallSubDir[] = L"\\4286\\GameLogin";

struct SettingKey {
    const wchar_t* name;
    const wchar_t* defaultValue;  // text default of the string read
    std::size_t capacity;         // read buffer, terminator included
};

namespace Keys {
inline constexpr SettingKey InstallTag{L"InstallTag", L"1", 8};
inline constexpr SettingKey Inst{L"Inst", L"0", 32};
inline constexpr SettingKey UnInst{L"UnInst", L"0", 32};
inline constexpr SettingKey Game{L"Game", L"0", 32};
inline constexpr SettingKey Weekdays{L"weekdays", L"0", 32};  // read as an integer
inline constexpr SettingKey KeepDays{L"keepdays", L"1", 32};
inline constexpr SettingKey LstTime{L"lstTime", L"0", 16};
inline constexpr SettingKey IconName{L"iconName", L"", 32};
inline constexpr SettingKey IconTime{L"iconTime", L"", 64};
inline constexpr SettingKey RunningTime{L"RunningTime", L"", 32};
inline constexpr SettingKey ShortKey{L"ShortKey", L"0,121", 32};
inline constexpr SettingKey AltWndKey{L"AltWndKey", L"2,9", 32};
inline constexpr SettingKey SndKey{L"SndKey", L"2,81", 32};
inline constexpr SettingKey RegUrl{L"RegUrl", L"0", 2048};
inline constexpr SettingKey Key{L"Key", L"0", 2048};
inline constexpr SettingKey LoginCount{L"LoginCount", L"0", 32};
}  // namespace Keys

// A counter's stored text as a number: leading digits after optional
// blanks; anything unparsable is 0; values past the 32-bit range saturate.
std::uint32_t ParseCounterText(std::wstring_view text);

// The text a counter is written back as ("%u").
std::wstring FormatCounter(std::uint32_t value);

// The value a counter is written back as after an increment: one more,
// staying at the top of the 32-bit range once there.
std::uint32_t NextCounter(std::uint32_t value);

// The weekdays mask as stored: a value above 128 (including what a negative
// number reads as) counts as 0.
std::uint32_t SanitizeWeekdays(std::uint32_t stored);

// What the system's profile string read leaves in a buffer of `capacity`
// characters: at most capacity - 1 of them.
std::wstring CutToCapacity(std::wstring_view value, std::size_t capacity);

// True when the profile string read, with a buffer of `capacity`
// characters, gives `value` back unchanged: it cuts at capacity - 1, drops
// blanks at either end (other Unicode spaces stay) and one pair of
// enclosing quotes, and a line break or another control character ends or
// spoils the line.
bool ReadsBackIntact(std::wstring_view value, std::size_t capacity);

// Letter-hex: each byte as 'A' + low nibble, then 'A' + high nibble.
std::wstring LetterHexEncode(const std::uint8_t* bytes, std::size_t count);
// The inverse; false on odd length or a character outside 'A'..'P'.
bool LetterHexDecode(std::wstring_view text, std::basic_string<std::uint8_t>& out);
