// Fixed identity of the client. Portable.
#pragma once

inline constexpr wchar_t kClientDisplayName[] = L"Lumendor";
inline constexpr wchar_t kClientTag[] = L"Lm03000";
inline constexpr wchar_t kGameCode[] = L"lmdr";
inline constexpr wchar_t kClientVersion[] = L"3.0.0.1";

// Capacity of the display name, terminator included.
inline constexpr unsigned kDisplayNameCapacity = 32;
