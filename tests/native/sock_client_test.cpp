// The socket HTTP client against loopback servers in the test process, in the
// manner of an HTTP client's test cases: the server's replies, the files
// already on disk, the exact requests expected, the result and the files
// left. Built natively (BSD sockets) and into the Windows-side tests
// (Windows Sockets).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <sstream>
#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include "../common/loopback_server.h"
#include "net/sock_down_file.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kAgent =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1; WOW64; Trident/7.0; SLCC2; .NET CLR 2.0.50727; "
    ".NET CLR 3.5.30729; .NET CLR 3.0.30729; .NET4.0C; .NET4.0E)\r\n";

std::string Request(const std::string& host, const std::string& path, const std::string& range = "") {
    std::string r = "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nAccept: */*\r\nConnection: Keep-Alive\r\n" + kAgent;
    if (!range.empty()) r += "Range: bytes=" + range + "\r\n";
    return r + "\r\n";
}

std::string Resource(std::size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    std::string r(size, '\0');
    for (char& c : r) c = static_cast<char>(gen() & 0xFF);
    return r;
}

// A folder of its own per case; the client's paths use "\" as on Windows.
class CScratch {
public:
    CScratch() {
        static int counter = 0;
        m_dir = fs::temp_directory_path() /
                ("lmsock-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
                 std::to_string(++counter));
        fs::create_directories(m_dir);
    }
    ~CScratch() {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    std::wstring ClientPath(const std::string& name) const { return m_dir.wstring() + L"\\" + Wide(name); }
    fs::path Path(const std::string& name) const { return m_dir / name; }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    std::optional<std::string> Read(const std::string& name) const {
        std::error_code ec;
        if (fs::is_symlink(Path(name), ec)) return "<link>";  // never read a device through it
        std::ifstream in(Path(name), std::ios::binary);
        if (!in) return std::nullopt;
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    static std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
    fs::path m_dir;
};

std::size_t RangeStart(const std::string& head) {
    const auto at = head.find("Range: bytes=");
    return at == std::string::npos ? 0 : static_cast<std::size_t>(std::stoull(head.substr(at + 13)));
}

// Serves `body` with an optional entity tag, honouring ranges unless told
// otherwise; the n-th reply carries at most cut(n) body bytes.
struct Origin {
    explicit Origin(std::string resource) : body(std::move(resource)) {}
    std::string body;
    const char* etag = "\"v1\"";
    bool honourRange = true;
    std::function<std::size_t(std::size_t index)> cut = [](std::size_t) { return std::string::npos; };
    int shortBy = 0;  // the announced length exceeds what is sent
    std::string extra;  // sent after the body, beyond the announced length

    CLoopbackServer::CountingHandler Handler() const {
        return [o = *this](const std::string& head, std::size_t index) {
            const std::size_t from = o.honourRange ? std::min(RangeStart(head), o.body.size()) : 0;
            const bool partial = from > 0;
            std::ostringstream out;
            out << (partial ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n");
            out << "Content-Length: " << (o.body.size() - from) << "\r\n";
            if (o.etag) out << "ETag: " << o.etag << "\r\n";
            out << "Connection: close\r\n\r\n";
            std::string part = o.body.substr(from, o.cut(index));
            if (o.shortBy && part.size() == o.body.size() - from)
                part.resize(part.size() > static_cast<std::size_t>(o.shortBy) ? part.size() - o.shortBy : 0);
            return out.str() + part + o.extra;
        };
    }
};

struct DownloadCase {
    const char* name;
    std::function<CLoopbackServer::CountingHandler(std::string& body)> server;
    std::vector<std::pair<std::string, std::string>> before;  // files present first
    std::string path;                                        // the address's path
    bool expected;
    // The requests expected, each as (path, range); empty range for none.
    std::vector<std::pair<std::string, std::string>> requests;
    // Files expected afterwards; "<body>" stands for the resource, nullopt
    // for a file that must not exist.
    std::vector<std::pair<std::string, std::optional<std::string>>> after;
    // Prepares the folder or the process before the download; the function
    // it returns undoes that afterwards.
    std::function<std::function<void()>(const CScratch& dir)> setup = nullptr;
};

#ifndef _WIN32
// The file that takes the bytes is a link to a device where every write fails.
std::function<std::function<void()>(const CScratch&)> FullDevice(const std::string& name) {
    return [name](const CScratch& dir) {
        fs::create_symlink("/dev/full", dir.Path(name));
        return [] {};
    };
}

// No file of the process may grow past `bytes`; a write past it fails
// instead of raising the signal.
std::function<std::function<void()>(const CScratch&)> FileSizeCap(rlim_t bytes) {
    return [bytes](const CScratch&) {
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit cap = old;
        cap.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &cap);
        return [old, oldHandler] {
            ::setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
        };
    };
}
#endif

const std::string kBody = Resource(2500, 7);

CLoopbackServer::CountingHandler Fixed(std::string reply) {
    return [reply](const std::string&, std::size_t) { return reply; };
}

TEST(SockClient, DownloadCases) {
    const std::vector<DownloadCase> cases = {
        {"fresh download with a quoted tag",
         [](std::string& b) { return Origin{b}.Handler(); }, {}, "/icon/Lm1.ico", true,
         {{"/icon/Lm1.ico", ""}, {"/icon/Lm1.ico", ""}},
         {{"Lm03000.ico", "<body>"}, {"_v1_.~tmp", std::nullopt}}},
        {"an interrupted download resumes from the entity file",
         [](std::string& b) { return Origin{b}.Handler(); }, {{"_v1_.~tmp", kBody.substr(0, 1000)}}, "/i.ico", true,
         {{"/i.ico", ""}, {"/i.ico", "1000-"}},
         {{"Lm03000.ico", "<body>"}, {"_v1_.~tmp", std::nullopt}}},
        {"an entity file already complete is moved without a data request",
         [](std::string& b) { return Origin{b}.Handler(); }, {{"_v1_.~tmp", kBody}, {"Lm03000.ico", "old"}}, "/i.ico", true,
         {{"/i.ico", ""}},
         {{"Lm03000.ico", "<body>"}, {"_v1_.~tmp", std::nullopt}}},
        {"an entity file longer than the resource starts again",
         [](std::string& b) { return Origin{b}.Handler(); }, {{"_v1_.~tmp", kBody + "stale tail"}}, "/i.ico", true,
         {{"/i.ico", ""}, {"/i.ico", ""}},
         {{"Lm03000.ico", "<body>"}}},
        {"a whole answer to a ranged request restarts the entity file",
         [](std::string& b) {
             Origin o{b};
             o.honourRange = false;
             return o.Handler();
         },
         {{"_v1_.~tmp", kBody.substr(0, 700)}}, "/i.ico", true,
         {{"/i.ico", ""}, {"/i.ico", "700-"}},
         {{"Lm03000.ico", "<body>"}, {"_v1_.~tmp", std::nullopt}}},
        {"a body one byte short is never complete and keeps the old file",
         [](std::string& b) {
             Origin o{b};
             o.shortBy = 1;
             return o.Handler();
         },
         {{"Lm03000.ico", "old"}}, "/i.ico", false,
         {{"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", "2499-"}, {"/i.ico", ""}, {"/i.ico", "2499-"},
          {"/i.ico", ""}, {"/i.ico", "2499-"}, {"/i.ico", ""}, {"/i.ico", "2499-"}},
         {{"Lm03000.ico", "old"}, {"_v1_.~tmp", kBody.substr(0, 2499)}}},
        {"without a tag the whole body replaces an older file",
         [](std::string& b) {
             Origin o{b};
             o.etag = nullptr;
             return o.Handler();
         },
         {{"Lm03000.ico", "old"}}, "/i.ico", true,
         {{"/i.ico", ""}, {"/i.ico", ""}},
         {{"Lm03000.ico", "<body>"}, {"Lm03000.ico.~tmp", std::nullopt}}},
        {"without a tag a short body leaves the temporary file",
         [](std::string& b) {
             Origin o{b};
             o.etag = nullptr;
             o.cut = [](std::size_t) { return std::size_t{100}; };
             return o.Handler();
         },
         {}, "/i.ico", false,
         {{"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""},
          {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}},
         {{"Lm03000.ico", std::nullopt}, {"Lm03000.ico.~tmp", kBody.substr(0, 100)}}},
        {"without a tag an error page as long as the icon does not replace it",
         [](std::string& b) {
             return CLoopbackServer::CountingHandler([b](const std::string&, std::size_t index) {
                 const std::string status = index % 2 == 0 ? "200 OK" : "500 Internal Server Error";
                 return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(b.size()) + "\r\n\r\n" +
                        std::string(b.size(), 'e');
             });
         },
         {{"Lm03000.ico", "old"}}, "/i.ico", false,
         {{"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""},
          {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}},
         {{"Lm03000.ico", "old"}}},
        {"an empty resource with a tag never replaces the file",
         [](std::string&) { return Fixed("HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nContent-Length: 0\r\n\r\n"); },
         {{"Lm03000.ico", "old"}}, "/i.ico", false,
         {{"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}},
         {{"Lm03000.ico", "old"}, {"_v1_.~tmp", std::nullopt}}},
        {"an empty resource without a tag never replaces the file",
         [](std::string&) { return Fixed("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"); },
         {{"Lm03000.ico", "old"}}, "/i.ico", false,
         {{"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}},
         {{"Lm03000.ico", "old"}, {"Lm03000.ico.~tmp", std::nullopt}}},
        {"a tag with file-name characters",
         [](std::string& b) {
             Origin o{b};
             o.etag = "W/\"a:b*c\"";
             o.cut = [](std::size_t) { return std::size_t{10}; };
             return o.Handler();
         },
         {}, "/i.ico", false,
         {{"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", "10-"}, {"/i.ico", ""}, {"/i.ico", "20-"},
          {"/i.ico", ""}, {"/i.ico", "30-"}, {"/i.ico", ""}, {"/i.ico", "40-"}},
         {{"W__a_b_c_.~tmp", kBody.substr(0, 50)}}},
        {"an unquoted tag names no entity file, so the settings beside the icon stay",
         [](std::string& b) {
             Origin o{b};
             o.etag = "Statistic.ini";
             return o.Handler();
         },
         {{"Statistic.ini", "[Lm03000]\r\nInstallTag=1\r\n"}}, "/i.ico", true,
         {{"/i.ico", ""}, {"/i.ico", ""}},
         {{"Lm03000.ico", "<body>"}, {"Statistic.ini", "[Lm03000]\r\nInstallTag=1\r\n"}}},
        {"bytes past the announced length are not written",
         [](std::string& b) {
             Origin o{b};
             o.extra = "trailing rubbish";
             return o.Handler();
         },
         {}, "/i.ico", true, {{"/i.ico", ""}, {"/i.ico", ""}}, {{"Lm03000.ico", "<body>"}}},
        {"a negative length is no length",
         [](std::string&) { return Fixed("HTTP/1.1 200 OK\r\nContent-Length: -1\r\nETag: \"x\"\r\n\r\n"); },
         {}, "/i.ico", false, {{"/i.ico", ""}}, {{"Lm03000.ico", std::nullopt}}},
        {"a transfer head longer than its buffer writes nothing",
         [](std::string& b) {
             return CLoopbackServer::CountingHandler([b](const std::string& head, std::size_t index) {
                 std::string reply = "HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(b.size()) +
                                     "\r\nETag: \"v1\"\r\n";
                 if (index % 2 == 1) reply += "X-Filler: " + std::string(2000, 'x') + "\r\n";
                 return RangeStart(head) == 0 && index % 2 == 0 ? reply + "\r\n" : reply + "\r\n" + b;
             });
         },
         {}, "/i.ico", false,
         {{"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""},
          {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}},
         {{"Lm03000.ico", std::nullopt}, {"_v1_.~tmp", ""}}},
        {"302 Found is an unexpected status, not retried",
         [](std::string&) { return Fixed("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/x\r\nContent-Length: 0\r\n\r\n"); },
         {}, "/i.ico", false, {{"/i.ico", ""}}, {{"Lm03000.ico", std::nullopt}}},
        {"a reply without a length is not retried",
         [](std::string&) { return Fixed("HTTP/1.1 200 OK\r\nETag: \"x\"\r\n\r\nbody"); },
         {}, "/i.ico", false, {{"/i.ico", ""}}, {{"Lm03000.ico", std::nullopt}}},
        {"not found",
         [](std::string&) { return Fixed("HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nno!"); },
         {}, "/i.ico", false, {{"/i.ico", ""}}, {{"Lm03000.ico", std::nullopt}}},
        {"an endless head ends the read",
         [](std::string&) {
             return Fixed("HTTP/1.1 200 OK\r\nX-Filler: " + std::string(3000, 'x') + "\r\nContent-Length: 1\r\n\r\nA");
         },
         {}, "/i.ico", false, {{"/i.ico", ""}}, {{"Lm03000.ico", std::nullopt}}},
        {"a head cut before the empty line",
         [](std::string&) { return Fixed("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n"); },
         {}, "/i.ico", false, {{"/i.ico", ""}}, {{"Lm03000.ico", std::nullopt}}},
        // What the portal or a man in the middle may send cannot choose a
        // file's name, fill the disk, or write header fields of its own.
        {"a long tag names the partial file, never its extension",
         [](std::string& b) {
             Origin o{b};
             static const std::string tag = "\"" + std::string(122, 'a') + ".dll\"";
             o.etag = tag.c_str();
             o.cut = [](std::size_t) { return std::size_t{10}; };
             return o.Handler();
         },
         {}, "/i.ico", false,
         {{"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", "10-"}, {"/i.ico", ""}, {"/i.ico", "20-"},
          {"/i.ico", ""}, {"/i.ico", "30-"}, {"/i.ico", ""}, {"/i.ico", "40-"}},
         {{"_" + std::string(121, 'a') + ".~tmp", kBody.substr(0, 50)}, {"_" + std::string(122, 'a') + ".dll", std::nullopt}}},
        {"a length above the cap is refused before anything is written",
         [](std::string&) {
             return Fixed("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kMaxDownloadBytes + 1) +
                          "\r\nETag: \"v1\"\r\n\r\n" + std::string(4096, 'x'));
         },
         {{"Lm03000.ico", "old"}}, "/i.ico", false, {{"/i.ico", ""}}, {{"Lm03000.ico", "old"}, {"_v1_.~tmp", std::nullopt}}},
        {"an address with a line break is never sent",
         [](std::string& b) { return Origin{b}.Handler(); }, {}, "/i.ico\r\nX-Injected: 1", false, {},
         {{"Lm03000.ico", std::nullopt}}},
        {"a Location with a line break is not followed",
         [](std::string&) {
             return Fixed("HTTP/1.1 302 Moved Temporarily\r\nLocation: http://127.0.0.1:1/x\rX-Injected: 1\r\n\r\n");
         },
         {}, "/i.ico", false, {{"/i.ico", ""}}, {{"Lm03000.ico", std::nullopt}}},
#ifndef _WIN32
        // Bytes that never reach the disk are no download: the old icon stays.
        {"an entity file that takes no write",
         [](std::string& b) { return Origin{b}.Handler(); }, {{"Lm03000.ico", "old"}}, "/i.ico", false,
         {{"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""},
          {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}},
         {{"Lm03000.ico", "old"}, {"_v1_.~tmp", "<link>"}}, FullDevice("_v1_.~tmp")},
        {"a temporary file that takes no write",
         [](std::string& b) {
             Origin o{b};
             o.etag = nullptr;
             return o.Handler();
         },
         {{"Lm03000.ico", "old"}}, "/i.ico", false,
         {{"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""},
          {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}},
         {{"Lm03000.ico", "old"}, {"Lm03000.ico.~tmp", "<link>"}}, FullDevice("Lm03000.ico.~tmp")},
        {"an entity file that cannot grow past 2048 bytes keeps what it got",
         [](std::string& b) { return Origin{b}.Handler(); }, {{"Lm03000.ico", "old"}}, "/i.ico", false,
         {{"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", "2048-"}, {"/i.ico", ""},
          {"/i.ico", "2048-"}, {"/i.ico", ""}, {"/i.ico", "2048-"}, {"/i.ico", ""}, {"/i.ico", "2048-"}},
         {{"Lm03000.ico", "old"}, {"_v1_.~tmp", kBody.substr(0, 2048)}}, FileSizeCap(2048)},
        {"a temporary file that cannot grow past 2048 bytes",
         [](std::string& b) {
             Origin o{b};
             o.etag = nullptr;
             return o.Handler();
         },
         {{"Lm03000.ico", "old"}}, "/i.ico", false,
         {{"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""},
          {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}, {"/i.ico", ""}},
         {{"Lm03000.ico", "old"}, {"Lm03000.ico.~tmp", kBody.substr(0, 2048)}}, FileSizeCap(2048)},
#endif
    };
    for (const DownloadCase& c : cases) {
        SCOPED_TRACE(c.name);
        CScratch dir;
        for (const auto& [name, bytes] : c.before) dir.Write(name, bytes);
        std::string body = kBody;
        CLoopbackServer server(c.server(body), 0);
        const std::wstring address = L"http://127.0.0.1:" + std::to_wstring(server.Port()) +
                                     std::wstring(c.path.begin(), c.path.end());
        const std::function<void()> undo = c.setup ? c.setup(dir) : nullptr;
        const bool done = SockDownloadFile(address, dir.ClientPath("Lm03000.ico"));
        if (undo) undo();
        EXPECT_EQ(done, c.expected);
        std::vector<std::string> expected;
        for (const auto& [path, range] : c.requests) expected.push_back(Request(server.Host(), path, range));
        EXPECT_EQ(server.Requests(), expected);
        for (const auto& [name, content] : c.after) {
            SCOPED_TRACE(name);
            const auto actual = dir.Read(name);
            if (!content) {
                EXPECT_FALSE(actual.has_value());
            } else {
                // Every case runs, whatever an earlier one left.
                EXPECT_TRUE(actual && *actual == (*content == "<body>" ? kBody : *content))
                    << (actual ? std::to_string(actual->size()) + " bytes" : "missing");
            }
        }
    }
}

TEST(SockClient, ResumesByteExactFromRandomCutPoints) {
    std::mt19937 gen(20261208);
    const std::string body = Resource(6000, 3);
    for (int round = 0; round < 24; ++round) {
        const std::size_t cut = std::uniform_int_distribution<std::size_t>(0, body.size() - 1)(gen);
        SCOPED_TRACE("cut after " + std::to_string(cut));
        CScratch dir;
        // The first data transfer stops after `cut` bytes; later ones go on.
        Origin o{body};
        o.cut = [cut](std::size_t index) { return index == 1 ? cut : std::string::npos; };
        CLoopbackServer server(o.Handler(), 0);
        const std::wstring address = L"http://127.0.0.1:" + std::to_wstring(server.Port()) + L"/i.ico";
        ASSERT_TRUE(SockDownloadFile(address, dir.ClientPath("Lm03000.ico")));
        EXPECT_TRUE(dir.Read("Lm03000.ico") == body);
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 4u);
        EXPECT_EQ(RangeStart(requests[3]), cut);
    }
}

TEST(SockClient, RedirectsAreFollowedOnlyWhenMovedTemporarilyAndBounded) {
    CLoopbackServer target(Origin{kBody}.Handler(), 0);
    const std::string location = "http://" + target.Host() + "/real.ico";
    CLoopbackServer moved(Fixed("HTTP/1.1 302 Moved Temporarily\r\nLocation:  " + location + "\r\nContent-Length: 0\r\n\r\n"),
                          0);
    CScratch dir;
    const std::string first = "http://" + moved.Host() + "/i.ico";
    EXPECT_TRUE(SockDownloadFile(std::wstring(first.begin(), first.end()), dir.ClientPath("a.ico")));
    EXPECT_TRUE(dir.Read("a.ico") == kBody);
    // Every attempt asks the first server again; the transfer goes to the target.
    EXPECT_EQ(moved.Requests(), std::vector<std::string>{Request(moved.Host(), "/i.ico")});
    EXPECT_EQ(target.Requests(),
              (std::vector<std::string>{Request(target.Host(), "/real.ico"), Request(target.Host(), "/real.ico")}));

    unsigned short self = 0;
    CLoopbackServer loop(CLoopbackServer::Handler([&self](const std::string&) {
                             return "HTTP/1.1 302 Moved Temporarily\r\nLocation: http://127.0.0.1:" +
                                    std::to_string(self) + "/again\r\nContent-Length: 0\r\n\r\n";
                         }));
    self = loop.Port();
    EXPECT_FALSE(SockDownloadFile(L"http://127.0.0.1:" + std::to_wstring(self) + L"/i.ico", dir.ClientPath("b.ico")));
    EXPECT_EQ(loop.Requests().size(), 11u);  // the first request and ten hops
}

TEST(SockClient, EveryAttemptMayFollowRedirectsAfresh) {
    // Three hops before the file, and a transfer that brings 600 bytes at a
    // time: the fifth attempt still follows its three hops.
    Origin origin{kBody};
    origin.cut = [](std::size_t) { return std::size_t{600}; };
    const auto file = origin.Handler();
    std::size_t files = 0;
    unsigned short self = 0;
    CLoopbackServer server(CLoopbackServer::CountingHandler([&](const std::string& head, std::size_t) {
                               const std::string path = head.substr(4, head.find(' ', 4) - 4);
                               const std::string next = path == "/a" ? "/b" : path == "/b" ? "/c" : "/real";
                               if (path != "/real")
                                   return "HTTP/1.1 302 Moved Temporarily\r\nLocation: http://127.0.0.1:" +
                                          std::to_string(self) + next + "\r\nContent-Length: 0\r\n\r\n";
                               return file(head, files++);
                           }),
                           0);
    self = server.Port();
    CScratch dir;
    EXPECT_TRUE(SockDownloadFile(L"http://127.0.0.1:" + std::to_wstring(self) + L"/a", dir.ClientPath("a.ico")));
    EXPECT_TRUE(dir.Read("a.ico") == kBody);
}

TEST(SockClient, FetchText) {
    struct Case {
        const char* name;
        std::string reply;
        int holdMs;
        std::string suffix;  // what follows "http://host" in the address
        std::string expectedPath;
        std::string expectedBody;
    };
    const std::vector<Case> cases = {
        {"a bare host requests /", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}", 0, "", "/", "{}"},
        {"any status returns the body", "HTTP/1.1 500 Oops\r\n\r\nnot json", 0, "/icon?game=lmdr&v=2",
         "/icon?game=lmdr&v=2", "not json"},
        {"silence on an open connection ends the body", "HTTP/1.1 200 OK\r\n\r\n{\"time\":\"1\"}", 1500, "/d",
         "/d", "{\"time\":\"1\"}"},
        {"no body", "HTTP/1.1 204 No Content\r\n\r\n", 0, "/d", "/d", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLoopbackServer server(CLoopbackServer::Handler([&c](const std::string&) { return c.reply; }), c.holdMs);
        const auto start = std::chrono::steady_clock::now();
        const std::string address = "http://" + server.Host() + c.suffix;
        EXPECT_EQ(SockFetchText(std::wstring(address.begin(), address.end())), c.expectedBody);
        // A held connection ends by the 128 ms time-out, not the server's close.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1200));
        EXPECT_EQ(server.Requests(), std::vector<std::string>{Request(server.Host(), c.expectedPath)});
    }
    EXPECT_EQ(SockFetchText(L"http://127.0.0.1:1/"), "");
    EXPECT_EQ(SockFetchText(L""), "");
}

}  // namespace
