// Crash dumps: one per process, beside the executable, under its name.
#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace {

struct ProbeRun {
    DWORD exitCode = 0;
    std::string output;
};

// Runs crash_probe.exe with the given argument and collects its output.
ProbeRun RunProbe(const std::wstring& args) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ::CreatePipe(&readEnd, &writeEnd, &sa, 0);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi{};
    std::wstring exe = TestFolder() + L"crash_probe.exe";
    std::wstring cmd = L"\"" + exe + L"\" " + args;
    ProbeRun run;
    if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        run.exitCode = 0xFFFFFFFF;
        return run;
    }
    ::CloseHandle(writeEnd);
    char buf[256];
    DWORD got = 0;
    while (::ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got)
        for (DWORD i = 0; i < got; ++i)
            if (buf[i] != '\r') run.output.push_back(buf[i]);
    ::WaitForSingleObject(pi.hProcess, 60000);
    ::GetExitCodeProcess(pi.hProcess, &run.exitCode);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(readEnd);
    return run;
}

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

TEST(CrashDump, UnhandledCrashLeavesOneDumpBesideTheExe) {
    ::DeleteFileW(kDump.c_str());
    ProbeRun run = RunProbe(L"crash");
    EXPECT_NE(run.exitCode, 0u);
    DWORD size = 0;
    EXPECT_EQ(FileHead(kDump, &size), "MDMP");
    EXPECT_GT(size, 1000u);
    ::DeleteFileW(kDump.c_str());
}

TEST(CrashDump, SecondCrashOfAProcessAnswersExecuteHandler) {
    ::DeleteFileW(kDump.c_str());
    ProbeRun run = RunProbe(L"twice");
    EXPECT_EQ(run.output, "0 1\n");  // EXCEPTION_CONTINUE_SEARCH, then EXCEPTION_EXECUTE_HANDLER
    EXPECT_EQ(FileHead(kDump), "MDMP");
    ::DeleteFileW(kDump.c_str());
}

TEST(CrashDump, WithoutExceptionInformationDumpsAndGoesOn) {
    const std::wstring path = TestFolder() + L"direct.dmp";
    ::DeleteFileW(path.c_str());
    ProbeRun direct = RunProbe(L"direct \"" + path + L"\"");
    EXPECT_EQ(direct.output, "1 after\n");
    EXPECT_EQ(FileHead(path), "MDMP");
    ::DeleteFileW(path.c_str());
}

}  // namespace
