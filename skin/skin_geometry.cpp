#include "skin/skin_geometry.h"

#include <algorithm>

std::vector<SkinCopy> SkinFrameCopies(int bw, int bh, int W, int H, int b, int captionHeight, bool stretch) {
    const int t = captionHeight == -1 ? b : captionHeight;
    std::vector<SkinCopy> out;
    auto add = [&](SkinRect src, SkinRect dst) { out.push_back({src, dst}); };
    const SkinRect topRight{XYWH(bw - b, 0, b, t)}, topRightDst{XYWH(W - b, 0, b, t)};
    const SkinRect rightEdge{XYWH(bw - b, t, b, bh - t - b)}, rightEdgeDst{XYWH(W - b, t, b, H - t - b)};
    if (stretch) {
        add(XYWH(0, 0, b, t), XYWH(0, 0, b, t));
        add(XYWH(b, 0, bw - 2 * b, t), XYWH(b, 0, W - 2 * b, t));
        add(topRight, topRightDst);
        add(XYWH(0, t, b, bh - t - b), XYWH(0, t, b, H - t - b));
        add(rightEdge, rightEdgeDst);
        add(XYWH(b, t, bw - 2 * b, bh - t - b), XYWH(b, t, W - 2 * b, H - t - b));
    } else {
        add(XYWH(0, 0, bw, bh), XYWH(0, 0, bw, bh));
        add(topRight, topRightDst);
        add(rightEdge, rightEdgeDst);
    }
    add(XYWH(0, bh - b, b, b), XYWH(0, H - b, b, b));
    add(XYWH(b, bh - b, bw - 2 * b, b), XYWH(b, H - b, W - 2 * b, b));
    add(XYWH(bw - b, bh - b, b, b), XYWH(W - b, H - b, b, b));
    return out;
}

std::vector<SkinPoint> CornerHoles(int bw, int bh, int W, int H, const std::function<bool(int, int)>& isKey) {
    std::vector<SkinPoint> holes;
    auto scanRow = [&](int y, int windowY) {
        for (int x = 0; x < bw && x < 9; ++x) {
            if (isKey(x, y)) holes.push_back({x, windowY});
            if (isKey(bw - 1 - x, y)) holes.push_back({W - 1 - x, windowY});
        }
    };
    for (int y = 0; y < bh && y < 9; ++y) scanRow(y, y);
    for (int y = std::max(bh - 9, 0); y <= bh - 1; ++y) scanRow(y, H - bh + y);
    return holes;
}

int SkinHitTest(int x, int y, int W, int H, int c, int b, bool resizable, bool maximized) {
    if (maximized) return HitDefault;
    const bool inCaption = c == -1 || (y >= 0 && y < c);
    if (!resizable) return inCaption ? HitCaption : HitDefault;
    const bool top = y >= 0 && y < b, bottom = y >= H - b && y < H;
    if (x >= 0 && x < b) return top ? HitTopLeft : bottom ? HitBottomLeft : HitLeft;
    if (x >= W - b && x < W) return top ? HitTopRight : bottom ? HitBottomRight : HitRight;
    if (y >= 0 && y < 3) return HitTop;
    if ((y >= 3 && y < c) || c == -1) return HitCaption;
    if (bottom) return HitBottom;
    return HitDefault;
}

int SizeEdgeForHit(int hit) {
    switch (hit) {
    case HitLeft: return 1;
    case HitRight: return 2;
    case HitTop: return 3;
    case HitTopLeft: return 4;
    case HitTopRight: return 5;
    case HitBottom: return 6;
    case HitBottomLeft: return 7;
    case HitBottomRight: return 8;
    default: return 0;
    }
}

TitleLayout LayoutTitle(int c, int border, bool iconDrawn) {
    TitleLayout t{};
    t.iconX = border;
    t.iconY = c == -1 ? 6 : (c - 15) / 2;
    t.titleX = (iconDrawn ? 16 : 0) + border + 5;
    const int mid = (c - 11) / 2;
    t.titleY = mid < 0 ? 4 : mid - 2;
    return t;
}

