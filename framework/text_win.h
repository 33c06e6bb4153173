// Conversions at the boundaries where the client leaves UTF-16: the ANSI
// code page (sockets, hashing, files) and UTF-8 (portal replies).
#pragma once
#include <windows.h>

#include <string>

inline std::string AnsiFromWide(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

inline std::wstring WideFromCodePage(const std::string& text, UINT codePage) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

inline std::wstring WideFromAnsi(const std::string& text) { return WideFromCodePage(text, CP_ACP); }
inline std::wstring WideFromUtf8(const std::string& text) { return WideFromCodePage(text, CP_UTF8); }
