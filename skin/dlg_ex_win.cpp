#include "skin/dlg_ex_win.h"

#include <gdiplus.h>
#include <objidl.h>
#include <shlwapi.h>

#include <cstring>
#include <vector>

#include "skin/skin_geometry.h"
#include "skin/window_font_win.h"

namespace {

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP bm{};
    if (!bitmap || !::GetObjectW(bitmap, sizeof bm, &bm)) return {0, 0};
    return {bm.bmWidth, bm.bmHeight};
}

RECT ToRect(const SkinRect& r) { return {r.left, r.top, r.right, r.bottom}; }

void PlaceButton(CBtnEx& button, const SkinRect& r) {
    if (!button.m_hWnd || r.Width() <= 0) return;
    ::SetWindowPos(button.m_hWnd, nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

// ---------------------------------------------------------------------------

namespace {

// A stream over a copy of the bytes. The memory-stream helper of the shell's
// light-weight library is exported by name only from Windows Vista on; a
// stream on global memory serves every system.
IStream* StreamOnCopy(const void* bytes, DWORD size) {
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, size);
    if (!memory) return nullptr;
    void* target = ::GlobalLock(memory);
    if (!target) {
        ::GlobalFree(memory);
        return nullptr;
    }
    std::memcpy(target, bytes, size);
    ::GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(memory, TRUE, &stream))) {
        ::GlobalFree(memory);
        return nullptr;
    }
    return stream;  // frees the memory when released
}

}  // namespace

HBITMAP LoadSkinBitmap(HINSTANCE module, UINT id) {
    if (!module) return nullptr;
    if (HBITMAP plain = ::LoadBitmapW(module, MAKEINTRESOURCEW(id))) return plain;

    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    if (!found) return nullptr;
    const DWORD size = ::SizeofResource(module, found);
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes || !size) return nullptr;

    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return nullptr;
    HBITMAP result = nullptr;
    if (IStream* stream = StreamOnCopy(bytes, size)) {
        {
            Gdiplus::Bitmap image(stream);
            if (image.GetLastStatus() == Gdiplus::Ok) {
                const int w = static_cast<int>(image.GetWidth()), h = static_cast<int>(image.GetHeight());
                BITMAPINFO bi{};
                bi.bmiHeader.biSize = sizeof bi.bmiHeader;
                bi.bmiHeader.biWidth = w;
                bi.bmiHeader.biHeight = h;  // bottom-up
                bi.bmiHeader.biPlanes = 1;
                bi.bmiHeader.biBitCount = 32;
                bi.bmiHeader.biCompression = BI_RGB;
                void* bits = nullptr;
                result = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
                Gdiplus::BitmapData data{};
                Gdiplus::Rect all(0, 0, w, h);
                if (result && bits &&
                    image.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) == Gdiplus::Ok) {
                    auto* out = static_cast<std::uint32_t*>(bits);
                    for (int y = 0; y < h; ++y) {
                        const auto* row = reinterpret_cast<const std::uint32_t*>(
                            static_cast<const BYTE*>(data.Scan0) + static_cast<std::ptrdiff_t>(y) * data.Stride);
                        std::uint32_t* dst = out + static_cast<std::ptrdiff_t>(h - 1 - y) * w;
                        for (int x = 0; x < w; ++x) dst[x] = SkinPixelFromArgb(row[x]);  // alpha byte 0
                    }
                    image.UnlockBits(&data);
                } else {
                    if (result) ::DeleteObject(result);
                    result = nullptr;
                    // No DIB: let GDI+ flatten it onto opaque magenta.
                    HBITMAP fallback = nullptr;
                    if (image.GetHBITMAP(Gdiplus::Color(0xFF, 0xFF, 0x00, 0xFF), &fallback) == Gdiplus::Ok)
                        result = fallback;
                }
            }
        }
        stream->Release();
    }
    Gdiplus::GdiplusShutdown(token);
    return result;
}

// ---------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDlgEx, CDialog)
    ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
    ON_MESSAGE(WM_NCHITTEST, OnNcHitTest)
    ON_MESSAGE(WM_NCLBUTTONDOWN, OnNcLButtonDown)
    ON_MESSAGE(WM_NCLBUTTONDBLCLK, OnNcLButtonDblClk)
    ON_MESSAGE(WM_LBUTTONDBLCLK, OnLButtonDblClk)
    ON_MESSAGE(WM_SIZE, OnSize)
    ON_COMMAND(kCloseButtonId, OnCloseCommand)
    ON_COMMAND(kMinimizeButtonId, OnMinimizeCommand)
    ON_COMMAND(kMaximizeButtonId, OnMaximizeCommand)
END_MESSAGE_MAP()

