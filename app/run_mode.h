// The run-mode decision: which of the client's start paths a command line
// selects. Portable: no Windows headers.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum RunModeValue : int {
    ModeFirstRun = 0,
    ModeWeb = 1,
    ModeShortcut = 2,
    ModeInstalled = 3,
    ModeUninstall = 4,
    ModeUpdated = 5,
    ModeNewGame = 6,
    ModeGameHall = 7,
    ModeLogo = 8,
};

// Buffer sizes of the hall-handle and game-address arguments, terminator
// included. A longer argument does not fit and is taken as empty.
constexpr std::size_t kHallArgCapacity = 16;
constexpr std::size_t kGameUrlArgCapacity = 2048;

struct RunModeDecision {
    int mode = ModeFirstRun;
    bool hasHallWindow = false;    // modes 6 and 7 set HallWindow
    std::int64_t hallWindow = 0;
    bool hasGameUrl = false;       // mode 6 sets GameUrl
    std::wstring gameUrl;
};

// args: the command-line arguments after the program name.
// exePath: this executable's full path; installDir: the install folder.
RunModeDecision DecideRunMode(const std::vector<std::wstring>& args,
                              std::wstring_view exePath,
                              std::wstring_view installDir);

// ASCII-only case folding, as the C runtime does in the "C" locale.
std::wstring AsciiUpper(std::wstring_view text);
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);

// Decimal text to integer the way the C runtime's _wtoi reads it: leading
// blanks, an optional sign, then digits up to the first non-digit; no digits
// give 0; values beyond the 32-bit range saturate.
std::int32_t ParseDecimalInt(std::wstring_view text);

// Where the crash dump of an executable goes: its path (zero-terminated) cut
// at the last "." with ".dmp" appended, in place, within `capacity`
// characters. False, the path unchanged, when it has no "." or the name
// does not fit. Takes no memory: the crash filter runs it.
bool CrashDumpPathFor(wchar_t* path, std::size_t capacity);

// The uninstall question, with the display name cut to 63 characters.
std::wstring UninstallQuestion(std::wstring_view displayName);
