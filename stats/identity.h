// Machine identity text transforms: the disguised identity, its digest and
// the identity query. Portable: the Windows side supplies the raw values.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// The C runtime's pseudo-random generator, written out: every process and
// every thread starts from state 1, so a machine always yields the same
// sequence.
class CRuntimeRand {
public:
    int Next() {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFF);
    }
    std::uint32_t m_state = 1;
};

// The generator of the calling thread.
CRuntimeRand& ThreadRand();

inline constexpr std::size_t kDidCapacity = 256;  // terminator included

// One character's group: c * 7 as "%04d" with every "0" among its first four
// characters replaced by 'a' + r % 26.
std::wstring DidGroup(wchar_t c, int r);
// The disguised identity: the groups of every character, drawing one number
// per character, cut to kDidCapacity - 1 characters.
std::wstring BuildDid(std::wstring_view identity, CRuntimeRand& rng);

// The identity digest from the identity's ANSI bytes: three chained MD5s.
std::string ComputeVid(std::string_view identityAnsi);

// "agid=0&cid=3000&aid=2&game=lmdr&did=...&vid=...&mac=...", cut to
// capacity - 1 characters.
std::wstring FormatIdentityQuery(std::wstring_view did, std::string_view vid, std::wstring_view mac,
                                 std::size_t capacity);

// "%02X:%02X:%02X:%02X:%02X:%02X" of the first six bytes.
std::wstring FormatMac(const std::uint8_t* address);

// The processor text from CPUID: leaf 1 EDX and EAX, then, when the serial
// number bit is set, leaf 3 EDX and ECX, each as "%08X".
std::wstring FormatCpuText(std::uint32_t edx1, std::uint32_t eax1, bool hasLeaf3, std::uint32_t edx3,
                           std::uint32_t ecx3);

// The serial number from identify data (256 words): words 10 to 19, each
// high byte then low byte, blanks cut at both ends. Bytes in the ANSI code page.
std::string SerialFromIdentify(const std::uint16_t* words);
