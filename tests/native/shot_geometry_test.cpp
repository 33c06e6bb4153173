#include "tools/shot_geometry.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr int kW = 1280, kH = 800;

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

TEST(ShotBand, DragSpansTheRectangleInAnyDirection) {
    const struct {
        ShotPoint start, cursor;
        SkinRect expected;
    } cases[] = {
        {{100, 120}, {300, 260}, XYWH(100, 120, 200, 140)},  // down-right
        {{300, 260}, {100, 120}, XYWH(100, 120, 200, 140)},  // up-left
        {{300, 120}, {100, 260}, XYWH(100, 120, 200, 140)},  // down-left
        {{100, 260}, {300, 120}, XYWH(100, 120, 200, 140)},  // up-right
        {{50, 50}, {50, 90}, XYWH(50, 50, 0, 40)},           // a line
    };
    for (const auto& c : cases) {
        ShotBand band;
        band.Press(c.start, false);
        const auto r = band.Move(c.cursor);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(*r, c.expected) << c.start.x << "," << c.start.y << " -> " << c.cursor.x << "," << c.cursor.y;
    }
}

TEST(ShotBand, PressWhileASelectionIsShownStartsNothing) {
    ShotBand band;
    band.Press({10, 10}, true);
    EXPECT_FALSE(band.dragging);
    EXPECT_FALSE(band.Move({40, 40}).has_value());
}

TEST(ShotBand, ReleaseSelectsTheWholeScreenOnlyForAClickWithoutDrag) {
    const struct {
        const char* name;
        ShotPoint press, release;
        bool visibleAtRelease;
        bool wholeScreen;
    } cases[] = {
        {"click", {200, 200}, {200, 200}, false, true},
        {"drag", {200, 200}, {420, 380}, true, false},
        {"drag back to the start", {200, 200}, {200, 200}, true, false},  // the drag showed a selection
        {"moved a shown selection", {5, 5}, {600, 300}, true, false},
    };
    for (const auto& c : cases) {
        ShotBand band;
        band.Press(c.press, false);
        const auto whole = band.Release(c.release, c.visibleAtRelease, kW, kH);
        EXPECT_EQ(whole.has_value(), c.wholeScreen) << c.name;
        if (whole) {
            EXPECT_EQ(*whole, XYWH(0, 0, kW, kH)) << c.name;
        }
        EXPECT_FALSE(band.dragging) << c.name;
        EXPECT_EQ(band.end, c.release) << c.name;
    }
}

TEST(ShotBand, ClearForgetsTheBand) {
    ShotBand band;
    band.Press({30, 40}, false);
    band.Clear();
    EXPECT_FALSE(band.dragging);
    EXPECT_EQ(band.start, (ShotPoint{0, 0}));
    EXPECT_FALSE(band.Move({90, 90}).has_value());
}

