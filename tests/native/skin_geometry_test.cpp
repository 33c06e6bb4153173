#include "skin/skin_geometry.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(SkinFrame, NineSliceCopies) {
    // A 30 x 51 background on a 400 x 200 window, border 4, caption 30.
    const auto copies = SkinFrameCopies(30, 51, 400, 200, 4, 30, true);
    const std::vector<SkinCopy> expected = {
        {XYWH(0, 0, 4, 30), XYWH(0, 0, 4, 30)},        {XYWH(4, 0, 22, 30), XYWH(4, 0, 392, 30)},
        {XYWH(26, 0, 4, 30), XYWH(396, 0, 4, 30)},     {XYWH(0, 30, 4, 17), XYWH(0, 30, 4, 166)},
        {XYWH(26, 30, 4, 17), XYWH(396, 30, 4, 166)},  {XYWH(4, 30, 22, 17), XYWH(4, 30, 392, 166)},
        {XYWH(0, 47, 4, 4), XYWH(0, 196, 4, 4)},       {XYWH(4, 47, 22, 4), XYWH(4, 196, 392, 4)},
        {XYWH(26, 47, 4, 4), XYWH(396, 196, 4, 4)},
    };
    EXPECT_EQ(copies, expected);
}

TEST(SkinFrame, NaturalSizeRedrawsTheRightSideAndBottom) {
    const auto copies = SkinFrameCopies(152, 26, 200, 40, 3, -1, false);
    ASSERT_EQ(copies.size(), 6u);
    EXPECT_EQ(copies[0], (SkinCopy{XYWH(0, 0, 152, 26), XYWH(0, 0, 152, 26)}));
    EXPECT_EQ(copies[1], (SkinCopy{XYWH(149, 0, 3, 3), XYWH(197, 0, 3, 3)}));  // caption -1: a top band of 3
    EXPECT_EQ(copies[2], (SkinCopy{XYWH(149, 3, 3, 20), XYWH(197, 3, 3, 34)}));
    EXPECT_EQ(copies[5], (SkinCopy{XYWH(149, 23, 3, 3), XYWH(197, 37, 3, 3)}));
}

TEST(CornerHoles, OnlyKeyPixelsOfTheCornerSquares) {
    // Rounded corners: the outermost pixel and its two neighbours are keys,
    // and one key pixel in the middle that must not be cut.
    const int bw = 30, bh = 51;
    auto isKey = [&](int x, int y) {
        EXPECT_TRUE(x >= 0 && x < bw && y >= 0 && y < bh);
        const int cx = std::min(x, bw - 1 - x), cy = std::min(y, bh - 1 - y);
        return (cx + cy <= 1) || (x == 15 && y == 25);
    };
    const auto holes = CornerHoles(bw, bh, 300, 200, isKey);
    const std::set<std::pair<int, int>> got = [&] {
        std::set<std::pair<int, int>> s;
        for (auto p : holes) s.insert({p.x, p.y});
        return s;
    }();
    const std::set<std::pair<int, int>> expected = {{0, 0},   {1, 0},   {0, 1},   {299, 0},   {298, 0},   {299, 1},
                                                    {0, 199}, {1, 199}, {0, 198}, {299, 199}, {298, 199}, {299, 198}};
    EXPECT_EQ(got, expected);
}

TEST(CornerHoles, PlainCornersAndTinyBackgrounds) {
    EXPECT_TRUE(CornerHoles(30, 51, 100, 100, [](int, int) { return false; }).empty());
    // A 5 x 4 background: only existing pixels are read.
    int reads = 0;
    CornerHoles(5, 4, 50, 40, [&](int x, int y) {
        EXPECT_TRUE(x >= 0 && x < 5 && y >= 0 && y < 4) << x << "," << y;
        ++reads;
        return false;
    });
    EXPECT_GT(reads, 0);
}

