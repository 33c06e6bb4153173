// Crash dumps: one per process, beside the executable, under its name.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "app/halvane3_app_win.h"
#include "test_util.h"

namespace {

// Runs crash_probe.exe with the given argument and collects its output.
ProgramRun RunProbe(const std::wstring& args) { return RunProgram(L"crash_probe.exe", args); }

std::string FileHead(const std::wstring& path, DWORD* size = nullptr) {
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return {};
    char head[4] = {};
    DWORD got = 0;
    ::ReadFile(f, head, 4, &got, nullptr);
    if (size) *size = ::GetFileSize(f, nullptr);
    ::CloseHandle(f);
    return std::string(head, got);
}

const std::wstring kDump = TestFolder() + L"crash_probe.dmp";

// The dump holds the process's memory, the player's login token among it:
// it is made with an access list for its user alone (this system keeps no
// access lists on files, so the list is read from the descriptor the file
// is created with), and a file another user left in its place (here a
// second name of another file) is replaced, never written through.
TEST(CrashDump, UnhandledCrashLeavesOneDumpBesideTheExeForItsUserAlone) {
    ::DeleteFileW(kDump.c_str());
    const std::wstring victim = TestFolder() + L"crash_victim.txt";
    ::DeleteFileW(victim.c_str());
    HANDLE f = ::CreateFileW(victim.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(f, "keep", 4, &written, nullptr);
    ::CloseHandle(f);
    ASSERT_TRUE(::CreateHardLinkW(kDump.c_str(), victim.c_str(), nullptr));

    PrepareCrashDumpSecurity();
    LPWSTR text = nullptr;
    ASSERT_TRUE(CrashDumpSecurity() && ::ConvertSecurityDescriptorToStringSecurityDescriptorW(
                                           CrashDumpSecurity(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
    EXPECT_EQ(std::wstring(text), L"D:P(A;;GA;;;" + UserSid() + L")");
    ::LocalFree(text);

    ProgramRun run = RunProbe(L"crash");
    EXPECT_NE(run.exitCode, 0u);
    DWORD size = 0;
    EXPECT_EQ(FileHead(kDump, &size), "MDMP");
    EXPECT_GT(size, 1000u);
    EXPECT_EQ(FileHead(victim), "keep");
    ::DeleteFileW(kDump.c_str());
    ::DeleteFileW(victim.c_str());
}

// A crash while another thread holds the C runtime's heap: the filter takes
// no memory and still writes the dump (a filter that allocates hangs).
TEST(CrashDump, CrashWhileTheHeapIsLockedStillLeavesADump) {
    ::DeleteFileW(kDump.c_str());
    const std::wstring exe = TestFolder() + L"crash_probe.exe";
    std::wstring cmd = L"\"" + exe + L"\" locked";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    const bool ended = ::WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0;
    if (!ended) ::TerminateProcess(pi.hProcess, 99);
    DWORD code = 0;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    EXPECT_TRUE(ended) << "the crash filter hangs";
    ASSERT_NE(code, 3u) << "the heap lock does not hold malloc back";
    DWORD size = 0;
    EXPECT_EQ(FileHead(kDump, &size), "MDMP");
    EXPECT_GT(size, 1000u);
    ::DeleteFileW(kDump.c_str());
}

TEST(CrashDump, SecondCrashOfAProcessAnswersExecuteHandler) {
    ::DeleteFileW(kDump.c_str());
    ProgramRun run = RunProbe(L"twice");
    EXPECT_EQ(run.output, "0 1\n");  // EXCEPTION_CONTINUE_SEARCH, then EXCEPTION_EXECUTE_HANDLER
    EXPECT_EQ(FileHead(kDump), "MDMP");
    ::DeleteFileW(kDump.c_str());
}

TEST(CrashDump, WithoutExceptionInformationDumpsAndGoesOn) {
    const std::wstring path = TestFolder() + L"direct.dmp";
    ::DeleteFileW(path.c_str());
    ProgramRun direct = RunProbe(L"direct \"" + path + L"\"");
    EXPECT_EQ(direct.output, "1 after\n");
    EXPECT_EQ(FileHead(path), "MDMP");
    ::DeleteFileW(path.c_str());
}

}  // namespace