CDlgEx::CDlgEx(UINT nIDTemplate, CWnd* pParentWnd) : CDialog(nIDTemplate, pParentWnd) {}

CDlgEx::~CDlgEx() { DeleteBitmaps(); }

void CDlgEx::DeleteBitmaps() {
    for (HBITMAP* b : {&m_bmpBackground, &m_bmpMaxImage, &m_bmpRestoreImage}) {
        if (*b) ::DeleteObject(*b);
        *b = nullptr;
    }
}

BOOL CDlgEx::OnInitDialog() {
    CDialog::OnInitDialog();
    LONG style = ::GetWindowLongW(m_hWnd, GWL_STYLE);
    style = (style & ~(WS_CAPTION | DS_MODALFRAME)) | WS_MINIMIZEBOX;
    ::SetWindowLongW(m_hWnd, GWL_STYLE, style);
    LONG ex = ::GetWindowLongW(m_hWnd, GWL_EXSTYLE);
    ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, ex & ~(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE));
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);

    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    m_sizeMax = {work.right - work.left, work.bottom - work.top};
    m_rcRestore = ToRect(InitialRestoreRect({work.left, work.top, work.right, work.bottom}));
    return TRUE;
}

BOOL CDlgEx::SetSkin(HBITMAP background, BOOL resizeToBackground, BOOL stretch, HBITMAP minImage, HBITMAP maxImage,
                     HBITMAP restoreImage, HBITMAP closeImage) {
    if (m_bmpBackground && m_bmpBackground != background) ::DeleteObject(m_bmpBackground);
    m_bmpBackground = background;
    m_bStretch = stretch ? 1 : 0;

    int layoutWidth = 0;
    const SIZE bg = BitmapSize(background);
    if (resizeToBackground && background) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, bg.cx, bg.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        layoutWidth = bg.cx;
    } else {
        RECT client{};
        ::GetClientRect(m_hWnd, &client);
        layoutWidth = client.right;
    }
    if (background) BuildSkinRegion();

    const SIZE closeSize = BitmapSize(closeImage), maxSize = BitmapSize(maxImage), minSize = BitmapSize(minImage);
    const CaptionButtons rects = ::LayoutCaptionButtons(
        layoutWidth, m_nButtonRightMargin, m_nButtonTop, closeImage ? StripFrameWidth(closeSize.cx) : 0, closeSize.cy,
        maxImage ? StripFrameWidth(maxSize.cx) : 0, maxSize.cy, minImage ? StripFrameWidth(minSize.cx) : 0, minSize.cy);

    auto make = [&](CBtnEx& button, HBITMAP image, const SkinRect& r, UINT id, const wchar_t* tip) {
        if (button.m_hWnd) ::DestroyWindow(button.m_hWnd);
        if (!button.Create(L"", WS_CHILD | WS_VISIBLE, ToRect(r), m_hWnd, id)) return;
        button.SetImage(image, false);
        button.SetTooltip(tip);
    };
    if (closeImage) make(m_btnClose, closeImage, rects.close, kCloseButtonId, L"关闭");
    if (maxImage) {
        if (m_bmpMaxImage && m_bmpMaxImage != maxImage) ::DeleteObject(m_bmpMaxImage);
        if (m_bmpRestoreImage && m_bmpRestoreImage != restoreImage) ::DeleteObject(m_bmpRestoreImage);
        m_bmpMaxImage = maxImage;
        m_bmpRestoreImage = restoreImage;
        make(m_btnMax, maxImage, rects.max, kMaximizeButtonId, L"最大化");
    }
    if (minImage) make(m_btnMin, minImage, rects.min, kMinimizeButtonId, L"最小化");
    return 1;
}

void CDlgEx::BuildSkinRegion() {
    if (!m_bmpBackground) return;
    RECT wr{};
    ::GetWindowRect(m_hWnd, &wr);
    const int W = wr.right - wr.left, H = wr.bottom - wr.top;
    const SIZE bg = BitmapSize(m_bmpBackground);

    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HGDIOBJ old = ::SelectObject(dc, m_bmpBackground);
    HRGN region = ::CreateRectRgn(0, 0, W, H);
    for (const SkinPoint& p : CornerHoles(bg.cx, bg.cy, W, H,
                                          [&](int x, int y) { return ::GetPixel(dc, x, y) == RGB(255, 0, 255); })) {
        HRGN dot = ::CreateRectRgn(p.x, p.y, p.x + 1, p.y + 1);
        ::CombineRgn(region, region, dot, RGN_DIFF);
        ::DeleteObject(dot);
    }
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    ::SetWindowRgn(m_hWnd, region, FALSE);  // the window owns the region now
}

