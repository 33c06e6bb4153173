#include "html/ext_login_win.h"

#include <exdispid.h>
#include <wininet.h>

#include <vector>

#include "app/build_config.h"
#include "app/halvane3_app_win.h"
#include "framework/app_win.h"
#include "html/ext_login_logic.h"
#include "res/resource.h"

namespace {

HWND g_hPromptScan = nullptr;  // where the prompt scan goes on from; none: from the first

constexpr DWORD kCookieCapacity = 256;
constexpr DWORD kCookieCapacityMost = 65536;

bool IsEnterOrEscape(const MSG* pMsg) {
    return pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE);
}

}  // namespace

std::wstring CookiesOfAddress(const std::wstring& url) {
    // The system may hand back every cookie of the address, so a full list
    // can outgrow the first buffer: then take the size it asks for.
    DWORD capacity = kCookieCapacity;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::vector<wchar_t> buf(capacity + 1, L'\0');
        DWORD size = capacity;
        if (::InternetGetCookieW(url.c_str(), L"Pauth", buf.data(), &size)) {
            buf.back() = L'\0';
            return buf.data();
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= capacity || size > kCookieCapacityMost) break;
        capacity = size;
    }
    return {};
}

// ---------------------------------------------------------------------------
// CQQHtml

BEGIN_MESSAGE_MAP(CQQHtml, CDHtmlDialog)
    ON_MESSAGE(WM_SHOWWINDOW, OnShowWindow)
    ON_MESSAGE(WM_SIZE, OnSize)
    ON_MESSAGE(WM_TIMER, OnTimer)
END_MESSAGE_MAP()

BEGIN_BROWSER_EVENTS(CQQHtml, CDHtmlDialog)
    ON_BROWSER_EVENT(DISPID_NAVIGATECOMPLETE2, OnNavigateComplete2Ext)
    ON_BROWSER_EVENT(DISPID_BEFORENAVIGATE2, OnBeforeNavigate2Guard)
END_BROWSER_EVENTS()

CQQHtml::CQQHtml() : CDHtmlDialog(IDD_BLANK) { m_bCenterOnInit = false; }

BOOL CQQHtml::OnInitDialog() {
    CDHtmlDialog::OnInitDialog();
    return TRUE;
}

BOOL CQQHtml::PreTranslateMessage(MSG* pMsg) {
    if (IsEnterOrEscape(pMsg)) return TRUE;
    return CDHtmlDialog::PreTranslateMessage(pMsg);
}

LRESULT CQQHtml::OnShowWindow(WPARAM wParam, LPARAM lParam) {
    const LRESULT r = DefWindowProc(WM_SHOWWINDOW, wParam, lParam);
    Navigate(m_strExtUrl);
    return r;
}

