// The arithmetic of the desktop-icon splash and of the Flash host's
// transparent painting. Portable.
#pragma once
#include <cstddef>
#include <cstdint>

// A rectangle as the desktop's list view gives it (its client coordinates).
struct IconRect {
    int left, top, right, bottom;
};

// Where the splash sits over an icon: a square of side min(w, h) - 8,
// centred horizontally on the icon and one pixel below its top. An icon too
// small (or a rectangle upside down) gives a side of 0.
struct SplashPlace {
    int x, y, side;
    bool operator==(const SplashPlace&) const = default;
};
SplashPlace SplashPlacement(const IconRect& icon);

// One tick of the splash's timer: without the icon the splash ends,
// otherwise it moves over the icon and waits for the next tick.
inline constexpr unsigned kSplashTimerId = 1;
inline constexpr unsigned kSplashTickMs = 300;
struct SplashTick {
    bool end;
    SplashPlace place;  // when not ending
};
SplashTick DecideSplashTick(bool iconFound, const IconRect& icon);

// The major version in the Flash control's version number (bits 16-23).
int FlashMajorVersion(long version);
// Version 8 cannot draw its own alpha: the host draws it twice.
inline bool IsFlash8(long version) { return FlashMajorVersion(version) == 8; }

// The picture drawn once over black and once over white, both as 32-bit
// B, G, R, A pixels: every pixel's alpha in `black` becomes
// 255 - ((R' - R) mod 256 + (G' - G) mod 256 + (B' - B) mod 256) / 3, where
// the primed values come from `white`. Colour bytes are left as they are.
void ComposeAlphaFromBlackAndWhite(std::uint8_t* black, const std::uint8_t* white, std::size_t pixels);

// The messages a windowless control handles itself: the cursor, the key
// messages from key-down to character, the mouse messages from move to wheel.
bool RoutesToWindowlessControl(unsigned message);
