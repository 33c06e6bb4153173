#include "stats/beacons.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "net/http_address.h"

namespace {

TEST(UrlEncode, LettersAndDigitsStayEverythingElseIsEncoded) {
    EXPECT_EQ(UrlEncodeUtf8(L"打开"), L"%E6%89%93%E5%BC%80");
    EXPECT_EQ(UrlEncodeUtf8(L"安装"), L"%E5%AE%89%E8%A3%85");
    EXPECT_EQ(UrlEncodeUtf8(L"aZ09-_.~ /"), L"aZ09%2D%5F%2E%7E%20%2F");
    EXPECT_EQ(UrlEncodeUtf8(std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}), L"%F0%9F%98%80");  // a surrogate pair
    EXPECT_EQ(UrlEncodeUtf8(std::wstring(1, wchar_t(0xD800))), L"%EF%BF%BD");  // unpaired: U+FFFD
    EXPECT_EQ(UrlEncodeUtf8(L"打开", 8), L"%E6%89%");                 // cut to capacity - 1
}

TEST(RegEvent, AddressInFieldOrder) {
    const std::wstring url = FormatRegEventUrl(L"ev:1", L"portal:2", L"100", L"打开", L"00:11:22:33:44:55");
    EXPECT_EQ(url,
              L"http://ev:1/_regevent.gif?event=100&ename=%E6%89%93%E5%BC%80&type=0&game=lmdr&oid=17239&oid1=17239"
              L"&oid2=&cid=3000&aid=2&lc=0&userSession=00:11:22:33:44:55&newStat=0&referer="
              L"http%3A%2F%2Fportal%3A2%2Flmdr%2Fclients%2Fchn%2Dxpvt%2Freg%2Ehtml%3Fagid%3D0%26cid%3D3000%26aid%3D2"
              L"%26oid%3D17239%26oid2%3D%26vcode%3Dcafes%26dirtype%3D0%26pt%3D0");
    EXPECT_LT(url.size(), kBeaconAddressCapacity);  // fits a beacon worker's buffer
}

TEST(BeaconAddresses, Formats) {
    EXPECT_EQ(FormatInstallUrl(L"s", 2), L"http://s/install.htm?tag=Lm03000&ver=3.0.0.1&count=2");
    EXPECT_EQ(FormatUninstallUrl(L"s", 1), L"http://s/uninstall.htm?tag=Lm03000&ver=3.0.0.1&count=1");
    EXPECT_EQ(FormatActiveUrl(L"s", 4294967295u, -2, 1, 7),
              L"http://s/active.htm?tag=Lm03000&ver=3.0.0.1&count=4294967295&apartdays=-2&keepdays=1&weekdays=7");
    EXPECT_EQ(FormatLoginStatsUrl(L"s", L"player1", 2), L"http://s/login.htm?tag=Lm03000&ver=3.0.0.1&uid=player1&index=2");
    EXPECT_EQ(FormatOnlineRecordUrl(L"o", L"lmdr", L"12", 3600), L"http://o/d.php?a=web.online&game=lmdr&server=S12&length=3600&cid=3000");
    EXPECT_EQ(FormatUnionUrl(L"u", L"_az.gif", L"agid=0"), L"http://u/_az.gif?agid=0");
    EXPECT_EQ(FormatUnionUrl(L"u", L"_xz.gif", std::wstring(600, L'x')).size(), kBeaconAddressCapacity - 1);
}

// --- day gap ----------------------------------------------------------------

class DayGapTest : public ::testing::Test {
protected:
    void SetZone(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }
    void TearDown() override {
        if (m_oldTz.empty()) unsetenv("TZ"); else setenv("TZ", m_oldTz.c_str(), 1);
        tzset();
    }
    static std::time_t At(int y, int mo, int d, int h) {
        std::tm t{};
        t.tm_year = y - 1900;
        t.tm_mon = mo - 1;
        t.tm_mday = d;
        t.tm_hour = h;
        t.tm_isdst = -1;
        return std::mktime(&t);
    }
    std::string m_oldTz = std::getenv("TZ") ? std::getenv("TZ") : "";
};

