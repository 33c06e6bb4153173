#include "install/install_logic.h"

#include <cstdio>

#include "settings/settings_keys.h"

namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return static_cast<std::uint32_t>(d[at]) | (static_cast<std::uint32_t>(d[at + 1]) << 8) |
           (static_cast<std::uint32_t>(d[at + 2]) << 16) | (static_cast<std::uint32_t>(d[at + 3]) << 24);
}
std::uint32_t Be32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return (static_cast<std::uint32_t>(d[at]) << 24) | (static_cast<std::uint32_t>(d[at + 1]) << 16) |
           (static_cast<std::uint32_t>(d[at + 2]) << 8) | static_cast<std::uint32_t>(d[at + 3]);
}
std::uint16_t Le16(const std::vector<std::uint8_t>& d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}
void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
bool IsPng(const std::vector<std::uint8_t>& d) {
    return d.size() >= 24 && d[0] == 0x89 && d[1] == 'P' && d[2] == 'N' && d[3] == 'G';
}

}  // namespace

IconEntry ReadIconEntry(const std::vector<std::uint8_t>& d) {
    IconEntry e;
    if (IsPng(d)) {  // a PNG-compressed image: its size from the IHDR chunk
        e.width = static_cast<int>(Be32(d, 16));
        e.height = static_cast<int>(Be32(d, 20));
        e.planes = 1;
        e.bitCount = 32;
        e.valid = true;
        return e;
    }
    if (d.size() < 40 || Le32(d, 0) < 40) return e;
    e.width = static_cast<int>(Le32(d, 4));
    e.height = static_cast<int>(Le32(d, 8)) / 2;
    e.planes = Le16(d, 12);
    e.bitCount = Le16(d, 14);
    e.valid = true;
    return e;
}

