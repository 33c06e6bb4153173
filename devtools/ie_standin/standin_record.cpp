#include "standin_record.h"

#include <windows.h>

namespace {

struct CLock {
    CRITICAL_SECTION cs;
    CLock() { ::InitializeCriticalSection(&cs); }
    ~CLock() { ::DeleteCriticalSection(&cs); }
} g_lock;
struct CHold {
    CHold() { ::EnterCriticalSection(&g_lock.cs); }
    ~CHold() { ::LeaveCriticalSection(&g_lock.cs); }
};
std::wstring g_lines;

void AppendToFile(const std::wstring& line) {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetEnvironmentVariableW(L"LMSTANDIN_RECORD", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    const std::wstring text = std::to_wstring(::GetCurrentProcessId()) + L"\t" + line + L"\n";
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                            nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr,
                          nullptr);
    HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace

void Record(const std::wstring& line) {
    {
        CHold hold;
        g_lines += line;
        g_lines += L'\n';
    }
    AppendToFile(line);
}

std::wstring RecordText(bool clear) {
    CHold hold;
    std::wstring text = g_lines;
    if (clear) g_lines.clear();
    return text;
}
