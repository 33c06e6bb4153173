#include "app/run_mode.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

constexpr wchar_t kInstall[] = L"C:\\ProgramData\\4286\\GameLogin";
constexpr wchar_t kInstalledExe[] = L"C:\\ProgramData\\4286\\GameLogin\\Lumendor.exe";
constexpr wchar_t kDownloadedExe[] = L"C:\\users\\me\\Downloads\\Lumendor.exe";

struct ModeCase {
    const char* name;
    std::vector<std::wstring> args;
    const wchar_t* exe;
    int mode;
};

class RunModeTable : public ::testing::TestWithParam<ModeCase> {};

TEST_P(RunModeTable, ChoosesMode) {
    const ModeCase& c = GetParam();
    EXPECT_EQ(DecideRunMode(c.args, c.exe, kInstall).mode, c.mode);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, RunModeTable,
    ::testing::Values(
        ModeCase{"none_outside", {}, kDownloadedExe, ModeFirstRun},
        ModeCase{"none_inside", {}, kInstalledExe, ModeInstalled},
        ModeCase{"unknown_outside", {L"/whatever"}, kDownloadedExe, ModeFirstRun},
        ModeCase{"unknown_inside", {L"/whatever"}, kInstalledExe, ModeInstalled},
        ModeCase{"web", {L"/web4286D"}, kDownloadedExe, ModeWeb},
        ModeCase{"shortcut", {L"/Lm03000D"}, kDownloadedExe, ModeShortcut},
        ModeCase{"shortcut_lower", {L"/lm03000d"}, kInstalledExe, ModeShortcut},
        ModeCase{"uninst", {L"/uninst"}, kInstalledExe, ModeUninstall},
        ModeCase{"uninst_caps", {L"/UNINST"}, kDownloadedExe, ModeUninstall},
        ModeCase{"update", {L"/Update"}, kDownloadedExe, ModeUpdated},
        ModeCase{"newgm", {L"/newgm", L"h1", L"xhttp://a/"}, kDownloadedExe, ModeNewGame},
        ModeCase{"gmhall", {L"/GMHALL", L"h7"}, kDownloadedExe, ModeGameHall},
        ModeCase{"logo", {L"/logo"}, kInstalledExe, ModeLogo},
        // Only the first argument decides.
        ModeCase{"second_ignored", {L"/nothing", L"/uninst"}, kDownloadedExe, ModeFirstRun},
        ModeCase{"prefix_not_enough", {L"/uninstall"}, kDownloadedExe, ModeFirstRun},
        // Installed when the install folder occurs anywhere in the path.
        ModeCase{"contains_install_dir", {}, L"D:\\copy\\C:\\PROGRAMDATA\\4286\\gamelogin\\x.exe", ModeInstalled},
        ModeCase{"case_of_path", {}, L"c:\\programdata\\4286\\gamelogin\\Lumendor.exe", ModeInstalled},
        ModeCase{"sibling_folder", {}, L"C:\\ProgramData\\4286\\GameLogi\\Lumendor.exe", ModeFirstRun}),
    [](const auto& info) { return std::string(info.param.name); });

struct HallCase {
    const char* name;
    std::vector<std::wstring> args;
    std::int64_t hall;
    bool hasUrl;
    std::wstring url;
};

class HallArgs : public ::testing::TestWithParam<HallCase> {};

TEST_P(HallArgs, ReadsHallAndAddress) {
    const HallCase& c = GetParam();
    RunModeDecision d = DecideRunMode(c.args, kDownloadedExe, kInstall);
    EXPECT_TRUE(d.hasHallWindow);
    EXPECT_EQ(d.hallWindow, c.hall);
    EXPECT_EQ(d.hasGameUrl, c.hasUrl);
    EXPECT_EQ(d.gameUrl, c.url);
}

const std::wstring k15(15, L'7');   // fits the 16-character buffer
const std::wstring k16(16, L'7');   // does not
const std::wstring kLongUrl = L"x" + std::wstring(2047, L'u');  // 2048: too long

