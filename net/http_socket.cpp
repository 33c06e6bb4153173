#include "net/http_socket.h"

#include <cstdio>

bool ParseSockUrl(std::string_view address, SockUrl& out) {
    if (address.empty()) return false;
    for (const char c : address)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
    if (const auto scheme = address.find("://"); scheme != std::string_view::npos) address.remove_prefix(scheme + 3);
    const auto slash = address.find('/');
    if (slash == std::string_view::npos) {
        out.host.assign(address);
        out.path.assign(1, '/');
    } else {
        out.host.assign(address.substr(0, slash));
        out.path.assign(address.substr(slash));
    }
    return true;
}

void SplitHostPort(std::string_view host, std::string& name, std::uint16_t& port) {
    const auto colon = host.find(':');
    if (colon == std::string_view::npos) {
        name.assign(host);
        port = 80;
        return;
    }
    name.assign(host.substr(0, colon));
    long value = 0;
    for (std::size_t i = colon + 1; i < host.size() && host[i] >= '0' && host[i] <= '9'; ++i) {
        value = value * 10 + (host[i] - '0');
        if (value > 65535) break;
    }
    // A port out of range is port 0, where no connection can be made.
    port = static_cast<std::uint16_t>(value > 65535 ? 0 : value);
}

std::string BuildGetRequest(std::string_view host, std::string_view path, std::int64_t offset) {
    std::string r;
    r.reserve(512 + path.size() + host.size());
    r.append("GET ");
    r.append(path);
    r += " HTTP/1.1\r\nHost: ";
    r.append(host);
    r += "\r\n";
    // The fixed fields, in byte-wise name order.
    r += "Accept: */*\r\n";
    r += "Connection: Keep-Alive\r\n";
    r += "User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1; WOW64; Trident/7.0; SLCC2; .NET CLR "
         "2.0.50727; .NET CLR 3.5.30729; .NET CLR 3.0.30729; .NET4.0C; .NET4.0E)\r\n";
    if (offset > 0) {
        // Written whole, however many digits it has.
        char digits[24];
        std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(offset));
        r += "Range: bytes=";
        r += digits;
        r += "-\r\n";
    }
    r += "\r\n";
    if (r.size() > kRequestCapacity - 1) return {};
    return r;
}

namespace {

// The text after `field` up to the next "\r\n", leading blanks skipped, at
// most 255 bytes; false when the field is missing.
bool FieldValue(std::string_view head, std::string_view field, std::string& value, bool skipBlanks) {
    const auto at = head.find(field);
    if (at == std::string_view::npos) return false;
    std::size_t i = at + field.size();
    if (skipBlanks)
        while (i < head.size() && head[i] == ' ') ++i;
    const auto end = head.find("\r\n", i);
    value.assign(head.substr(i, (end == std::string_view::npos ? head.size() : end) - i));
    if (value.size() > 255) value.resize(255);
    return true;
}

}  // namespace

bool IsQuotedTag(std::string_view tag) {
    while (!tag.empty() && (tag.back() == ' ' || tag.back() == '\t')) tag.remove_suffix(1);
    if (tag.rfind("W/", 0) == 0) tag.remove_prefix(2);
    return tag.size() >= 2 && tag.front() == '"' && tag.back() == '"';
}

std::string EntityNameFromTag(std::string_view tag) {
    std::string name(tag);
    for (char& c : name)
        if (c == '"' || c == '*' || c == '/' || c == ':' || c == '<' || c == '>' || c == '?' || c == '\\' || c == '|')
            c = '_';
    return name;
}

ResponseInfo CheckResponseHead(std::string_view head) {
    ResponseInfo info;
    // A head cut short by a closed or silent connection, or one too long for
    // the buffer, is no response.
    if (head.size() < 4 || head.substr(head.size() - 4) != "\r\n\r\n") return info;
    const auto lineEnd = head.find("\r\n");
    if (lineEnd == std::string_view::npos) return info;
    std::string_view status = head.substr(0, lineEnd);
    if (status.size() > 255) status = status.substr(0, 255);

    if (status.find(" 200 ") != std::string_view::npos || status.find(" 206 ") != std::string_view::npos) {
        std::string length;
        if (!FieldValue(head, "Content-Length:", length, false)) {
            info.result = ResponseUnexpected;
            return info;
        }
        std::size_t i = 0;
        while (i < length.size() && (length[i] == ' ' || length[i] == '\t')) ++i;
        bool negative = false;
        if (i < length.size() && (length[i] == '-' || length[i] == '+')) negative = length[i++] == '-';
        std::int64_t value = 0;
        std::size_t digits = 0;
        for (; i < length.size() && length[i] >= '0' && length[i] <= '9'; ++i, ++digits) {
            if (value > (INT64_MAX - 9) / 10) break;
            value = value * 10 + (length[i] - '0');
        }
        // A length below zero or without digits is no length: an empty or
        // partial file would pass for complete.
        if (negative || digits == 0 || value > kMaxDownloadBytes) {
            info.result = ResponseUnexpected;
            return info;
        }
        info.contentLength = value;
        // Only a quoted tag names an entity file: the quotes become "_" at
        // both ends, so the name can never be one of the client's own files.
        std::string tag;
        if (FieldValue(head, "ETag:", tag, true)) {
            while (!tag.empty() && (tag.back() == ' ' || tag.back() == '\t')) tag.pop_back();
        }
        if (!tag.empty() && IsQuotedTag(tag)) {
            info.hasEntity = true;
            info.entityName = EntityNameFromTag(tag);
        }
        info.result = ResponseUsable;
        return info;
    }
    if (status.find("302 Moved Temporarily") != std::string_view::npos) {
        if (!FieldValue(head, "Location:", info.location, true)) return info;
        info.redirect = true;
        return info;
    }
    info.result = ResponseUnexpected;
    return info;
}

std::wstring EntityFilePath(std::wstring_view destination, std::wstring_view entityName) {
    auto cut = destination.rfind(L'\\');
    if (cut == std::wstring_view::npos) cut = destination.rfind(L'/');
    const std::wstring_view folder = cut == std::wstring_view::npos ? std::wstring_view() : destination.substr(0, cut);
    constexpr std::wstring_view kPartial = L".~tmp";
    const std::wstring_view name = entityName.substr(0, kEntityNameCapacity - 1 - kPartial.size());
    return std::wstring(folder) + L"\\" + std::wstring(name) + std::wstring(kPartial);
}

int ProgressPercent(std::int64_t done, std::int64_t length) {
    if (length <= 0) return 0;
    return static_cast<int>(done * 100 / length);
}

bool CHeaderReader::Add(char byte) {
    if (m_complete) return true;
    m_text.push_back(byte);
    const std::size_t n = m_text.size();
    if ((n >= 4 && m_text.compare(n - 4, 4, "\r\n\r\n") == 0) || n >= kHeaderCapacity - 1) m_complete = true;
    return m_complete;
}
