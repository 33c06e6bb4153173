#include "net/http_socket.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

TEST(SockUrl, SchemeHostAndPath) {
    const struct {
        const char* address;
        const char* host;
        const char* path;
    } cases[] = {
        {"http://h.example/a/b?c=1", "h.example", "/a/b?c=1"},
        {"http://h:8080", "h:8080", "/"},
        {"ftp://h/x", "h", "/x"},  // any scheme, spoken to as plain HTTP
        {"h/x", "h", "/x"},
        {"http://h/", "h", "/"},
    };
    for (const auto& c : cases) {
        SockUrl u;
        ASSERT_TRUE(ParseSockUrl(c.address, u));
        EXPECT_EQ(u.host, c.host);
        EXPECT_EQ(u.path, c.path);
    }
    SockUrl u;
    EXPECT_FALSE(ParseSockUrl("", u));
    std::string name;
    std::uint16_t port = 0;
    SplitHostPort("h:47301", name, port);
    EXPECT_EQ(name, "h");
    EXPECT_EQ(port, 47301);
    SplitHostPort("h", name, port);
    EXPECT_EQ(port, 80);
    SplitHostPort("h:99999", name, port);  // not 34463
    EXPECT_EQ(port, 0);
}

TEST(GetRequest, FieldsInOrderAndARangeOnlyAboveZero) {
    const std::string plain = BuildGetRequest("h:81", "/icon.ico", 0);
    EXPECT_EQ(plain.rfind("GET /icon.ico HTTP/1.1\r\nHost: h:81\r\nAccept: */*\r\nConnection: Keep-Alive\r\nUser-Agent: "
                          "Mozilla/4.0 (compatible; MSIE 7.0;",
                          0),
              0u);
    EXPECT_EQ(plain.find("Range:"), std::string::npos);
    EXPECT_EQ(plain.substr(plain.size() - 4), "\r\n\r\n");
    const std::string ranged = BuildGetRequest("h", "/x", 1234);
    EXPECT_NE(ranged.find(".NET4.0E)\r\nRange: bytes=1234-\r\n\r\n"), std::string::npos);
    EXPECT_NE(BuildGetRequest("h", "/x", 999999999).find("bytes=999999999-"), std::string::npos);
    EXPECT_NE(BuildGetRequest("h", "/x", 12345678901LL).find("bytes=12345678901-"), std::string::npos);  // whole
    EXPECT_EQ(BuildGetRequest("h", std::string(2000, 'p'), 0), "");
}

TEST(ResponseCheck, StatusLengthTagAndRedirect) {
    const ResponseInfo ok = CheckResponseHead("HTTP/1.1 200 OK\r\nContent-Length: 42\r\nETag: \"ab/c:1\"\r\n\r\n");
    EXPECT_EQ(ok.result, ResponseUsable);
    EXPECT_EQ(ok.contentLength, 42);
    EXPECT_TRUE(ok.hasEntity);
    EXPECT_EQ(ok.entityName, "_ab_c_1_");
    const ResponseInfo partial = CheckResponseHead("HTTP/1.1 206 Partial Content\r\nContent-Length:   7\r\n\r\n");
    EXPECT_EQ(partial.result, ResponseUsable);
    EXPECT_EQ(partial.contentLength, 7);
    EXPECT_FALSE(partial.hasEntity);
    // Lengths that are none: below zero, without digits.
    for (const char* length : {"-5", "", " x", "+"})
        EXPECT_EQ(CheckResponseHead(std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + length + "\r\n\r\n").result,
                  ResponseUnexpected)
            << length;
    // Only a quoted tag names an entity file.
    for (const auto& [tag, entity] : std::vector<std::pair<const char*, const char*>>{
             {"\"v1\"", "_v1_"}, {"W/\"v1\"", "W__v1_"}, {"\"v1\"  ", "_v1_"}, {"Statistic.ini", ""},
             {"\"", ""}, {"W/x", ""}, {"NUL", ""}}) {
        const ResponseInfo r =
            CheckResponseHead(std::string("HTTP/1.1 200 OK\r\nContent-Length: 1\r\nETag: ") + tag + "\r\n\r\n");
        EXPECT_EQ(r.result, ResponseUsable);
        EXPECT_EQ(r.hasEntity, *entity != '\0') << tag;
        EXPECT_EQ(r.entityName, entity) << tag;
    }
    EXPECT_EQ(CheckResponseHead("HTTP/1.1 200 OK\r\n\r\n").result, ResponseUnexpected);  // no length
    EXPECT_EQ(CheckResponseHead("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n").result, ResponseUnexpected);
    EXPECT_EQ(CheckResponseHead("HTTP/1.1 302 Found\r\nLocation: http://x/\r\n\r\n").result, ResponseUnexpected);
    const ResponseInfo moved = CheckResponseHead("HTTP/1.1 302 Moved Temporarily\r\nLocation:  http://x/i.ico\r\n\r\n");
    EXPECT_TRUE(moved.redirect);
    EXPECT_EQ(moved.location, "http://x/i.ico");
    EXPECT_EQ(CheckResponseHead("HTTP/1.1 302 Moved Temporarily\r\n\r\n").result, ResponseFailure);
    EXPECT_EQ(CheckResponseHead("").result, ResponseFailure);
    EXPECT_EQ(CheckResponseHead("no line end").result, ResponseFailure);
}

TEST(Download, EntityPathAndProgress) {
    EXPECT_EQ(EntityFilePath(L"C:\\a\\b\\Lm03000.ico", L"_tag_"), L"C:\\a\\b\\_tag_.~tmp");
    EXPECT_EQ(EntityFilePath(L"C:/a/icon.ico", L"t"), L"C:/a\\t.~tmp");
    EXPECT_EQ(ProgressPercent(50, 200), 25);
    EXPECT_EQ(ProgressPercent(5000000000LL, 10000000000LL), 50);  // 64-bit arithmetic
    EXPECT_EQ(ProgressPercent(1, 0), 0);
}

TEST(HeaderReader, StopsAtTheEmptyLineOrAFullBuffer) {
    CHeaderReader r;
    const std::string head = "HTTP/1.1 200 OK\r\nA: b\r\n\r\n";
    for (std::size_t i = 0; i + 1 < head.size(); ++i) EXPECT_FALSE(r.Add(head[i]));
    EXPECT_TRUE(r.Add(head.back()));
    EXPECT_EQ(r.Text(), head);
    CHeaderReader full;
    for (int i = 0; i < 5000 && !full.Add('x'); ++i) {
    }
    EXPECT_EQ(full.Text().size(), kHeaderCapacity - 1);
}

}  // namespace
