#include "skin/message_box_win.h"

#include "app/halvane3_app_win.h"
#include "res/resource.h"
#include "skin/skin_geometry.h"

namespace {
constexpr UINT kButton1Id = 5000;
constexpr UINT kButton2Id = 5001;
}  // namespace

BEGIN_MESSAGE_MAP(CMessageBox, CDlgEx)
    ON_MESSAGE(WM_PAINT, OnPaint)
    ON_MESSAGE(WM_CLOSE, OnClose)
    ON_COMMAND(kButton1Id, OnButton1)
    ON_COMMAND(kButton2Id, OnButton2)
END_MESSAGE_MAP()

CMessageBox::CMessageBox(HWND parent) : CDlgEx(IDD_MESSAGEBOX) { m_hWndOwner = parent; }

CMessageBox::~CMessageBox() {
    // The background belongs to the skin (deleted by CDlgEx).
    for (HBITMAP b : {m_hbmClose, m_hbmButton1, m_hbmButton2})
        if (b) ::DeleteObject(b);
}

BOOL CMessageBox::OnInitDialog() {
    CDlgEx::OnInitDialog();
    m_nCaptionHeight = 30;
    m_nBorder = 4;
    m_nButtonRightMargin = 0;
    m_nButtonTop = 0;
    SetSkin(m_hbmBackground, FALSE, TRUE, nullptr, nullptr, nullptr, m_hbmClose);
    SetTitle(m_strTitle.c_str());

    m_nLines = CountMessageLines(m_strText);
    m_pFont = reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    HDC dc = ::GetDC(m_hWnd);
    HGDIOBJ oldFont = ::SelectObject(dc, m_pFont);
    RECT measured{0, 0, 0, 0};
    ::DrawTextW(dc, m_strText.c_str(), static_cast<int>(m_strText.size()), &measured, DT_CALCRECT);
    ::SelectObject(dc, oldFont);
    ::ReleaseDC(m_hWnd, dc);
    m_textSize = {measured.right - measured.left, measured.bottom - measured.top};

    BITMAP strip{};
    if (m_hbmButton1) ::GetObjectW(m_hbmButton1, sizeof strip, &strip);
    const int fw = StripFrameWidth(strip.bmWidth), fh = strip.bmHeight;
    const bool two = m_nType == 1 || m_nType == 4;
    const MessageBoxLayout layout = LayoutMessageBox(m_textSize.cx, m_textSize.cy, m_nLines, fw, fh, two);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, layout.width, layout.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    // Buttons go by the client rectangle, which may differ from the window.
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    const MessageBoxLayout placed = LayoutMessageBox(m_textSize.cx, m_textSize.cy, m_nLines, fw, fh, two,
                                                     layout.width - client.right, layout.height - client.bottom);
    const wchar_t* first = m_nType == 4 ? L"是" : L"确定";
    const wchar_t* second = m_nType == 4 ? L"否" : L"取消";
    auto make = [&](CBtnEx& button, const SkinRect& r, UINT id, const wchar_t* caption, HBITMAP image) {
        const RECT rc{r.left, r.top, r.right, r.bottom};
        if (!button.Create(caption, WS_CHILD | WS_VISIBLE, rc, m_hWnd, id)) return;
        ::SendMessageW(button.m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_pFont), FALSE);
        button.SetImage(image, true);
        ::InvalidateRect(button.m_hWnd, nullptr, TRUE);
    };
    make(m_btn1, placed.button1, kButton1Id, first, m_hbmButton1);
    if (two) make(m_btn2, placed.button2, kButton2Id, second, m_hbmButton2);

    // The text is painted; a hidden static with the system box's id keeps it
    // readable for tools that read message boxes.
    ::CreateWindowExW(0, L"STATIC", m_strText.c_str(), WS_CHILD | SS_LEFT, 0, 0, 0, 0, m_hWnd,
                      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(0xFFFF)), nullptr, nullptr);
    return TRUE;
}

LRESULT CMessageBox::OnPaint(WPARAM wParam, LPARAM lParam) {
    const LRESULT r = DefWindowProc(WM_PAINT, wParam, lParam);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    HDC dc = ::GetDC(m_hWnd);
    HGDIOBJ oldFont = ::SelectObject(dc, m_pFont);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, m_clrText);
    const int lineHeight = m_textSize.cy / (m_nLines > 0 ? m_nLines : 1);
    const int left = (client.right - m_textSize.cx) / 2;
    RECT line{left, 55, left + m_textSize.cx, 55 + lineHeight};
    for (const std::wstring& text : MessageBoxDrawnLines(m_strText)) {
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &line, 0);
        ::OffsetRect(&line, 0, lineHeight + 3);
    }
    ::SelectObject(dc, oldFont);
    ::ReleaseDC(m_hWnd, dc);
    return r;
}

LRESULT CMessageBox::OnClose(WPARAM, LPARAM) {
    EndDialog(IDCANCEL);
    return 0;
}

void CMessageBox::OnButton1() { EndDialog(m_nType == 4 ? IDYES : IDOK); }

void CMessageBox::OnButton2() { EndDialog(m_nType == 4 ? IDNO : IDCANCEL); }

int ShowMessage(int type, const wchar_t* text, HWND owner) {
    const HINSTANCE module = CWinApp::ResourceHandle();
    CMessageBox box(owner);
    box.m_hbmBackground = LoadSkinBitmap(module, IDB_SKIN_BOX);
    box.m_hbmClose = LoadSkinBitmap(module, IDB_SKIN_BOX_CLOSE);
    box.m_hbmButton1 = LoadSkinBitmap(module, IDB_SKIN_BOX_BUTTON);
    box.m_hbmButton2 = LoadSkinBitmap(module, IDB_SKIN_BOX_BUTTON);
    box.m_nType = (type == 1 || type == 4) ? type : 0;
    box.m_strText = text ? text : L"";
    box.m_strTitle = DisplayName;
    box.m_clrText = RGB(153, 153, 153);
    return static_cast<int>(box.DoModal());
}
