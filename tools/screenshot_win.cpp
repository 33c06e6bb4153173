#include "tools/screenshot_win.h"

#include "skin/memory_canvas_win.h"

#include <commdlg.h>

#include <vector>

#include "framework/app_win.h"
#include "res/resource.h"

namespace {

constexpr COLORREF kKey = RGB(255, 0, 255);
constexpr COLORREF kGreen = RGB(108, 226, 108);
constexpr BYTE kOverlayDarkness = 120;
constexpr BYTE kPanelDarkness = 200;

// A save is running (its dialog is open): further requests are ignored.
bool g_bShotSaving = false;

// Blends black over a rectangle of `dc` with the given constant alpha.
void Darken(HDC dc, int x, int y, int w, int h, BYTE alpha) {
    CMemoryCanvas black(dc, w, h);
    ::PatBlt(black.dc, 0, 0, w, h, BLACKNESS);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, alpha, 0};
    ::AlphaBlend(dc, x, y, w, h, black.dc, 0, 0, w, h, blend);
}

void FillSolid(HDC dc, const RECT& r, COLORREF colour) {
    HBRUSH brush = ::CreateSolidBrush(colour);
    ::FillRect(dc, &r, brush);
    ::DeleteObject(brush);
}

RECT ToRect(const SkinRect& r) { return {r.left, r.top, r.right, r.bottom}; }

bool Visible(const CWnd& w) { return w.m_hWnd && ::IsWindowVisible(w.m_hWnd); }

void Hide(HWND h) {
    if (h) ::ShowWindow(h, SW_HIDE);
}

HWND OwnerOf(HWND h) { return h ? ::GetWindow(h, GW_OWNER) : nullptr; }

POINT PointOf(LPARAM lParam) { return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))}; }

LPARAM PackPoint(POINT p) {
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(p.x)), static_cast<WORD>(static_cast<short>(p.y)));
}

// A screen point as the overlay (the owner) sees it.
POINT ScreenToOverlay(HWND child, POINT p) {
    if (HWND overlay = OwnerOf(child)) ::ScreenToClient(overlay, &p);
    return p;
}

// A copy of `rect` of `source` in a new bitmap compatible with the screen.
HBITMAP CopyRect(HDC source, const RECT& rect) {
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    if (!source || w <= 0 || h <= 0) return nullptr;
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
    HDC mem = ::CreateCompatibleDC(screen);
    ::ReleaseDC(nullptr, screen);
    if (!bitmap || !mem) {
        if (bitmap) ::DeleteObject(bitmap);
        if (mem) ::DeleteDC(mem);
        return nullptr;
    }
    HGDIOBJ old = ::SelectObject(mem, bitmap);
    const BOOL copied = ::BitBlt(mem, 0, 0, w, h, source, rect.left, rect.top, SRCCOPY);
    ::SelectObject(mem, old);
    ::DeleteDC(mem);
    if (!copied) {
        ::DeleteObject(bitmap);
        return nullptr;
    }
    return bitmap;
}

bool WriteAll(HANDLE file, const void* data, std::size_t size) {
    const auto* p = static_cast<const BYTE*>(data);
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, p, chunk, &written, nullptr) || written == 0) return false;
        p += written;
        size -= written;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Free helpers

