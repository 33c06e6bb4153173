// libFuzzer target over the client's text parsers: whatever arrives from
// the settings file, the login page or the command line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/run_mode.h"
#include "net/http_address.h"
#include "settings/settings_keys.h"
#include "stats/beacons.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // Wide text: pairs of bytes as code units.
    std::wstring wide;
    for (std::size_t i = 0; i + 1 < size; i += 2) wide.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));

    const std::string decoded = PercentDecode(bytes);
    if (decoded.size() > bytes.size()) __builtin_trap();

    LocalDate date{};
    if (ParseStoredDate(wide, date) && (date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31))
        __builtin_trap();
    (void)DayGapAt(wide, 1796700000);

    HttpAddress address;
    if (SplitHttpAddress(wide, address) && (address.host.size() >= kHostCapacity || address.object.size() >= kObjectCapacity))
        __builtin_trap();

    if (UrlEncodeUtf8(wide, 64).size() > 63) __builtin_trap();
    (void)ParseCounterText(wide);
    (void)ParseDecimalInt(wide);

    std::basic_string<std::uint8_t> raw;
    if (LetterHexDecode(wide, raw) && LetterHexEncode(raw.data(), raw.size()) != wide) __builtin_trap();

    const auto split = wide.find(L' ');
    std::vector<std::wstring> args;
    if (split != std::wstring::npos) {
        args.push_back(wide.substr(0, split));
        args.push_back(wide.substr(split + 1));
    } else {
        args.push_back(wide);
    }
    const RunModeDecision d = DecideRunMode(args, wide, L"C:\\ProgramData\\4286\\GameLogin");
    if (d.mode < 0 || d.mode > 8) __builtin_trap();
    return 0;
}
