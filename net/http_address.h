// Splitting an "http://host[:port]/object" address for a request. Portable.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::size_t kHostCapacity = 260;    // terminator included
inline constexpr std::size_t kObjectCapacity = 512;  // terminator included

struct HttpAddress {
    std::wstring host;    // without the port
    std::uint16_t port = 80;
    std::wstring object;  // after the first "/" of the rest, without it
};

// False for an address that does not begin with "http://" (any case), or
// whose host or object name does not fit its buffer.
bool SplitHttpAddress(std::wstring_view address, HttpAddress& out);