CaptionButtons LayoutCaptionButtons(int layoutWidth, int rightMargin, int top, int closeW, int closeH, int maxW,
                                    int maxH, int minW, int minH) {
    CaptionButtons out;
    int x = layoutWidth - rightMargin;
    if (closeW > 0) out.close = {x - closeW, top, x, top + closeH};
    if (maxW > 0) {
        x -= closeW;
        out.max = {x - maxW, top, x, top + maxH};
    }
    if (minW > 0) {
        x -= maxW > 0 ? maxW : closeW;
        out.min = {x - minW, top, x, top + minH};
    }
    return out;
}

SkinRect MaximizeRect(const SkinRect& work, int maxWidth, int maxHeight) {
    SkinRect r = work;
    if (maxWidth < work.Width()) {
        const int shrink = (work.Width() - maxWidth) / 2;
        r.left += shrink;
        r.right -= shrink;
    }
    if (maxHeight < work.Height()) {
        const int shrink = (work.Height() - maxHeight) / 2;
        r.top += shrink;
        r.bottom -= shrink;
    }
    return r;
}

SkinRect InitialRestoreRect(const SkinRect& work) {
    const int w = work.Width(), h = work.Height();
    return {w / 8, h / 8, work.right - w / 8, work.bottom - h / 8};
}

MessageBoxLayout LayoutMessageBox(int tw, int th, int lines, int fw, int fh, bool twoButtons, int dw, int dh) {
    MessageBoxLayout m{};
    m.width = 2 * fw + 60 < tw ? tw + 60 : 2 * fw + 60;
    m.height = 3 * lines + 90 + th + fh;
    // Buttons are placed in the client area, which is the window less any
    // frame the system still draws (none for a skinned box).
    const int W = m.width - dw, H = m.height - dh;
    if (twoButtons) {
        m.button1 = {W / 2 - 10 - fw, H - 30 - fh, W / 2 - 10, H - 30};
        m.button2 = {W / 2 + 10, H - 30 - fh, W / 2 + 10 + fw, H - 30};
    } else {
        m.button1 = {(W - fw) / 2, H - 30 - fh, (W - fw) / 2 + fw, H - 30};
    }
    m.textLeft = (W - tw) / 2;
    return m;
}

int CountMessageLines(std::wstring_view text) {
    return 1 + static_cast<int>(std::count(text.begin(), text.end(), L'\n'));
}

std::vector<std::wstring> MessageBoxDrawnLines(std::wstring_view text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find(L'\n', start)) != std::wstring_view::npos; start = nl + 1)
        lines.emplace_back(text.substr(start, nl - start));
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

int ButtonFrame(bool disabled, bool selected, bool pressedLatch, bool hover) {
    if (disabled) return 3;
    if (selected || pressedLatch) return 2;
    return hover ? 1 : 0;
}

std::uint32_t SkinPixelFromArgb(std::uint32_t argb) {
    const int a = static_cast<int>(argb >> 24);
    const int r = static_cast<int>((argb >> 16) & 0xFF), g = static_cast<int>((argb >> 8) & 0xFF),
              b = static_cast<int>(argb & 0xFF);
    if (a == 255) return argb & 0xFFFFFF;
    if (a == 0) return 0xFF00FF;
    auto blend = [a](int c) { return (a * (c - 255) + 65025) / 255; };
    return (static_cast<std::uint32_t>(blend(r)) << 16) | (static_cast<std::uint32_t>(blend(g)) << 8) |
           static_cast<std::uint32_t>(blend(b));
}

WrapResult WrapStaticText(std::wstring_view text, int width, int minColumnWidth,
                          const std::function<int(std::wstring_view)>& measure) {
    WrapResult out;
    out.lineCount = 1;
    if (width < minColumnWidth) return out;
    std::wstring line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'\r') continue;
        if (c == L'\n') {
            out.lines.push_back(line);
            line.clear();
            ++out.lineCount;
            continue;
        }
        line.push_back(c);
        if (measure(line) > width) {
            if (line.size() == 1) {
                // Wider than the whole line: it stands alone rather than
                // holding the wrap up for ever.
                out.lines.push_back(line);
                line.clear();
                if (i + 1 < text.size()) ++out.lineCount;
                continue;
            }
            line.pop_back();
            out.lines.push_back(line);
            line.clear();
            ++out.lineCount;
            --i;  // the same character again, on the new line
        }
    }
    out.lines.push_back(line);
    return out;
}