TEST_F(DayGapTest, WholeDaysSinceTheStoredDate) {
    SetZone("Asia/Shanghai");
    const std::time_t now = At(2026, 12, 8, 10);
    const struct {
        const wchar_t* stored;
        int gap;
    } cases[] = {
        {L"2026/12/8", 0},  {L"2026/12/7", 1},   {L"2026/12/5", 3},  {L"2026/10/29", 40}, {L"2026/12/9", -1},
        {L"2025/12/8", 365}, {L"0", 0},          {L"2026/12", 0},    {L"", 0},            {L"2026/13/1", 0},
        {L"2026/0/5", 0},   {L"1899/12/31", 0},  {L"2026/12/32", 0}, {L"x/y/z", 0},       {L"2026//8", 0},
        {L"2026/11/30/x", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(DayGapAt(c.stored, now), c.gap) << std::string(c.stored, c.stored + wcslen(c.stored));
    EXPECT_EQ(FormatLocalDate(now), L"2026/12/8");
}

TEST_F(DayGapTest, ADaylightSavingChangeIsStillOneDay) {
    SetZone("America/New_York");  // clocks go forward on 2026-03-08
    EXPECT_EQ(DayGapAt(L"2026/3/7", At(2026, 3, 8, 12)), 1);
    EXPECT_EQ(DayGapAt(L"2026/10/31", At(2026, 11, 1, 12)), 1);  // and back on 2026-11-01
}

TEST(Counters, ActivityCasesOfOneStart) {
    const struct {
        const char* name;
        std::uint32_t weekdays, keepdays;
        int gap;
        std::uint32_t mask;
        int count, apart;
        std::uint32_t keep;
    } cases[] = {
        {"first_ever", 0, 1, 0, 1, 1, 0, 1},
        {"same_day_again", 1, 4, 0, 1, 1, 0, 4},
        {"yesterday", 1, 4, 1, 3, 2, 0, 5},
        {"three_days_back", 0b0000101, 4, 3, 0b0101001, 3, 2, 1},
        {"six_days_back_keeps_bit_0", 0b1111111, 2, 6, 0b1000001, 2, 5, 1},
        {"forty_days", 0b1111111, 9, 40, 1, 1, 39, 1},
        {"clock_set_back", 0b11, 3, -1, 1, 1, -2, 1},
        {"stored_mask_above_128", 200, 1, 1, 1, 1, 0, 2},
        {"stored_mask_128", 128, 1, 0, 1, 1, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint32_t mask = NextWeekdaysMask(c.weekdays, c.gap);
        EXPECT_EQ(mask, c.mask);
        EXPECT_EQ(CountWeekdays(mask), c.count);
        EXPECT_EQ(ApartDays(c.gap), c.apart);
        EXPECT_EQ(NextKeepDays(c.keepdays, c.gap), c.keep);
    }
}

// --- addresses of a request ---------------------------------------------------

TEST(HttpAddress, SplitsHostPortAndObject) {
    const struct {
        const wchar_t* address;
        bool ok;
        const wchar_t* host;
        unsigned port;
        const wchar_t* object;
    } cases[] = {
        {L"http://h.example/a/b?c=1", true, L"h.example", 80, L"a/b?c=1"},
        {L"HTTP://h:8080/x", true, L"h", 8080, L"x"},
        {L"Http://h", true, L"h", 80, L""},
        {L"http://h/", true, L"h", 80, L""},
        {L"http://h:47302", true, L"h", 47302, L""},
        {L"http://h:70000/", true, L"h", 70000 & 0xFFFF, L""},
        {L"http://h:x/", true, L"h", 0, L""},
        {L"http://", true, L"", 80, L""},
        {L"https://h/", false, L"", 0, L""},
        {L"ftp://h/", false, L"", 0, L""},
        {L"http:/h", false, L"", 0, L""},
        {L"", false, L"", 0, L""},
    };
    for (const auto& c : cases) {
        HttpAddress a;
        ASSERT_EQ(SplitHttpAddress(c.address, a), c.ok) << std::string(c.address, c.address + wcslen(c.address));
        if (!c.ok) continue;
        EXPECT_EQ(a.host, c.host);
        EXPECT_EQ(a.port, c.port);
        EXPECT_EQ(a.object, c.object);
    }
}

TEST(HttpAddress, RefusesWhatDoesNotFitItsBuffers) {
    HttpAddress a;
    EXPECT_TRUE(SplitHttpAddress(L"http://" + std::wstring(259, L'h') + L"/" + std::wstring(511, L'o'), a));
    EXPECT_FALSE(SplitHttpAddress(L"http://" + std::wstring(260, L'h') + L"/", a));
    EXPECT_FALSE(SplitHttpAddress(L"http://h/" + std::wstring(512, L'o'), a));
}

// --- parsers against random input -------------------------------------------

TEST(Robustness, ParsersSurviveRandomInput) {
    std::mt19937 rng(4286);
    const char alphabet[] = "%0123456789abcdefABCDEF/|xyz ";
    const std::time_t now = 1796700000;
    for (int round = 0; round < 50000; ++round) {
        std::string bytes(rng() % 40, ' ');
        for (auto& b : bytes) b = rng() % 4 ? alphabet[rng() % (sizeof alphabet - 1)] : static_cast<char>(rng());
        const std::string decoded = PercentDecode(bytes);
        ASSERT_LE(decoded.size(), bytes.size());
        std::wstring wide(bytes.begin(), bytes.end());
        const int gap = DayGapAt(wide, now);
        ASSERT_GT(gap, -3000000);
        ASSERT_LT(gap, 3000000);
        HttpAddress a;
        SplitHttpAddress(L"http://" + wide, a);
    }
}

TEST(PercentDecode, DecodesOnlyWholeEscapes) {
    EXPECT_EQ(PercentDecode("a%7Cb%7cc"), "a|b|c");
    EXPECT_EQ(PercentDecode("%E6%89%93"), "\xE6\x89\x93");
    EXPECT_EQ(PercentDecode("100%"), "100%");
    EXPECT_EQ(PercentDecode("%4"), "%4");
    EXPECT_EQ(PercentDecode("%zz%41"), "%zzA");
    EXPECT_EQ(PercentDecode("%%41"), "%A");
}

// Texts from the portal (icon names, the login record) are UTF-8; what the
// client sends is UTF-8 again. Bad bytes and lone surrogates become U+FFFD.
TEST(Utf8, BothWaysAndWhatIsNotText) {
    const struct {
        const char* utf8;
        std::wstring wide;
    } both[] = {
        {"a\xC3\xA9\xE6\x98\x9F\xE5\x85\x89\xE5\xB2\x9B", L"a\u00E9\u661F\u5149\u5C9B"},
        {"\xF0\x9F\x8E\xAE!", std::wstring{wchar_t(0xD83C), wchar_t(0xDFAE), L'!'}},  // above the BMP: a pair
    };
    for (const auto& c : both) {
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.wide) << c.utf8;
        EXPECT_EQ(Utf16ToUtf8(c.wide), c.utf8) << c.utf8;
    }
    const struct {
        const char* utf8;
        const wchar_t* wide;
    } bad[] = {
        {"\xC0\xAF", L"\uFFFD\uFFFD"},          // an overlong start byte, then a lone continuation
        {"\xE0\x80\xAF", L"\uFFFD"},            // an overlong three-byte form
        {"\xED\xA0\x80x", L"\uFFFDx"},          // a surrogate written as UTF-8
        {"\xF4\x90\x80\x80", L"\uFFFD"},       // above U+10FFFF
        {"\xE6\x98", L"\uFFFD\uFFFD"},          // cut short
    };
    for (const auto& c : bad) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.wide) << c.utf8;
    EXPECT_EQ(Utf16ToUtf8(std::wstring{wchar_t(0xD800), L'a', wchar_t(0xDC00)}), "\xEF\xBF\xBD" "a\xEF\xBF\xBD");
}

}  // namespace
