// Helpers of the Windows-side tests.
#pragma once
#include <windows.h>

#include <string>

// A fresh path in the temporary folder (the file does not exist yet).
inline std::wstring TempFilePath(const wchar_t* stem) {
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    static unsigned counter = 0;
    std::wstring path = std::wstring(dir) + stem + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(++counter) + L".ini";
    ::DeleteFileW(path.c_str());
    return path;
}

// The folder of the running test program, with its trailing backslash.
inline std::wstring TestFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

inline std::wstring ReadRaw(const std::wstring& path, const wchar_t* section, const wchar_t* key) {
    wchar_t buf[4096] = {};
    ::GetPrivateProfileStringW(section, key, L"<missing>", buf, 4096, path.c_str());
    return buf;
}

// Runs this thread's messages for a while.
inline void Pump(int ms) {
    const DWORD end = ::GetTickCount() + static_cast<DWORD>(ms);
    MSG msg;
    while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    }
}

// What a program beside the tests printed (carriage returns dropped) and
// its exit code; 0xFFFFFFFF when it could not be started.
struct ProgramRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

inline ProgramRun RunProgram(const wchar_t* exeName, const std::wstring& args = L"") {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ProgramRun run;
    if (!::CreatePipe(&readEnd, &writeEnd, &sa, 0)) return run;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi{};
    const std::wstring exe = TestFolder() + exeName;
    std::wstring cmd = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        ::CloseHandle(readEnd);
        ::CloseHandle(writeEnd);
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