TEST(HitTest, CaptionEdgesAndCorners) {
    const struct {
        int x, y;
        bool resizable, maximized;
        int caption;
        int hit;
    } cases[] = {
        {50, 10, false, false, 30, HitCaption},    {50, 30, false, false, 30, HitDefault},
        {50, 150, false, false, -1, HitCaption},   {1, 1, true, false, 30, HitTopLeft},
        {398, 1, true, false, 30, HitTopRight},    {1, 198, true, false, 30, HitBottomLeft},
        {398, 198, true, false, 30, HitBottomRight}, {1, 100, true, false, 30, HitLeft},
        {397, 100, true, false, 30, HitRight},     {100, 2, true, false, 30, HitTop},
        {100, 3, true, false, 30, HitCaption},     {100, 197, true, false, 30, HitBottom},
        {100, 100, true, false, 30, HitDefault},   {100, 10, true, true, 30, HitDefault},
        {1, 1, true, true, 30, HitDefault},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SkinHitTest(c.x, c.y, 400, 200, c.caption, 4, c.resizable, c.maximized), c.hit) << c.x << "," << c.y;
    EXPECT_EQ(SizeEdgeForHit(HitBottomRight), 8);
    EXPECT_EQ(SizeEdgeForHit(HitLeft), 1);
    EXPECT_EQ(SizeEdgeForHit(HitCaption), 0);
}

TEST(TitleLayout, IconAndTitlePlaces) {
    const auto whole = LayoutTitle(-1, 4, true);
    EXPECT_EQ(whole.iconY, 6);
    EXPECT_EQ(whole.titleY, 4);
    EXPECT_EQ(whole.titleX, 25);
    const auto caption30 = LayoutTitle(30, 4, false);
    EXPECT_EQ(caption30.iconY, 7);
    EXPECT_EQ(caption30.titleY, 7);
    EXPECT_EQ(caption30.titleX, 9);
    EXPECT_EQ(LayoutTitle(0, 0, false).titleY, 4);  // (0 - 11) / 2 is negative
}

TEST(CaptionButtons, AbutFromTheRight) {
    const auto all = LayoutCaptionButtons(400, 0, 0, 30, 25, 30, 25, 30, 25);
    EXPECT_EQ(all.close, XYWH(370, 0, 30, 25));
    EXPECT_EQ(all.max, XYWH(340, 0, 30, 25));
    EXPECT_EQ(all.min, XYWH(310, 0, 30, 25));
    const auto closeOnly = LayoutCaptionButtons(316, 5, 1, 33, 27, 0, 0, 0, 0);
    EXPECT_EQ(closeOnly.close, XYWH(278, 1, 33, 27));
    EXPECT_EQ(closeOnly.max, SkinRect{});
    EXPECT_EQ(closeOnly.min, SkinRect{});
    const auto noMax = LayoutCaptionButtons(400, 0, 0, 30, 25, 0, 0, 20, 25);
    EXPECT_EQ(noMax.min, XYWH(350, 0, 20, 25));  // steps over the close button
}

TEST(Maximize, FillsSmallWorkAreasCentresOnLargeOnes) {
    const SkinRect small{0, 0, 1280, 770};
    EXPECT_EQ(MaximizeRect(small, 1440, 900), small);
    const SkinRect large{0, 0, 1920, 1040};
    EXPECT_EQ(MaximizeRect(large, 1440, 900), (SkinRect{240, 70, 1680, 970}));
    EXPECT_EQ(InitialRestoreRect(SkinRect{0, 0, 1280, 800}), (SkinRect{160, 100, 1120, 700}));
}

TEST(MessageBoxLayout, SizesAndButtons) {
    const auto empty = LayoutMessageBox(0, 16, 1, 57, 23, false);
    EXPECT_EQ(empty.width, 174);
    EXPECT_EQ(empty.height, 3 + 90 + 16 + 23);
    EXPECT_EQ(empty.button1, (SkinRect{58, 132 - 30 - 23, 115, 102}));
    const auto wide = LayoutMessageBox(300, 16, 1, 57, 23, true);
    EXPECT_EQ(wide.width, 360);
    EXPECT_EQ(wide.button1, (SkinRect{180 - 10 - 57, 79, 170, 102}));
    EXPECT_EQ(wide.button2, (SkinRect{190, 79, 247, 102}));
    EXPECT_EQ(wide.textLeft, 30);
    EXPECT_EQ(LayoutMessageBox(174, 16, 1, 57, 23, true).width, 174);  // 2 x 57 + 60 is not below 174
    EXPECT_EQ(LayoutMessageBox(175, 16, 1, 57, 23, true).width, 235);
}