HDC CaptureScreen(int width, int height, HBITMAP* bitmap) {
    if (bitmap) *bitmap = nullptr;
    if (width <= 0 || height <= 0 || !bitmap) return nullptr;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP copy = ::CreateCompatibleBitmap(screen, width, height);
    if (!mem || !copy) {
        if (mem) ::DeleteDC(mem);
        if (copy) ::DeleteObject(copy);
        ::ReleaseDC(nullptr, screen);
        return nullptr;
    }
    ::SelectObject(mem, copy);
    ::BitBlt(mem, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    ::ReleaseDC(nullptr, screen);
    *bitmap = copy;
    return mem;
}

void ReleaseScreenCopy(HDC dc, HBITMAP bitmap) {
    if (dc) ::DeleteDC(dc);  // lets go of the bitmap
    if (bitmap) ::DeleteObject(bitmap);
}

bool WriteBmpFromDC(HDC source, const RECT& rect, const wchar_t* path) {
    if (!path) return false;
    HBITMAP bitmap = CopyRect(source, rect);
    if (!bitmap) return false;
    BITMAP bm{};
    ::GetObjectW(bitmap, sizeof bm, &bm);
    BmpInfo info;
    info.width = bm.bmWidth;
    info.height = bm.bmHeight;
    info.planes = bm.bmPlanes;
    info.bitCount = static_cast<std::uint16_t>(FileBitCount(bm.bmBitsPixel));
    // Rows as GetDIBits writes them: padded to 4 bytes, whatever the device
    // bitmap's own row length.
    const auto imageSize = DibImageSize(bm.bmWidth, bm.bmHeight, info.bitCount);
    if (!imageSize) {
        ::DeleteObject(bitmap);
        return false;
    }
    info.imageSize = *imageSize;

    std::vector<BYTE> pixels(info.imageSize, 0);
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD masks[3];  // room for what a driver may add; unused for BI_RGB
    } bi{};
    bi.header.biSize = sizeof(BITMAPINFOHEADER);
    bi.header.biWidth = info.width;
    bi.header.biHeight = info.height;
    bi.header.biPlanes = info.planes;
    bi.header.biBitCount = info.bitCount;
    bi.header.biCompression = BI_RGB;
    bi.header.biSizeImage = info.imageSize;
    HDC screen = ::GetDC(nullptr);
    const int lines = ::GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.height), pixels.data(),
                                  reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    ::DeleteObject(bitmap);
    if (lines != info.height) return false;

    HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const auto headers = BmpHeaders(info);
    const bool ok = WriteAll(file, headers.data(), headers.size()) && WriteAll(file, pixels.data(), pixels.size());
    ::CloseHandle(file);
    return ok;
}

bool CopyRectToClipboard(HWND owner, HDC source, const RECT& rect) {
    if (!::OpenClipboard(owner)) return false;
    ::EmptyClipboard();
    bool ok = false;
    if (HBITMAP bitmap = CopyRect(source, rect)) {
        // The clipboard owns the bitmap only once it took it.
        ok = ::SetClipboardData(CF_BITMAP, bitmap) != nullptr;
        if (!ok) ::DeleteObject(bitmap);
    }
    ::CloseClipboard();
    return ok;
}

void OpenScreenshotTool(CHalvane3Dlg&) {
    static CScreenShot shot;
    if (!shot.m_hWnd && !shot.Create(IDD_SHOT, nullptr)) return;
    if (!::IsWindowVisible(shot.m_hWnd)) ::ShowWindow(shot.m_hWnd, SW_SHOW);
}

// ---------------------------------------------------------------------------
// CShotZoom

BEGIN_MESSAGE_MAP(CShotZoom, CDialog)
    ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
    ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
END_MESSAGE_MAP()

CShotZoom::CShotZoom() : CDialog(IDD_SHOT) { m_bCenterOnInit = false; }

BOOL CShotZoom::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, kZoomWidth, kZoomHeight, SWP_NOMOVE | SWP_NOACTIVATE);
    return TRUE;
}

void CShotZoom::OnCancel() {
    if (HWND overlay = OwnerOf(m_hWnd)) ::SendMessageW(overlay, WM_COMMAND, IDCANCEL, 0);
}

