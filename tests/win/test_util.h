// Helpers of the Windows-side tests.
#pragma once
#include <windows.h>
#include <sddl.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "mainwnd/detour_win.h"

#include "settings/settings_keys.h"
#include "stats/identity_win.h"

// The SID of the user this process runs as, as text (empty when unreadable).
inline std::wstring UserSid() {
    HANDLE token = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
    BYTE buffer[256];
    DWORD size = 0;
    LPWSTR text = nullptr;
    std::wstring sid;
    if (::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
        sid = text;
        ::LocalFree(text);
    }
    ::CloseHandle(token);
    return sid;
}

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

// Puts replacements in place of functions (on) or takes them away again, in
// one transaction of the interception engine: each pair is the pointer to
// the real function (the trampoline once intercepted) and the replacement.
template <typename Real, typename Fake>
std::pair<PVOID*, PVOID> Replacing(Real*& real, Fake* fake) {
    return {reinterpret_cast<PVOID*>(&real), reinterpret_cast<PVOID>(fake)};
}
inline LONG Intercept(bool on, std::initializer_list<std::pair<PVOID*, PVOID>> functions) {
    DetourTransactionBegin();
    DetourUpdateThread(::GetCurrentThread());
    for (const auto& [real, fake] : functions) on ? DetourAttach(real, fake) : DetourDetach(real, fake);
    return DetourTransactionCommit();
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

// The sealed entry that storing `argument` must leave: the key (the sealed
// field read as UTF-16 up to its first zero unit) and the value (the sealed
// argument as letter-hex).
inline bool ExpectedSealedEntry(const std::wstring& field, const std::wstring& argument, std::wstring& key,
                                std::wstring& value) {
    SealedBytes k, v;
    if (!SealPayload(reinterpret_cast<const BYTE*>(field.data()), static_cast<DWORD>(field.size() * 2), k) ||
        !SealPayload(reinterpret_cast<const BYTE*>(argument.data()), static_cast<DWORD>(argument.size() * 2), v))
        return false;
    key.clear();
    for (std::size_t i = 0; i + 1 < k.bytes.size(); i += 2) {
        const wchar_t unit = static_cast<wchar_t>(k.bytes[i] | (k.bytes[i + 1] << 8));
        if (!unit) break;
        key.push_back(unit);
    }
    value = LetterHexEncode(v.bytes.data(), v.count);
    return !key.empty();
}

// The entries of section "Lm03000" other than InstallTag, as key and value.
inline std::vector<std::pair<std::wstring, std::wstring>> SealedEntries(const std::wstring& path) {
    std::vector<wchar_t> section(16384, L'\0');
    const DWORD n = ::GetPrivateProfileSectionW(L"Lm03000", section.data(), static_cast<DWORD>(section.size()),
                                                path.c_str());
    std::vector<std::pair<std::wstring, std::wstring>> entries;
    for (DWORD at = 0; at < n && section[at];) {
        const std::wstring line = section.data() + at;
        at += static_cast<DWORD>(line.size()) + 1;
        const auto eq = line.find(L'=');
        if (line.rfind(L"InstallTag=", 0) == 0) continue;
        entries.emplace_back(line.substr(0, eq), eq == std::wstring::npos ? L"" : line.substr(eq + 1));
    }
    return entries;
}
