#include "stats/beacons.h"

#include <cstdio>

namespace {

std::wstring Cut(std::wstring text, std::size_t capacity) {
    if (capacity == 0) return {};
    if (text.size() > capacity - 1) text.resize(capacity - 1);
    return text;
}

std::wstring Number(long long v) { return std::to_wstring(v); }

const std::wstring kTagVer = L"tag=Lm03000&ver=3.0.0.1";

}  // namespace

std::wstring Utf8ToUtf16(std::string_view bytes) {
    std::wstring out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        std::uint32_t cp = 0xFFFD;
        std::size_t len = 1;
        auto cont = [&](std::size_t k) {
            return i + k < bytes.size() && (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
        };
        auto bits = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + k]) & 0x3F); };
        if (b0 < 0x80) {
            cp = b0;
        } else if (b0 >= 0xC2 && b0 < 0xE0 && cont(1)) {
            cp = ((b0 & 0x1Fu) << 6) | bits(1);
            len = 2;
        } else if (b0 >= 0xE0 && b0 < 0xF0 && cont(1) && cont(2)) {
            cp = ((b0 & 0x0Fu) << 12) | (bits(1) << 6) | bits(2);
            len = 3;
            if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        } else if (b0 >= 0xF0 && b0 < 0xF5 && cont(1) && cont(2) && cont(3)) {
            cp = ((b0 & 0x07u) << 18) | (bits(1) << 12) | (bits(2) << 6) | bits(3);
            len = 4;
            if (cp < 0x10000 || cp > 0x10FFFF) cp = 0xFFFD;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(std::wstring_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // wchar_t is 16 bits on Windows and 32 elsewhere: read code units.
        std::uint32_t cp = static_cast<std::uint32_t>(text[i]);
        if (cp > 0x10FFFF) cp = 0xFFFD;
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
            const std::uint32_t lo = static_cast<std::uint32_t>(text[i + 1]);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            } else {
                cp = 0xFFFD;
            }
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::wstring UrlEncodeUtf8(std::wstring_view text, std::size_t capacity) {
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring out;
    for (unsigned char b : Utf16ToUtf8(text)) {
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9')) {
            out.push_back(b);
        } else {
            out.push_back(L'%');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 15]);
        }
    }
    return Cut(std::move(out), capacity);
}