void CShotZoom::Follow(POINT cursor, int screenWidth, int screenHeight) {
    if (!m_hWnd) return;
    m_ptCursor = cursor;
    const ShotPoint p = MagnifierPosition({cursor.x, cursor.y}, screenWidth, screenHeight);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, p.x, p.y, kZoomWidth, kZoomHeight, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

LRESULT CShotZoom::OnEraseBkgnd(WPARAM wParam, LPARAM) {
    if (!m_hdcScreen) return 1;
    HDC target = reinterpret_cast<HDC>(wParam);
    CMemoryCanvas canvas(target, kZoomWidth, kZoomHeight);
    HDC dc = canvas.dc;

    // The zoomed square: black, a white frame, the enlarged cursor area.
    FillSolid(dc, {0, 0, 100, 100}, RGB(0, 0, 0));
    HPEN white = ::CreatePen(PS_SOLID, 2, RGB(255, 255, 255));
    HGDIOBJ oldPen = ::SelectObject(dc, white);
    HGDIOBJ oldBrush = ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
    ::Rectangle(dc, 1, 1, 99, 99);
    ::SelectObject(dc, oldBrush);
    ::SelectObject(dc, oldPen);
    ::DeleteObject(white);
    const SkinRect src = MagnifierSource({m_ptCursor.x, m_ptCursor.y});
    const int oldMode = ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchBlt(dc, 3, 3, 93, 93, m_hdcScreen, src.left, src.top, src.Width(), src.Height(), SRCCOPY);
    ::SetStretchBltMode(dc, oldMode);

    // The panel: the frozen screen under it, darkened.
    RECT self{};
    ::GetWindowRect(m_hWnd, &self);
    const POINT at = ScreenToOverlay(m_hWnd, {self.left, self.top});
    ::BitBlt(dc, 100, 0, kZoomWidth - 100, kZoomHeight, m_hdcScreen, at.x + 100, at.y, SRCCOPY);
    Darken(dc, 100, 0, kZoomWidth - 100, kZoomHeight, kPanelDarkness);

    // The cross.
    FillSolid(dc, {49, 3, 51, 96}, kGreen);
    FillSolid(dc, {3, 49, 96, 51}, kGreen);

    // The colour under the cursor and the hint.
    const POINT c = ScreenToOverlay(m_hWnd, m_ptCursor);
    const COLORREF pixel = ::GetPixel(m_hdcScreen, c.x, c.y);
    const std::wstring colour = PixelText(GetRValue(pixel), GetGValue(pixel), GetBValue(pixel));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(255, 255, 255));
    ::TextOutW(dc, 112, 32, colour.c_str(), static_cast<int>(colour.size()));
    const wchar_t hint[] = L"双击可完成复制";
    ::TextOutW(dc, 112, 60, hint, static_cast<int>(std::size(hint) - 1));

    ::BitBlt(target, 0, 0, kZoomWidth, kZoomHeight, dc, 0, 0, SRCCOPY);
    return 1;
}

LRESULT CShotZoom::OnMouseMove(WPARAM wParam, LPARAM lParam) {
    if (HWND overlay = OwnerOf(m_hWnd)) {
        POINT p = PointOf(lParam);
        ::MapWindowPoints(m_hWnd, overlay, &p, 1);
        ::SendMessageW(overlay, WM_MOUSEMOVE, wParam, PackPoint(p));
    }
    return 0;
}

// ---------------------------------------------------------------------------
// CRealShotZone

BEGIN_MESSAGE_MAP(CRealShotZone, CDialog)
    ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
    ON_MESSAGE(WM_NCHITTEST, OnNcHitTest)
    ON_MESSAGE(WM_NCLBUTTONDOWN, OnNcLButtonDown)
    ON_MESSAGE(WM_NCLBUTTONDBLCLK, OnNcLButtonDblClk)
    ON_MESSAGE(WM_NCMOUSEMOVE, OnNcMouseMove)
    ON_MESSAGE(WM_LBUTTONUP, OnLButtonUp)
    ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
    ON_MESSAGE(WM_SETCURSOR, OnSetCursor)
    ON_MESSAGE(WM_WINDOWPOSCHANGING, OnWindowPosChanging)
END_MESSAGE_MAP()

CRealShotZone::CRealShotZone() : CDialog(IDD_SHOT) {
    m_bCenterOnInit = false;
    m_nScreenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    m_nScreenHeight = ::GetSystemMetrics(SM_CYSCREEN);
}

