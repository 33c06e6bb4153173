#include "stats/identity.h"

#include <cstdio>

#include "stats/md5.h"

CRuntimeRand& ThreadRand() {
    thread_local CRuntimeRand rng;
    return rng;
}

std::wstring DidGroup(wchar_t c, int r) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d", static_cast<int>(c) * 7);
    std::wstring group(buf, buf + std::char_traits<char>::length(buf));
    for (std::size_t i = 0; i < 4 && i < group.size(); ++i)
        if (group[i] == L'0') group[i] = static_cast<wchar_t>(L'a' + r % 26);
    return group;
}

std::wstring BuildDid(std::wstring_view identity, CRuntimeRand& rng) {
    std::wstring did;
    for (wchar_t c : identity) {
        did += DidGroup(c, rng.Next());
        if (did.size() >= kDidCapacity - 1) {
            did.resize(kDidCapacity - 1);
            break;
        }
    }
    return did;
}

std::string ComputeVid(std::string_view identityAnsi) {
    std::string h = Md5HexOfBytes(identityAnsi.data(), identityAnsi.size());
    const std::string salted = "3000" + h;
    h = Md5HexOfBytes(salted.data(), salted.size());
    return Md5HexOfBytes(h.data(), h.size());
}

std::wstring FormatIdentityQuery(std::wstring_view did, std::string_view vid, std::wstring_view mac,
                                 std::size_t capacity) {
    std::wstring q = L"agid=0&cid=3000&aid=2&game=lmdr&did=";
    q += did;
    q += L"&vid=";
    q.append(vid.begin(), vid.end());
    q += L"&mac=";
    q += mac;
    if (capacity == 0) return {};
    if (q.size() > capacity - 1) q.resize(capacity - 1);
    return q;
}

std::wstring FormatMac(const std::uint8_t* a) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02X:%02X:%02X:%02X:%02X:%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
    return std::wstring(buf, buf + 17);
}

std::wstring FormatCpuText(std::uint32_t edx1, std::uint32_t eax1, bool hasLeaf3, std::uint32_t edx3,
                           std::uint32_t ecx3) {
    char buf[40];
    int n = std::snprintf(buf, sizeof buf, "%08X%08X", static_cast<unsigned>(edx1), static_cast<unsigned>(eax1));
    if (hasLeaf3)
        n += std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), "%08X%08X", static_cast<unsigned>(edx3),
                           static_cast<unsigned>(ecx3));
    return std::wstring(buf, buf + n);
}

std::string SerialFromIdentify(const std::uint16_t* words) {
    std::string serial;
    for (int w = 10; w <= 19; ++w) {
        serial.push_back(static_cast<char>(words[w] >> 8));
        serial.push_back(static_cast<char>(words[w] & 0xFF));
    }
    // The string ends at its first zero byte, as a C string would.
    if (auto nul = serial.find('\0'); nul != std::string::npos) serial.resize(nul);
    while (!serial.empty() && serial.back() == ' ') serial.pop_back();
    std::size_t lead = 0;
    while (lead < serial.size() && serial[lead] == ' ') ++lead;
    return serial.substr(lead);
}
