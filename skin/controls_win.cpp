#include "skin/controls_win.h"

#include "skin/memory_canvas_win.h"

#include <vector>

#include "skin/skin_geometry.h"
#include "skin/window_font_win.h"

namespace {

constexpr COLORREF kKey = RGB(255, 0, 255);

void TrackHoverAndLeave(HWND hwnd, int& tracking) {
    if (tracking) return;
    TRACKMOUSEEVENT tme{sizeof tme, TME_HOVER | TME_LEAVE, hwnd, 10};
    tracking = ::TrackMouseEvent(&tme) ? 1 : 0;
}

}  // namespace

void PaintParentSkin(HWND control, HDC dc) {
    HWND parent = ::GetParent(control);
    if (!parent) return;
    RECT self{}, outer{};
    ::GetWindowRect(control, &self);
    ::GetWindowRect(parent, &outer);
    POINT old{};
    ::SetWindowOrgEx(dc, self.left - outer.left, self.top - outer.top, &old);
    ::SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    ::SetWindowOrgEx(dc, old.x, old.y, nullptr);
}

// ---------------------------------------------------------------------------
// CBtnEx

BEGIN_MESSAGE_MAP(CBtnEx, CWnd)
    ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
    ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
    ON_MESSAGE(WM_MOUSEHOVER, OnMouseHover)
    ON_MESSAGE(WM_MOUSELEAVE, OnMouseLeave)
    ON_MESSAGE(WM_LBUTTONUP, OnLButtonUp)
    ON_MESSAGE(WM_SETCURSOR, OnSetCursor)
    ON_MESSAGE(WM_NOTIFY, OnNotify)
END_MESSAGE_MAP()

CBtnEx::~CBtnEx() {
    if (m_images) ImageList_Destroy(m_images);
    if (m_tooltip && ::IsWindow(m_tooltip)) ::DestroyWindow(m_tooltip);
}

bool CBtnEx::Create(const wchar_t* caption, DWORD style, const RECT& rect, HWND parent, UINT id) {
    return CreateControl(L"BUTTON", caption, style | BS_OWNERDRAW, rect, parent, id);
}

void CBtnEx::PreSubclassWindow() {
    wchar_t text[256] = {};
    ::GetWindowTextW(m_hWnd, text, 256);
    m_strCaption = text;
    const LONG style = ::GetWindowLongW(m_hWnd, GWL_STYLE);
    ::SetWindowLongW(m_hWnd, GWL_STYLE, (style & ~BS_TYPEMASK) | BS_OWNERDRAW);
    RefreshWindowRect();
}

void CBtnEx::RefreshWindowRect() { ::GetWindowRect(m_hWnd, &m_rcWindow); }

