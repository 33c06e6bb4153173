// The beacon request through the system's internet library, seen from a
// loopback server.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <vector>

#include "../common/loopback_server.h"
#include "app/halvane3_app_win.h"
#include "net/http_get_win.h"
#include "stats/stats_win.h"

namespace {

std::wstring Url(const wchar_t* scheme, unsigned short port, const wchar_t* rest) {
    return std::wstring(scheme) + L"127.0.0.1:" + std::to_wstring(port) + rest;
}

std::string Line0(const std::string& head) { return head.substr(0, head.find("\r\n")); }

TEST(HttpGet, SendsTheRequestLineAndHeadersExactly) {
    CLoopbackServer server;
    ASSERT_EQ(HttpGet(Url(L"http://", server.Port(), L"/_regevent.gif?event=100&ename=%E6%89%93").c_str()), 1);
    ASSERT_TRUE(server.WaitFor(1, 2000));
    const std::string head = server.Requests()[0];
    EXPECT_EQ(Line0(head), "GET /_regevent.gif?event=100&ename=%E6%89%93 HTTP/1.1");
    // The client passes "zh-cn " with its blank; this system's internet
    // library trims header values before sending, other versions may not.
    EXPECT_TRUE(head.find("\r\nAccept-Language: zh-cn \r\n") != std::string::npos ||
                head.find("\r\nAccept-Language: zh-cn\r\n") != std::string::npos)
        << head;
    EXPECT_NE(head.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nUser-Agent: ZRT\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"), std::string::npos) << head;
}

TEST(HttpGet, AddressForms) {
    CLoopbackServer server;
    const struct {
        const wchar_t* scheme;
        const wchar_t* rest;
        const char* requestLine;
    } cases[] = {
        {L"HTTP://", L"/upper", "GET /upper HTTP/1.1"},
        {L"http://", L"", "GET / HTTP/1.1"},  // no path: an empty object name
        {L"http://", L"/a/b/c.htm?x=1", "GET /a/b/c.htm?x=1 HTTP/1.1"},
    };
    std::size_t n = 0;
    for (const auto& c : cases) {
        ASSERT_EQ(HttpGet(Url(c.scheme, server.Port(), c.rest).c_str()), 1);
        ASSERT_TRUE(server.WaitFor(++n, 2000));
        EXPECT_EQ(Line0(server.Requests().back()), c.requestLine);
    }
}

TEST(HttpGet, AnErrorStatusStillCountsAsSent) {
    CLoopbackServer server("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(HttpGet(Url(L"http://", server.Port(), L"/x").c_str()), 1);
}

TEST(HttpGet, AlwaysAsksTheServerNeverTheCache) {
    CLoopbackServer server(
        "HTTP/1.1 200 OK\r\nCache-Control: max-age=3600\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
    const std::wstring url = Url(L"http://", server.Port(), L"/cacheable.gif");
    EXPECT_EQ(HttpGet(url.c_str()), 1);
    EXPECT_EQ(HttpGet(url.c_str()), 1);
    EXPECT_TRUE(server.WaitFor(2, 2000));
}

TEST(HttpGet, RefusesOtherSchemesWithoutTraffic) {
    CLoopbackServer server;
    for (const wchar_t* scheme : {L"https://", L"ftp://", L"", L"http:/"})
        EXPECT_EQ(HttpGet(Url(scheme, server.Port(), L"/x").c_str()), 0);
    EXPECT_EQ(HttpGet(nullptr), 0);
    EXPECT_FALSE(server.WaitFor(1, 300));
}

TEST(HttpGet, NothingListeningIsAFailure) {
    unsigned short port = 0;
    {
        CLoopbackServer gone;
        port = gone.Port();
    }
    EXPECT_EQ(HttpGet(Url(L"http://", port, L"/x").c_str()), 0);
}

// Threads of this process now.
int ThreadCount() {
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = ::Thread32First(snap, &entry); more; more = ::Thread32Next(snap, &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
    ::CloseHandle(snap);
    return count;
}

// A beacon worker outlives the application's events (nobody waits for the
// activity beacon): the exit closes them while the worker still waits for its
// reply, and the handle values are taken by new objects before it ends. The
// worker must neither signal nor close what took those values. Without the
// events, beacons go out before SendBeacon returns, in order.
TEST(SendBeacon, WorkersNeverTouchTheApplicationsHandlesAfterTheyAreClosed) {
    std::atomic<bool> released{false};
    CLoopbackServer silent([&](const std::string&) {
        while (!released) ::Sleep(10);
        return std::string("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    });
    struct Release {
        std::atomic<bool>& flag;
        ~Release() { flag = true; }
    } release{released};  // before the server goes, whatever fails
    const int threadsBefore = ThreadCount();
    theApp.CreateBeaconEvents();
    ASSERT_TRUE(theApp.m_hDoneEvent);
    const HANDLE oldValues[] = {theApp.m_hCopiedEvent, theApp.m_hDoneEvent};
    ASSERT_TRUE(SendBeacon(Url(L"http://", silent.Port(), L"/active.htm").c_str()));
    ASSERT_TRUE(silent.WaitFor(1, 5000));  // the worker waits for the reply now
    theApp.CloseBeaconEvents();
    // New events until both old values are taken again.
    std::vector<HANDLE> fresh, reused;
    for (int i = 0; i < 64 && reused.size() < 2; ++i) {
        fresh.push_back(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        for (HANDLE old : oldValues)
            if (fresh.back() == old) reused.push_back(old);
    }
    ASSERT_EQ(reused.size(), 2u) << "new handles did not take the old values";
    released = true;
    bool ended = false;
    for (int waited = 0; waited < 10000 && !ended; waited += 20) {
        ended = ThreadCount() <= threadsBefore;
        if (!ended) ::Sleep(20);
    }
    ASSERT_TRUE(ended) << "the worker did not end";
    for (HANDLE h : reused) {
        DWORD flags = 0;
        EXPECT_TRUE(::GetHandleInformation(h, &flags)) << "closed by the worker";
        EXPECT_EQ(::WaitForSingleObject(h, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "signalled by the worker";
    }
    for (HANDLE h : fresh) ::CloseHandle(h);

    CLoopbackServer server;
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(SendBeacon(Url(L"http://", server.Port(), (L"/b" + std::to_wstring(i)).c_str()).c_str()));
    const auto heads = server.Requests();
    ASSERT_EQ(heads.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Line0(heads[i]), "GET /b" + std::to_string(i) + " HTTP/1.1");
    theApp.WaitBeaconDone();  // returns at once
}

}  // namespace
