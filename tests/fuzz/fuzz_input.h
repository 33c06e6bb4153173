// What the fuzz targets make of their input bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Pairs of bytes as UTF-16 code units (little-endian); an odd last byte is
// dropped.
inline std::wstring FuzzWide(const std::uint8_t* data, std::size_t size) {
    std::wstring wide;
    for (std::size_t i = 0; i + 1 < size; i += 2) wide.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    return wide;
}

// The text split at a separator code unit into at most `n` pieces; missing
// pieces are empty.
inline std::vector<std::wstring> FuzzPieces(const std::wstring& text, wchar_t separator, std::size_t n) {
    std::vector<std::wstring> pieces(n);
    std::size_t at = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto end = i + 1 == n ? std::wstring::npos : text.find(separator, at);
        pieces[i] = text.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at);
        if (end == std::wstring::npos) break;
        at = end + 1;
    }
    return pieces;
}