INSTANTIATE_TEST_SUITE_P(
    Arguments, HallArgs,
    ::testing::Values(
        HallCase{"letter_prefix", {L"/gmhall", L"h12345"}, 12345, false, L""},
        HallCase{"digit_prefix_skipped", {L"/gmhall", L"12345"}, 2345, false, L""},
        HallCase{"missing_hall", {L"/gmhall"}, 0, false, L""},
        HallCase{"one_char", {L"/gmhall", L"h"}, 0, false, L""},
        HallCase{"not_a_number", {L"/gmhall", L"habc"}, 0, false, L""},
        HallCase{"fits_buffer", {L"/gmhall", L"h" + k15.substr(0, 14)}, 2147483647, false, L""},
        HallCase{"fits_buffer_small", {L"/gmhall", L"h" + std::wstring(13, L'0') + L"9"}, 9, false, L""},
        HallCase{"over_long_hall", {L"/gmhall", k16}, 0, false, L""},
        HallCase{"saturates", {L"/gmhall", L"h99999999999"}, 2147483647, false, L""},
        HallCase{"newgm_url", {L"/newgm", L"h42", L"xhttp://g.example/play?s=1"}, 42, true,
                 L"http://g.example/play?s=1"},
        HallCase{"newgm_no_url", {L"/newgm", L"h42"}, 42, true, L""},
        HallCase{"newgm_nothing", {L"/newgm"}, 0, true, L""},
        HallCase{"newgm_over_long_url", {L"/newgm", L"h5", kLongUrl}, 5, true, L""},
        HallCase{"newgm_longest_url", {L"/newgm", L"h5", kLongUrl.substr(0, 2047)}, 5, true,
                 kLongUrl.substr(1, 2046)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseDecimalInt, ReadsLikeTheRuntime) {
    struct {
        const wchar_t* text;
        std::int32_t value;
    } cases[] = {{L"", 0},         {L"12ab", 12},         {L"  -7", -7},          {L"+5", 5},
                 {L"x1", 0},       {L"2147483648", 2147483647}, {L"-2147483649", -2147483647 - 1}};
    for (const auto& c : cases) EXPECT_EQ(ParseDecimalInt(c.text), c.value) << std::string(c.text, c.text + wcslen(c.text)).c_str();
}

TEST(CrashDumpPath, CutsAtLastDotInPlace) {
    const struct {
        const wchar_t* path;
        std::size_t capacity;
        const wchar_t* dump;  // null: refused, the path unchanged
    } cases[] = {
        {L"C:\\a.b\\Lumendor.exe", 260, L"C:\\a.b\\Lumendor.dmp"},
        {L"C:\\a.b\\noext", 260, L"C:\\a.dmp"},  // the last "." wherever it is
        {L"C:\\plain\\noext", 260, nullptr},
        {L"a.exe", 6, L"a.dmp"},                // exactly fits
        {L"a.", 6, L"a.dmp"},
        {L"ab.", 6, nullptr},                   // ".dmp" and its zero need one more
        {L"a.exe", 5, nullptr},                 // no zero within the capacity
    };
    for (const auto& c : cases) {
        wchar_t buffer[300] = {};
        wcscpy(buffer, c.path);
        EXPECT_EQ(CrashDumpPathFor(buffer, c.capacity), c.dump != nullptr) << static_cast<int>(&c - cases);
        EXPECT_EQ(std::wstring(buffer), c.dump ? c.dump : c.path) << static_cast<int>(&c - cases);
    }
}

TEST(UninstallQuestion, CutsDisplayName) {
    EXPECT_EQ(UninstallQuestion(L"Lumendor"), L"确定要移除 Lumendor 吗？");
    const std::wstring longName(80, L'n');
    EXPECT_EQ(UninstallQuestion(longName), L"确定要移除 " + std::wstring(63, L'n') + L" 吗？");
}

}  // namespace
