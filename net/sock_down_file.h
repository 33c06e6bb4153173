// A small blocking HTTP/1.1 client on sockets: a text fetch and a resumable
// file download (the desktop icon). Portable over net/sock_platform.h.
#pragma once
#include <cstdint>
#include <string>

#include "net/http_socket.h"
#include "net/sock_platform.h"

class CSockBase {
public:
    CSockBase() = default;
    ~CSockBase() { Reset(); }
    CSockBase(const CSockBase&) = delete;
    CSockBase& operator=(const CSockBase&) = delete;

    void Reset();
    bool ParseUrl(const wchar_t* address);
    bool StartNetwork();
    bool OpenSocket();
    bool Connect(const std::string& host);
    bool SetReceiveTimeout(unsigned ms);
    bool SendRequest();
    void BuildGetRequest(std::int64_t offset);
    bool ReadHeaderBlock();
    // 0 usable, 1 failure, 2 unexpected status or no length; follows
    // "302 Moved Temporarily" (a bounded number of times).
    int CheckResponse();
    // The reply body of a GET, as received; empty on failure.
    std::string FetchText(const wchar_t* address);
    void CloseSocket();

    std::string m_host;
    std::string m_path;
    std::string m_request;
    std::string m_header;
    NetSocket m_socket = kNoSocket;
    std::string m_entityName;
    std::int64_t m_contentLength = 0;

    // Redirects followed since the last Open or FetchText.
    int m_redirects = 0;
};

inline constexpr std::size_t kLocalPathCapacity = 260;

class CSockDownFile {
public:
    virtual ~CSockDownFile() = default;
    virtual void OnProgress(int) {}

    int Open(const wchar_t* localPath, const wchar_t* address);
    int Transfer();
    // Nonzero when the destination file is complete.
    int Download(const wchar_t* localPath, const wchar_t* address);

    CSockBase m_base;
    wchar_t m_szLocalPath[kLocalPathCapacity] = {};

private:
    // False when a chunk could not be written.
    bool ReceiveInto(LocalFile file, std::int64_t offset, std::int64_t& received);
};

// The icon refresh's two requests.
std::string SockFetchText(const std::wstring& address);
bool SockDownloadFile(const std::wstring& address, const std::wstring& path);
