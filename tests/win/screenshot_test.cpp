// The screenshot tool's windows and writers: the capture and the BMP writer
// against known pictures, the rubber band, placement and clamping through
// the real windows, finishing to the clipboard, Enter and Escape, and saving
// through the system's save dialog.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"
#include "test_util.h"
#include "tools/screenshot_win.h"

namespace {

constexpr COLORREF kQuadrant[4] = {RGB(200, 30, 40), RGB(20, 180, 60), RGB(30, 60, 210), RGB(240, 220, 20)};
constexpr RECT kPattern = {40, 30, 120, 90};  // 80 x 60 on the screen

LRESULT CALLBACK PatternProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(h, &ps);
        RECT c{};
        ::GetClientRect(h, &c);
        const int mx = c.right / 2, my = c.bottom / 2;
        const RECT parts[4] = {{0, 0, mx, my}, {mx, 0, c.right, my}, {0, my, mx, c.bottom}, {mx, my, c.right, c.bottom}};
        for (int i = 0; i < 4; ++i) {
            HBRUSH b = ::CreateSolidBrush(kQuadrant[i]);
            ::FillRect(dc, &parts[i], b);
            ::DeleteObject(b);
        }
        ::EndPaint(h, &ps);
        return 0;
    }
    if (msg == WM_ERASEBKGND) return 1;
    return ::DefWindowProcW(h, msg, wParam, lParam);
}

// A known picture on the screen: four coloured quadrants.
HWND ShowPattern(const RECT& r) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &PatternProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ShotPattern";
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        registered = ::RegisterClassW(&wc) != 0;
    }
    HWND h = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"ShotPattern", L"", WS_POPUP | WS_VISIBLE, r.left,
                               r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
    ::UpdateWindow(h);
    return h;
}

// Runs messages as the client's loops do: through PreTranslateMessage.
void PumpTranslated(int ms) {
    const DWORD end = ::GetTickCount() + static_cast<DWORD>(ms);
    MSG msg;
    while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!WalkPreTranslate(&msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        ::Sleep(5);
    }
}

