// The request and response texts of the socket HTTP client. Portable.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct SockUrl {
    std::string host;  // with its ":port" when the address has one
    std::string path;  // from the first "/" on, "/" when none
};
// Any scheme up to "://" is dropped; false for an empty address, and for
// one holding a blank or a control character (a line break would end the
// request line and let the address write header fields of its own).
bool ParseSockUrl(std::string_view address, SockUrl& out);
// "name:port" or "name" (port 80).
void SplitHostPort(std::string_view host, std::string& name, std::uint16_t& port);

inline constexpr std::size_t kRequestCapacity = 2048;
inline constexpr std::size_t kHeaderCapacity = 1024;
inline constexpr std::size_t kEntityNameCapacity = 128;  // the partial file's name, terminator included
// The largest file a download takes: the icon is a few kilobytes, and a
// length above this one is refused before anything is written.
inline constexpr std::int64_t kMaxDownloadBytes = 4 * 1024 * 1024;

// The GET request: request line, Host, the fixed fields in name order, a
// Range from `offset` (all its digits) when it is above 0, the empty line.
// Empty when it does not fit 2047 bytes.
std::string BuildGetRequest(std::string_view host, std::string_view path, std::int64_t offset);

enum ResponseResult : int { ResponseUsable = 0, ResponseFailure = 1, ResponseUnexpected = 2 };
struct ResponseInfo {
    int result = ResponseFailure;
    bool redirect = false;        // "302 Moved Temporarily" with a Location
    std::string location;
    std::int64_t contentLength = 0;
    bool hasEntity = false;       // the response had a quoted ETag
    std::string entityName;       // the tag made a file name
};
// A head that does not end with the empty line (cut short, or longer than
// the buffer) is a failure.
ResponseInfo CheckResponseHead(std::string_view head);

// A strong or weak entity tag in its quotes ("x", W/"x").
bool IsQuotedTag(std::string_view tag);
// The ETag value with the characters a file name cannot hold replaced by "_".
std::string EntityNameFromTag(std::string_view tag);
// The folder of the destination (before its last "\", else its last "/")
// joined with the entity name, cut to fit, and ".~tmp": the server names the
// partial file, never its extension.
std::wstring EntityFilePath(std::wstring_view destination, std::wstring_view entityName);
int ProgressPercent(std::int64_t done, std::int64_t length);

// Collects a response head one byte at a time: done at the empty line, or
// when the buffer is full.
class CHeaderReader {
public:
    // Returns true when the head is complete (or the buffer full).
    bool Add(char byte);
    bool Complete() const { return m_complete; }
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
    bool m_complete = false;
};