std::vector<std::uint8_t> BuildIconFile(const std::vector<IconImage>& images) {
    std::vector<std::uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<std::uint32_t>(images.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (const IconImage& image : images) {
        const IconEntry e = ReadIconEntry(image.data);
        const int depth = e.planes * e.bitCount;
        out.push_back(static_cast<std::uint8_t>(e.width));   // 256 is written as 0
        out.push_back(static_cast<std::uint8_t>(e.height));
        out.push_back(static_cast<std::uint8_t>(depth < 8 ? (1 << depth) : 0));
        out.push_back(0);
        Put16(out, static_cast<std::uint32_t>(e.planes));
        Put16(out, static_cast<std::uint32_t>(e.bitCount));
        Put32(out, static_cast<std::uint32_t>(image.data.size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(image.data.size());
    }
    for (const IconImage& image : images) {
        const std::size_t start = out.size();
        out.insert(out.end(), image.data.begin(), image.data.end());
        if (!IsPng(image.data) && image.data.size() >= 40)
            for (int i = 0; i < 4; ++i) out[start + 20 + static_cast<std::size_t>(i)] = 0;  // biSizeImage
    }
    return out;
}

std::string FolderOfPath(std::string_view path) {
    const auto cut = path.rfind('\\');
    return std::string(cut == std::string_view::npos ? path : path.substr(0, cut));
}

std::string SelfDeleteScript(std::string_view exe, std::string_view folder, std::string_view script, bool removeFolder) {
    // The command processor reads the script: "%" in a path would expand a
    // variable and is doubled; "?" and "*" (what a character the code page
    // lacks becomes) would match other files, and a quote or a line break
    // would end the path, so a path holding one gets no script at all. The
    // same goes for a script that would not fit: a cut one is never run.
    for (const std::string_view path : {exe, removeFolder ? folder : exe, script})
        if (path.empty() || path.find_first_of("?*\"\r\n") != std::string_view::npos) return {};
    const auto quoted = [](std::string_view path) {
        std::string q = "\"";
        for (const char c : path) {
            if (c == '%') q += '%';
            q += c;
        }
        return q + "\"";
    };
    std::string s = "setlocal DisableDelayedExpansion\r\ncd\\\r\n:delexe\r\nping -n 1 127.0.0.1\r\ndel " + quoted(exe) +
                    "\r\nif exist " + quoted(exe) + " goto :delexe\r\n";
    if (removeFolder) s += "del " + quoted(folder) + " /Q /F /A\r\nrd " + quoted(folder) + "\r\n";
    s += "del " + quoted(script) + "\r\n";
    return s.size() > 2047 ? std::string() : s;
}

std::wstring DesktopLinkPath(std::wstring_view desktop, std::wstring_view name) {
    return std::wstring(desktop) + L"\\" + std::wstring(name) + L".lnk";
}

std::wstring ProgramsFolderPath(std::wstring_view programs) { return std::wstring(programs) + L"\\4286登录器"; }

std::wstring ProgramsLinkPath(std::wstring_view programs, std::wstring_view name) {
    return ProgramsFolderPath(programs) + L"\\" + std::wstring(name) + L".lnk";
}

std::wstring QuickLaunchLinkPath(std::wstring_view roaming, std::wstring_view name) {
    return std::wstring(roaming) + L"\\Microsoft\\Internet Explorer\\Quick Launch\\" + std::wstring(name) + L".lnk";
}

std::wstring LegacyDesktopLinkPath(std::wstring_view documents, std::wstring_view desktop, std::wstring_view name) {
    const auto docCut = documents.rfind(L'\\');
    const auto deskCut = desktop.rfind(L'\\');
    return std::wstring(docCut == std::wstring_view::npos ? documents : documents.substr(0, docCut)) +
           std::wstring(deskCut == std::wstring_view::npos ? desktop : desktop.substr(deskCut)) + L"\\" +
           std::wstring(name) + L".lnk";
}

std::wstring UninstallLinkName(std::wstring_view name) { return L"卸载 " + std::wstring(name); }

std::wstring DesktopLinkDescription(std::wstring_view portalHost) {
    return std::wstring(portalHost) + L"中国最大的网页游戏平台";
}

std::wstring UninstallDoneMessage(std::wstring_view displayName) {
    return std::wstring(displayName.substr(0, 127)) + L"已成功移除，部分文件将在程序退出\r\n或计算机重启后自行删除";
}

std::wstring ClassesRootKeyName(std::wstring_view exeFileName) {
    std::wstring name(exeFileName);
    for (auto& c : name)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    if (const auto dot = name.rfind(L'.'); dot != std::wstring::npos) name.erase(dot);
    return L"loginer" + name;
}

std::string CutJsonObject(std::string_view body) {
    const auto first = body.find('{');
    const auto last = body.rfind('}');
    if (first == std::string_view::npos) return {};
    if (last == std::string_view::npos || last < first) return std::string(body.substr(first, 1));
    return std::string(body.substr(first, last - first + 1));
}

bool AcceptIconName(std::wstring_view name) {
    if (name.empty() || name.size() > 31 || !ReadsBackIntact(name, Keys::IconName.capacity)) return false;
    // The name becomes a file name in three folders: nothing that leaves the
    // folder, that a file name cannot hold, or that names a device.
    for (wchar_t c : name)
        if (c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) return false;
    if (name.back() == L'.' || name.back() == L' ' || name.find_first_not_of(L'.') == std::wstring_view::npos)
        return false;
    std::wstring stem(name.substr(0, name.find(L'.')));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    for (wchar_t& c : stem)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL"})
        if (stem == device) return false;
    if (stem.size() == 4 && (stem.rfind(L"COM", 0) == 0 || stem.rfind(L"LPT", 0) == 0) && stem[3] >= L'1' &&
        stem[3] <= L'9')
        return false;
    return true;
}

bool AppliesIconDescription(std::wstring_view name, std::wstring_view time) {
    return AcceptIconName(name) && ReadsBackIntact(time, Keys::IconTime.capacity);
}

std::wstring StoredLinkName(std::wstring_view stored) {
    return AcceptIconName(stored) ? std::wstring(stored) : std::wstring(L"Lumendor");
}

std::wstring RefreshUninstallLinkName(std::wstring_view name) { return UninstallLinkName(name.substr(0, 28)); }
