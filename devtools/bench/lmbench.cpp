// The benchmark's own measuring program, run under Wine beside the client.
// Every duration it prints is taken inside this process with the performance
// counter, so no clock of another process is involved; the Unix moments it
// adds serve only to place the simulator's log entries. Output: one result a
// line, tab-separated; exit code 0 on success, 1 when something failed or
// timed out, 2 on bad usage.
//
//   first CLASS TITLE MINW MINH TIMEOUT_MS EXE [ARG...]
//       starts EXE and waits for a visible top-level window of that process
//       ("*" matches any class or title) at least MINW x MINH pixels big;
//       prints the milliseconds from the start, the window, the process id,
//       the moment of the start as Unix milliseconds and as the performance
//       counter's milliseconds (the clock of the client's traced build)
//   download URL PATH RUNS
//       RUNS downloads of URL to PATH through the client's socket downloader,
//       PATH removed before each; per run: the result, the milliseconds, the
//       bytes on disk
//   writes PATH BYTES
//       the downloader's disk work alone: BYTES written to PATH in 1 KB
//       pieces, each flushed at once, then the same without the flushes;
//       prints both times
//   handover HWND TEXT TIMEOUT_MS
//       hands TEXT to the main window HWND with WM_COPYDATA, as the login
//       window does; prints the reply and the milliseconds until the reply,
//       until a new page window owned by HWND exists, until HWND has left
//       its 1 x 1 waiting size, and until a message sent after that is
//       answered (-1: not within TIMEOUT_MS); last the moment of the send
//       as Unix milliseconds
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "net/sock_down_file.h"

namespace {

double Now() {
    static const LONGLONG freq = [] {
        LARGE_INTEGER f{};
        ::QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER c{};
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(freq);
}

void PrintUtf8(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::wstring Ms(double ms) {
    wchar_t buf[32];
    std::swprintf(buf, 32, L"%.1f", ms);
    return buf;
}

// The wall clock as Unix milliseconds, for matching with the simulator's log.
std::wstring NowUnixMs() {
    FILETIME ft{};
    ::GetSystemTimeAsFileTime(&ft);
    const unsigned long long ticks = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    wchar_t buf[32];
    std::swprintf(buf, 32, L"%.1f", static_cast<double>(ticks - 116444736000000000ULL) / 10000.0);
    return buf;
}

std::wstring Hex(HWND h) {
    wchar_t buf[32];
    std::swprintf(buf, 32, L"0x%08lX", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(h)));
    return buf;
}

HWND ParseHwnd(const wchar_t* s) { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::wcstoull(s, nullptr, 0))); }

std::wstring ClassOf(HWND h) {
    wchar_t buf[256] = {};
    ::GetClassNameW(h, buf, 256);
    return buf;
}

// Another process's title without waiting on that process.
std::wstring TitleOf(HWND h) {
    wchar_t buf[512] = {};
    ::InternalGetWindowText(h, buf, 512);
    return buf;
}

bool Matches(const wchar_t* pattern, const std::wstring& value) {
    return std::wcscmp(pattern, L"*") == 0 || value == pattern;
}

BOOL CALLBACK Collect(HWND h, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
}

std::vector<HWND> TopLevel() {
    std::vector<HWND> out;
    ::EnumWindows(&Collect, reinterpret_cast<LPARAM>(&out));
    return out;
}

std::wstring Quoted(const wchar_t* arg) {
    std::wstring out = L"\"";
    for (const wchar_t* p = arg; *p; ++p) {
        if (*p == L'"') out += L'\\';
        out += *p;
    }
    return out + L"\"";
}

