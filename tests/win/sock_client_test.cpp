// The socket HTTP client against a loopback server: text fetch, resumable
// download across attempts, replacement of an older file, redirects.
#include "loopback_server.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "net/sock_down_file_win.h"
#include "test_util.h"

namespace {

std::string Resource() {
    std::string r;
    for (int i = 0; i < 100; ++i) r.push_back(static_cast<char>('A' + i % 26));
    return r;
}

// Serves the resource with an ETag, at most `budget` body bytes per reply,
// honouring "Range: bytes=N-".
CLoopbackServer::Handler Resumable(const std::string& body, std::size_t budget, const char* etag) {
    return [body, budget, etag](const std::string& head) {
        std::size_t from = 0;
        const auto range = head.find("Range: bytes=");
        if (range != std::string::npos) from = std::stoul(head.substr(range + 13));
        std::ostringstream out;
        out << (from ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n");
        out << "Content-Length: " << (body.size() - from) << "\r\n";
        if (etag) out << "ETag: " << etag << "\r\n";
        out << "Connection: close\r\n\r\n" << body.substr(from, budget);
        return out.str();
    };
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(std::string(path.begin(), path.end()), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::wstring Folder() {
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    std::wstring d = std::wstring(dir) + L"sock-" + std::to_wstring(::GetTickCount());
    ::CreateDirectoryW(d.c_str(), nullptr);
    return d;
}

std::wstring Address(unsigned short port, const wchar_t* path) {
    return L"http://127.0.0.1:" + std::to_wstring(port) + path;
}

TEST(SockClient, FetchTextReturnsTheBodyWhateverTheStatus) {
    CLoopbackServer server([](const std::string&) {
        return std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 5\r\n\r\nhello");
    });
    EXPECT_EQ(SockFetchText(Address(server.Port(), L"/icon?game=lmdr")), "hello");
    const std::string head = server.Requests().at(0);
    EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET /icon?game=lmdr HTTP/1.1");
    EXPECT_NE(head.find("\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"), std::string::npos);
    EXPECT_EQ(SockFetchText(L"http://127.0.0.1:1/"), "");
}

TEST(SockClient, FetchTextEndsAfterSilenceOnAnOpenConnection) {
    CLoopbackServer server([](const std::string&) { return std::string("HTTP/1.1 200 OK\r\n\r\n{\"a\":1}"); }, 1500);
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(SockFetchText(Address(server.Port(), L"")), "{\"a\":1}");
    EXPECT_LT(::GetTickCount() - start, 1400u);  // the 128 ms time-out, not the server's close
    EXPECT_EQ(server.Requests().at(0).substr(0, 14), "GET / HTTP/1.1");
}

TEST(SockClient, ResumableDownloadContinuesWithRanges) {
    const std::string body = Resource();
    CLoopbackServer server(Resumable(body, 30, "\"v1\""));
    const std::wstring dest = Folder() + L"\\Lm03000.ico";
    ASSERT_TRUE(SockDownloadFile(Address(server.Port(), L"/icon.ico"), dest));
    EXPECT_EQ(ReadAll(dest), body);
    std::vector<std::string> ranges;
    for (const std::string& head : server.Requests())
        if (auto at = head.find("Range: bytes="); at != std::string::npos)
            ranges.push_back(head.substr(at + 13, head.find("\r\n", at) - at - 13));
    EXPECT_EQ(ranges, (std::vector<std::string>{"30-", "60-", "90-"}));
    // The entity file ("v1" with its quotes as "_") became the destination.
    EXPECT_EQ(::GetFileAttributesW((dest.substr(0, dest.rfind(L'\\')) + L"\\_v1_").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(SockClient, AnInterruptedDownloadKeepsItsBytesAndTheOldFile) {
    const std::string body = Resource();
    CLoopbackServer server(Resumable(body, 10, "\"v2\""));  // 5 attempts bring 50 bytes
    const std::wstring folder = Folder();
    const std::wstring dest = folder + L"\\Lm03000.ico";
    { std::ofstream(std::string(dest.begin(), dest.end()), std::ios::binary) << "old icon"; }
    EXPECT_FALSE(SockDownloadFile(Address(server.Port(), L"/icon.ico"), dest));
    EXPECT_EQ(ReadAll(dest), "old icon");            // untouched until a complete file replaces it
    EXPECT_EQ(ReadAll(folder + L"\\_v2_"), body.substr(0, 50));
    // A later run goes on from there.
    CLoopbackServer rest(Resumable(body, 100, "\"v2\""));
    EXPECT_TRUE(SockDownloadFile(Address(rest.Port(), L"/icon.ico"), dest));
    EXPECT_EQ(ReadAll(dest), body);
    EXPECT_NE(rest.Requests().back().find("Range: bytes=50-"), std::string::npos);
}

TEST(SockClient, WithoutATagTheTemporaryFileReplacesAnOlderOne) {
    const std::string body = Resource();
    CLoopbackServer server(Resumable(body, 1000, nullptr));
    const std::wstring dest = Folder() + L"\\Lm03000.ico";
    { std::ofstream(std::string(dest.begin(), dest.end()), std::ios::binary) << "old"; }
    EXPECT_TRUE(SockDownloadFile(Address(server.Port(), L"/i.ico"), dest));
    EXPECT_EQ(ReadAll(dest), body);
    EXPECT_EQ(::GetFileAttributesW((dest + L".~tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(SockClient, FollowsOnlyMovedTemporarily) {
    const std::string body = Resource();
    CLoopbackServer target(Resumable(body, 1000, "\"v3\""));
    const std::string location = "http://127.0.0.1:" + std::to_string(target.Port()) + "/real.ico";
    CLoopbackServer moved([location](const std::string&) {
        return "HTTP/1.1 302 Moved Temporarily\r\nLocation: " + location + "\r\nContent-Length: 0\r\n\r\n";
    });
    CLoopbackServer found([location](const std::string&) {
        return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\n\r\n";
    });
    const std::wstring folder = Folder();
    EXPECT_TRUE(SockDownloadFile(Address(moved.Port(), L"/icon.ico"), folder + L"\\a.ico"));
    EXPECT_EQ(ReadAll(folder + L"\\a.ico"), body);
    EXPECT_FALSE(SockDownloadFile(Address(found.Port(), L"/icon.ico"), folder + L"\\b.ico"));
    EXPECT_EQ(found.Requests().size(), 1u);  // an unexpected status is not retried
}

TEST(SockClient, RedirectLoopsAndEndlessHeadsEnd) {
    unsigned short selfPort = 0;
    CLoopbackServer loop([&selfPort](const std::string&) {
        return "HTTP/1.1 302 Moved Temporarily\r\nLocation: http://127.0.0.1:" + std::to_string(selfPort) +
               "/again\r\nContent-Length: 0\r\n\r\n";
    });
    selfPort = loop.Port();
    const std::wstring folder = Folder();
    EXPECT_FALSE(SockDownloadFile(Address(loop.Port(), L"/icon.ico"), folder + L"\\loop.ico"));
    EXPECT_LE(loop.Requests().size(), 11u);  // the first request and ten hops

    CLoopbackServer endless([](const std::string&) {
        return "HTTP/1.1 200 OK\r\nX-Filler: " + std::string(3000, 'x') + "\r\nContent-Length: 1\r\n\r\nA";
    });
    EXPECT_FALSE(SockDownloadFile(Address(endless.Port(), L"/icon.ico"), folder + L"\\endless.ico"));
}

}  // namespace