BOOL CRealShotZone::OnInitDialog() {
    CDialog::OnInitDialog();
    m_hSizeAll = ::LoadCursorW(nullptr, IDC_SIZEALL);
    ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, ::GetWindowLongW(m_hWnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    ::SetLayeredWindowAttributes(m_hWnd, kKey, 0, LWA_COLORKEY);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return TRUE;
}

void CRealShotZone::OnCancel() {
    Hide(m_hWnd);
    Hide(OwnerOf(m_hWnd));
    if (m_pZoom) Hide(m_pZoom->m_hWnd);
    if (m_pOpera) Hide(m_pOpera->m_hWnd);
}

RECT CRealShotZone::SelectionRect() const {
    RECT r{};
    if (!m_hWnd) return r;
    ::GetWindowRect(m_hWnd, &r);
    if (HWND overlay = OwnerOf(m_hWnd)) ::MapWindowPoints(nullptr, overlay, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

LRESULT CRealShotZone::OnEraseBkgnd(WPARAM wParam, LPARAM) {
    if (!m_hdcScreen) return 1;
    HDC target = reinterpret_cast<HDC>(wParam);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    const int W = client.right, H = client.bottom;
    if (W <= 0 || H <= 0) return 1;
    const RECT at = SelectionRect();
    CMemoryCanvas canvas(target, W, H);
    HDC dc = canvas.dc;
    FillSolid(dc, {0, 0, W, H}, kKey);
    ::BitBlt(dc, 0, 0, W, H, m_hdcScreen, at.left, at.top, SRCCOPY);

    HPEN pen = ::CreatePen(PS_SOLID, 1, kGreen);
    HGDIOBJ oldPen = ::SelectObject(dc, pen);
    const POINT frame[] = {{0, 0}, {W - 1, 0}, {W - 1, H - 1}, {0, H - 1}, {0, 0}};
    ::Polyline(dc, frame, static_cast<int>(std::size(frame)));
    ::SelectObject(dc, oldPen);
    ::DeleteObject(pen);
    for (const SkinRect& h : SelectionHandles(W, H)) FillSolid(dc, ToRect(h), kGreen);

    ::BitBlt(target, 0, 0, W, H, dc, 0, 0, SRCCOPY);
    return 1;
}

LRESULT CRealShotZone::OnNcHitTest(WPARAM wParam, LPARAM lParam) {
    // While the button is down (a band being dragged over this window) the
    // mouse belongs to the client area.
    if (::GetKeyState(VK_LBUTTON) & 0x8000) return DefWindowProc(WM_NCHITTEST, wParam, lParam);
    POINT p = PointOf(lParam);
    ::ScreenToClient(m_hWnd, &p);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    const int hit = ShotHitTest(p.x, p.y, client.right, client.bottom);
    return hit == HitDefault ? DefWindowProc(WM_NCHITTEST, wParam, lParam) : hit;
}

LRESULT CRealShotZone::OnNcLButtonDown(WPARAM wParam, LPARAM lParam) {
    if (m_pOpera && Visible(*m_pOpera)) Hide(m_pOpera->m_hWnd);
    if (m_pZoom && Visible(*m_pZoom)) Hide(m_pZoom->m_hWnd);
    if (const int edge = SizeEdgeForHit(static_cast<int>(wParam)))
        ::SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_SIZE + edge, lParam);
    else
        DefWindowProc(WM_NCLBUTTONDOWN, wParam, lParam);
    return 0;
}

LRESULT CRealShotZone::OnNcLButtonDblClk(WPARAM wParam, LPARAM lParam) {
    DefWindowProc(WM_NCLBUTTONDBLCLK, wParam, lParam);
    if (m_hdcScreen) CopyRectToClipboard(m_hWnd, m_hdcScreen, SelectionRect());
    OnCancel();
    return 0;
}

LRESULT CRealShotZone::OnNcMouseMove(WPARAM, LPARAM lParam) {
    if (HWND overlay = OwnerOf(m_hWnd))
        ::SendMessageW(overlay, WM_MOUSEMOVE, 0, PackPoint(ScreenToOverlay(m_hWnd, PointOf(lParam))));
    return 0;
}

void CRealShotZone::ForwardToOverlay(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND overlay = OwnerOf(m_hWnd);
    if (!overlay) return;
    POINT p = PointOf(lParam);
    ::MapWindowPoints(m_hWnd, overlay, &p, 1);
    ::SendMessageW(overlay, msg, wParam, PackPoint(p));
}

LRESULT CRealShotZone::OnLButtonUp(WPARAM wParam, LPARAM lParam) {
    ForwardToOverlay(WM_LBUTTONUP, wParam, lParam);
    return 0;
}

LRESULT CRealShotZone::OnMouseMove(WPARAM wParam, LPARAM lParam) {
    ForwardToOverlay(WM_MOUSEMOVE, wParam, lParam);
    return 0;
}

LRESULT CRealShotZone::OnSetCursor(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(lParam) == HTCAPTION && m_hSizeAll) {
        ::SetCursor(m_hSizeAll);
        return TRUE;
    }
    return DefWindowProc(WM_SETCURSOR, wParam, lParam);
}

LRESULT CRealShotZone::OnWindowPosChanging(WPARAM wParam, LPARAM lParam) {
    auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
    if (pos && !(pos->flags & SWP_NOMOVE)) {
        int w = pos->cx, h = pos->cy;
        if (pos->flags & SWP_NOSIZE) {
            // A plain move: the window keeps the size it has.
            RECT r{};
            ::GetWindowRect(m_hWnd, &r);
            w = r.right - r.left;
            h = r.bottom - r.top;
        }
        const ShotPoint p = ClampSelection(pos->x, pos->y, w, h, m_nScreenWidth, m_nScreenHeight);
        pos->x = p.x;
        pos->y = p.y;
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
    }
    return DefWindowProc(WM_WINDOWPOSCHANGING, wParam, lParam);
}

// ---------------------------------------------------------------------------
// CShotOpera

BEGIN_MESSAGE_MAP(CShotOpera, CDlgEx)
    ON_COMMAND(IDC_SHOT_DONE, OnDone)
    ON_COMMAND(IDC_SHOT_CANCEL, OnCancelShot)
    ON_COMMAND(IDC_SHOT_SAVE, OnSave)
    ON_MESSAGE(WM_NCMOUSEMOVE, OnNcMouseMove)
END_MESSAGE_MAP()

CShotOpera::CShotOpera() : CDlgEx(IDD_SHOT_OPERA) { m_bCenterOnInit = false; }

BOOL CShotOpera::OnInitDialog() {
    CDlgEx::OnInitDialog();
    const HINSTANCE module = CWinApp::ResourceHandle();
    m_nCaptionHeight = 0;
    m_nBorder = 0;
    m_nButtonRightMargin = 0;
    m_nButtonTop = 1;
    SetSkin(LoadSkinBitmap(module, IDB_SHOT_TOOLBAR), TRUE, FALSE, nullptr, nullptr, nullptr, nullptr);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    const struct {
        CBtnEx* button;
        UINT id, image;
        int x, y;
        const wchar_t* tip;
    } buttons[] = {
        {&m_btnSave, IDC_SHOT_SAVE, IDB_SHOT_SAVE, 7, 5, L"保存截图"},
        {&m_btnCancel, IDC_SHOT_CANCEL, IDB_SHOT_CANCEL, 56, 5, L"取消截图"},
        {&m_btnDone, IDC_SHOT_DONE, IDB_SHOT_DONE, 103, 7, L"完成截图"},
    };
    for (const auto& b : buttons) {
        if (!b.button->SubclassDlgItem(b.id, this)) continue;
        if (HBITMAP strip = LoadSkinBitmap(module, b.image)) {
            b.button->SetImage(strip, true);
            ::DeleteObject(strip);
        }
        ::SetWindowPos(b.button->m_hWnd, nullptr, b.x, b.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        b.button->SetTooltip(b.tip);
    }
    return TRUE;
}

void CShotOpera::OnCancel() {
    if (m_pZone) Hide(m_pZone->m_hWnd);
    if (m_pZoom) Hide(m_pZoom->m_hWnd);
    Hide(OwnerOf(m_hWnd));
    Hide(m_hWnd);
}

void CShotOpera::OnDone() {
    if (HWND overlay = OwnerOf(m_hWnd)) ::SendMessageW(overlay, WM_LBUTTONDBLCLK, 0, MAKELPARAM(1, 1));
}

void CShotOpera::OnSave() {
    if (HWND overlay = OwnerOf(m_hWnd)) ::PostMessageW(overlay, WM_SHOTSAVE, 0, 0);
}

LRESULT CShotOpera::OnNcMouseMove(WPARAM, LPARAM lParam) {
    if (HWND overlay = OwnerOf(m_hWnd))
        ::SendMessageW(overlay, WM_MOUSEMOVE, 0, PackPoint(ScreenToOverlay(m_hWnd, PointOf(lParam))));
    return 0;
}

// ---------------------------------------------------------------------------
// CScreenShot

BEGIN_MESSAGE_MAP(CScreenShot, CDialog)
    ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
    ON_MESSAGE(WM_SHOWWINDOW, OnShowWindow)
    ON_MESSAGE(WM_LBUTTONDOWN, OnLButtonDown)
    ON_MESSAGE(WM_LBUTTONUP, OnLButtonUp)
    ON_MESSAGE(WM_RBUTTONUP, OnRButtonUp)
    ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
    ON_MESSAGE(WM_LBUTTONDBLCLK, OnLButtonDblClk)
    ON_MESSAGE(WM_SETCURSOR, OnSetCursor)
    ON_MESSAGE(WM_SHOTSAVE, OnSaveRequest)
END_MESSAGE_MAP()

CScreenShot::CScreenShot() : CDialog(IDD_SHOT) {
    m_bCenterOnInit = false;
    m_nScreenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    m_nScreenHeight = ::GetSystemMetrics(SM_CYSCREEN);
}

CScreenShot::~CScreenShot() {
    // The companions go with their owner; the frozen screen after them.
    if (m_hWnd) ::DestroyWindow(m_hWnd);
    ReleaseFrozenScreen();
    if (m_hCursor) ::DestroyIcon(m_hCursor);
}

bool CScreenShot::Capture() {
    m_hdcScreen = CaptureScreen(m_nScreenWidth, m_nScreenHeight, &m_hbmScreen);
    return m_hdcScreen != nullptr;
}

void CScreenShot::ReleaseFrozenScreen() {
    m_dlgZone.m_hdcScreen = m_dlgZoom.m_hdcScreen = nullptr;
    ReleaseScreenCopy(m_hdcScreen, m_hbmScreen);
    m_hdcScreen = nullptr;
    m_hbmScreen = nullptr;
}

BOOL CScreenShot::OnInitDialog() {
    CDialog::OnInitDialog();
    Capture();

    // No taskbar button; over everything, covering the screen.
    LONG ex = ::GetWindowLongW(m_hWnd, GWL_EXSTYLE);
    ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, (ex & ~WS_EX_APPWINDOW) | WS_EX_TOOLWINDOW);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, m_nScreenWidth, m_nScreenHeight, SWP_NOACTIVATE);
    ::ShowWindow(m_hWnd, SW_SHOW);

    m_hCursor = static_cast<HICON>(
        ::LoadImageW(CWinApp::ResourceHandle(), MAKEINTRESOURCEW(IDI_SHOT_CURSOR), IMAGE_ICON, 44, 44, 0));

    m_dlgZone.Create(IDD_SHOT, this);
    m_dlgOpera.Create(IDD_SHOT_OPERA, this);
    m_dlgZoom.Create(IDD_SHOT, this);
    m_dlgOpera.m_pZoom = &m_dlgZoom;
    m_dlgOpera.m_pZone = &m_dlgZone;
    m_dlgZone.m_pZoom = &m_dlgZoom;
    m_dlgZone.m_pOpera = &m_dlgOpera;
    m_dlgZone.m_hdcScreen = m_dlgZoom.m_hdcScreen = m_hdcScreen;

    // The magnifier starts beside the cursor by the same rule as it follows
    // it, so it never starts off the screen near the right or bottom edge.
    POINT cursor{};
    ::GetCursorPos(&cursor);
    m_dlgZoom.Follow(cursor, m_nScreenWidth, m_nScreenHeight);
    return TRUE;
}

