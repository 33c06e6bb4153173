// libFuzzer target over what the socket client reads from the network: the
// response head byte by byte, its check, and addresses from a redirect.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/http_socket.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    CHeaderReader reader;
    for (char c : bytes)
        if (reader.Add(c)) break;
    if (reader.Text().size() >= kHeaderCapacity) __builtin_trap();
    if (reader.Complete() && reader.Text().size() < kHeaderCapacity - 1 &&
        reader.Text().compare(reader.Text().size() - 4, 4, "\r\n\r\n") != 0)
        __builtin_trap();

    for (const std::string& head : {reader.Text(), bytes}) {
        const ResponseInfo info = CheckResponseHead(head);
        if (info.result != ResponseUsable && info.result != ResponseFailure && info.result != ResponseUnexpected)
            __builtin_trap();
        if (info.redirect && (info.result != ResponseFailure || info.location.size() > 255)) __builtin_trap();
        if (info.entityName.size() > 255 || info.entityName.find_first_of("\"*/:<>?\\|") != std::string::npos)
            __builtin_trap();
        if (!info.hasEntity && !info.entityName.empty()) __builtin_trap();

        // A redirect's address goes round again.
        SockUrl url;
        if (ParseSockUrl(info.redirect ? info.location : head, url)) {
            if (url.path.empty() || url.path[0] != '/') __builtin_trap();
            std::string name;
            std::uint16_t port = 0;
            SplitHostPort(url.host, name, port);
            if (name.size() > url.host.size()) __builtin_trap();
            const std::string request = BuildGetRequest(url.host, url.path, info.contentLength);
            if (request.size() >= kRequestCapacity) __builtin_trap();
            if (!request.empty() && request.compare(request.size() - 4, 4, "\r\n\r\n") != 0) __builtin_trap();
        }
    }
    return 0;
}
