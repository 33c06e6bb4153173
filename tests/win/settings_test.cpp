// The settings file and registry values through the real profile and
// registry functions.
#include <gtest/gtest.h>

#include <string>

#include "settings/settings_win.h"
#include "test_util.h"

namespace {

TEST(StatIni, LivesInTheCommonAppDataInstallFolder) {
    wchar_t common[MAX_PATH] = {};
    ASSERT_EQ(::ExpandEnvironmentStringsW(L"%ProgramData%", common, MAX_PATH) > 0, true);
    EXPECT_EQ(StatIniPath(), std::wstring(common) + L"\\4286\\GameLogin\\Statistic.ini");
    EXPECT_EQ(InstallDirPath(), std::wstring(common) + L"\\4286\\GameLogin");
}

TEST(Settings, MissingFileReadsAsDefaults) {
    const std::wstring path = TempFilePath(L"missing");
    struct {
        SettingKey key;
        const wchar_t* expected;
    } cases[] = {
        {Keys::InstallTag, L"1"}, {Keys::Inst, L"0"},          {Keys::UnInst, L"0"},     {Keys::Game, L"0"},
        {Keys::KeepDays, L"1"},   {Keys::LstTime, L"0"},       {Keys::IconName, L""},    {Keys::IconTime, L""},
        {Keys::ShortKey, L"0,121"}, {Keys::AltWndKey, L"2,9"}, {Keys::SndKey, L"2,81"},  {Keys::RegUrl, L"0"},
        {Keys::Key, L"0"},        {Keys::LoginCount, L"0"},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadSetting(c.key, path), c.expected) << c.key.name;
    EXPECT_EQ(ReadCounter(Keys::Inst, path), 0u);
    EXPECT_EQ(ReadCounter(Keys::KeepDays, path), 1u);
    EXPECT_EQ(ReadWeekdays(path), 0u);
    EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);  // reading creates nothing
}

// The first bytes of a file, or nothing when it cannot be read.
std::string FileHead(const std::wstring& path, DWORD count) {
    std::string head(count, '\0');
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    DWORD got = 0;
    ::ReadFile(file, head.data(), count, &got, nullptr);
    ::CloseHandle(file);
    head.resize(got);
    return head;
}

TEST(Settings, TextOutsideTheAnsiCodePageSurvivesInANewFile) {
    // Names given by the portal are Chinese; the ANSI code page need not hold them.
    struct {
        SettingKey key;
        const wchar_t* value;
    } cases[] = {{Keys::IconName, L"\x661F\x5149\x5C9B"}, {Keys::RegUrl, L"http://x/?n=\x00E9\x4E2D"},
                 {Keys::Key, L"\x0416\x05D0"}};
    for (const auto& c : cases) {
        const std::wstring path = TempFilePath(L"unicode");
        ASSERT_TRUE(WriteSetting(c.key, c.value, path));
        ASSERT_TRUE(WriteSetting(Keys::Game, L"3", path));  // later writes keep it
        EXPECT_EQ(ReadSetting(c.key, path), c.value) << c.key.name;
        EXPECT_EQ(ReadCounter(Keys::Game, path), 3u);
        EXPECT_EQ(FileHead(path, 2), "\xFF\xFE");
        ::DeleteFileW(path.c_str());
    }
}

TEST(Settings, AnExistingFileKeepsItsEncodingAndAMissingFolderStaysMissing) {
    const std::wstring path = TempFilePath(L"ansi");
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const char text[] = "[Lm03000]\r\nGame=4\r\n";
    DWORD written = 0;
    ::WriteFile(file, text, sizeof text - 1, &written, nullptr);
    ::CloseHandle(file);
    EXPECT_EQ(IncrementCounter(Keys::Game, path), 5u);
    EXPECT_EQ(FileHead(path, 9), "[Lm03000]");
    ::DeleteFileW(path.c_str());

    const std::wstring nowhere = TempFilePath(L"no-such-folder") + L"\\Statistic.ini";
    EXPECT_FALSE(WriteSetting(Keys::Game, L"1", nowhere));
    EXPECT_EQ(::GetFileAttributesW(nowhere.c_str()), INVALID_FILE_ATTRIBUTES);
    // Removing a key from a file that is not there creates nothing either.
    const std::wstring none = TempFilePath(L"remove");
    WriteSettingRaw(Keys::Game.name, nullptr, none);
    EXPECT_EQ(::GetFileAttributesW(none.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Settings, WeekdaysAbove128CountAsZero) {
    const std::wstring path = TempFilePath(L"weekdays");
    struct {
        const wchar_t* stored;
        std::uint32_t read;
    } cases[] = {{L"200", 0}, {L"129", 0}, {L"128", 128}, {L"127", 127}, {L"5", 5}, {L"-3", 0}, {L"x", 0}};
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteSettingRaw(Keys::Weekdays.name, c.stored, path));
        EXPECT_EQ(ReadWeekdays(path), c.read) << c.stored;
    }
    ::DeleteFileW(path.c_str());
}

