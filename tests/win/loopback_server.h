// A one-connection-at-a-time HTTP server on loopback for the request tests:
// records each raw request head and answers with a fixed reply.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CLoopbackServer {
public:
    using Handler = std::function<std::string(const std::string& head)>;

    explicit CLoopbackServer(std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
        : CLoopbackServer([reply](const std::string&) { return reply; }) {}

    // The handler answers each request head with the whole reply; the
    // connection closes after it (or after `holdMs` more).
    explicit CLoopbackServer(Handler handler, int holdMs = 0) : m_handler(std::move(handler)), m_holdMs(holdMs) {
        WSADATA wsa;
        ::WSAStartup(MAKEWORD(2, 2), &wsa);
        m_listen = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        int len = sizeof addr;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        ::listen(m_listen, 8);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CLoopbackServer() {
        m_stop = true;
        ::closesocket(m_listen);
        m_thread.join();
        ::WSACleanup();
    }
    unsigned short Port() const { return m_port; }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    // Waits up to `ms` for the n-th request to have arrived.
    bool WaitFor(std::size_t n, int ms) {
        for (int waited = 0; waited < ms; waited += 10) {
            if (Requests().size() >= n) return true;
            ::Sleep(10);
        }
        return Requests().size() >= n;
    }

private:
    void Serve() {
        while (!m_stop) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(m_listen, &set);
            timeval tv{0, 50000};
            if (::select(0, &set, nullptr, nullptr, &tv) <= 0) continue;
            SOCKET s = ::accept(m_listen, nullptr, nullptr);
            if (s == INVALID_SOCKET) continue;
            std::string head;
            char buf[2048];
            while (head.find("\r\n\r\n") == std::string::npos) {
                int got = ::recv(s, buf, sizeof buf, 0);
                if (got <= 0) break;
                head.append(buf, static_cast<std::size_t>(got));
            }
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_requests.push_back(head);
            }
            const std::string reply = m_handler(head);
            ::send(s, reply.data(), static_cast<int>(reply.size()), 0);
            if (m_holdMs) ::Sleep(static_cast<DWORD>(m_holdMs));
            ::shutdown(s, SD_BOTH);
            ::closesocket(s);
        }
    }

    Handler m_handler;
    int m_holdMs = 0;
    SOCKET m_listen = INVALID_SOCKET;
    unsigned short m_port = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};
