#include "app/run_mode.h"

#include <climits>

namespace {

struct Switch {
    const wchar_t* text;
    int mode;
};

// Compared in this order; only the first argument decides.
constexpr Switch kSwitches[] = {
    {L"/web4286D", ModeWeb},     {L"/Lm03000D", ModeShortcut},
    {L"/uninst", ModeUninstall}, {L"/update", ModeUpdated},
    {L"/newgm", ModeNewGame},    {L"/gmhall", ModeGameHall},
    {L"/Logo", ModeLogo},
};

wchar_t UpperAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; }

// The argument as it would sit in a buffer of `capacity` characters: empty
// when missing or too long to fit with its terminator.
std::wstring_view BoundedArg(const std::vector<std::wstring>& args, std::size_t index, std::size_t capacity) {
    if (index >= args.size() || args[index].size() >= capacity) return {};
    return args[index];
}

// The hall handle is read from the argument's second character on: the
// first one is a prefix the hall puts there.
std::int64_t HallFromArg(std::wstring_view arg) {
    if (arg.size() < 2) return 0;
    return ParseDecimalInt(arg.substr(1));
}

}  // namespace

std::wstring AsciiUpper(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out) c = UpperAscii(c);
    return out;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}

std::int32_t ParseDecimalInt(std::wstring_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<std::int32_t>(value);
}

RunModeDecision DecideRunMode(const std::vector<std::wstring>& args,
                              std::wstring_view exePath,
                              std::wstring_view installDir) {
    RunModeDecision d;
    if (!args.empty()) {
        for (const auto& sw : kSwitches) {
            if (!EqualsNoCase(args[0], sw.text)) continue;
            d.mode = sw.mode;
            if (sw.mode == ModeNewGame || sw.mode == ModeGameHall) {
                d.hasHallWindow = true;
                d.hallWindow = HallFromArg(BoundedArg(args, 1, kHallArgCapacity));
            }
            if (sw.mode == ModeNewGame) {
                d.hasGameUrl = true;
                std::wstring_view url = BoundedArg(args, 2, kGameUrlArgCapacity);
                if (!url.empty()) d.gameUrl.assign(url.substr(1));
            }
            return d;
        }
    }
    const std::wstring exeUpper = AsciiUpper(exePath);
    const std::wstring dirUpper = AsciiUpper(installDir);
    d.mode = exeUpper.find(dirUpper) != std::wstring::npos ? ModeInstalled : ModeFirstRun;
    return d;
}

bool CrashDumpPathFor(wchar_t* path, std::size_t capacity) {
    static constexpr wchar_t kExtension[] = L".dmp";
    std::size_t dot = capacity, length = 0;
    for (; length < capacity && path[length]; ++length)
        if (path[length] == L'.') dot = length;
    if (length == capacity || dot == capacity || dot + sizeof kExtension / sizeof *kExtension > capacity)
        return false;
    for (std::size_t i = 0; i < sizeof kExtension / sizeof *kExtension; ++i) path[dot + i] = kExtension[i];
    return true;
}

std::wstring UninstallQuestion(std::wstring_view displayName) {
    std::wstring text = L"确定要移除 ";
    text += displayName.substr(0, 63);
    text += L" 吗？";
    return text;
}