TEST(Settings, CountersIncrementAsUnsignedText) {
    const std::wstring path = TempFilePath(L"counters");
    struct {
        const wchar_t* stored;  // null: key absent
        std::uint32_t next;
        const wchar_t* written;
    } cases[] = {
        {nullptr, 1, L"1"}, {L"abc", 1, L"1"}, {L"41", 42, L"42"}, {L"7days", 8, L"8"},
        {L"2147483647", 2147483648u, L"2147483648"}, {L"4294967295", 4294967295u, L"4294967295"},
    };
    for (const auto& c : cases) {
        ::WritePrivateProfileStringW(kSettingsSection, Keys::Game.name, c.stored, path.c_str());
        EXPECT_EQ(IncrementCounter(Keys::Game, path), c.next);
        EXPECT_EQ(ReadRaw(path, kSettingsSection, Keys::Game.name), c.written);
    }
    ::DeleteFileW(path.c_str());
}

TEST(Settings, ReadsAreCutToTheKeyCapacity) {
    const std::wstring path = TempFilePath(L"capacity");
    const std::wstring longText(3000, L'z');
    struct {
        SettingKey key;
        std::size_t kept;
    } cases[] = {{Keys::InstallTag, 7}, {Keys::IconName, 31}, {Keys::IconTime, 63}, {Keys::LstTime, 15},
                 {Keys::RegUrl, 2047}};
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteSetting(c.key, longText, path));
        EXPECT_EQ(ReadSetting(c.key, path), longText.substr(0, c.kept)) << c.key.name;
    }
    ::DeleteFileW(path.c_str());
}

TEST(Settings, WhatIsJudgedIntactReadsBackAndTheRestDoesNot) {
    // Every value through the real profile write and read: those judged
    // intact come back unchanged, the others do not (control characters
    // inside a value are kept out whether or not they survive).
    const std::wstring values[] = {
        L"\x661F\x5149\x5C9B", L"Moon v1.2 (beta)", L"a'b'", L"'a", L"x=y;z", L"[x]", L"20261208",
        L"\x6708 \x5149", L"\x3000\x661F", L"\x661F\x00A0", std::wstring(31, L'n'), std::wstring(32, L'n'),
        std::wstring(63, L't'), std::wstring(64, L't'), L" lead", L"trail ", L"\tx", L"x\t", L"'quoted'", L"\"q\"",
        L"''", L"a\rb", L"a\nb",
        std::wstring(62, L't') + L"\xD83D",  // a time cut inside a surrogate pair
    };
    const SettingKey keys[] = {Keys::IconName, Keys::IconTime};
    std::string wrong;  // the cases judged wrongly, by key and position
    for (const SettingKey& key : keys) {
        for (std::size_t i = 0; i < std::size(values); ++i) {
            const std::wstring path = TempFilePath(L"intact");
            ASSERT_TRUE(WriteSetting(key, values[i], path));
            if ((ReadSetting(key, path) == values[i]) != ReadsBackIntact(values[i], key.capacity))
                wrong += std::string(key.capacity == 32 ? " name#" : " time#") + std::to_string(i);
            ::DeleteFileW(path.c_str());
        }
    }
    EXPECT_EQ(wrong, "");
    EXPECT_FALSE(ReadsBackIntact(L"a\x01" L"b", Keys::IconTime.capacity));
}

TEST(CIni, ByteBlockIsLetterHexInOurSection) {
    const std::wstring path = TempFilePath(L"cini");
    CIni ini(path.c_str(), L"Elsewhere");
    const BYTE bytes[] = {0x00, 0xFF, 0x3C};
    ASSERT_TRUE(ini.WriteBytes(3, L"sealed key", bytes));
    EXPECT_EQ(ReadRaw(path, L"Lm03000", L"sealed key"), L"AAPPMD");
    EXPECT_EQ(ReadRaw(path, L"Elsewhere", L"sealed key"), L"<missing>");
    EXPECT_EQ(ini.Section(), L"Lm03000");
    ::DeleteFileW(path.c_str());
}

