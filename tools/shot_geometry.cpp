#include "tools/shot_geometry.h"

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <limits>

SkinRect BandRect(ShotPoint start, ShotPoint cursor) {
    const int left = start.x < cursor.x ? start.x : cursor.x;
    const int top = start.y < cursor.y ? start.y : cursor.y;
    const int w = start.x < cursor.x ? cursor.x - start.x : start.x - cursor.x;
    const int h = start.y < cursor.y ? cursor.y - start.y : start.y - cursor.y;
    return XYWH(left, top, w, h);
}

void ShotBand::Press(ShotPoint p, bool selectionVisible) {
    if (selectionVisible) return;
    start = p;
    dragging = true;
}

std::optional<SkinRect> ShotBand::Move(ShotPoint cursor) const {
    if (!dragging) return std::nullopt;
    return BandRect(start, cursor);
}

std::optional<SkinRect> ShotBand::Release(ShotPoint p, bool selectionVisible, int screenWidth, int screenHeight) {
    end = p;
    dragging = false;
    if (end == start && !selectionVisible) return XYWH(0, 0, screenWidth, screenHeight);
    return std::nullopt;
}

ShotPoint MagnifierPosition(ShotPoint cursor, int screenWidth, int screenHeight) {
    ShotPoint p;
    p.x = cursor.x + kZoomOffsetX + kZoomWidth < screenWidth ? cursor.x + kZoomOffsetX : cursor.x - kZoomWidth;
    p.y = cursor.y + kZoomOffsetY + kZoomHeight < screenHeight ? cursor.y + kZoomOffsetY : cursor.y - kZoomHeight;
    return p;
}

ShotPoint ToolbarPosition(const SkinRect& selection, int toolbarWidth, int toolbarHeight, int screenHeight) {
    ShotPoint p;
    p.x = selection.right - toolbarWidth;
    if (p.x < 0) p.x = selection.left;
    p.y = selection.bottom + kToolbarGap;
    if (p.y + toolbarHeight > screenHeight) {
        p.y = selection.top - toolbarHeight - kToolbarGap;
        // Neither below nor above: inside the selection, along its bottom.
        if (p.y < 0) p.y = selection.bottom - toolbarHeight - kToolbarGap;
        if (p.y < 0) p.y = 0;
    }
    return p;
}

ShotPoint ClampSelection(int x, int y, int w, int h, int screenWidth, int screenHeight) {
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    if (x + w > screenWidth) x = screenWidth - w;
    if (y + h > screenHeight) y = screenHeight - h;
    return {x, y};
}

int ShotHitTest(int x, int y, int W, int H) {
    const bool top = y >= 0 && y < kGrabBand;
    const bool bottom = y >= H - kGrabBand && y < H;
    if (x >= 0 && x < kGrabBand) {
        if (top) return HitTopLeft;
        if (bottom) return HitBottomLeft;
        return HitLeft;
    }
    if (x >= W - kGrabBand && x < W) {
        if (top) return HitTopRight;
        if (bottom) return HitBottomRight;
        return HitRight;
    }
    if (top) return HitTop;
    if (bottom) return HitBottom;
    if (y >= kGrabBand && y < H - kGrabBand) return HitCaption;
    return HitDefault;
}

std::array<SkinRect, 8> SelectionHandles(int W, int H) {
    const int s = kHandleSize, half = s / 2;
    return {XYWH(0, 0, s, s),
            XYWH(W - s, 0, s, s),
            XYWH(W - s, H - s, s, s),
            XYWH(0, H - s, s, s),
            XYWH(W / 2 - half, 0, s, s),
            XYWH(W / 2 - half, H - s, s, s),
            XYWH(0, H / 2 - half, s, s),
            XYWH(W - s, H / 2 - half, s, s)};
}

SkinRect MagnifierSource(ShotPoint cursor) {
    return XYWH(cursor.x - kZoomSource / 2, cursor.y - kZoomSource / 2, kZoomSource, kZoomSource);
}

std::wstring PixelText(int red, int green, int blue) {
    wchar_t text[64] = {};
    std::swprintf(text, 64, L"RGB(%d, %d, %d)", red, green, blue);
    return text;
}

std::wstring DefaultShotName(int year, int month, int day, int hour, int minute, int second) {
    wchar_t name[64] = {};
    std::swprintf(name, 64, L"%04d%02d%02d%02d%02d%02d.bmp", year, month, day, hour, minute, second);
    return name;
}

std::wstring WithBmpExtension(std::wstring_view name) {
    static constexpr wchar_t kExt[] = L".bmp";
    bool hasIt = name.size() >= 4;
    for (std::size_t i = 0; hasIt && i < 4; ++i)
        hasIt = std::towlower(name[name.size() - 4 + i]) == static_cast<std::wint_t>(kExt[i]);
    std::wstring out(name);
    if (!hasIt) out.append(kExt, 4);
    return out;
}

int FileBitCount(int bitmapBits) { return bitmapBits >= 16 ? bitmapBits : 24; }

std::optional<std::uint32_t> DibImageSize(int width, int height, int bitCount) {
    if (width < 0 || height < 0 || bitCount <= 0) return std::nullopt;
    const unsigned long long stride = (static_cast<unsigned long long>(width) * bitCount + 31) / 32 * 4;
    const unsigned long long size = stride * static_cast<unsigned long long>(height);
    if (size > std::numeric_limits<std::uint32_t>::max() - kBmpHeaderSize) return std::nullopt;
    return static_cast<std::uint32_t>(size);
}

namespace {

void Put16(std::uint8_t* at, std::uint32_t v) {
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t v) {
    Put16(at, v & 0xFFFF);
    Put16(at + 2, v >> 16);
}

}  // namespace

std::array<std::uint8_t, kBmpHeaderSize> BmpHeaders(const BmpInfo& info) {
    std::array<std::uint8_t, kBmpHeaderSize> h{};
    std::uint8_t* p = h.data();
    // File header.
    p[0] = 'B';
    p[1] = 'M';
    Put32(p + 2, info.imageSize + static_cast<std::uint32_t>(kBmpHeaderSize));
    Put16(p + 6, 0);
    Put16(p + 8, 0);
    Put32(p + 10, static_cast<std::uint32_t>(kBmpHeaderSize));
    // Info header.
    Put32(p + 14, 40);
    Put32(p + 18, static_cast<std::uint32_t>(info.width));
    Put32(p + 22, static_cast<std::uint32_t>(info.height));
    Put16(p + 26, info.planes);
    Put16(p + 28, info.bitCount);
    Put32(p + 30, 0);  // BI_RGB
    Put32(p + 34, info.imageSize);
    Put32(p + 38, 0);  // resolution
    Put32(p + 42, 0);
    Put32(p + 46, 0);  // colours used
    Put32(p + 50, 0);  // colours important
    return h;
}
