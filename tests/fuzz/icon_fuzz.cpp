// libFuzzer target over the portal's icon description: the reply cut to its
// object, parsed, and the name judged as a link's file name.
#include <cstddef>
#include <cstdint>
#include <string>

#include "install/icon_description.h"
#include "install/install_logic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);

    const std::string object = CutJsonObject(reply);
    if (!object.empty() && (object.front() != '{' || object.size() > reply.size())) __builtin_trap();

    IconDescription d;
    if (!ParseIconDescription(reply, d)) return 0;
    if (object.empty() || d.url.size() > 255 || d.time.size() > 63) __builtin_trap();

    if (AcceptIconName(d.name)) {
        if (d.name.empty() || d.name.size() > 31) __builtin_trap();
        for (wchar_t c : d.name)
            if (c < 32 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) __builtin_trap();
        if (d.name.back() == L'.' || d.name.back() == L' ') __builtin_trap();
    }
    if (RefreshUninstallLinkName(d.name).size() > 3 + 28) __builtin_trap();
    return 0;
}
