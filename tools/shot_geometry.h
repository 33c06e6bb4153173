// Arithmetic of the screenshot tool: the rubber band, the placement of the
// magnifier and the toolbar, keeping the selection on the screen, hit testing
// of its edges and handles, the file name of a saved shot and the BMP file
// layout. Portable: no Windows headers.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "skin/skin_geometry.h"

struct ShotPoint {
    int x = 0, y = 0;
    bool operator==(const ShotPoint&) const = default;
};

// The magnifier: its size and its offset from the cursor.
inline constexpr int kZoomWidth = 256;
inline constexpr int kZoomHeight = 100;
inline constexpr int kZoomOffsetX = 15;
inline constexpr int kZoomOffsetY = 24;
// The square around the cursor that the magnifier enlarges.
inline constexpr int kZoomSource = 40;
// Gap between the selection and the toolbar.
inline constexpr int kToolbarGap = 5;
// Side of the selection's handles and width of its grab bands.
inline constexpr int kHandleSize = 4;
inline constexpr int kGrabBand = 3;

// The rectangle spanned by the press point and the cursor.
SkinRect BandRect(ShotPoint start, ShotPoint cursor);

// The rubber band of the overlay: the press point, the release point and
// whether a drag is going on.
struct ShotBand {
    ShotPoint start, end;
    bool dragging = false;

    // A press starts a band unless a selection is already shown.
    void Press(ShotPoint p, bool selectionVisible);
    // While dragging: where the selection goes.
    std::optional<SkinRect> Move(ShotPoint cursor) const;
    // Ends the drag. A click without a drag while no selection is shown
    // selects the whole screen: that rectangle is returned.
    std::optional<SkinRect> Release(ShotPoint p, bool selectionVisible, int screenWidth, int screenHeight);
    void Clear() { *this = ShotBand{}; }
};

// Top-left of the magnifier: right of and below the cursor, flipped to the
// left of or above it when it would reach the screen's right or bottom edge.
ShotPoint MagnifierPosition(ShotPoint cursor, int screenWidth, int screenHeight);

// Top-left of the toolbar: under the selection, right-aligned with it (left-
// aligned when that would leave the screen); above the selection when it
// would end below the screen; inside the selection's bottom edge when it fits
// neither above nor below (a selection as tall as the screen).
ShotPoint ToolbarPosition(const SkinRect& selection, int toolbarWidth, int toolbarHeight, int screenHeight);

// Top-left of a selection of w x h moved to (x, y), kept on the screen; its
// size never changes.
ShotPoint ClampSelection(int x, int y, int w, int h, int screenWidth, int screenHeight);

// Hit test of a point of the selection (client coordinates, W x H): the
// 3-pixel bands give edges and corners, the inside moves it (HitCaption),
// anything else HitDefault.
int ShotHitTest(int x, int y, int W, int H);

// The eight 4 x 4 handles of a selection of W x H: corners, then the middles
// of the top, bottom, left and right edges.
std::array<SkinRect, 8> SelectionHandles(int W, int H);

// The square of the frozen screen the magnifier enlarges.
SkinRect MagnifierSource(ShotPoint cursor);

// The colour line of the magnifier, "RGB(r, g, b)".
std::wstring PixelText(int red, int green, int blue);

// The suggested file name: the local time as fourteen digits and ".bmp".
std::wstring DefaultShotName(int year, int month, int day, int hour, int minute, int second);
// The chosen name with ".bmp" appended unless it already ends so (in any case).
std::wstring WithBmpExtension(std::wstring_view name);

// BMP layout. Rows of a device-independent bitmap are padded to 4 bytes.
inline constexpr std::size_t kBmpHeaderSize = 54;
// Bits per pixel of the file for a bitmap of `bitmapBits`: bitmaps below 16
// bits would need a colour table, so they are written with 24.
int FileBitCount(int bitmapBits);

struct BmpInfo {
    std::int32_t width = 0;
    std::int32_t height = 0;  // positive: rows bottom-up
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 32;
    std::uint32_t imageSize = 0;
};
// The pixel bytes of a bitmap, or nothing when they would not fit 32 bits or
// the size is negative.
std::optional<std::uint32_t> DibImageSize(int width, int height, int bitCount);
// File header (14 bytes) and info header (40 bytes), little-endian.
std::array<std::uint8_t, kBmpHeaderSize> BmpHeaders(const BmpInfo& info);
