#include "mainwnd/flash_logic.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

struct PlacementCase {
    const char* name;
    IconRect icon;
    SplashPlace expected;
};

TEST(SplashPlacement, SquareOverTheIcon) {
    const PlacementCase cases[] = {
        {"48x60 icon: 40x40, centred, one below the top", {100, 200, 148, 260}, {104, 201, 40}},
        {"wider than high: the height decides", {0, 0, 75, 40}, {21, 1, 32}},   // (75 - 32) / 2 = 21
        {"odd spare width rounds down", {10, 10, 51, 60}, {14, 11, 33}},        // w 41: side 33, (41-33)/2 = 4
        {"exactly 8: nothing left", {5, 5, 13, 30}, {9, 6, 0}},
        {"smaller than 8: no negative side", {5, 5, 9, 30}, {7, 6, 0}},
        {"upside-down rectangle", {50, 50, 10, 10}, {30, 51, 0}},               // w -40: x = 50 + (-40)/2
        {"negative coordinates (a second screen)", {-80, -60, -32, 0}, {-76, -59, 40}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplashPlacement(c.icon), c.expected) << c.name;
    }
}

TEST(SplashTick, EndsWithoutTheIconElseFollows) {
    const IconRect icon{100, 200, 148, 260};
    const SplashTick lost = DecideSplashTick(false, icon);
    EXPECT_TRUE(lost.end);
    const SplashTick found = DecideSplashTick(true, icon);
    EXPECT_FALSE(found.end);
    EXPECT_EQ(found.place, (SplashPlace{104, 201, 40}));
    // A found icon too small to hold anything still keeps the splash going.
    EXPECT_FALSE(DecideSplashTick(true, IconRect{0, 0, 4, 4}).end);
}

TEST(FlashVersion, MajorByte) {
    const struct {
        long version;
        int major;
        bool flash8;
    } cases[] = {
        {0x00080000, 8, true},   {0x0008001F, 8, true},  {0x00090073, 9, false}, {0x000A0000, 10, false},
        {0x0B020000, 2, false},  // bits above 23 do not count
        {0x00070000, 7, false},  {0, 0, false},          {-1, 0xFF, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FlashMajorVersion(c.version), c.major) << std::hex << c.version;
        EXPECT_EQ(IsFlash8(c.version), c.flash8) << std::hex << c.version;
    }
}

struct Pixel {
    std::uint8_t b, g, r, a;
};

TEST(FlashAlpha, FromBlackAndWhiteBackgrounds) {
    const struct {
        const char* name;
        Pixel onBlack, onWhite;
        std::uint8_t alpha;
    } cases[] = {
        {"opaque: the same over both", {10, 20, 30, 0}, {10, 20, 30, 0}, 255},
        {"nothing drawn", {0, 0, 0, 0}, {255, 255, 255, 0}, 0},
        {"half covered grey", {64, 64, 64, 0}, {191, 191, 191, 0}, 128},            // 255 - 381/3
        {"uneven channels round down", {0, 0, 0, 0}, {1, 1, 0, 0}, 255},             // 255 - 2/3
        {"uneven channels, one step", {0, 0, 0, 0}, {1, 1, 1, 0}, 254},
        {"white below black wraps around", {5, 5, 5, 0}, {4, 4, 4, 0}, 0},          // 255*3/3
        {"the old alpha byte is ignored", {0, 0, 0, 77}, {255, 255, 255, 99}, 0},
    };
    std::vector<std::uint8_t> black, white;
    for (const auto& c : cases) {
        black.insert(black.end(), {c.onBlack.b, c.onBlack.g, c.onBlack.r, c.onBlack.a});
        white.insert(white.end(), {c.onWhite.b, c.onWhite.g, c.onWhite.r, c.onWhite.a});
    }
    ComposeAlphaFromBlackAndWhite(black.data(), white.data(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(black[i * 4 + 3], c.alpha) << c.name;
        EXPECT_EQ(black[i * 4 + 0], c.onBlack.b) << c.name;  // colours kept
        EXPECT_EQ(black[i * 4 + 1], c.onBlack.g) << c.name;
        EXPECT_EQ(black[i * 4 + 2], c.onBlack.r) << c.name;
    }
    // The white picture is only read.
    EXPECT_EQ(white[4 * 1 + 0], 255);
}

TEST(FlashAlpha, ZeroPixelsAndNullBuffersTouchNothing) {
    std::array<std::uint8_t, 4> b{1, 2, 3, 4}, w{9, 9, 9, 9};
    ComposeAlphaFromBlackAndWhite(b.data(), w.data(), 0);
    ComposeAlphaFromBlackAndWhite(nullptr, w.data(), 1);
    ComposeAlphaFromBlackAndWhite(b.data(), nullptr, 1);
    EXPECT_EQ(b, (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
}

TEST(FlashHostMessages, WhatGoesToAWindowlessControl) {
    const struct {
        unsigned message;
        bool routed;
    } cases[] = {
        {0x0020, true},   // WM_SETCURSOR
        {0x0021, false},  // WM_MOUSEACTIVATE
        {0x00FF, false},  // WM_INPUT
        {0x0100, true},   // WM_KEYDOWN
        {0x0101, true},   // WM_KEYUP
        {0x0102, true},   // WM_CHAR
        {0x0103, false},  // WM_DEADCHAR
        {0x0104, false},  // WM_SYSKEYDOWN
        {0x01FF, false},
        {0x0200, true},   // WM_MOUSEMOVE
        {0x0201, true},   // WM_LBUTTONDOWN
        {0x0204, true},   // WM_RBUTTONDOWN
        {0x020A, true},   // WM_MOUSEWHEEL
        {0x020B, false},  // WM_XBUTTONDOWN
        {0x020E, false},  // WM_MOUSEHWHEEL
        {0x000F, false},  // WM_PAINT
        {0x0084, false},  // WM_NCHITTEST
    };
    for (const auto& c : cases) EXPECT_EQ(RoutesToWindowlessControl(c.message), c.routed) << std::hex << c.message;
}

}  // namespace