TEST(MessageBoxLayout, LinesAndTrailingLineFeed) {
    EXPECT_EQ(CountMessageLines(L""), 1);
    EXPECT_EQ(CountMessageLines(L"a\nb"), 2);
    EXPECT_EQ(CountMessageLines(L"a\n"), 2);
    EXPECT_EQ(MessageBoxDrawnLines(L"a\n"), (std::vector<std::wstring>{L"a"}));
    EXPECT_EQ(MessageBoxDrawnLines(L"a\n\nb"), (std::vector<std::wstring>{L"a", L"", L"b"}));
    EXPECT_TRUE(MessageBoxDrawnLines(L"").empty());
}

TEST(ButtonFrame, StateOrder) {
    EXPECT_EQ(ButtonFrame(true, true, true, true), 3);  // disabled wins, even hovered
    EXPECT_EQ(ButtonFrame(false, true, false, true), 2);
    EXPECT_EQ(ButtonFrame(false, false, true, false), 2);  // latched while dragged off
    EXPECT_EQ(ButtonFrame(false, false, false, true), 1);
    EXPECT_EQ(ButtonFrame(false, false, false, false), 0);
    EXPECT_EQ(StripFrameWidth(230), 57);  // remainder columns are lost
}

TEST(SkinPixel, AlphaRules) {
    EXPECT_EQ(SkinPixelFromArgb(0xFF123456), 0x123456u);
    EXPECT_EQ(SkinPixelFromArgb(0x00123456), 0xFF00FFu);
    EXPECT_EQ(SkinPixelFromArgb(0x80000000), 0x7F7F7Fu);  // (128 * -255 + 65025) / 255 = 127
    EXPECT_EQ(SkinPixelFromArgb(0x01FFFFFF), 0xFFFFFFu);
}

// One CJK-sized character is 12 pixels; ASCII 6.
int Measure(std::wstring_view s) {
    int w = 0;
    for (wchar_t c : s) w += c < 128 ? 6 : 12;
    return w;
}

TEST(StaticWrap, CharacterByCharacter) {
    const auto r = WrapStaticText(L"abcdefgh", 24, 12, Measure);
    EXPECT_EQ(r.lines, (std::vector<std::wstring>{L"abcd", L"efgh"}));
    EXPECT_EQ(r.lineCount, 2);
    const auto cjk = WrapStaticText(L"测试用汉字", 30, 12, Measure);
    EXPECT_EQ(cjk.lines, (std::vector<std::wstring>{L"测试", L"用汉", L"字"}));
    EXPECT_EQ(cjk.lineCount, 3);
}

TEST(StaticWrap, NarrowLineFeedsAndCarriageReturns) {
    EXPECT_TRUE(WrapStaticText(L"测试", 11, 12, Measure).lines.empty());  // narrower than one CJK character
    const auto feeds = WrapStaticText(L"\n\n\n", 100, 12, Measure);
    EXPECT_EQ(feeds.lineCount, 4);
    EXPECT_EQ(WrappedHeight(16, feeds.lineCount, 3), 16 + 3 * 19);
    EXPECT_EQ(WrapStaticText(L"a\r\nb", 100, 12, Measure).lines, (std::vector<std::wstring>{L"a", L"b"}));
    // A character wider than the rectangle stands alone instead of looping.
    const auto wide = WrapStaticText(L"a测b", 12, 10, [](std::wstring_view s) {
        int w = 0;
        for (wchar_t c : s) w += c < 128 ? 6 : 13;
        return w;
    });
    EXPECT_EQ(wide.lines, (std::vector<std::wstring>{L"a", L"测", L"b"}));
}

}  // namespace