void CScreenShot::OnCancel() {
    Hide(m_dlgZone.m_hWnd);
    Hide(m_dlgZoom.m_hWnd);
    Hide(m_dlgOpera.m_hWnd);
    Hide(m_hWnd);
}

void CScreenShot::PlaceToolbar() {
    if (!m_dlgOpera.m_hWnd || !m_dlgZone.m_hWnd) return;
    RECT sel{}, bar{};
    ::GetWindowRect(m_dlgZone.m_hWnd, &sel);
    ::GetWindowRect(m_dlgOpera.m_hWnd, &bar);
    const ShotPoint p = ToolbarPosition({sel.left, sel.top, sel.right, sel.bottom}, bar.right - bar.left,
                                        bar.bottom - bar.top, m_nScreenHeight);
    ::SetWindowPos(m_dlgOpera.m_hWnd, HWND_TOPMOST, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
}

LRESULT CScreenShot::OnEraseBkgnd(WPARAM wParam, LPARAM lParam) {
    if (!m_hdcScreen) return DefWindowProc(WM_ERASEBKGND, wParam, lParam);
    HDC target = reinterpret_cast<HDC>(wParam);
    CMemoryCanvas canvas(target, m_nScreenWidth, m_nScreenHeight);
    ::BitBlt(canvas.dc, 0, 0, m_nScreenWidth, m_nScreenHeight, m_hdcScreen, 0, 0, SRCCOPY);
    Darken(canvas.dc, 0, 0, m_nScreenWidth, m_nScreenHeight, kOverlayDarkness);
    ::BitBlt(target, 0, 0, m_nScreenWidth, m_nScreenHeight, canvas.dc, 0, 0, SRCCOPY);
    return 1;
}

LRESULT CScreenShot::OnShowWindow(WPARAM wParam, LPARAM lParam) {
    if (wParam) {
        // Every showing freezes the screen afresh.
        m_band.dragging = false;
        ReleaseFrozenScreen();
        Capture();
        m_dlgZone.m_hdcScreen = m_dlgZoom.m_hdcScreen = m_hdcScreen;
    }
    return DefWindowProc(WM_SHOWWINDOW, wParam, lParam);
}

LRESULT CScreenShot::OnLButtonDown(WPARAM, LPARAM lParam) {
    const POINT p = PointOf(lParam);
    m_band.Press({p.x, p.y}, Visible(m_dlgZone));
    return 0;
}

LRESULT CScreenShot::OnMouseMove(WPARAM, LPARAM lParam) {
    const POINT p = PointOf(lParam);
    if (const auto band = m_band.Move({p.x, p.y})) {
        ::SetWindowPos(m_dlgZone.m_hWnd, nullptr, band->left, band->top, band->Width(), band->Height(),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        if (!Visible(m_dlgZone)) ::ShowWindow(m_dlgZone.m_hWnd, SW_SHOWNA);
    } else if (!Visible(m_dlgOpera) && Visible(m_dlgZone)) {
        PlaceToolbar();
    }
    POINT screen = p;
    ::ClientToScreen(m_hWnd, &screen);
    m_dlgZoom.Follow(screen, m_nScreenWidth, m_nScreenHeight);
    return 0;
}

LRESULT CScreenShot::OnLButtonUp(WPARAM, LPARAM lParam) {
    const POINT p = PointOf(lParam);
    if (const auto whole = m_band.Release({p.x, p.y}, Visible(m_dlgZone), m_nScreenWidth, m_nScreenHeight)) {
        ::SetWindowPos(m_dlgZone.m_hWnd, nullptr, whole->left, whole->top, whole->Width(), whole->Height(),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::ShowWindow(m_dlgZone.m_hWnd, SW_SHOWNA);
    }
    if (!Visible(m_dlgOpera) && Visible(m_dlgZone)) PlaceToolbar();
    return 0;
}

LRESULT CScreenShot::OnRButtonUp(WPARAM, LPARAM) {
    m_band.Clear();
    OnCancel();
    return 0;
}

LRESULT CScreenShot::OnLButtonDblClk(WPARAM, LPARAM lParam) {
    POINT p = PointOf(lParam);
    ::ClientToScreen(m_hWnd, &p);
    if (m_dlgZone.m_hWnd) ::PostMessageW(m_dlgZone.m_hWnd, WM_NCLBUTTONDBLCLK, HTCAPTION, PackPoint(p));
    return 0;
}

LRESULT CScreenShot::OnSetCursor(WPARAM, LPARAM) {
    ::SetCursor(m_hCursor ? static_cast<HCURSOR>(m_hCursor) : ::LoadCursorW(nullptr, IDC_ARROW));
    return TRUE;
}

LRESULT CScreenShot::OnSaveRequest(WPARAM, LPARAM) {
    if (g_bShotSaving) return 0;
    g_bShotSaving = true;
    SaveSelection();
    g_bShotSaving = false;
    return 0;
}

bool CScreenShot::SaveSelection() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    wchar_t file[MAX_PATH] = {};
    ::lstrcpynW(file,
                DefaultShotName(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond).c_str(),
                MAX_PATH);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_dlgZone.m_hWnd;
    ofn.lpstrFilter = L"BMP(*.bmp)\0*.bmp\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = L"请输入文件名称";
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_FORCESHOWHIDDEN;
    if (!::GetSaveFileNameW(&ofn)) return false;  // cancelled: the screenshot stays

    const std::wstring path = WithBmpExtension(file);
    const bool written = m_hdcScreen && WriteBmpFromDC(m_hdcScreen, m_dlgZone.SelectionRect(), path.c_str());
    OnCancel();
    return written;
}