std::string ReadAll(const std::wstring& path) {
    std::string out;
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return out;
    char buf[65536];
    DWORD got = 0;
    while (::ReadFile(f, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    ::CloseHandle(f);
    return out;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::uint32_t Le32(const std::string& b, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const std::string& b, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// The colour of pixel (x, y), top-down, of a 32-bit BMP file's bytes.
COLORREF BmpPixel(const std::string& file, int x, int y) {
    const int w = static_cast<int>(Le32(file, 18)), h = static_cast<int>(Le32(file, 22));
    const std::size_t at = 54 + (static_cast<std::size_t>(h - 1 - y) * w + x) * 4;
    const auto* p = reinterpret_cast<const unsigned char*>(file.data() + at);
    return RGB(p[2], p[1], p[0]);
}

void ExpectBmpHeader(const std::string& file, int w, int h) {
    ASSERT_GE(file.size(), 54u);
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(Le32(file, 2), file.size());
    EXPECT_EQ(file.size(), 54u + static_cast<std::size_t>(w) * h * 4);
    EXPECT_EQ(Le32(file, 6), 0u);
    EXPECT_EQ(Le32(file, 10), 54u);
    EXPECT_EQ(Le32(file, 14), 40u);
    EXPECT_EQ(static_cast<int>(Le32(file, 18)), w);
    EXPECT_EQ(static_cast<int>(Le32(file, 22)), h);
    EXPECT_EQ(Le16(file, 26), 1);
    EXPECT_EQ(Le16(file, 28), 32);
    EXPECT_EQ(Le32(file, 30), 0u);
    EXPECT_EQ(Le32(file, 34), static_cast<std::uint32_t>(w) * h * 4);
    for (std::size_t at : {38u, 42u, 46u, 50u}) EXPECT_EQ(Le32(file, at), 0u) << at;
}

std::wstring TempBmp(const wchar_t* stem) {
    std::wstring p = TempFilePath(stem);  // ends in ".ini"
    p.resize(p.size() - 4);
    return p;
}

RECT WindowRectOf(HWND h) {
    RECT r{};
    ::GetWindowRect(h, &r);
    return r;
}

::testing::AssertionResult SameRect(const RECT& got, const RECT& want) {
    if (::EqualRect(&got, &want)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << got.left << "," << got.top << ")-(" << got.right << ","
                                         << got.bottom << ") instead of (" << want.left << "," << want.top << ")-("
                                         << want.right << "," << want.bottom << ")";
}

// The clipboard's bitmap: its size and the colour of one pixel.
struct ClipBitmap {
    bool present = false;
    int width = 0, height = 0;
    COLORREF sample = CLR_INVALID;
};
ClipBitmap ReadClipboard(int sx, int sy) {
    ClipBitmap out;
    if (!::OpenClipboard(nullptr)) return out;
    if (HBITMAP b = static_cast<HBITMAP>(::GetClipboardData(CF_BITMAP))) {
        BITMAP bm{};
        ::GetObjectW(b, sizeof bm, &bm);
        out.present = true;
        out.width = bm.bmWidth;
        out.height = bm.bmHeight;
        HDC dc = ::CreateCompatibleDC(nullptr);
        HGDIOBJ old = ::SelectObject(dc, b);
        out.sample = ::GetPixel(dc, sx, sy);
        ::SelectObject(dc, old);
        ::DeleteDC(dc);
    }
    ::CloseClipboard();
    return out;
}

void EmptyTheClipboard() {
    if (::OpenClipboard(nullptr)) {
        ::EmptyClipboard();
        ::CloseClipboard();
    }
}

// ---------------------------------------------------------------------------
// The writer and the capture

TEST(ShotWriter, WritesTheRectangleBottomUpBehindItsHeaders) {
    // A 32-bit picture whose every pixel tells where it is.
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 64, -48, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP pic = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(pic, nullptr);
    auto colourAt = [](int x, int y) { return RGB(x * 3, y * 5, (x * 7 + y) & 0xFF); };
    auto* px = static_cast<std::uint32_t*>(bits);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const COLORREF c = colourAt(x, y);
            px[y * 64 + x] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        }
    HDC dc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, pic);

    const RECT rect{10, 6, 47, 27};  // 37 x 21: an odd width
    const std::wstring path = TempBmp(L"shot-writer") + L".bmp";
    ASSERT_TRUE(WriteBmpFromDC(dc, rect, path.c_str()));
    const std::string file = ReadAll(path);
    ExpectBmpHeader(file, 37, 21);
    const POINT probes[] = {{0, 0}, {36, 0}, {0, 20}, {36, 20}, {17, 9}};
    for (const POINT& p : probes)
        EXPECT_EQ(BmpPixel(file, p.x, p.y), colourAt(rect.left + p.x, rect.top + p.y)) << p.x << "," << p.y;

    // Writing again truncates: a smaller rectangle, a smaller file.
    ASSERT_TRUE(WriteBmpFromDC(dc, {0, 0, 2, 3}, path.c_str()));
    EXPECT_EQ(ReadAll(path).size(), 54u + 2 * 3 * 4);

    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    ::DeleteObject(pic);
    ::DeleteFileW(path.c_str());
}

TEST(ShotWriter, FailuresWriteNothing) {
    HBITMAP copy = nullptr;
    HDC screen = CaptureScreen(32, 32, &copy);
    ASSERT_NE(screen, nullptr);
    const std::wstring missing = TempBmp(L"shot-nofolder") + L"\\inside\\x.bmp";
    EXPECT_FALSE(WriteBmpFromDC(screen, {0, 0, 8, 8}, missing.c_str()));
    EXPECT_FALSE(Exists(missing));
    const std::wstring path = TempBmp(L"shot-empty") + L".bmp";
    EXPECT_FALSE(WriteBmpFromDC(screen, {5, 5, 5, 9}, path.c_str()));  // no width
    EXPECT_FALSE(WriteBmpFromDC(nullptr, {0, 0, 8, 8}, path.c_str()));
    EXPECT_FALSE(Exists(path));
    ReleaseScreenCopy(screen, copy);
}

TEST(ShotCapture, FreezesWhatTheScreenShowsAndWritesIt) {
    HWND pattern = ShowPattern(kPattern);
    Pump(400);
    const int W = ::GetSystemMetrics(SM_CXSCREEN), H = ::GetSystemMetrics(SM_CYSCREEN);
    HBITMAP copy = nullptr;
    HDC frozen = CaptureScreen(W, H, &copy);
    ASSERT_NE(frozen, nullptr);
    ::DestroyWindow(pattern);  // the copy keeps it
    Pump(100);

    const std::wstring path = TempBmp(L"shot-capture") + L".bmp";
    ASSERT_TRUE(WriteBmpFromDC(frozen, kPattern, path.c_str()));
    const std::string file = ReadAll(path);
    ExpectBmpHeader(file, 80, 60);
    EXPECT_EQ(BmpPixel(file, 10, 10), kQuadrant[0]);
    EXPECT_EQ(BmpPixel(file, 70, 10), kQuadrant[1]);
    EXPECT_EQ(BmpPixel(file, 10, 50), kQuadrant[2]);
    EXPECT_EQ(BmpPixel(file, 70, 50), kQuadrant[3]);
    ReleaseScreenCopy(frozen, copy);
    ::DeleteFileW(path.c_str());
}

// ---------------------------------------------------------------------------
// The tool's windows

class ShotTool : public ::testing::Test {
protected:
    void SetUp() override {
        W = ::GetSystemMetrics(SM_CXSCREEN);
        H = ::GetSystemMetrics(SM_CYSCREEN);
        pattern = ShowPattern(kPattern);
        Pump(300);
        ASSERT_TRUE(shot.Create(IDD_SHOT, nullptr));
        PumpTranslated(200);
        zone = shot.m_dlgZone.m_hWnd;
        zoom = shot.m_dlgZoom.m_hWnd;
        opera = shot.m_dlgOpera.m_hWnd;
        ASSERT_TRUE(zone && zoom && opera);
    }
    void TearDown() override {
        if (pattern) ::DestroyWindow(pattern);
    }

    void Mouse(UINT msg, int x, int y, WPARAM keys = 0) {
        ::SendMessageW(shot.m_hWnd, msg, keys, MAKELPARAM(x, y));
    }
    void Drag(int x1, int y1, int x2, int y2) {
        Mouse(WM_LBUTTONDOWN, x1, y1, MK_LBUTTON);
        Mouse(WM_MOUSEMOVE, (x1 + x2) / 2, (y1 + y2) / 2, MK_LBUTTON);
        Mouse(WM_MOUSEMOVE, x2, y2, MK_LBUTTON);
        Mouse(WM_LBUTTONUP, x2, y2);
    }
    bool AllHidden() const {
        return !::IsWindowVisible(shot.m_hWnd) && !::IsWindowVisible(zone) && !::IsWindowVisible(zoom) &&
               !::IsWindowVisible(opera);
    }
    // Shows the tool again with a fresh selection.
    void Restart() {
        if (!::IsWindowVisible(shot.m_hWnd)) ::ShowWindow(shot.m_hWnd, SW_SHOW);
        PumpTranslated(100);
        Drag(100, 120, 300, 260);
        PumpTranslated(100);
    }

    int W = 0, H = 0;
    HWND pattern = nullptr;
    CScreenShot shot;
    HWND zone = nullptr, zoom = nullptr, opera = nullptr;
};

TEST_F(ShotTool, CoversTheScreenWithAFrozenCopy) {
    EXPECT_TRUE(::IsWindowVisible(shot.m_hWnd));
    EXPECT_TRUE(SameRect(WindowRectOf(shot.m_hWnd), {0, 0, W, H}));
    const LONG ex = ::GetWindowLongW(shot.m_hWnd, GWL_EXSTYLE);
    EXPECT_TRUE(ex & WS_EX_TOPMOST);
    EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(ex & WS_EX_APPWINDOW);
    EXPECT_TRUE(::GetWindowLongW(zone, GWL_EXSTYLE) & WS_EX_LAYERED);
    for (HWND h : {zone, zoom, opera}) EXPECT_EQ(::GetWindow(h, GW_OWNER), shot.m_hWnd);
    EXPECT_FALSE(::IsWindowVisible(zone));
    EXPECT_FALSE(::IsWindowVisible(opera));
    EXPECT_TRUE(::IsWindowVisible(zoom));
    const RECT z = WindowRectOf(zoom);
    EXPECT_EQ(z.right - z.left, 256);
    EXPECT_EQ(z.bottom - z.top, 100);
    const RECT bar = WindowRectOf(opera);  // sized to its background
    EXPECT_EQ(bar.right - bar.left, 152);
    EXPECT_EQ(bar.bottom - bar.top, 26);

    ASSERT_NE(shot.m_hdcScreen, nullptr);
    EXPECT_EQ(::GetPixel(shot.m_hdcScreen, 50, 40), kQuadrant[0]);
    EXPECT_EQ(::GetPixel(shot.m_hdcScreen, 110, 80), kQuadrant[3]);

    // Every showing freezes the screen afresh: without the picture now.
    ::PostMessageW(shot.m_hWnd, WM_COMMAND, IDCANCEL, 0);
    PumpTranslated(100);
    ASSERT_TRUE(AllHidden());
    ::DestroyWindow(pattern);
    pattern = nullptr;
    PumpTranslated(300);
    ::ShowWindow(shot.m_hWnd, SW_SHOW);
    PumpTranslated(100);
    ASSERT_NE(shot.m_hdcScreen, nullptr);
    EXPECT_NE(::GetPixel(shot.m_hdcScreen, 50, 40), kQuadrant[0]);
}

COLORREF ScreenPixel(int x, int y) {
    HDC screen = ::GetDC(nullptr);
    const COLORREF c = ::GetPixel(screen, x, y);
    ::ReleaseDC(nullptr, screen);
    return c;
}

// Black blended over `c` with constant alpha `a`, give or take rounding.
::testing::AssertionResult Darkened(COLORREF got, COLORREF c, int a) {
    const int want[3] = {GetRValue(c) * (255 - a) / 255, GetGValue(c) * (255 - a) / 255, GetBValue(c) * (255 - a) / 255};
    const int have[3] = {GetRValue(got), GetGValue(got), GetBValue(got)};
    for (int i = 0; i < 3; ++i)
        if (have[i] < want[i] - 1 || have[i] > want[i] + 1)
            return ::testing::AssertionFailure() << std::hex << got << " is not " << c << " darkened by " << std::dec << a;
    return ::testing::AssertionSuccess();
}

TEST_F(ShotTool, PaintsTheScreenDarkTheSelectionBrightAndTheMagnifier) {
    PumpTranslated(300);
    EXPECT_TRUE(Darkened(ScreenPixel(50, 40), kQuadrant[0], 120));
    EXPECT_TRUE(Darkened(ScreenPixel(110, 80), kQuadrant[3], 120));

    // A selection over the lower half of the picture: full brightness inside,
    // a green frame and handles on its outermost pixels.
    Drag(kPattern.left, 60, kPattern.right, kPattern.bottom);
    PumpTranslated(300);
    EXPECT_EQ(ScreenPixel(50, 75), kQuadrant[2]);
    EXPECT_EQ(ScreenPixel(110, 75), kQuadrant[3]);
    EXPECT_TRUE(Darkened(ScreenPixel(50, 45), kQuadrant[0], 120));  // above it: still dark
    EXPECT_EQ(ScreenPixel(kPattern.left, 75), RGB(108, 226, 108));   // left edge
    EXPECT_EQ(ScreenPixel(70, kPattern.bottom - 1), RGB(108, 226, 108));
    EXPECT_EQ(ScreenPixel(kPattern.left + 3, 63), RGB(108, 226, 108));  // top-left handle

    // The magnifier at (315, 324) for a cursor at (300, 300): white frame,
    // green cross, the zoomed picture inside.
    Mouse(WM_MOUSEMOVE, 300, 300);
    PumpTranslated(200);
    EXPECT_EQ(ScreenPixel(315 + 1, 324 + 50), RGB(255, 255, 255));
    EXPECT_EQ(ScreenPixel(315 + 49, 324 + 20), RGB(108, 226, 108));
    EXPECT_EQ(ScreenPixel(315 + 20, 324 + 50), RGB(108, 226, 108));
}

TEST_F(ShotTool, ToolbarButtonsSitWhereTheyBelong) {
    const struct {
        int id, x, y, w, h;
    } buttons[] = {{IDC_SHOT_SAVE, 7, 5, 42, 16}, {IDC_SHOT_CANCEL, 56, 5, 40, 15}, {IDC_SHOT_DONE, 103, 7, 42, 12}};
    const RECT bar = WindowRectOf(opera);
    for (const auto& b : buttons) {
        HWND h = ::GetDlgItem(opera, b.id);
        ASSERT_NE(h, nullptr) << b.id;
        EXPECT_TRUE(SameRect(WindowRectOf(h), {bar.left + b.x, bar.top + b.y, bar.left + b.x + b.w,
                                               bar.top + b.y + b.h}))
            << b.id;
    }
}

TEST_F(ShotTool, DragSelectsAndTheToolbarComesOnRelease) {
    Mouse(WM_LBUTTONDOWN, 300, 260, MK_LBUTTON);
    Mouse(WM_MOUSEMOVE, 200, 200, MK_LBUTTON);
    Mouse(WM_MOUSEMOVE, 100, 120, MK_LBUTTON);  // up and left of the press
    EXPECT_TRUE(::IsWindowVisible(zone));
    EXPECT_TRUE(SameRect(WindowRectOf(zone), {100, 120, 300, 260}));
    EXPECT_FALSE(::IsWindowVisible(opera));  // not while dragging
    Mouse(WM_LBUTTONUP, 100, 120);
    EXPECT_TRUE(::IsWindowVisible(opera));
    EXPECT_TRUE(SameRect(WindowRectOf(opera), {300 - 152, 265, 300, 265 + 26}));
    EXPECT_TRUE(SameRect(WindowRectOf(zoom), {115, 144, 115 + 256, 144 + 100}));

    // A press while the selection shows starts nothing new.
    Mouse(WM_LBUTTONDOWN, 600, 500, MK_LBUTTON);
    Mouse(WM_MOUSEMOVE, 700, 600, MK_LBUTTON);
    EXPECT_TRUE(SameRect(WindowRectOf(zone), {100, 120, 300, 260}));
}

TEST_F(ShotTool, AClickWithoutADragSelectsTheWholeScreen) {
    Mouse(WM_LBUTTONDOWN, 500, 400, MK_LBUTTON);
    Mouse(WM_LBUTTONUP, 500, 400);
    EXPECT_TRUE(::IsWindowVisible(zone));
    EXPECT_TRUE(SameRect(WindowRectOf(zone), {0, 0, W, H}));
    // Neither under nor above fits: along the selection's bottom, on screen.
    EXPECT_TRUE(SameRect(WindowRectOf(opera), {W - 152, H - 31, W, H - 5}));
}

TEST_F(ShotTool, NearTheBottomTheToolbarGoesAbove) {
    Drag(400, H - 100, 600, H - 20);
    EXPECT_TRUE(SameRect(WindowRectOf(opera), {600 - 152, H - 100 - 31, 600, H - 100 - 5}));
}

TEST_F(ShotTool, MagnifierFollowsAndFlipsAtTheEdges) {
    const struct {
        int x, y, left, top;
    } cases[] = {
        {50, 50, 65, 74},
        {W - 10, 50, W - 266, 74},
        {50, H - 10, 65, H - 110},
        {W - 1, H - 1, W - 257, H - 101},
    };
    for (const auto& c : cases) {
        Mouse(WM_MOUSEMOVE, c.x, c.y);
        EXPECT_TRUE(::IsWindowVisible(zoom));
        EXPECT_TRUE(SameRect(WindowRectOf(zoom), {c.left, c.top, c.left + 256, c.top + 100})) << c.x << "," << c.y;
    }
    EXPECT_FALSE(::IsWindowVisible(zone));  // moving without a press selects nothing
}

TEST_F(ShotTool, TheSelectionStopsAtTheScreenEdgesWithoutShrinking) {
    Drag(100, 120, 300, 260);
    const struct {
        int x, y;
        UINT flags;
        RECT expected;
    } moves[] = {
        {-80, -30, SWP_NOSIZE, {0, 0, 200, 140}},
        {W - 50, H - 20, SWP_NOSIZE, {W - 200, H - 140, W, H}},
        {W - 10, 5, 0, {W - 200, 5, W, 145}},  // size given with the move
        {400, 300, SWP_NOSIZE, {400, 300, 600, 440}},
    };
    for (const auto& m : moves) {
        // A plain move carries no size, as the system's move loop sends it.
        const int size = (m.flags & SWP_NOSIZE) ? 0 : 1;
        ::SetWindowPos(zone, nullptr, m.x, m.y, 200 * size, 140 * size, m.flags | SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_TRUE(SameRect(WindowRectOf(zone), m.expected)) << m.x << "," << m.y;
    }
}

TEST_F(ShotTool, HitTestingOfTheEdgesAndHandles) {
    Drag(100, 120, 300, 260);
    const struct {
        int x, y;
        LRESULT hit;
    } cases[] = {
        {100, 120, HTTOPLEFT},  {299, 120, HTTOPRIGHT}, {299, 259, HTBOTTOMRIGHT}, {100, 259, HTBOTTOMLEFT},
        {200, 120, HTTOP},      {200, 259, HTBOTTOM},   {100, 190, HTLEFT},        {299, 190, HTRIGHT},
        {200, 190, HTCAPTION},  {103, 123, HTCAPTION},  {102, 190, HTLEFT},        {200, 257, HTBOTTOM},
    };
    for (const auto& c : cases)
        EXPECT_EQ(::SendMessageW(zone, WM_NCHITTEST, 0, MAKELPARAM(c.x, c.y)), c.hit) << c.x << "," << c.y;
}

TEST_F(ShotTool, FinishingCopiesTheSelectionToTheClipboard) {
    EmptyTheClipboard();
    Drag(kPattern.left, kPattern.top, kPattern.right, kPattern.bottom);
    ::SendMessageW(zone, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(80, 60));
    PumpTranslated(100);
    EXPECT_TRUE(AllHidden());
    const ClipBitmap clip = ReadClipboard(10, 50);
    ASSERT_TRUE(clip.present);
    EXPECT_EQ(clip.width, 80);
    EXPECT_EQ(clip.height, 60);
    EXPECT_EQ(clip.sample, kQuadrant[2]);  // the frozen picture, not the darkened overlay
}

TEST_F(ShotTool, FinishFromTheToolbarAndFromAnOverlayDoubleClick) {
    for (int way = 0; way < 2; ++way) {
        EmptyTheClipboard();
        Restart();
        ASSERT_TRUE(::IsWindowVisible(opera));
        if (way == 0)
            ::SendMessageW(::GetDlgItem(opera, IDC_SHOT_DONE), BM_CLICK, 0, 0);
        else
            Mouse(WM_LBUTTONDBLCLK, 5, 5);
        PumpTranslated(200);
        EXPECT_TRUE(AllHidden()) << way;
        const ClipBitmap clip = ReadClipboard(0, 0);
        EXPECT_TRUE(clip.present) << way;
        EXPECT_EQ(clip.width, 200) << way;
        EXPECT_EQ(clip.height, 140) << way;
    }
}

TEST_F(ShotTool, EnterDoesNothingEscapeAndRightClickCancel) {
    // Each of the four windows: Enter leaves everything, Escape ends it all.
    HWND windows[] = {shot.m_hWnd, zone, zoom, opera};
    for (HWND target : windows) {
        Restart();
        ASSERT_TRUE(::IsWindowVisible(zone) && ::IsWindowVisible(opera));
        ::PostMessageW(target, WM_KEYDOWN, VK_RETURN, 0x001C0001);
        PumpTranslated(100);
        EXPECT_TRUE(::IsWindowVisible(shot.m_hWnd) && ::IsWindowVisible(zone) && ::IsWindowVisible(opera));
        ::PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PumpTranslated(100);
        EXPECT_TRUE(AllHidden());
    }
    // The toolbar's cancel button, and a right-click on the overlay.
    Restart();
    ::SendMessageW(::GetDlgItem(opera, IDC_SHOT_CANCEL), BM_CLICK, 0, 0);
    PumpTranslated(100);
    EXPECT_TRUE(AllHidden());
    Restart();
    Mouse(WM_RBUTTONUP, 10, 10);
    EXPECT_TRUE(AllHidden());
    EXPECT_FALSE(shot.m_band.dragging);
    // After a right-click, a new showing starts with no selection.
    ::ShowWindow(shot.m_hWnd, SW_SHOW);
    PumpTranslated(100);
    EXPECT_FALSE(::IsWindowVisible(zone));

    // Escape in the middle of a drag: the next showing does not go on
    // dragging from the old press point.
    Mouse(WM_LBUTTONDOWN, 200, 200, MK_LBUTTON);
    ::PostMessageW(shot.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PumpTranslated(100);
    ASSERT_TRUE(AllHidden());
    ::ShowWindow(shot.m_hWnd, SW_SHOW);
    PumpTranslated(100);
    Mouse(WM_MOUSEMOVE, 400, 400);
    EXPECT_FALSE(::IsWindowVisible(zone));
}

// ---------------------------------------------------------------------------
// Saving through the save dialog, driven from a second thread.

struct SaveDialogDriver {
    std::wstring typed;        // what to type as the name; empty: press Cancel
    std::wstring defaultName;  // the name the dialog offered
    std::atomic<int> seen{0};  // save dialogs seen
    std::atomic<bool> done{false};
    std::thread worker;

    static BOOL CALLBACK MatchDialog(HWND h, LPARAM lp) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(h, &pid);
        wchar_t title[64] = {};
        ::InternalGetWindowText(h, title, 64);
        if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(h) && std::wstring(title) == L"请输入文件名称") {
            *reinterpret_cast<HWND*>(lp) = h;
            return FALSE;
        }
        return TRUE;
    }
    static HWND FindDialog() {
        HWND found = nullptr;
        ::EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&found));
        return found;
    }
    // The file name edit: the plain one, or the one inside the name combo box.
    static HWND NameEdit(HWND dlg) {
        if (HWND e = ::GetDlgItem(dlg, 0x480)) return e;
        HWND combo = ::GetDlgItem(dlg, 0x47C);
        if (!combo) return nullptr;
        HWND found = nullptr;
        ::EnumChildWindows(combo, &MatchEdit, reinterpret_cast<LPARAM>(&found));
        return found;
    }
    static BOOL CALLBACK MatchEdit(HWND h, LPARAM lp) {
        wchar_t cls[16] = {};
        ::GetClassNameW(h, cls, 16);
        if (std::wstring(cls) != L"Edit") return TRUE;
        *reinterpret_cast<HWND*>(lp) = h;
        return FALSE;
    }

    void Start() {
        worker = std::thread([this] {
            HWND handled = nullptr;
            const DWORD end = ::GetTickCount() + 15000;
            while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
                HWND dlg = FindDialog();
                if (dlg && dlg != handled) {
                    ++seen;
                    handled = dlg;
                    ::Sleep(200);
                    HWND edit = NameEdit(dlg);
                    wchar_t text[MAX_PATH] = {};
                    if (edit) ::SendMessageW(edit, WM_GETTEXT, MAX_PATH, reinterpret_cast<LPARAM>(text));
                    defaultName = text;
                    if (!typed.empty() && edit) {
                        ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
                        ::PostMessageW(::GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
                    } else {
                        ::PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
                    }
                    // Watch a little longer for a second dialog.
                    const DWORD tail = ::GetTickCount() + 1500;
                    while (static_cast<LONG>(tail - ::GetTickCount()) > 0) {
                        HWND again = FindDialog();
                        if (again && again != handled) {
                            ++seen;
                            ::PostMessageW(again, WM_COMMAND, IDCANCEL, 0);
                            handled = again;
                        }
                        ::Sleep(20);
                    }
                    break;
                }
                ::Sleep(20);
            }
            done = true;
        });
    }
    void Finish(int ms = 20000) {
        const DWORD end = ::GetTickCount() + static_cast<DWORD>(ms);
        while (!done && static_cast<LONG>(end - ::GetTickCount()) > 0) PumpTranslated(50);
        worker.join();
    }
};

TEST_F(ShotTool, SavingWritesTheSelectionAsABmpFile) {
    Drag(kPattern.left, kPattern.top, kPattern.right, kPattern.bottom);
    const std::wstring stem = TempBmp(L"shot-saved");  // no extension: ".bmp" is added
    SaveDialogDriver driver;
    driver.typed = stem;
    driver.Start();
    // Two requests: the second arrives while the first's dialog is open.
    ::PostMessageW(shot.m_hWnd, WM_SHOTSAVE, 0, 0);
    ::PostMessageW(shot.m_hWnd, WM_SHOTSAVE, 0, 0);
    driver.Finish();
    PumpTranslated(200);

    EXPECT_EQ(driver.seen.load(), 1);
    // The offered name: fourteen digits of local time and ".bmp".
    ASSERT_EQ(driver.defaultName.size(), 18u) << std::string(driver.defaultName.begin(), driver.defaultName.end());
    for (int i = 0; i < 14; ++i) EXPECT_TRUE(iswdigit(driver.defaultName[i]));
    EXPECT_EQ(driver.defaultName.substr(14), L".bmp");

    EXPECT_TRUE(AllHidden());
    const std::string file = ReadAll(stem + L".bmp");
    ExpectBmpHeader(file, 80, 60);
    EXPECT_EQ(BmpPixel(file, 10, 10), kQuadrant[0]);
    EXPECT_EQ(BmpPixel(file, 70, 50), kQuadrant[3]);
    EXPECT_FALSE(Exists(stem));
    ::DeleteFileW((stem + L".bmp").c_str());
}

TEST_F(ShotTool, CancellingTheSaveDialogKeepsTheScreenshot) {
    Drag(100, 120, 300, 260);
    SaveDialogDriver driver;  // nothing typed: Cancel
    driver.Start();
    ::SendMessageW(::GetDlgItem(opera, IDC_SHOT_SAVE), BM_CLICK, 0, 0);
    driver.Finish();
    EXPECT_EQ(driver.seen.load(), 1);
    EXPECT_TRUE(::IsWindowVisible(shot.m_hWnd));
    EXPECT_TRUE(::IsWindowVisible(zone));
    EXPECT_TRUE(SameRect(WindowRectOf(zone), {100, 120, 300, 260}));

    // And the next request opens the dialog again.
    SaveDialogDriver again;
    again.Start();
    ::PostMessageW(shot.m_hWnd, WM_SHOTSAVE, 0, 0);
    again.Finish();
    EXPECT_EQ(again.seen.load(), 1);
}

}  // namespace
