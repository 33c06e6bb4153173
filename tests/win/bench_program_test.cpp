// The benchmark's measuring program (build/windows/bench/lmbench.exe) does
// what its figures claim: its download is the resource byte for byte, and its
// hand-over timing sees the page window and the resize of the window it
// hands over to, and says so when they never come.
#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../common/loopback_server.h"
#include "test_util.h"

namespace {

ProgramRun RunBench(const std::wstring& args) { return RunProgram(L"..\\bench\\lmbench.exe", args); }

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line.substr(0, line.find('\n')));
    for (std::string f; std::getline(in, f, '\t');) out.push_back(f);
    return out;
}

std::string ReadAll(const std::wstring& path) {
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return {};
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(f, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    ::CloseHandle(f);
    return out;
}

TEST(BenchProgram, DownloadsTheResourceExactlyEachRun) {
    std::string body(5000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 31 + 7);
    CLoopbackServer server(CLoopbackServer::Handler([&body](const std::string&) {
        return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nETag: \"b1\"\r\nConnection: close\r\n\r\n" + body;
    }));
    const std::wstring path = TempFilePath(L"bench-download");
    const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(server.Port()) + L"/f.bin";
    const ProgramRun run = RunBench(L"download " + url + L" \"" + path + L"\" 2");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    std::istringstream lines(run.output);
    int runs = 0;
    for (std::string line; std::getline(lines, line); ++runs) {
        const auto f = Fields(line);
        ASSERT_EQ(f.size(), 3u) << line;
        EXPECT_EQ(f[0], "ok");
        EXPECT_GT(std::stod(f[1]), 0.0);
        EXPECT_EQ(f[2], std::to_string(body.size()));
    }
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(server.Requests().size(), 4u);  // length and tag, then the data, per run
    EXPECT_EQ(ReadAll(path), body);
    ::DeleteFileW(path.c_str());
}

TEST(BenchProgram, DownloadFromNothingListeningFails) {
    int port = 0;
    {
        CLoopbackServer gone;
        port = gone.Port();
    }
    const std::wstring path = TempFilePath(L"bench-nothing");
    const ProgramRun run =
        RunBench(L"download http://127.0.0.1:" + std::to_wstring(port) + L"/f.bin \"" + path + L"\" 1");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(Fields(run.output).at(0), "failed");
}

// A stand-in main window: on a hand-over it may create an owned dialog (the
// page) and leave its 1 x 1 size, as the real one does.
struct CStandIn {
    bool makePage = true;
    HWND hwnd = nullptr;
    HWND page = nullptr;

    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<CStandIn*>(::GetWindowLongPtrW(h, GWLP_USERDATA));
        if (msg == WM_COPYDATA && self) {
            if (self->makePage) {
                self->page = ::CreateWindowExW(0, L"#32770", L"", WS_POPUP, 0, 0, 50, 50, h, nullptr, nullptr, nullptr);
                ::SetWindowPos(h, nullptr, 0, 0, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
            }
            return 7;
        }
        return ::DefWindowProcW(h, msg, wp, lp);
    }

    CStandIn() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"LmBenchStandIn";
        ::RegisterClassW(&wc);
        hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"stand-in", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 wc.hInstance, nullptr);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~CStandIn() {
        if (page) ::DestroyWindow(page);
        ::DestroyWindow(hwnd);
    }

    // Runs the hand-over from another thread while this one serves the window.
    ProgramRun HandOver(int timeoutMs) {
        wchar_t handle[32];
        std::swprintf(handle, 32, L"%llu", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(hwnd)));
        ProgramRun run;
        std::atomic<bool> done{false};
        std::thread t([&] {
            run = RunBench(std::wstring(L"handover ") + handle + L" \"title||Pauth=x||ptusertype=2||logingame=lmdr\" " +
                           std::to_wstring(timeoutMs));
            done = true;
        });
        while (!done) Pump(10);
        t.join();
        return run;
    }
};

TEST(BenchProgram, HandOverSeesTheReplyThePageAndTheResize) {
    CStandIn main;
    const ProgramRun run = main.HandOver(5000);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    const auto f = Fields(run.output);
    ASSERT_EQ(f.size(), 6u) << run.output;
    EXPECT_EQ(f[0], "7");
    for (int i = 1; i <= 4; ++i) {
        EXPECT_GE(std::stod(f[i]), 0.0) << i;
        EXPECT_LT(std::stod(f[i]), 5000.0) << i;
    }
    EXPECT_GT(std::stod(f[5]), 1.7e12);  // a Unix time in milliseconds
    EXPECT_NE(main.page, nullptr);
}

TEST(BenchProgram, HandOverWithoutAPageIsReportedAsMissing) {
    CStandIn main;
    main.makePage = false;
    const ProgramRun run = main.HandOver(400);
    EXPECT_EQ(run.exitCode, 1u);
    const auto f = Fields(run.output);
    ASSERT_EQ(f.size(), 6u) << run.output;
    EXPECT_EQ(f[0], "7");
    EXPECT_EQ(f[2], "-1.0");
    EXPECT_EQ(f[3], "-1.0");
}

}  // namespace