TEST(ShotPlacement, MagnifierFlipsNearTheRightAndBottomEdges) {
    const struct {
        ShotPoint cursor;
        ShotPoint expected;
    } cases[] = {
        {{100, 100}, {115, 124}},
        {{kW - 272, 100}, {kW - 257, 124}},  // 1008 + 271 = 1279 < 1280: still right
        {{kW - 271, 100}, {kW - 271 - 256, 124}},  // reaches the edge: left of the cursor
        {{100, kH - 125}, {115, kH - 101}},        // 675 + 124 = 799 < 800: still below
        {{100, kH - 124}, {115, kH - 224}},        // above
        {{kW - 1, kH - 1}, {kW - 257, kH - 101}},  // both
        {{0, 0}, {15, 24}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MagnifierPosition(c.cursor, kW, kH), c.expected) << c.cursor.x << "," << c.cursor.y;
}

TEST(ShotPlacement, ToolbarUnderAboveOrInsideTheSelection) {
    const int tw = 152, th = 26;
    const struct {
        const char* name;
        SkinRect selection;
        ShotPoint expected;
    } cases[] = {
        {"under, right-aligned", XYWH(100, 100, 300, 200), {248, 305}},
        {"narrow near the left edge: left-aligned", XYWH(20, 100, 60, 50), {20, 155}},
        {"ends exactly at the bottom: still under", XYWH(100, 100, 300, kH - 100 - 31), {248, kH - 26}},
        {"near the bottom: above", XYWH(100, 500, 300, kH - 530), {248, 469}},
        {"at the bottom: above", XYWH(400, 600, 300, 200), {548, 569}},
        {"whole screen: inside its bottom", XYWH(0, 0, kW, kH), {kW - tw, kH - 31}},
        {"tall from near the top: inside", XYWH(200, 10, 300, kH - 12), {348, kH - 2 - 31}},
    };
    for (const auto& c : cases) {
        const ShotPoint p = ToolbarPosition(c.selection, tw, th, kH);
        EXPECT_EQ(p, c.expected) << c.name;
        EXPECT_GE(p.y, 0) << c.name;
        EXPECT_LE(p.y + th, kH) << c.name;
    }
}

TEST(ShotPlacement, SelectionStopsAtTheEdgesWithoutShrinking) {
    const struct {
        int x, y, w, h;
        ShotPoint expected;
    } cases[] = {
        {100, 100, 200, 150, {100, 100}},           // inside: unchanged
        {-40, 100, 200, 150, {0, 100}},             // past the left
        {100, -7, 200, 150, {100, 0}},              // past the top
        {kW - 150, 100, 200, 150, {kW - 200, 100}}, // past the right
        {100, kH - 1, 200, 150, {100, kH - 150}},   // past the bottom
        {-5, kH + 30, 200, 150, {0, kH - 150}},     // a corner
        {0, 0, kW, kH, {0, 0}},                     // the whole screen
    };
    for (const auto& c : cases) {
        const ShotPoint p = ClampSelection(c.x, c.y, c.w, c.h, kW, kH);
        EXPECT_EQ(p, c.expected) << c.x << "," << c.y;
        EXPECT_GE(p.x, 0);
        EXPECT_LE(p.x + c.w, kW);
    }
}

TEST(ShotHitTest, BandsHandlesAndInside) {
    const int W = 200, H = 100;
    const struct {
        int x, y, hit;
    } cases[] = {
        {0, 0, HitTopLeft},        {2, 2, HitTopLeft},        {2, 3, HitLeft},
        {0, 50, HitLeft},          {1, 97, HitBottomLeft},    {0, 99, HitBottomLeft},
        {199, 0, HitTopRight},     {197, 2, HitTopRight},     {197, 50, HitRight},
        {199, 99, HitBottomRight}, {197, 97, HitBottomRight}, {196, 50, HitCaption},
        {3, 50, HitCaption},       {100, 0, HitTop},          {100, 2, HitTop},
        {100, 3, HitCaption},      {100, 96, HitCaption},     {100, 97, HitBottom},
        {100, 99, HitBottom},      {100, 100, HitDefault},    {100, -1, HitDefault},
        {98, 1, HitTop},  // the top handle's middle
    };
    for (const auto& c : cases) EXPECT_EQ(ShotHitTest(c.x, c.y, W, H), c.hit) << c.x << "," << c.y;
}

TEST(ShotHitTest, EveryHandleGivesItsEdgeAndItsDrag) {
    // Each handle's outermost pixel hits the edge the handle stands for, and
    // that edge resizes through the system's size command.
    const int W = 120, H = 80;
    const auto handles = SelectionHandles(W, H);
    const int expectedHit[8] = {HitTopLeft, HitTopRight, HitBottomRight, HitBottomLeft,
                                HitTop,     HitBottom,   HitLeft,        HitRight};
    const int expectedEdge[8] = {4, 5, 8, 7, 3, 6, 1, 2};
    for (int i = 0; i < 8; ++i) {
        const SkinRect& h = handles[i];
        EXPECT_EQ(h.Width(), 4);
        EXPECT_EQ(h.Height(), 4);
        EXPECT_TRUE(h.left >= 0 && h.top >= 0 && h.right <= W && h.bottom <= H) << i;
        const int x = (expectedHit[i] == HitLeft || expectedHit[i] == HitTopLeft || expectedHit[i] == HitBottomLeft)
                          ? h.left
                          : (h.left + h.right) / 2 + 1;
        const int y = (expectedHit[i] == HitTop || expectedHit[i] == HitTopLeft || expectedHit[i] == HitTopRight)
                          ? h.top
                          : (h.top + h.bottom) / 2 + 1;
        EXPECT_EQ(ShotHitTest(x, y, W, H), expectedHit[i]) << i;
        EXPECT_EQ(SizeEdgeForHit(expectedHit[i]), expectedEdge[i]) << i;
    }
    EXPECT_EQ(handles[4], XYWH(58, 0, 4, 4));
    EXPECT_EQ(handles[7], XYWH(116, 38, 4, 4));
}

TEST(ShotMagnifier, SourceSquareAndColourLine) {
    EXPECT_EQ(MagnifierSource({100, 60}), XYWH(80, 40, 40, 40));
    EXPECT_EQ(MagnifierSource({5, 5}), XYWH(-15, -15, 40, 40));
    EXPECT_EQ(PixelText(255, 0, 7), L"RGB(255, 0, 7)");
}

TEST(ShotFileName, FourteenDigitsAndBmp) {
    EXPECT_EQ(DefaultShotName(2024, 3, 7, 9, 5, 2), L"20240307090502.bmp");
    EXPECT_EQ(DefaultShotName(1999, 12, 31, 23, 59, 59), L"19991231235959.bmp");
}

TEST(ShotFileName, BmpAppendedUnlessItEndsSoInAnyCase) {
    const struct {
        const wchar_t* chosen;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\shots\\a.bmp", L"C:\\shots\\a.bmp"},
        {L"C:\\shots\\a.BMP", L"C:\\shots\\a.BMP"},
        {L"C:\\shots\\a.bMp", L"C:\\shots\\a.bMp"},
        {L"C:\\shots\\a", L"C:\\shots\\a.bmp"},
        {L"C:\\shots\\a.png", L"C:\\shots\\a.png.bmp"},
        {L"C:\\shots\\a.bmpx", L"C:\\shots\\a.bmpx.bmp"},
        {L"C:\\shots\\abmp", L"C:\\shots\\abmp.bmp"},
        {L".bmp", L".bmp"},
        {L"bmp", L"bmp.bmp"},
        {L"", L".bmp"},
    };
    for (const auto& c : cases) EXPECT_EQ(WithBmpExtension(c.chosen), c.expected) << c.chosen;
}

TEST(ShotBmp, RowsArePaddedToFourBytes) {
    const struct {
        int width, bits, stride;
    } cases[] = {
        {1, 32, 4}, {3, 32, 12}, {1, 24, 4},   {3, 24, 12}, {4, 24, 12},
        {5, 24, 16}, {1, 16, 4}, {3, 16, 8},   {2, 16, 4},  {0, 32, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(*DibImageSize(c.width, 1, c.bits), static_cast<std::uint32_t>(c.stride)) << c.width << "x" << c.bits;
    // 24 bits and 3 pixels: a device bitmap's even row of 10 bytes would be
    // too short for the 12 the pixels are fetched with.
    EXPECT_EQ(*DibImageSize(3, 2, 24), 24u);
    EXPECT_EQ(*DibImageSize(640, 480, 32), 640u * 480u * 4u);
    EXPECT_FALSE(DibImageSize(-1, 10, 32).has_value());
    EXPECT_FALSE(DibImageSize(70000, 70000, 32).has_value());
}

TEST(ShotBmp, BitmapsWithoutEnoughBitsAreWrittenWithTwentyFour) {
    EXPECT_EQ(FileBitCount(32), 32);
    EXPECT_EQ(FileBitCount(24), 24);
    EXPECT_EQ(FileBitCount(16), 16);
    EXPECT_EQ(FileBitCount(8), 24);
    EXPECT_EQ(FileBitCount(1), 24);
}

TEST(ShotBmp, HeaderFieldsOfA32BitCapture) {
    const struct {
        int width, height;
    } sizes[] = {{200, 140}, {1, 1}, {1280, 800}, {333, 7}};
    for (const auto& s : sizes) {
        BmpInfo info;
        info.width = s.width;
        info.height = s.height;
        info.planes = 1;
        info.bitCount = 32;
        info.imageSize = *DibImageSize(s.width, s.height, 32);
        const auto h = BmpHeaders(info);
        const std::uint32_t fileSize = 54u + static_cast<std::uint32_t>(s.height) * s.width * 4u;
        EXPECT_EQ(h[0], 'B');
        EXPECT_EQ(h[1], 'M');
        EXPECT_EQ(Le32(&h[2]), fileSize);
        EXPECT_EQ(Le32(&h[6]), 0u);    // two reserved words
        EXPECT_EQ(Le32(&h[10]), 54u);  // pixels at 54
        EXPECT_EQ(Le32(&h[14]), 40u);
        EXPECT_EQ(static_cast<std::int32_t>(Le32(&h[18])), s.width);
        EXPECT_EQ(static_cast<std::int32_t>(Le32(&h[22])), s.height);  // positive: bottom-up
        EXPECT_EQ(Le16(&h[26]), 1);
        EXPECT_EQ(Le16(&h[28]), 32);
        EXPECT_EQ(Le32(&h[30]), 0u);  // BI_RGB
        EXPECT_EQ(Le32(&h[34]), fileSize - 54u);
        for (int at : {38, 42, 46, 50}) EXPECT_EQ(Le32(&h[at]), 0u) << at;
    }
}

TEST(ShotBmp, MultiByteFieldsAreLittleEndian) {
    BmpInfo info;
    info.width = 0x01020304;
    info.height = 0x0A0B0C0D;
    info.planes = 0x0102;
    info.bitCount = 0x0304;
    info.imageSize = 0x11223344;
    const auto h = BmpHeaders(info);
    const std::uint8_t width[4] = {0x04, 0x03, 0x02, 0x01};
    EXPECT_EQ(std::memcmp(&h[18], width, 4), 0);
    const std::uint8_t size[4] = {0x44 + 54, 0x33, 0x22, 0x11};
    EXPECT_EQ(std::memcmp(&h[2], size, 4), 0);
    EXPECT_EQ(h[26], 0x02);
    EXPECT_EQ(h[27], 0x01);
    EXPECT_EQ(h[28], 0x04);
}

}  // namespace
