// Arithmetic of the skinned windows: nine-slice copies, corner regions, hit
// testing, caption layout, maximize, message-box sizing, button frames and
// the static text wrap. Portable: no Windows headers.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct SkinRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const SkinRect&) const = default;
};

inline SkinRect XYWH(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }

// One copy from the skin bitmap to the window: source and destination
// rectangles (a stretch when their sizes differ).
struct SkinCopy {
    SkinRect src, dst;
    bool operator==(const SkinCopy&) const = default;
};

// The copies that paint a background of bw x bh onto a window of W x H.
// border: corner and edge size; captionHeight: -1 means a top band of
// `border`; stretch: nine-slice, else natural size with the right side redrawn.
std::vector<SkinCopy> SkinFrameCopies(int bw, int bh, int W, int H, int border, int captionHeight, bool stretch);

// Pixels of a W x H window cut away because the matching background pixel in
// one of the four 9 x 9 corner squares is the key colour.
struct SkinPoint {
    int x = 0, y = 0;
    bool operator==(const SkinPoint&) const = default;
};
std::vector<SkinPoint> CornerHoles(int bw, int bh, int W, int H, const std::function<bool(int, int)>& isKey);

// Hit-test answers, with the system's numbers.
enum SkinHit : int {
    HitDefault = -100,  // let the system decide
    HitCaption = 2,
    HitLeft = 10,
    HitRight = 11,
    HitTop = 12,
    HitTopLeft = 13,
    HitTopRight = 14,
    HitBottom = 15,
    HitBottomLeft = 16,
    HitBottomRight = 17,
};
int SkinHitTest(int x, int y, int W, int H, int captionHeight, int border, bool resizable, bool maximized);
// The SC_SIZE edge number for an edge or corner answer (0 for others).
int SizeEdgeForHit(int hit);

// Where the small icon and the title go on the caption.
struct TitleLayout {
    int iconX, iconY;
    int titleX, titleY;
};
TitleLayout LayoutTitle(int captionHeight, int border, bool iconDrawn);

// Caption buttons from the right: close, maximize, minimize. A width of 0
// means the button does not exist (its rectangle stays empty).
struct CaptionButtons {
    SkinRect close, max, min;
};
CaptionButtons LayoutCaptionButtons(int layoutWidth, int rightMargin, int top, int closeW, int closeH, int maxW,
                                    int maxH, int minW, int minH);

// The maximized rectangle: the work area, or sizeMax centred in it when it
// is smaller in a direction.
SkinRect MaximizeRect(const SkinRect& workArea, int maxWidth, int maxHeight);
// The first restore rectangle: the work area less an eighth on each side.
SkinRect InitialRestoreRect(const SkinRect& workArea);

// Message box.
struct MessageBoxLayout {
    int width, height;
    SkinRect button1, button2;  // button2 empty for one button
    int textLeft;
};
MessageBoxLayout LayoutMessageBox(int textWidth, int textHeight, int lines, int frameWidth, int frameHeight,
                                  bool twoButtons, int clientWidthOffset = 0, int clientHeightOffset = 0);
int CountMessageLines(std::wstring_view text);
// The lines the box draws: one per line feed, plus the rest when it is not empty.
std::vector<std::wstring> MessageBoxDrawnLines(std::wstring_view text);

// Which of the four frames a button shows.
int ButtonFrame(bool disabled, bool selected, bool pressedLatch, bool hover);
// Frame width of a four-frame strip.
inline int StripFrameWidth(int stripWidth) { return stripWidth / 4; }

// A PNG pixel as the skin stores it: opaque as is, transparent as the key
// colour, partly transparent blended over white. Returns 0x00RRGGBB.
std::uint32_t SkinPixelFromArgb(std::uint32_t argb);

// The static text wrap: lines in drawing order. Empty when the width is below
// the minimum column width. A character wider than the whole rectangle gets a
// line of its own.
struct WrapResult {
    std::vector<std::wstring> lines;
    int lineCount = 0;  // counted lines, as the height rule uses them
};
WrapResult WrapStaticText(std::wstring_view text, int width, int minColumnWidth,
                          const std::function<int(std::wstring_view)>& measure);
// The height a wrapped static needs.
inline int WrappedHeight(int lineHeight, int lines, int spacing) { return lineHeight + (lines - 1) * (lineHeight + spacing); }
