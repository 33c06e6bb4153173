#include <winsock2.h>
#include <ws2tcpip.h>

#include "framework/text_win.h"
#include "net/sock_platform.h"

namespace {

SOCKET Native(NetSocket s) { return static_cast<SOCKET>(s); }

}  // namespace

bool NetStartup() {
    WSADATA wsa{};
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;
    if (wsa.wVersion != MAKEWORD(2, 2)) {
        ::WSACleanup();
        return false;
    }
    return true;
}

NetSocket NetOpen() {
    const protoent* tcp = ::getprotobyname("tcp");
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, tcp ? tcp->p_proto : IPPROTO_TCP);
    return s == INVALID_SOCKET ? kNoSocket : static_cast<NetSocket>(s);
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
    return ::connect(Native(s), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool NetSetReceiveTimeout(NetSocket s, unsigned ms) {
    const DWORD value = ms;
    return ::setsockopt(Native(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

bool NetSend(NetSocket s, const char* data, std::size_t size) {
    return ::send(Native(s), data, static_cast<int>(size), 0) != SOCKET_ERROR;
}

int NetReceive(NetSocket s, char* buffer, int size) { return ::recv(Native(s), buffer, size, 0); }

void NetShutdown(NetSocket s) { ::shutdown(Native(s), SD_BOTH); }

void NetClose(NetSocket s) { ::closesocket(Native(s)); }

LocalFile FileOpenAppend(const std::wstring& path) {
    // Full write access, not append-only: emptying the file needs it.
    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return kNoFile;
    ::SetFilePointer(h, 0, nullptr, FILE_END);
    return reinterpret_cast<LocalFile>(h);
}

LocalFile FileCreateEmpty(const std::wstring& path) {
    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<LocalFile>(h);
}

std::int64_t FileSizeOf(LocalFile f) {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(reinterpret_cast<HANDLE>(f), &size) ? size.QuadPart : 0;
}

bool FileEmpty(LocalFile f) {
    const HANDLE h = reinterpret_cast<HANDLE>(f);
    return ::SetFilePointer(h, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER && ::SetEndOfFile(h);
}

bool FileAppend(LocalFile f, const char* data, std::size_t size) {
    const HANDLE h = reinterpret_cast<HANDLE>(f);
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr);
    ::FlushFileBuffers(h);
    return ok && written == size;
}

void FileClose(LocalFile f) { ::CloseHandle(reinterpret_cast<HANDLE>(f)); }

bool FileMoveReplace(const std::wstring& from, const std::wstring& to) {
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
}


std::string NarrowText(const std::wstring& text) { return AnsiFromWide(text); }
std::wstring WideText(const std::string& text) { return WideFromAnsi(text); }
