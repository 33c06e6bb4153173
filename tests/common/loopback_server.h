// A one-connection-at-a-time HTTP server on loopback for the request tests,
// on Windows Sockets or BSD sockets: records each raw request head and
// answers with the handler's reply.
#pragma once
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CLoopbackServer {
public:
#ifdef _WIN32
    using Socket = SOCKET;
    static constexpr Socket kInvalid = INVALID_SOCKET;
    static void CloseSocket(Socket s) { ::closesocket(s); }
    static constexpr int kShutBoth = SD_BOTH;
    using AddrLen = int;
    static constexpr int kSendFlags = 0;
#else
    using Socket = int;
    static constexpr Socket kInvalid = -1;
    static void CloseSocket(Socket s) { ::close(s); }
    static constexpr int kShutBoth = SHUT_RDWR;
    using AddrLen = socklen_t;
    static constexpr int kSendFlags = MSG_NOSIGNAL;  // a client gone early is no signal
#endif
    // The reply to the n-th request (from 0) with this head.
    using Handler = std::function<std::string(const std::string& head)>;
    using CountingHandler = std::function<std::string(const std::string& head, std::size_t index)>;

    explicit CLoopbackServer(std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
        : CLoopbackServer([reply](const std::string&) { return reply; }) {}

    // The connection closes after the reply (or after `holdMs` more).
    explicit CLoopbackServer(Handler handler, int holdMs = 0)
        : CLoopbackServer(CountingHandler([h = std::move(handler)](const std::string& head, std::size_t) {
              return h(head);
          }), holdMs) {}

    // On `port` when it is not 0 (a host a build names), else on any free one.
    CLoopbackServer(CountingHandler handler, int holdMs, unsigned short port = 0)
        : m_handler(std::move(handler)), m_holdMs(holdMs) {
#ifdef _WIN32
        WSADATA wsa;
        ::WSAStartup(MAKEWORD(2, 2), &wsa);
#endif
        m_listen = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(port);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        AddrLen len = sizeof addr;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        ::listen(m_listen, 8);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CLoopbackServer() {
        m_stop = true;
        m_thread.join();
        CloseSocket(m_listen);
#ifdef _WIN32
        ::WSACleanup();
#endif
    }
    CLoopbackServer(const CLoopbackServer&) = delete;
    CLoopbackServer& operator=(const CLoopbackServer&) = delete;

    unsigned short Port() const { return m_port; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(m_port); }
    // The request heads received, in order (connections that sent nothing
    // are not counted).
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    // Waits up to `ms` for the n-th request to have arrived.
    bool WaitFor(std::size_t n, int ms) {
        for (int waited = 0; waited < ms; waited += 10) {
            if (Requests().size() >= n) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return Requests().size() >= n;
    }

private:
    void Serve() {
        while (!m_stop) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(m_listen, &set);
            timeval tv{0, 20000};
            if (::select(static_cast<int>(m_listen) + 1, &set, nullptr, nullptr, &tv) <= 0) continue;
            const Socket s = ::accept(m_listen, nullptr, nullptr);
            if (s == kInvalid) continue;
            std::string head;
            char buf[2048];
            while (head.find("\r\n\r\n") == std::string::npos) {
                const int got = static_cast<int>(::recv(s, buf, sizeof buf, 0));
                if (got <= 0) break;
                head.append(buf, static_cast<std::size_t>(got));
            }
            if (!head.empty()) {
                std::size_t index = 0;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    index = m_requests.size();
                    m_requests.push_back(head);
                }
                const std::string reply = m_handler(head, index);
                std::size_t sent = 0;
                while (sent < reply.size()) {
                    const int n = static_cast<int>(::send(s, reply.data() + sent, static_cast<int>(reply.size() - sent), kSendFlags));
                    if (n <= 0) break;
                    sent += static_cast<std::size_t>(n);
                }
                if (m_holdMs) std::this_thread::sleep_for(std::chrono::milliseconds(m_holdMs));
            }
            ::shutdown(s, kShutBoth);
            CloseSocket(s);
        }
    }

    CountingHandler m_handler;
    int m_holdMs = 0;
    Socket m_listen = kInvalid;
    unsigned short m_port = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};