void CDlgEx::DrawSkinFrame(HDC dc, int W, int H) {
    const SIZE bg = BitmapSize(m_bmpBackground);
    HDC src = ::CreateCompatibleDC(dc);
    HGDIOBJ old = ::SelectObject(src, m_bmpBackground);
    // Whole pixels: stretched edges repeat their rows and columns.
    const int oldMode = ::SetStretchBltMode(dc, COLORONCOLOR);
    for (const SkinCopy& c : SkinFrameCopies(bg.cx, bg.cy, W, H, m_nBorder, m_nCaptionHeight, m_bStretch != 0)) {
        if (c.dst.Width() <= 0 || c.dst.Height() <= 0 || c.src.Width() <= 0 || c.src.Height() <= 0) continue;
        if (c.src.Width() == c.dst.Width() && c.src.Height() == c.dst.Height())
            ::BitBlt(dc, c.dst.left, c.dst.top, c.dst.Width(), c.dst.Height(), src, c.src.left, c.src.top, SRCCOPY);
        else
            ::StretchBlt(dc, c.dst.left, c.dst.top, c.dst.Width(), c.dst.Height(), src, c.src.left, c.src.top,
                         c.src.Width(), c.src.Height(), SRCCOPY);
    }
    ::SetStretchBltMode(dc, oldMode);
    ::SelectObject(src, old);
    ::DeleteDC(src);

    HICON icon = reinterpret_cast<HICON>(::SendMessageW(m_hWnd, WM_GETICON, ICON_SMALL, 0));
    const bool iconDrawn = icon && m_bShowIcon;
    const TitleLayout layout = LayoutTitle(m_nCaptionHeight, m_nBorder, iconDrawn);
    if (iconDrawn) ::DrawIconEx(dc, layout.iconX, layout.iconY, icon, 16, 16, 0, nullptr, DI_NORMAL);
    if (m_bShowTitle) {
        wchar_t title[256] = {};
        ::GetWindowTextW(m_hWnd, title, 256);
        LOGFONTW lf = WindowFontAt(m_hWnd, -12);
        lf.lfWeight = m_nTitleWeight;
        ::lstrcpynW(lf.lfFaceName, L"微软雅黑", LF_FACESIZE);
        HFONT font = ::CreateFontIndirectW(&lf);
        HGDIOBJ oldFont = ::SelectObject(dc, font);
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, m_clrTitle);
        ::TextOutW(dc, layout.titleX, layout.titleY, title, lstrlenW(title));
        ::SelectObject(dc, oldFont);
        ::DeleteObject(font);
    }
}

LRESULT CDlgEx::OnEraseBkgnd(WPARAM wParam, LPARAM) {
    if (!m_bmpBackground) return 0;
    HDC target = reinterpret_cast<HDC>(wParam);
    RECT wr{};
    ::GetWindowRect(m_hWnd, &wr);
    const int W = wr.right - wr.left, H = wr.bottom - wr.top;
    HDC mem = ::CreateCompatibleDC(target);
    HBITMAP canvas = ::CreateCompatibleBitmap(target, W > 0 ? W : 1, H > 0 ? H : 1);
    HGDIOBJ old = ::SelectObject(mem, canvas);
    DrawSkinFrame(mem, W, H);
    ::BitBlt(target, 0, 0, W, H, mem, 0, 0, SRCCOPY);
    ::SelectObject(mem, old);
    ::DeleteObject(canvas);
    ::DeleteDC(mem);
    return 1;
}

LRESULT CDlgEx::OnNcHitTest(WPARAM wParam, LPARAM lParam) {
    const LRESULT def = DefWindowProc(WM_NCHITTEST, wParam, lParam);
    if (m_bMaximized) return def;
    POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ::ScreenToClient(m_hWnd, &pt);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    const int hit = SkinHitTest(pt.x, pt.y, client.right, client.bottom, m_nCaptionHeight, m_nBorder,
                                m_bResizable != 0, false);
    return hit == HitDefault ? def : hit;
}

LRESULT CDlgEx::OnNcLButtonDown(WPARAM wParam, LPARAM lParam) {
    const int edge = SizeEdgeForHit(static_cast<int>(wParam));
    if (edge) {
        ::SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_SIZE + edge, lParam);
    } else {
        DefWindowProc(WM_NCLBUTTONDOWN, wParam, lParam);
    }
    ::GetWindowRect(m_hWnd, &m_rcRestore);
    return 0;
}

LRESULT CDlgEx::OnNcLButtonDblClk(WPARAM wParam, LPARAM lParam) {
    if (wParam == HTCAPTION && m_bResizable) {
        ToggleMaximize();
        return 0;
    }
    return DefWindowProc(WM_NCLBUTTONDBLCLK, wParam, lParam);
}