int First(int argc, wchar_t** argv) {
    if (argc < 8) return 2;
    const wchar_t* cls = argv[2];
    const wchar_t* title = argv[3];
    const long minW = std::wcstol(argv[4], nullptr, 10);
    const long minH = std::wcstol(argv[5], nullptr, 10);
    const double timeout = std::wcstod(argv[6], nullptr);
    std::wstring cmd = Quoted(argv[7]);
    for (int i = 8; i < argc; ++i) cmd += L" " + Quoted(argv[i]);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const std::wstring startedAt = NowUnixMs();
    const double start = Now();
    if (!::CreateProcessW(argv[7], cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 1;
    ::CloseHandle(pi.hThread);
    int result = 1;
    while (Now() - start < timeout) {
        for (HWND h : TopLevel()) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(h, &pid);
            if (pid != pi.dwProcessId || !::IsWindowVisible(h)) continue;
            RECT r{};
            ::GetWindowRect(h, &r);
            if (r.right - r.left < minW || r.bottom - r.top < minH) continue;
            if (!Matches(cls, ClassOf(h)) || !Matches(title, TitleOf(h))) continue;
            PrintUtf8(Ms(Now() - start) + L"\t" + Hex(h) + L"\t" + std::to_wstring(pi.dwProcessId) + L"\t" +
                      startedAt + L"\t" + Ms(start));
            result = 0;
            break;
        }
        if (result == 0 || ::WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
        ::Sleep(5);
    }
    ::CloseHandle(pi.hProcess);
    return result;
}

int Download(int argc, wchar_t** argv) {
    if (argc < 5) return 2;
    const wchar_t* url = argv[2];
    const wchar_t* path = argv[3];
    const int runs = std::max(1, static_cast<int>(std::wcstol(argv[4], nullptr, 10)));
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        ::DeleteFileW(path);
        CSockDownFile download;
        const double start = Now();
        const int done = download.Download(path, url);
        const double took = Now() - start;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        long long size = -1;
        if (::GetFileAttributesExW(path, GetFileExInfoStandard, &data))
            size = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        if (!done) ++failures;
        PrintUtf8(std::wstring(done ? L"ok" : L"failed") + L"\t" + Ms(took) + L"\t" + std::to_wstring(size));
    }
    return failures ? 1 : 0;
}

// The same calls as the downloader's file piece (net/sock_platform_win.cpp).
double WritePieces(const wchar_t* path, long long bytes, bool flush) {
    ::DeleteFileW(path);
    const HANDLE h = ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    char piece[1024];
    for (std::size_t i = 0; i < sizeof piece; ++i) piece[i] = static_cast<char>(i * 7);
    const double start = Now();
    bool ok = true;
    for (long long done = 0; done < bytes && ok; done += sizeof piece) {
        DWORD written = 0;
        ok = ::WriteFile(h, piece, static_cast<DWORD>(std::min<long long>(sizeof piece, bytes - done)), &written,
                         nullptr) != FALSE;
        if (flush) ::FlushFileBuffers(h);
    }
    ::CloseHandle(h);
    const double took = Now() - start;
    ::DeleteFileW(path);
    return ok ? took : -1;
}

int Writes(int argc, wchar_t** argv) {
    if (argc < 4) return 2;
    const long long bytes = std::wcstoll(argv[3], nullptr, 10);
    const double flushed = WritePieces(argv[2], bytes, true);
    const double plain = WritePieces(argv[2], bytes, false);
    PrintUtf8(Ms(flushed) + L"\t" + Ms(plain));
    return flushed >= 0 && plain >= 0 ? 0 : 1;
}

std::vector<HWND> OwnedBy(HWND owner) {
    std::vector<HWND> out;
    for (HWND h : TopLevel())
        if (::GetWindow(h, GW_OWNER) == owner && ClassOf(h) == L"#32770") out.push_back(h);
    return out;
}

int Handover(int argc, wchar_t** argv) {
    if (argc < 5) return 2;
    HWND main = ParseHwnd(argv[2]);
    std::wstring text = argv[3];
    const double timeout = std::wcstod(argv[4], nullptr);
    if (!::IsWindow(main)) return 1;

    const std::vector<HWND> before = OwnedBy(main);
    std::atomic<double> pageMs{-1}, sizedMs{-1};
    std::atomic<bool> stop{false};
    double start = 0;
    std::atomic<bool> started{false};
    // Watches from before the send, so a page that appears while the main
    // window still handles the message is seen at its moment.
    std::thread watcher([&] {
        while (!started) ::Sleep(0);
        while (!stop && Now() - start < timeout && (pageMs < 0 || sizedMs < 0)) {
            if (pageMs < 0)
                for (HWND h : OwnedBy(main))
                    if (std::find(before.begin(), before.end(), h) == before.end()) {
                        pageMs = Now() - start;
                        break;
                    }
            if (sizedMs < 0) {
                RECT r{};
                if (::GetWindowRect(main, &r) && r.right - r.left > 2) sizedMs = Now() - start;
            }
            ::Sleep(1);
        }
    });

    COPYDATASTRUCT cds{};
    cds.dwData = 0;
    cds.cbData = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    cds.lpData = text.data();
    DWORD_PTR reply = 0;
    const std::wstring sentAt = NowUnixMs();
    start = Now();
    started = true;
    const bool answered = ::SendMessageTimeoutW(main, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds), SMTO_NORMAL,
                                                static_cast<UINT>(timeout), &reply) != 0;
    const double replyMs = answered ? Now() - start : -1;
    while (answered && (pageMs < 0 || sizedMs < 0) && Now() - start < timeout) ::Sleep(1);
    stop = true;
    watcher.join();
    // The window answers again once the new page is in place.
    double idleMs = -1;
    if (answered) {
        const double before2 = Now();
        DWORD_PTR ignored = 0;
        const double left = timeout - (before2 - start);
        if (left > 0 && ::SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(left), &ignored))
            idleMs = Now() - start;
    }
    PrintUtf8(std::to_wstring(answered ? static_cast<long long>(reply) : -1) + L"\t" + Ms(replyMs) + L"\t" +
              Ms(pageMs) + L"\t" + Ms(sizedMs) + L"\t" + Ms(idleMs) + L"\t" + sentAt);
    return answered && pageMs >= 0 && sizedMs >= 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring cmd = argv[1];
    if (cmd == L"first") return First(argc, argv);
    if (cmd == L"download") return Download(argc, argv);
    if (cmd == L"handover") return Handover(argc, argv);
    if (cmd == L"writes") return Writes(argc, argv);
    return 2;
}
