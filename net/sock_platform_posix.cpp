// The native build's sockets and files, for running the socket client in
// unit tests. Paths keep the client's "\" separators; they become "/" here.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "net/sock_platform.h"

namespace {

// Wide text as UTF-8, enough for the tests' paths and addresses.
std::string Utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t wc : text) {
        const auto c = static_cast<std::uint32_t>(wc);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string PosixPath(const std::wstring& path) {
    std::string p = Utf8(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

int Fd(LocalFile f) { return static_cast<int>(f); }

}  // namespace

bool NetStartup() { return true; }

NetSocket NetOpen() {
    const protoent* tcp = ::getprotobyname("tcp");
    const int s = ::socket(AF_INET, SOCK_STREAM, tcp ? tcp->p_proto : IPPROTO_TCP);
    return s < 0 ? kNoSocket : s;
}

bool NetConnect(NetSocket s, const std::string& name, std::uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    sockaddr_in addr = *reinterpret_cast<sockaddr_in*>(found->ai_addr);
    ::freeaddrinfo(found);
    addr.sin_port = htons(port);
    return ::connect(static_cast<int>(s), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool NetSetReceiveTimeout(NetSocket s, unsigned ms) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    return ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

bool NetSend(NetSocket s, const char* data, std::size_t size) {
    return ::send(static_cast<int>(s), data, size, MSG_NOSIGNAL) >= 0;
}

int NetReceive(NetSocket s, char* buffer, int size) {
    ssize_t got;
    do {
        got = ::recv(static_cast<int>(s), buffer, static_cast<std::size_t>(size), 0);
    } while (got < 0 && errno == EINTR);
    return static_cast<int>(got);
}

void NetShutdown(NetSocket s) { ::shutdown(static_cast<int>(s), SHUT_RDWR); }

void NetClose(NetSocket s) { ::close(static_cast<int>(s)); }

LocalFile FileOpenAppend(const std::wstring& path) {
    const int fd = ::open(PosixPath(path).c_str(), O_RDWR | O_CREAT, 0644);
    if (fd < 0) return kNoFile;
    ::lseek(fd, 0, SEEK_END);
    return fd;
}

LocalFile FileCreateEmpty(const std::wstring& path) {
    const int fd = ::open(PosixPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    return fd < 0 ? kNoFile : fd;
}

std::int64_t FileSizeOf(LocalFile f) {
    struct stat st {};
    return ::fstat(Fd(f), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

bool FileEmpty(LocalFile f) { return ::ftruncate(Fd(f), 0) == 0 && ::lseek(Fd(f), 0, SEEK_SET) == 0; }

bool FileAppend(LocalFile f, const char* data, std::size_t size) {
    const ssize_t written = ::write(Fd(f), data, size);
    ::fsync(Fd(f));
    return written == static_cast<ssize_t>(size);
}

void FileClose(LocalFile f) { ::close(Fd(f)); }

bool FileMoveReplace(const std::wstring& from, const std::wstring& to) {
    return std::rename(PosixPath(from).c_str(), PosixPath(to).c_str()) == 0;
}

std::string NarrowText(const std::wstring& text) { return Utf8(text); }

std::wstring WideText(const std::string& text) {
    // Bytes as code points: the wire text here is ASCII.
    return std::wstring(text.begin(), text.end());
}
