// MD5 message digest, written from the published algorithm. Portable.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class CMd5 {
public:
    CMd5();
    void Update(const void* data, std::size_t size);
    std::array<std::uint8_t, 16> Final();

private:
    void Transform(const std::uint8_t block[64]);
    std::uint32_t m_state[4];
    std::uint64_t m_bytes = 0;
    std::uint8_t m_buffer[64];
};

// 32 lower-case hexadecimal digits of the digest of the bytes.
std::string Md5HexOfBytes(const void* data, std::size_t size);
