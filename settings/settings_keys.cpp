#include "settings/settings_keys.h"

#include <cstdio>

std::uint32_t ParseCounterText(std::wstring_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) ++i;
    if (i < text.size() && text[i] == L'+') ++i;
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + static_cast<std::uint64_t>(text[i] - L'0');
        if (value > UINT32_MAX) return UINT32_MAX;
    }
    return static_cast<std::uint32_t>(value);
}

std::wstring FormatCounter(std::uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u", value);
    return std::wstring(buf, buf + std::char_traits<char>::length(buf));
}

std::uint32_t NextCounter(std::uint32_t value) { return value == UINT32_MAX ? value : value + 1u; }

bool ReadsBackIntact(std::wstring_view value, std::size_t capacity) {
    if (capacity == 0 || value.size() > capacity - 1) return false;
    for (wchar_t c : value)
        if (c < 0x20) return false;  // a line break ends the value; other controls are kept out alike
    if (value.empty()) return true;
    if (value.front() == L' ' || value.back() == L' ') return false;
    const wchar_t first = value.front();
    return !(value.size() >= 2 && (first == L'\'' || first == L'"') && value.back() == first);
}

std::uint32_t SanitizeWeekdays(std::uint32_t stored) { return stored > 128 ? 0 : stored; }

std::wstring CutToCapacity(std::wstring_view value, std::size_t capacity) {
    if (capacity == 0) return {};
    return std::wstring(value.substr(0, capacity - 1));
}

std::wstring LetterHexEncode(const std::uint8_t* bytes, std::size_t count) {
    std::wstring out;
    out.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(static_cast<wchar_t>(L'A' + (bytes[i] & 0x0F)));
        out.push_back(static_cast<wchar_t>(L'A' + (bytes[i] >> 4)));
    }
    return out;
}

bool LetterHexDecode(std::wstring_view text, std::basic_string<std::uint8_t>& out) {
    out.clear();
    if (text.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const wchar_t lo = text[i], hi = text[i + 1];
        if (lo < L'A' || lo > L'P' || hi < L'A' || hi > L'P') return false;
        out.push_back(static_cast<std::uint8_t>((lo - L'A') | ((hi - L'A') << 4)));
    }
    return true;
}
