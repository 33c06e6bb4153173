#include "net/sock_down_file_win.h"

#include <ws2tcpip.h>

#include "framework/text_win.h"

#include <vector>

namespace {

constexpr int kMaxRedirects = 10;  // a loop of redirects ends here

std::string Narrow(const wchar_t* text) {
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

}  // namespace

void CSockBase::Reset() {
    m_host.clear();
    m_path.clear();
    m_entityName.clear();
    m_request.clear();
    m_header.clear();
    m_contentLength = 0;
    m_lastPartial = false;
    CloseSocket();
}

void CSockBase::CloseSocket() {
    if (m_socket != INVALID_SOCKET) {
        ::closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }
}

bool CSockBase::ParseUrl(const wchar_t* address) {
    if (!address || !*address) return false;
    SockUrl url;
    if (!ParseSockUrl(Narrow(address), url)) return false;
    m_host = url.host;
    m_path = url.path;
    return true;
}

bool CSockBase::StartNetwork() {
    WSADATA wsa{};
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;
    if (wsa.wVersion != MAKEWORD(2, 2)) {
        ::WSACleanup();
        return false;
    }
    return true;
}

bool CSockBase::OpenSocket() {
    CloseSocket();
    const protoent* tcp = ::getprotobyname("tcp");
    m_socket = ::socket(AF_INET, SOCK_STREAM, tcp ? tcp->p_proto : IPPROTO_TCP);
    return m_socket != INVALID_SOCKET;
}

bool CSockBase::Connect(const std::string& host) {
    std::string name;
    std::uint16_t port = 80;
    SplitHostPort(host, name, port);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    sockaddr_in addr = *reinterpret_cast<sockaddr_in*>(found->ai_addr);
    ::freeaddrinfo(found);
    addr.sin_port = htons(port);
    return ::connect(m_socket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool CSockBase::SetReceiveTimeout(DWORD ms) {
    return ::setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms) == 0;
}

void CSockBase::BuildGetRequest(std::int64_t offset) { m_request = ::BuildGetRequest(m_host, m_path, offset); }

bool CSockBase::SendRequest() {
    if (m_request.empty() || m_socket == INVALID_SOCKET) return false;
    return ::send(m_socket, m_request.data(), static_cast<int>(m_request.size()), 0) != SOCKET_ERROR;
}

bool CSockBase::ReadHeaderBlock() {
    CHeaderReader reader;
    char byte = 0;
    // A closed or silent connection ends the read too.
    while (!reader.Complete() && ::recv(m_socket, &byte, 1, 0) == 1) reader.Add(byte);
    m_header = reader.Text();
    return reader.Complete();
}

int CSockBase::CheckResponse() {
    const ResponseInfo info = CheckResponseHead(m_header);
    if (info.redirect) {
        if (++m_redirects > kMaxRedirects) return ResponseFailure;
        const std::wstring location = WideFromAnsi(info.location);
        Reset();
        if (!ParseUrl(location.c_str()) || !StartNetwork() || !OpenSocket() || !Connect(m_host) ||
            !SetReceiveTimeout(10000))
            return ResponseFailure;
        BuildGetRequest(0);
        if (!SendRequest()) return ResponseFailure;
        ReadHeaderBlock();
        return CheckResponse();
    }
    if (info.result != ResponseUsable) return info.result;
    m_contentLength = info.contentLength;
    m_lastPartial = info.partial;
    if (info.hasEntity) {
        m_entityName = info.entityName;
        ::shutdown(m_socket, SD_BOTH);
        CloseSocket();
    }
    return ResponseUsable;
}

std::string CSockBase::FetchText(const wchar_t* address) {
    Reset();
    if (!ParseUrl(address) || !StartNetwork()) return {};
    if (!OpenSocket() || !Connect(m_host) || !SetReceiveTimeout(128)) return {};
    BuildGetRequest(0);
    if (!SendRequest()) return {};
    ReadHeaderBlock();
    std::string body;
    char byte = 0;
    while (::recv(m_socket, &byte, 1, 0) == 1) body.push_back(byte);
    ::shutdown(m_socket, SD_BOTH);
    CloseSocket();
    return body;
}

// ---------------------------------------------------------------------------

int CSockDownFile::Open(const wchar_t* localPath, const wchar_t* address) {
    if (!localPath || !address) return 1;
    m_base.Reset();
    ::lstrcpynW(m_szLocalPath, localPath, MAX_PATH);
    if (!m_base.ParseUrl(address) || !m_base.StartNetwork() || !m_base.OpenSocket() || !m_base.Connect(m_base.m_host) ||
        !m_base.SetReceiveTimeout(128))
        return 1;
    m_base.BuildGetRequest(0);
    if (!m_base.SendRequest()) return 1;
    m_base.ReadHeaderBlock();
    return m_base.CheckResponse();
}

int CSockDownFile::ReceiveInto(HANDLE file, std::int64_t offset, std::int64_t& received) {
    char chunk[1024];
    int got = 0;
    while ((got = ::recv(m_base.m_socket, chunk, sizeof chunk, 0)) > 0) {
        DWORD written = 0;
        ::WriteFile(file, chunk, static_cast<DWORD>(got), &written, nullptr);
        ::FlushFileBuffers(file);
        received += got;
        if (m_base.m_contentLength > 0) OnProgress(ProgressPercent(offset + received, m_base.m_contentLength));
    }
    return 1;
}

int CSockDownFile::Transfer() {
    const std::wstring destination = m_szLocalPath;
    std::int64_t received = 0;
    if (!m_base.m_entityName.empty()) {
        std::wstring name = WideFromAnsi(m_base.m_entityName);
        if (name.size() > 127) name.resize(127);
        const std::wstring entity = EntityFilePath(destination, name);
        HANDLE file = ::CreateFileW(entity.c_str(), FILE_APPEND_DATA | GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 0;
        LARGE_INTEGER size{};
        ::GetFileSizeEx(file, &size);
        std::int64_t offset = size.QuadPart;
        if (offset > m_base.m_contentLength) {
            ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
            ::SetEndOfFile(file);
            offset = 0;
        }
        if (offset < m_base.m_contentLength) {
            m_base.BuildGetRequest(offset);
            if (m_base.SendRequest()) {
                m_base.ReadHeaderBlock();
                const ResponseInfo info = CheckResponseHead(m_base.m_header);
                const std::string status = m_base.m_header.substr(0, m_base.m_header.find("\r\n"));
                if (status.find(" 200 ") != std::string::npos || status.find(" 206 ") != std::string::npos) {
                    if (offset > 0 && !info.partial) {
                        // The whole resource came instead of the rest: start the file again.
                        ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
                        ::SetEndOfFile(file);
                        offset = 0;
                    }
                    ReceiveInto(file, offset, received);
                }
            }
        }
        ::CloseHandle(file);
        if (offset + received < m_base.m_contentLength) return 0;  // kept for the next attempt
        // The finished file replaces the old one only now, so a failed
        // download never leaves the destination empty.
        const BOOL moved = ::MoveFileExW(entity.c_str(), destination.c_str(),
                                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
        OnProgress(100);
        return moved ? 1 : 0;
    }

    const std::wstring temp = destination + L".~tmp";
    HANDLE file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    m_base.BuildGetRequest(0);
    if (!m_base.SendRequest()) {
        ::CloseHandle(file);
        return 0;
    }
    m_base.ReadHeaderBlock();
    ReceiveInto(file, 0, received);
    ::CloseHandle(file);
    if (received < m_base.m_contentLength) return 0;
    // Replacing an older file: the icon is refreshed more than once.
    const BOOL moved = ::MoveFileExW(temp.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING);
    OnProgress(100);
    return moved ? 1 : 0;
}

int CSockDownFile::Download(const wchar_t* localPath, const wchar_t* address) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (Open(localPath, address) != 0) return 0;
        if (m_base.OpenSocket() && m_base.Connect(m_base.m_host) && m_base.SetReceiveTimeout(128)) {
            const int done = Transfer();
            if (done) return done;
        }
    }
    return 0;
}

std::string SockFetchText(const std::wstring& address) {
    CSockBase base;
    return base.FetchText(address.c_str());
}

bool SockDownloadFile(const std::wstring& address, const std::wstring& path) {
    CSockDownFile download;
    return download.Download(path.c_str(), address.c_str()) != 0;
}