void CBtnEx::SetImage(HBITMAP strip, bool resize) {
    if (m_images) ImageList_Destroy(m_images);
    m_images = nullptr;
    BITMAP bm{};
    if (strip && ::GetObjectW(strip, sizeof bm, &bm)) {
        const int fw = StripFrameWidth(bm.bmWidth), fh = bm.bmHeight;
        if (fw > 0 && fh > 0) {
            m_images = ImageList_Create(fw, fh, ILC_COLOR24 | ILC_MASK, 4, 0);
            // The image list takes a copy; masking changes the bitmap, so
            // the caller's strip is copied first.
            HBITMAP copy = static_cast<HBITMAP>(::CopyImage(strip, IMAGE_BITMAP, 0, 0, 0));
            ImageList_AddMasked(m_images, copy ? copy : strip, kKey);
            if (copy) ::DeleteObject(copy);
            if (resize && m_hWnd)
                ::SetWindowPos(m_hWnd, nullptr, 0, 0, fw, fh, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    if (m_hWnd) RefreshWindowRect();
}

void CBtnEx::SetTooltip(const std::wstring& text) {
    m_strTooltip = text;
    m_bTooltip = 1;
    if (m_tooltip || !m_hWnd) return;
    m_tooltip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr, nullptr, nullptr);
    if (!m_tooltip) return;
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND;
    ti.hwnd = m_hWnd;
    ti.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
    ti.lpszText = LPSTR_TEXTCALLBACKW;
    ::SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    ::SendMessageW(m_tooltip, TTM_SETDELAYTIME, TTDT_AUTOMATIC, 660);
}

LRESULT CBtnEx::OnNotify(WPARAM, LPARAM lParam) {
    auto* hdr = reinterpret_cast<NMHDR*>(lParam);
    if (hdr && hdr->hwndFrom == m_tooltip && hdr->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
        info->lpszText = const_cast<wchar_t*>(m_strTooltip.c_str());
        return 0;
    }
    return DefWindowProc(WM_NOTIFY, 0, lParam);
}

BOOL CBtnEx::PreTranslateMessage(MSG* pMsg) {
    if (m_bTooltip && m_tooltip) ::SendMessageW(m_tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(pMsg));
    return CWnd::PreTranslateMessage(pMsg);
}

bool CBtnEx::OnChildNotify(UINT msg, WPARAM, LPARAM lParam, LRESULT* pResult) {
    if (msg != WM_DRAWITEM) return false;
    DrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    *pResult = TRUE;
    return true;
}

void CBtnEx::DrawItem(const DRAWITEMSTRUCT* item) {
    const bool disabled = (item->itemState & (ODS_DISABLED | ODS_GRAYED)) != 0;
    const bool selected = (item->itemState & ODS_SELECTED) != 0;
    const int frame = ButtonFrame(disabled, selected, m_bPressedLatch != 0, m_bHover != 0);
    if (frame == 2) m_bPressedLatch = 1;

    const int w = m_rcWindow.right - m_rcWindow.left, h = m_rcWindow.bottom - m_rcWindow.top;
    CMemoryCanvas canvas(item->hDC, w, h);
    PaintParentSkin(m_hWnd, canvas.dc);

    int fw = 0, fh = 0;
    if (m_images && frame < ImageList_GetImageCount(m_images) && ImageList_GetIconSize(m_images, &fw, &fh)) {
        if (fw == w && fh == h) {
            ImageList_Draw(m_images, frame, canvas.dc, 0, 0, ILD_TRANSPARENT);
        } else {
            CMemoryCanvas frameCanvas(item->hDC, fw, fh);
            HBRUSH key = ::CreateSolidBrush(kKey);
            RECT all{0, 0, fw, fh};
            ::FillRect(frameCanvas.dc, &all, key);
            ::DeleteObject(key);
            ImageList_Draw(m_images, frame, frameCanvas.dc, 0, 0, ILD_TRANSPARENT);
            ::TransparentBlt(canvas.dc, 0, 0, w, h, frameCanvas.dc, 0, 0, fw, fh, kKey);
        }
    }

    if (!m_strCaption.empty()) {
        ::SetBkMode(canvas.dc, TRANSPARENT);
        ::SetTextColor(canvas.dc, frame == 3 ? ::GetSysColor(COLOR_GRAYTEXT) : m_clrText);
        const LOGFONTW lf = WindowFontAt(m_hWnd, -12);
        HFONT font = ::CreateFontIndirectW(&lf);
        HGDIOBJ oldFont = ::SelectObject(canvas.dc, font);
        RECT rc{0, 0, w, h};
        ::DrawTextW(canvas.dc, m_strCaption.c_str(), -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        ::SelectObject(canvas.dc, oldFont);
        ::DeleteObject(font);
    }
    ::BitBlt(item->hDC, 0, 0, w, h, canvas.dc, 0, 0, SRCCOPY);
}

LRESULT CBtnEx::OnMouseMove(WPARAM wParam, LPARAM lParam) {
    TrackHoverAndLeave(m_hWnd, m_bTracking);
    return DefWindowProc(WM_MOUSEMOVE, wParam, lParam);
}

LRESULT CBtnEx::OnMouseHover(WPARAM, LPARAM) {
    m_bHover = 1;
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
    if (m_bTooltip && m_tooltip) {
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.hwnd = m_hWnd;
        ti.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
        ti.lpszText = const_cast<wchar_t*>(m_strTooltip.c_str());
        ::SendMessageW(m_tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    }
    return 0;
}

LRESULT CBtnEx::OnMouseLeave(WPARAM, LPARAM) {
    m_bHover = 0;
    m_bTracking = 0;
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
    return 0;
}

LRESULT CBtnEx::OnLButtonUp(WPARAM wParam, LPARAM lParam) {
    m_bPressedLatch = 0;
    return DefWindowProc(WM_LBUTTONUP, wParam, lParam);
}

LRESULT CBtnEx::OnSetCursor(WPARAM, LPARAM) {
    ::SetCursor(::LoadCursorW(nullptr, m_bHandCursor ? IDC_HAND : IDC_ARROW));
    return TRUE;
}

// ---------------------------------------------------------------------------
// CStaticEx

BEGIN_MESSAGE_MAP(CStaticEx, CWnd)
    ON_MESSAGE(WM_PAINT, OnPaint)
    ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
    ON_MESSAGE(WM_SETCURSOR, OnSetCursor)
    ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
    ON_MESSAGE(WM_MOUSEHOVER, OnMouseHover)
    ON_MESSAGE(WM_MOUSELEAVE, OnMouseLeave)
END_MESSAGE_MAP()

CStaticEx::~CStaticEx() {
    if (m_images) ImageList_Destroy(m_images);
    if (m_font) ::DeleteObject(m_font);
}

void CStaticEx::PreSubclassWindow() {
    const int len = ::GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<std::size_t>(len) + 1, L'\0');
    ::GetWindowTextW(m_hWnd, text.data(), len + 1);
    text.resize(static_cast<std::size_t>(len));
    m_strText = text;
}

void CStaticEx::SetText(const std::wstring& text) {
    m_strText = text;
    if (m_hWnd) {
        ::SetWindowTextW(m_hWnd, text.c_str());
        ::InvalidateRect(m_hWnd, nullptr, FALSE);
    }
}

bool CStaticEx::SetImage(HBITMAP bitmap) {
    BITMAP bm{};
    if (!bitmap || !::GetObjectW(bitmap, sizeof bm, &bm)) return false;
    if (m_images) ImageList_Destroy(m_images);
    m_images = ImageList_Create(bm.bmWidth, bm.bmHeight, ILC_COLOR24 | ILC_MASK, 1, 0);
    HBITMAP copy = static_cast<HBITMAP>(::CopyImage(bitmap, IMAGE_BITMAP, 0, 0, 0));
    const bool ok = ImageList_AddMasked(m_images, copy ? copy : bitmap, kKey) >= 0;
    if (copy) ::DeleteObject(copy);
    m_nImageWidth = bm.bmWidth;
    m_nImageHeight = bm.bmHeight;
    m_bImageRight = 0;
    return ok;
}

LRESULT CStaticEx::OnPaint(WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    CMemoryCanvas canvas(dc, client.right, client.bottom);
    PaintParentSkin(m_hWnd, canvas.dc);
    DrawStaticText(canvas.dc);
    ::BitBlt(dc, 0, 0, client.right, client.bottom, canvas.dc, 0, 0, SRCCOPY);
    ::EndPaint(m_hWnd, &ps);
    return 0;
}

void CStaticEx::DrawStaticText(HDC dc) {
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    const bool hasImage = m_images && ImageList_GetImageCount(m_images) > 0;
    const int cw = client.right, ch = client.bottom;

    // The image or icon beside the text.
    const int imageX = m_bImageRight ? cw - m_nImageWidth - 3 : 3;
    if (hasImage) {
        ImageList_Draw(m_images, m_nImageIndex, dc, imageX, (ch - m_nImageHeight) / 2, ILD_TRANSPARENT);
    } else if (m_hIcon) {
        ::DrawIconEx(dc, imageX, (ch - m_nImageHeight) / 2, m_hIcon, 16, 16, 0, nullptr, DI_NORMAL);
    }

    RECT text = client;
    if (hasImage || m_hIcon) {
        if (m_bImageRight) text.right -= m_nImageWidth + 6;
        else text.left += m_nImageWidth + 6;
    }
    const LONG style = ::GetWindowLongW(m_hWnd, GWL_STYLE);
    UINT flags = DT_WORDBREAK;
    const LONG align = style & SS_TYPEMASK;
    if (align == SS_CENTER) flags |= DT_CENTER | DT_VCENTER;
    else if (align == SS_RIGHT) flags |= DT_RIGHT;
    if ((style & SS_ELLIPSISMASK) == SS_ENDELLIPSIS) flags |= DT_END_ELLIPSIS;
    if ((style & SS_ELLIPSISMASK) == SS_PATHELLIPSIS) flags |= DT_PATH_ELLIPSIS | DT_SINGLELINE;
    if (style & SS_CENTERIMAGE) flags |= DT_SINGLELINE | DT_VCENTER;

    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, (m_bHoverColour && m_bHover) ? m_clrHover : m_clrNormal);
    if (!m_font) {
        HFONT base = reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
        if (!base) base = static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
        LOGFONTW lf{};
        ::GetObjectW(base, sizeof lf, &lf);
        lf.lfHeight = m_nFontHeight ? m_nFontHeight : -12;
        if (m_nFontWeight != -1) lf.lfWeight = m_nFontWeight;
        if (m_nFontWidth) lf.lfWidth = m_nFontWidth;
        lf.lfUnderline = m_bUnderline ? TRUE : FALSE;
        ::lstrcpynW(lf.lfFaceName, L"微软雅黑", LF_FACESIZE);
        m_font = ::CreateFontIndirectW(&lf);
    }
    HGDIOBJ oldFont = ::SelectObject(dc, m_font);

    RECT sample{0, 0, 0, 0};
    ::DrawTextW(dc, L"测试用汉字来获取宽度", 11, &sample, DT_CALCRECT);
    const int lineHeight = sample.bottom - sample.top;
    const int minColumn = (sample.right - sample.left) / 11;
    text.bottom = text.top + lineHeight;

    const int width = text.right - text.left;
    const WrapResult wrap = WrapStaticText(m_strText, width, minColumn, [&](std::wstring_view line) {
        RECT r{0, 0, 0, 0};
        ::DrawTextW(dc, line.data(), static_cast<int>(line.size()), &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        return static_cast<int>(r.right - r.left);
    });
    for (const std::wstring& line : wrap.lines) {
        ::DrawTextW(dc, line.c_str(), static_cast<int>(line.size()), &text, flags);
        ::OffsetRect(&text, 0, lineHeight + m_nLineSpacing);
    }
    ::SelectObject(dc, oldFont);

    if (!wrap.lines.empty()) {
        const int needed = WrappedHeight(lineHeight, wrap.lineCount, m_nLineSpacing);
        if (ch < needed) {
            RECT wr{};
            ::GetWindowRect(m_hWnd, &wr);
            ::SetWindowPos(m_hWnd, nullptr, 0, 0, wr.right - wr.left, needed,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
}

LRESULT CStaticEx::OnSetCursor(WPARAM, LPARAM) {
    if (m_bHandCursor) ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
    return TRUE;
}

LRESULT CStaticEx::OnMouseMove(WPARAM wParam, LPARAM lParam) {
    TrackHoverAndLeave(m_hWnd, m_bTracking);
    return DefWindowProc(WM_MOUSEMOVE, wParam, lParam);
}

LRESULT CStaticEx::OnMouseHover(WPARAM, LPARAM) {
    m_bHover = 1;
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
    return 0;
}

LRESULT CStaticEx::OnMouseLeave(WPARAM, LPARAM) {
    m_bHover = 0;
    m_bTracking = 0;
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
    return 0;
}
