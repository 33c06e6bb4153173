#include "net/http_address.h"

#include "app/run_mode.h"

bool SplitHttpAddress(std::wstring_view address, HttpAddress& out) {
    constexpr std::wstring_view kScheme = L"http://";
    if (address.size() < kScheme.size() || !EqualsNoCase(address.substr(0, kScheme.size()), kScheme)) return false;
    std::wstring_view rest = address.substr(kScheme.size());
    const auto slash = rest.find(L'/');
    std::wstring_view host = rest.substr(0, slash);
    std::wstring_view object = slash == std::wstring_view::npos ? std::wstring_view() : rest.substr(slash + 1);
    if (host.size() >= kHostCapacity || object.size() >= kObjectCapacity) return false;
    out.port = 80;
    if (const auto colon = host.find(L':'); colon != std::wstring_view::npos) {
        out.port = static_cast<std::uint16_t>(ParseDecimalInt(host.substr(colon + 1)));
        host = host.substr(0, colon);
    }
    out.host.assign(host);
    out.object.assign(object);
    return true;
}
