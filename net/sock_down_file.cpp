#include "net/sock_down_file.h"

#include <cwchar>

namespace {

constexpr int kMaxRedirects = 10;  // a loop of redirects ends here
constexpr std::size_t kTextCapacity = 64 * 1024;

}  // namespace

void CSockBase::Reset() {
    m_host.clear();
    m_path.clear();
    m_entityName.clear();
    m_request.clear();
    m_header.clear();
    m_contentLength = 0;
    CloseSocket();
}

void CSockBase::CloseSocket() {
    if (m_socket != kNoSocket) {
        NetClose(m_socket);
        m_socket = kNoSocket;
    }
}

bool CSockBase::ParseUrl(const wchar_t* address) {
    if (!address || !*address) return false;
    SockUrl url;
    if (!ParseSockUrl(NarrowText(address), url)) return false;
    m_host = url.host;
    m_path = url.path;
    return true;
}

bool CSockBase::StartNetwork() { return NetStartup(); }

bool CSockBase::OpenSocket() {
    CloseSocket();
    m_socket = NetOpen();
    return m_socket != kNoSocket;
}

bool CSockBase::Connect(const std::string& host) {
    std::string name;
    std::uint16_t port = 80;
    SplitHostPort(host, name, port);
    return NetConnect(m_socket, name, port);
}

bool CSockBase::SetReceiveTimeout(unsigned ms) { return NetSetReceiveTimeout(m_socket, ms); }

void CSockBase::BuildGetRequest(std::int64_t offset) { m_request = ::BuildGetRequest(m_host, m_path, offset); }

bool CSockBase::SendRequest() {
    if (m_request.empty() || m_socket == kNoSocket) return false;
    return NetSend(m_socket, m_request.data(), m_request.size());
}

bool CSockBase::ReadHeaderBlock() {
    CHeaderReader reader;
    char byte = 0;
    // A closed or silent connection ends the read too.
    while (!reader.Complete() && NetReceive(m_socket, &byte, 1) == 1) reader.Add(byte);
    m_header = reader.Text();
    // Only a head that reached its empty line is one.
    return m_header.size() >= 4 && m_header.compare(m_header.size() - 4, 4, "\r\n\r\n") == 0;
}