// The browser fills the page whatever size the frame gives it.
LRESULT CQQHtml::OnSize(WPARAM wParam, LPARAM lParam) {
    const LRESULT r = DefWindowProc(WM_SIZE, wParam, lParam);
    if (HWND browser = GetBrowserWindow()) ::MoveWindow(browser, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
    return r;
}

void CQQHtml::OnBeforeNavigate2Guard(DISPPARAMS* params) {
    // BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
    const std::wstring url = VariantText(EventParam(params, 1));
    if (ExtLoginGuardCancels(url, LUMENDOR_QQAUTH_HOST_W, ::IsWindowVisible(m_hWnd) != FALSE))
        SetBoolParam(EventParam(params, 6), true);
}

void CQQHtml::OnNavigateComplete2Ext(DISPPARAMS* params) {
    // NavigateComplete2(pDisp, URL), for the page or any of its frames. Only
    // the page itself completes the login: a frame of another host cannot
    // close the window and start the login page's check.
    VARIANT* disp = EventParam(params, 0);
    if (IsTopBrowser(disp && disp->vt == VT_DISPATCH ? disp->pdispVal : nullptr) &&
        CheckCompletion(VariantText(EventParam(params, 1))))
        return;
    OnNavigateComplete2Event(params);
}

bool CQQHtml::CheckCompletion(const std::wstring& url) {
    // Cookies are read only for the completion addresses.
    if (!IsExtLoginCompletion(url, LUMENDOR_EXTLOGIN_HOST_W)) return false;
    if (ClassifyCompletedNavigation(url, LUMENDOR_EXTLOGIN_HOST_W, CookiesOfAddress(url)) != ExtLoginStep::Finished)
        return false;  // the service goes on, with a binding form for example
    ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
    HWND frame = ::GetWindow(m_hWnd, GW_OWNER);
    if (frame) {
        if (HWND login = ::GetWindow(frame, GW_OWNER)) ::PostMessageW(login, ExtLoginFinished, 0, 0);
        ::EndDialog(frame, IDCANCEL);  // hides the frame
    }
    ::SetTimer(m_hWnd, ClosePromptTimer, 10, nullptr);
    return true;
}

LRESULT CQQHtml::OnTimer(WPARAM wParam, LPARAM lParam) {
    if (wParam != ClosePromptTimer) return DefWindowProc(WM_TIMER, wParam, lParam);
    RemovePrompt();
    return 0;
}

// One dialog-class window per tick: the closing page's prompt is the one
// this page owns.
void CQQHtml::RemovePrompt() {
    HWND next = ::FindWindowExW(nullptr, g_hPromptScan, L"#32770", nullptr);
    g_hPromptScan = next;
    if (!next || ::GetParent(next) != m_hWnd) return;
    ::KillTimer(m_hWnd, ClosePromptTimer);
    ::DestroyWindow(next);
    HWND hall = reinterpret_cast<HWND>(HallWindow);
    ::SetWindowPos(hall, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetWindowPos(hall, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    g_hPromptScan = nullptr;
}

// ---------------------------------------------------------------------------
// CQQLogin

BEGIN_MESSAGE_MAP(CQQLogin, CDlgEx)
    ON_MESSAGE(WM_SHOWWINDOW, OnShowWindow)
    ON_MESSAGE(WM_WINDOWPOSCHANGED, OnWindowPosChanged)
END_MESSAGE_MAP()

CQQLogin::CQQLogin() : CDlgEx(IDD_BLANK) { m_bCenterOnInit = false; }

BOOL CQQLogin::OnInitDialog() {
    CDlgEx::OnInitDialog();
    SetTitle(L"QQ账号安全登录");
    m_nCaptionHeight = 30;
    m_nButtonRightMargin = 0;
    m_nButtonTop = 0;
    m_nBorder = 4;
    const HINSTANCE module = CWinApp::ResourceHandle();
    HBITMAP close = LoadSkinBitmap(module, IDB_SKIN_CLOSE);
    SetSkin(LoadSkinBitmap(module, IDB_SKIN_MAIN), FALSE, TRUE, nullptr, nullptr, nullptr, close);
    if (close) ::DeleteObject(close);  // the button keeps its own copy
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, kExtLoginWidth, kExtLoginHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

BOOL CQQLogin::PreTranslateMessage(MSG* pMsg) {
    if (IsEnterOrEscape(pMsg)) return TRUE;
    return CDlgEx::PreTranslateMessage(pMsg);
}

LRESULT CQQLogin::OnShowWindow(WPARAM wParam, LPARAM lParam) {
    const LRESULT r = DefWindowProc(WM_SHOWWINDOW, wParam, lParam);
    if (!m_page.m_hWnd) m_page.Create(IDD_BLANK, this);
    if (m_page.m_hWnd) ::ShowWindow(m_page.m_hWnd, wParam ? SW_SHOW : SW_HIDE);
    return r;
}

LRESULT CQQLogin::OnWindowPosChanged(WPARAM wParam, LPARAM lParam) {
    const LRESULT r = DefWindowProc(WM_WINDOWPOSCHANGED, wParam, lParam);
    if (m_page.m_hWnd) {
        RECT wr{};
        ::GetWindowRect(m_hWnd, &wr);
        // Inside the border, below the caption.
        ::MoveWindow(m_page.m_hWnd, wr.left + m_nBorder, wr.top + m_nCaptionHeight,
                     (wr.right - wr.left) - 2 * m_nBorder, (wr.bottom - wr.top) - m_nCaptionHeight - m_nBorder, TRUE);
    }
    return r;
}

void CQQLogin::OnCancel() {
    if (m_page.m_hWnd) m_page.DestroyWindow();
    DestroyWindow();
}