std::string PercentDecode(std::string_view text) {
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::wstring RegistrationPageUrl(std::wstring_view portalHost) {
    return L"http://" + std::wstring(portalHost) +
           L"/lmdr/clients/chn-xpvt/reg.html?agid=0&cid=3000&aid=2&oid=17239&oid2=&vcode=cafes&dirtype=0&pt=0";
}

std::wstring FormatRegEventUrl(std::wstring_view eventHost, std::wstring_view portalHost, std::wstring_view event,
                               std::wstring_view eventName, std::wstring_view userSession) {
    std::wstring url = L"http://" + std::wstring(eventHost) + L"/_regevent.gif?event=" + std::wstring(event) +
                       L"&ename=" + UrlEncodeUtf8(eventName, 1024) +
                       L"&type=0&game=lmdr&oid=17239&oid1=17239&oid2=&cid=3000&aid=2&lc=0&userSession=" +
                       std::wstring(userSession) + L"&newStat=0&referer=" +
                       UrlEncodeUtf8(RegistrationPageUrl(portalHost), 1024);
    return Cut(std::move(url), kEventAddressCapacity);
}

std::wstring FormatInstallUrl(std::wstring_view statsHost, std::uint32_t count) {
    return L"http://" + std::wstring(statsHost) + L"/install.htm?" + kTagVer + L"&count=" + Number(count);
}

std::wstring FormatUninstallUrl(std::wstring_view statsHost, std::uint32_t count) {
    return L"http://" + std::wstring(statsHost) + L"/uninstall.htm?" + kTagVer + L"&count=" + Number(count);
}

std::wstring FormatActiveUrl(std::wstring_view statsHost, std::uint32_t count, int apartDays, int keepDays,
                             int weekdays) {
    return L"http://" + std::wstring(statsHost) + L"/active.htm?" + kTagVer + L"&count=" + Number(count) +
           L"&apartdays=" + Number(apartDays) + L"&keepdays=" + Number(keepDays) + L"&weekdays=" + Number(weekdays);
}

std::wstring FormatLoginStatsUrl(std::wstring_view statsHost, std::wstring_view uid, int index) {
    return Cut(L"http://" + std::wstring(statsHost) + L"/login.htm?" + kTagVer + L"&uid=" + std::wstring(uid) +
                   L"&index=" + Number(index),
               kBeaconAddressCapacity);
}

std::wstring FormatOnlineRecordUrl(std::wstring_view onlineHost, std::wstring_view game, std::wstring_view server,
                                   long length) {
    return Cut(L"http://" + std::wstring(onlineHost) + L"/d.php?a=web.online&game=" + std::wstring(game) +
                   L"&server=S" + std::wstring(server) + L"&length=" + Number(length) + L"&cid=3000",
               kOnlineAddressCapacity);
}

std::wstring FormatUnionUrl(std::wstring_view unionHost, std::wstring_view gifName, std::wstring_view identityQuery) {
    return Cut(L"http://" + std::wstring(unionHost) + L"/" + std::wstring(gifName) + L"?" + std::wstring(identityQuery),
               kBeaconAddressCapacity);
}

// --- Day gap and counters -------------------------------------------------

namespace {

// Decimal integer as the runtime's conversion reads it (leading blanks, a
// sign, digits), saturated so that no overflow can occur.
int ReadInt(std::wstring_view s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == L' ' || s[i] == L'\t')) ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == L'-' || s[i] == L'+')) neg = s[i++] == L'-';
    long long v = 0;
    for (; i < s.size() && s[i] >= L'0' && s[i] <= L'9'; ++i)
        if (v < 100000000) v = v * 10 + (s[i] - L'0');
    return static_cast<int>(neg ? -v : v);
}

}  // namespace

bool ParseStoredDate(std::wstring_view text, LocalDate& date) {
    const auto first = text.find(L'/');
    const auto last = text.rfind(L'/');
    if (first == std::wstring_view::npos || first == last) return false;
    date.year = ReadInt(text.substr(0, first));
    date.month = ReadInt(text.substr(first + 1, last - first - 1));
    date.day = ReadInt(text.substr(last + 1));
    return date.year >= 1900 && date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= 31;
}

int DayGapAt(std::wstring_view lastStart, std::time_t now) {
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    LocalDate stored{};
    if (!ParseStoredDate(lastStart, stored)) return 0;  // not a date: today
    std::tm then = local;
    then.tm_year = stored.year - 1900;
    then.tm_mon = stored.month - 1;
    then.tm_mday = stored.day;
    then.tm_isdst = -1;
    const std::time_t t = std::mktime(&then);
    if (t == static_cast<std::time_t>(-1)) return 0;
    // Whole days, to the nearest: a day across a daylight-saving change is
    // 23 or 25 hours long and still one calendar day.
    const long long diff = static_cast<long long>(now) - static_cast<long long>(t);
    const long long days = diff >= 0 ? (diff + 43200) / 86400 : -((-diff + 43200) / 86400);
    return static_cast<int>(days);
}

std::wstring FormatLocalDate(std::time_t now) {
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return Number(local.tm_year + 1900) + L"/" + Number(local.tm_mon + 1) + L"/" + Number(local.tm_mday);
}

std::uint32_t NextWeekdaysMask(std::uint32_t stored, int gap) {
    const std::uint32_t v = stored > 128 ? 0 : stored;
    if (gap >= 0 && gap <= 6) return ((v << gap) & 0x7E) | 1;
    return 1;
}

int CountWeekdays(std::uint32_t mask) {
    int n = 0;
    for (int bit = 0; bit < 7; ++bit) n += (mask >> bit) & 1;
    return n;
}

int ApartDays(int gap) { return static_cast<unsigned>(gap) < 2 ? 0 : gap - 1; }

std::uint32_t NextKeepDays(std::uint32_t stored, int gap) {
    if (static_cast<unsigned>(gap) < 2) return stored + (gap == 1 ? 1 : 0);
    return 1;
}