int CSockBase::CheckResponse() {
    const ResponseInfo info = CheckResponseHead(m_header);
    if (info.redirect) {
        if (++m_redirects > kMaxRedirects) return ResponseFailure;
        const std::wstring location = WideText(info.location);
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
    if (info.hasEntity) {
        m_entityName = info.entityName;
        NetShutdown(m_socket);
        CloseSocket();
    }
    return ResponseUsable;
}

std::string CSockBase::FetchText(const wchar_t* address) {
    Reset();
    m_redirects = 0;
    if (!ParseUrl(address) || !StartNetwork()) return {};
    if (!OpenSocket() || !Connect(m_host) || !SetReceiveTimeout(128)) return {};
    BuildGetRequest(0);
    if (!SendRequest()) return {};
    ReadHeaderBlock();
    std::string body;
    char byte = 0;
    // A reply that never ends is cut: the description is a few hundred bytes.
    while (body.size() < kTextCapacity && NetReceive(m_socket, &byte, 1) == 1) body.push_back(byte);
    NetShutdown(m_socket);
    CloseSocket();
    return body;
}

// ---------------------------------------------------------------------------

int CSockDownFile::Open(const wchar_t* localPath, const wchar_t* address) {
    if (!localPath || !address) return ResponseFailure;
    m_base.Reset();
    m_base.m_redirects = 0;
    std::wcsncpy(m_szLocalPath, localPath, kLocalPathCapacity - 1);
    m_szLocalPath[kLocalPathCapacity - 1] = L'\0';
    if (!m_base.ParseUrl(address) || !m_base.StartNetwork() || !m_base.OpenSocket() || !m_base.Connect(m_base.m_host) ||
        !m_base.SetReceiveTimeout(128))
        return ResponseFailure;
    m_base.BuildGetRequest(0);
    if (!m_base.SendRequest()) return ResponseFailure;
    m_base.ReadHeaderBlock();
    return m_base.CheckResponse();
}

bool CSockDownFile::ReceiveInto(LocalFile file, std::int64_t offset, std::int64_t& received) {
    char chunk[1024];
    int got = 0;
    // Nothing past the announced length is written: a server that goes on
    // sending cannot fill the disk.
    while (offset + received < m_base.m_contentLength &&
           (got = NetReceive(m_base.m_socket, chunk, sizeof chunk)) > 0) {
        const std::int64_t room = m_base.m_contentLength - offset - received;
        const std::size_t take = static_cast<std::size_t>(got < room ? got : room);
        // A chunk that did not reach the disk ends the transfer: counting it
        // would let a file with a hole take the icon's place.
        if (!FileAppend(file, chunk, take)) return false;
        received += static_cast<std::int64_t>(take);
        OnProgress(ProgressPercent(offset + received, m_base.m_contentLength));
    }
    return true;
}

int CSockDownFile::Transfer() {
    const std::wstring destination = m_szLocalPath;
    std::int64_t received = 0;
    // An empty answer is no file: it never takes the place of one.
    if (m_base.m_contentLength <= 0) return 0;
    if (!m_base.m_entityName.empty()) {
        const std::wstring entity = EntityFilePath(destination, WideText(m_base.m_entityName));
        const LocalFile file = FileOpenAppend(entity);
        if (file == kNoFile) return 0;
        std::int64_t offset = FileSizeOf(file);
        bool usable = true;
        bool written = true;
        if (offset > m_base.m_contentLength) {
            usable = FileEmpty(file);
            offset = 0;
        }
        if (usable && offset < m_base.m_contentLength) {
            m_base.BuildGetRequest(offset);
            // A head cut short is no answer: none of it goes into the file.
            if (m_base.SendRequest() && m_base.ReadHeaderBlock()) {
                const std::string status = m_base.m_header.substr(0, m_base.m_header.find("\r\n"));
                const bool whole = status.find(" 200 ") != std::string::npos;
                if (whole || status.find(" 206 ") != std::string::npos) {
                    if (offset > 0 && whole) {
                        // The whole resource came instead of the rest: start the file again.
                        usable = FileEmpty(file);
                        offset = 0;
                    }
                    if (usable) written = ReceiveInto(file, offset, received);
                }
            }
        }
        FileClose(file);
        if (!usable || !written) return 0;
        if (offset + received < m_base.m_contentLength) return 0;  // kept for the next attempt
        // The finished file replaces the old one only now, so a failed
        // download never leaves the destination empty.
        const bool moved = FileMoveReplace(entity, destination);
        OnProgress(100);
        return moved ? 1 : 0;
    }

    const std::wstring temp = destination + L".~tmp";
    const LocalFile file = FileCreateEmpty(temp);
    if (file == kNoFile) return 0;
    m_base.BuildGetRequest(0);
    if (!m_base.SendRequest()) {
        FileClose(file);
        return 0;
    }
    // Only the resource itself may take the icon's place, never an error
    // page that happens to be as long.
    const bool whole = m_base.ReadHeaderBlock() &&
                       m_base.m_header.substr(0, m_base.m_header.find("\r\n")).find(" 200 ") != std::string::npos;
    if (!whole) {
        FileClose(file);
        return 0;
    }
    const bool written = ReceiveInto(file, 0, received);
    FileClose(file);
    if (!written || received < m_base.m_contentLength) return 0;
    // Replacing an older file: the icon is refreshed more than once.
    const bool moved = FileMoveReplace(temp, destination);
    OnProgress(100);
    return moved ? 1 : 0;
}

int CSockDownFile::Download(const wchar_t* localPath, const wchar_t* address) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (Open(localPath, address) != ResponseUsable) return 0;
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
