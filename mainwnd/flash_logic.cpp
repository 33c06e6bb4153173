#include "mainwnd/flash_logic.h"

#include <algorithm>

SplashPlace SplashPlacement(const IconRect& icon) {
    const int w = icon.right - icon.left;
    const int h = icon.bottom - icon.top;
    const int side = std::max(0, std::min(w, h) - 8);
    return {icon.left + (w - side) / 2, icon.top + 1, side};
}

SplashTick DecideSplashTick(bool iconFound, const IconRect& icon) {
    if (!iconFound) return {true, {0, 0, 0}};
    return {false, SplashPlacement(icon)};
}

int FlashMajorVersion(long version) { return static_cast<int>((static_cast<unsigned long>(version) >> 16) & 0xFF); }

void ComposeAlphaFromBlackAndWhite(std::uint8_t* black, const std::uint8_t* white, std::size_t pixels) {
    if (!black || !white) return;
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint8_t* b = black + i * 4;
        const std::uint8_t* w = white + i * 4;
        const unsigned spread = static_cast<std::uint8_t>(w[0] - b[0]) + static_cast<std::uint8_t>(w[1] - b[1]) +
                                static_cast<std::uint8_t>(w[2] - b[2]);
        b[3] = static_cast<std::uint8_t>(255 - spread / 3);
    }
}

bool RoutesToWindowlessControl(unsigned message) {
    constexpr unsigned kSetCursor = 0x0020, kKeyDown = 0x0100, kChar = 0x0102, kMouseMove = 0x0200,
                       kMouseWheel = 0x020A;
    return message == kSetCursor || (message >= kKeyDown && message <= kChar) ||
           (message >= kMouseMove && message <= kMouseWheel);
}