TEST(CIni, PathAndSectionRules) {
    const std::wstring folder = TestFolder();
    struct {
        const wchar_t* path;
        const wchar_t* section;
        std::wstring expectedPath;
        std::wstring expectedSection;
    } cases[] = {
        {L"", L"", folder + L"win_tests.ini", L"win_tests"},
        {nullptr, L"S", folder + L"win_tests.ini", L"S"},
        {L"relative.ini", L"S", folder + L"relative.ini", L"S"},
        {L"sub\\x.ini", L"S", folder + L"sub\\x.ini", L"S"},
        {L"C:\\abs\\y.ini", L"S", L"C:\\abs\\y.ini", L"S"},
    };
    for (const auto& c : cases) {
        CIni ini(c.path, c.section);
        EXPECT_EQ(ini.Path(), c.expectedPath);
        EXPECT_EQ(ini.Section(), c.expectedSection);
    }
}

// Type and data size of a value exactly as stored.
bool RawValueInfo(HKEY key, const wchar_t* name, DWORD& type, DWORD& size) {
    struct UnicodeString {
        USHORT Length, MaximumLength;
        PWSTR Buffer;
    };
    struct PartialInfo {
        ULONG TitleIndex, Type, DataLength;
        UCHAR Data[1];
    };
    using NtQueryValueKeyFn = LONG(WINAPI*)(HANDLE, UnicodeString*, int, void*, ULONG, ULONG*);
    auto fn = reinterpret_cast<NtQueryValueKeyFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryValueKey")));
    if (!fn) return false;
    std::wstring n = name;
    UnicodeString us{static_cast<USHORT>(n.size() * 2), static_cast<USHORT>(n.size() * 2), n.data()};
    alignas(8) BYTE buffer[1024];
    ULONG got = 0;
    if (fn(key, &us, 2 /* KeyValuePartialInformation */, buffer, sizeof buffer, &got) != 0) return false;
    const auto* info = reinterpret_cast<const PartialInfo*>(buffer);
    type = info->Type;
    size = info->DataLength;
    return true;
}

// The auto-start value of a 32-bit client under WOW64.
class Registry : public ::testing::Test {
protected:
    void TearDown() override { DeleteAutoRun(); }
};

TEST_F(Registry, AutoRunLivesUnderWow6432NodeWithoutTerminator) {
    ASSERT_TRUE(IsWow64());  // a 32-bit program under a 64-bit Wine
    EXPECT_STREQ(RunKeyPath(), L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
    const std::wstring exe = L"C:\\ProgramData\\4286\\GameLogin\\Lumendor.exe";
    ASSERT_TRUE(WriteAutoRun(exe));
    EXPECT_TRUE(IsAutoRunOn());

    // Seen from the 64-bit view the value sits below Wow6432Node.
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                              KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key),
              ERROR_SUCCESS);
    // Stored as exactly twice its character count, no terminator.
    DWORD type = 0, size = 0;
    ASSERT_TRUE(RawValueInfo(key, L"Lm03000", type, size));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, exe.size() * 2);
    wchar_t data[MAX_PATH] = {};
    DWORD room = sizeof data;
    ASSERT_EQ(::RegQueryValueExW(key, L"Lm03000", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &room),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_EQ(std::wstring(data), exe);

    // And not in the 64-bit program's own Run key.
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                              KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(::RegQueryValueExW(key, L"Lm03000", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    ::RegCloseKey(key);

    EXPECT_TRUE(DeleteAutoRun());
    EXPECT_FALSE(IsAutoRunOn());
    EXPECT_FALSE(DeleteAutoRun());
}

TEST_F(Registry, EmptyAutoRunDataCountsAsOff) {
    ASSERT_TRUE(WriteAutoRun(L""));
    EXPECT_FALSE(IsAutoRunOn());
}

TEST_F(Registry, CacheLimitNeedsTheBrowserCacheKey) {
    const wchar_t* path = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache\\Content";
    ::RegDeleteKeyW(HKEY_CURRENT_USER, path);
    EXPECT_FALSE(RaiseCacheLimit());  // opened, never created

    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_TRUE(RaiseCacheLimit());
    DWORD value = 0, size = sizeof value, type = 0;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, path, L"CacheLimit", RRF_RT_REG_DWORD, &type, &value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 0x100000u);
}

TEST_F(Registry, EnableLuaIsReadWhenPresent) {
    const wchar_t* path = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegDeleteValueW(key, L"EnableLUA");
    DWORD value = 7;
    EXPECT_FALSE(ReadEnableLua(value));
    const DWORD one = 1;
    ::RegSetValueExW(key, L"EnableLUA", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    EXPECT_TRUE(ReadEnableLua(value));
    EXPECT_EQ(value, 1u);
    ::RegDeleteValueW(key, L"EnableLUA");
    ::RegCloseKey(key);
}

}  // namespace
