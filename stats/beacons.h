// Beacon addresses and the activity counters behind them. Portable: hosts
// and the adapter text come from the caller.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::wstring_view text);
// UTF-8 to UTF-16 as the system converts without strict checking: invalid
// sequences become U+FFFD.
std::wstring Utf8ToUtf16(std::string_view bytes);

// Every byte of the UTF-8 form that is not an ASCII letter or digit as
// "%XX" (upper-case hex); the result cut to capacity - 1 characters.
std::wstring UrlEncodeUtf8(std::wstring_view text, std::size_t capacity = 1024);

// Decodes "%XX" sequences of a byte string; anything else stays as it is.
std::string PercentDecode(std::string_view text);

// Capacities of the addresses, terminator included.
inline constexpr std::size_t kEventAddressCapacity = 2048;
inline constexpr std::size_t kBeaconAddressCapacity = 512;
inline constexpr std::size_t kOnlineAddressCapacity = 256;

std::wstring RegistrationPageUrl(std::wstring_view portalHost);

// The registration-event beacon.
std::wstring FormatRegEventUrl(std::wstring_view eventHost, std::wstring_view portalHost, std::wstring_view event,
                               std::wstring_view eventName, std::wstring_view userSession);

std::wstring FormatInstallUrl(std::wstring_view statsHost, std::uint32_t count);
std::wstring FormatUninstallUrl(std::wstring_view statsHost, std::uint32_t count);
std::wstring FormatActiveUrl(std::wstring_view statsHost, std::uint32_t count, int apartDays, int keepDays,
                             int weekdays);
std::wstring FormatLoginStatsUrl(std::wstring_view statsHost, std::wstring_view uid, int index);
std::wstring FormatOnlineRecordUrl(std::wstring_view onlineHost, std::wstring_view game, std::wstring_view server,
                                   long length);
// "_az.gif" or "_xz.gif" with the identity query.
std::wstring FormatUnionUrl(std::wstring_view unionHost, std::wstring_view gifName, std::wstring_view identityQuery);

// --- Day gap and counters -------------------------------------------------

struct LocalDate {
    int year, month, day;
};

// The year, month and day of a stored "y/m/d" text: false unless it has a
// first and a last "/" that differ, or when the values are outside
// year >= 1900, month 1..12, day 1..31.
bool ParseStoredDate(std::wstring_view text, LocalDate& date);

// Whole days between the stored date (at the current time of day) and `now`,
// both in local time. A text that is not a date counts as today.
int DayGapAt(std::wstring_view lastStart, std::time_t now);

// "%d/%d/%d" of the local date of `now`.
std::wstring FormatLocalDate(std::time_t now);

// weekdays step: the new mask from the stored one and the gap.
std::uint32_t NextWeekdaysMask(std::uint32_t stored, int gap);
// Set bits among bits 0 to 6.
int CountWeekdays(std::uint32_t mask);
// apartdays: 0 for a gap below 2 taken as unsigned, else gap - 1.
int ApartDays(int gap);
// keepdays: the stored value, plus one after exactly one day, for a gap
// below 2 taken as unsigned; otherwise 1.
std::uint32_t NextKeepDays(std::uint32_t stored, int gap);