LRESULT CDlgEx::OnLButtonDblClk(WPARAM wParam, LPARAM lParam) {
    const int y = static_cast<short>(HIWORD(lParam));
    if (m_bMaximized && ((y >= 0 && y < m_nCaptionHeight) || m_nCaptionHeight == -1)) ToggleMaximize();
    return DefWindowProc(WM_LBUTTONDBLCLK, wParam, lParam);
}

void CDlgEx::LayoutCaptionButtons(int layoutWidth) {
    auto size = [](const CBtnEx& b) -> SIZE {
        if (!b.m_hWnd) return {0, 0};
        RECT r{};
        ::GetWindowRect(b.m_hWnd, &r);
        return {r.right - r.left, r.bottom - r.top};
    };
    auto top = [this](const CBtnEx& b) {
        if (!b.m_hWnd) return m_nButtonTop;
        RECT r{};
        ::GetWindowRect(b.m_hWnd, &r);
        POINT p{r.left, r.top};
        ::ScreenToClient(m_hWnd, &p);
        return static_cast<int>(p.y);
    };
    const SIZE c = size(m_btnClose), x = size(m_btnMax), n = size(m_btnMin);
    const CaptionButtons r =
        ::LayoutCaptionButtons(layoutWidth, m_nButtonRightMargin, 0, c.cx, c.cy, x.cx, x.cy, n.cx, n.cy);
    auto at = [](SkinRect rect, int y) {
        const int h = rect.Height();
        rect.top = y;
        rect.bottom = y + h;
        return rect;
    };
    PlaceButton(m_btnClose, at(r.close, top(m_btnClose)));
    PlaceButton(m_btnMax, at(r.max, top(m_btnMax)));
    PlaceButton(m_btnMin, at(r.min, top(m_btnMin)));
}

LRESULT CDlgEx::OnSize(WPARAM wParam, LPARAM lParam) {
    const LRESULT r = DefWindowProc(WM_SIZE, wParam, lParam);
    if (m_bmpBackground) {
        BuildSkinRegion();
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
        LayoutCaptionButtons(LOWORD(lParam));
    }
    return r;
}

void CDlgEx::SetTitle(const wchar_t* title) {
    ::SetWindowTextW(m_hWnd, title ? title : L"");
    HDC dc = ::GetDC(m_hWnd);
    SIZE extent{0, 16};
    ::GetTextExtentPoint32W(dc, title ? title : L"", title ? lstrlenW(title) : 0, &extent);
    ::ReleaseDC(m_hWnd, dc);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    HICON icon = reinterpret_cast<HICON>(::SendMessageW(m_hWnd, WM_GETICON, ICON_SMALL, 0));
    const TitleLayout layout = LayoutTitle(m_nCaptionHeight, m_nBorder, icon && m_bShowIcon);
    RECT strip{layout.titleX, layout.titleY, client.right, layout.titleY + extent.cy + 4};
    ::InvalidateRect(m_hWnd, &strip, TRUE);
}

void CDlgEx::RedrawCaptionButtons() {
    for (CBtnEx* b : {&m_btnClose, &m_btnMin, &m_btnMax})
        if (b->m_hWnd) ::InvalidateRect(b->m_hWnd, nullptr, TRUE);
}

void CDlgEx::OnCloseButton() { ::PostMessageW(m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0); }

void CDlgEx::OnMinimizeButton() { ::PostMessageW(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0); }

void CDlgEx::ToggleMaximize() {
    if (m_bMaximized) {
        ::MoveWindow(m_hWnd, m_rcRestore.left, m_rcRestore.top, m_rcRestore.right - m_rcRestore.left,
                     m_rcRestore.bottom - m_rcRestore.top, TRUE);
        UpdateMaximizeButton(FALSE);
    } else {
        RECT work{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        const SkinRect r = MaximizeRect({work.left, work.top, work.right, work.bottom}, m_sizeMax.cx, m_sizeMax.cy);
        ::MoveWindow(m_hWnd, r.left, r.top, r.Width(), r.Height(), TRUE);
        UpdateMaximizeButton(TRUE);
    }
    m_btnMax.ResetHover();
    m_bMaximized = !m_bMaximized;
}

void CDlgEx::UpdateMaximizeButton(BOOL maximized) {
    if (!m_btnMax.m_hWnd) return;
    m_btnMax.SetImage(maximized ? m_bmpRestoreImage : m_bmpMaxImage, false);
    m_btnMax.SetTooltip(maximized ? L"还原" : L"最大化");
    ::InvalidateRect(m_btnMax.m_hWnd, nullptr, FALSE);
}
