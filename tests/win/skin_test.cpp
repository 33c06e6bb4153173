// Skin images from the program's resources, and the skinned dialog's region.
#include <windows.h>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "skin/dlg_ex_win.h"

namespace {

COLORREF PixelOf(HBITMAP bitmap, int x, int y) {
    HDC dc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    const COLORREF c = ::GetPixel(dc, x, y);
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    return c;
}

SIZE SizeOf(HBITMAP bitmap) {
    BITMAP bm{};
    ::GetObjectW(bitmap, sizeof bm, &bm);
    return {bm.bmWidth, bm.bmHeight};
}

TEST(LoadSkinBitmap, PngResourcesBecomeBitmapsWithTheKeyColour) {
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    const struct {
        UINT id;
        int w, h;
    } sizes[] = {{IDB_SKIN_BOX, 30, 51},        {IDB_SKIN_BOX_CLOSE, 132, 27}, {IDB_SKIN_BOX_BUTTON, 228, 23},
                 {IDB_SKIN_CLOSE, 120, 25},     {IDB_TABS, 528, 22},           {IDB_TAB_CLOSE, 42, 14},
                 {IDB_SHOT_TOOLBAR, 152, 26},   {IDB_SHOT_CANCEL, 160, 15},    {IDB_SHOT_DONE, 168, 12},
                 {IDB_SHOT_SAVE, 168, 16},      {IDB_TOOL_BOSS, 212, 25},      {IDB_LOGIN_BACKGROUND, 1208, 668}};
    for (const auto& s : sizes) {
        HBITMAP b = LoadSkinBitmap(module, s.id);
        ASSERT_NE(b, nullptr) << s.id;
        const SIZE got = SizeOf(b);
        EXPECT_EQ(got.cx, s.w) << s.id;
        EXPECT_EQ(got.cy, s.h) << s.id;
        ::DeleteObject(b);
    }
}

TEST(LoadSkinBitmap, RowsKeepTheirOrderAndCornersAreKeyed) {
    HBITMAP box = LoadSkinBitmap(::GetModuleHandleW(nullptr), IDB_SKIN_BOX);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(PixelOf(box, 0, 0), RGB(255, 0, 255));       // cut corner
    EXPECT_EQ(PixelOf(box, 29, 50), RGB(255, 0, 255));
    EXPECT_EQ(PixelOf(box, 15, 28), RGB(58, 65, 90));      // the caption's lower edge, near the top
    EXPECT_EQ(PixelOf(box, 15, 40), RGB(27, 31, 42));      // the body below it
    ::DeleteObject(box);
}

TEST(LoadSkinBitmap, SoftEdgesBlendOverWhite) {
    HBITMAP login = LoadSkinBitmap(::GetModuleHandleW(nullptr), IDB_LOGIN_BACKGROUND);
    ASSERT_NE(login, nullptr);
    EXPECT_EQ(PixelOf(login, 0, 0), RGB(255, 0, 255));  // fully transparent
    // In the shadow: partly transparent black over white gives a grey.
    const COLORREF shadow = PixelOf(login, 12, 334);
    EXPECT_EQ(GetRValue(shadow), GetGValue(shadow));
    EXPECT_GT(GetRValue(shadow), 0);
    EXPECT_LT(GetRValue(shadow), 255);
    ::DeleteObject(login);
}

TEST(LoadSkinBitmap, MissingThingsGiveNull) {
    EXPECT_EQ(LoadSkinBitmap(nullptr, IDB_SKIN_BOX), nullptr);
    EXPECT_EQ(LoadSkinBitmap(::GetModuleHandleW(nullptr), 4242), nullptr);
}

class CRegionProbe : public CDlgEx {
public:
    CRegionProbe() : CDlgEx(IDD_SKIN_PROBE) {}
    BOOL OnInitDialog() override {
        CDlgEx::OnInitDialog();
        m_nCaptionHeight = 30;
        m_nBorder = 4;
        SetSkin(LoadSkinBitmap(::GetModuleHandleW(nullptr), IDB_SKIN_BOX), FALSE, TRUE, nullptr, nullptr, nullptr,
                nullptr);
        return TRUE;
    }
};

TEST(SkinnedDialog, RegionCutsTheKeyedCornerPixelsOnly) {
    CRegionProbe dlg;
    ASSERT_TRUE(dlg.Create());
    ::SetWindowPos(dlg.m_hWnd, nullptr, 0, 0, 200, 120, SWP_NOMOVE | SWP_NOZORDER);
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(dlg.m_hWnd, region), ERROR);
    const struct {
        int x, y;
        bool inside;
    } points[] = {{0, 0, false}, {1, 0, false}, {0, 1, false}, {1, 1, true},    {199, 0, false}, {198, 0, false},
                  {0, 119, false}, {199, 119, false}, {198, 118, true}, {100, 60, true}, {100, 0, true}};
    for (const auto& p : points) EXPECT_EQ(::PtInRegion(region, p.x, p.y) != FALSE, p.inside) << p.x << "," << p.y;
    ::DeleteObject(region);
    EXPECT_EQ(::GetWindowLongW(dlg.m_hWnd, GWL_STYLE) & WS_CAPTION, 0);
    dlg.DestroyWindow();
}

}  // namespace
