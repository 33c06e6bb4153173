#include "mainwnd/game_wnd_win.h"

#include <exdispid.h>

#include "app/build_config.h"
#include "app/halvane3_app_win.h"
#include "res/resource.h"
#include "tools/fav_dlg_win.h"

BEGIN_MESSAGE_MAP(CGameWnd, CDHtmlDialog)
END_MESSAGE_MAP()

BEGIN_BROWSER_EVENTS(CGameWnd, CDHtmlDialog)
    ON_BROWSER_EVENT(DISPID_TITLECHANGE, OnTitleChange)
    ON_BROWSER_EVENT(DISPID_BEFORENAVIGATE2, OnBeforeNavigateIgnored)
END_BROWSER_EVENTS()

CGameWnd::CGameWnd(const std::wstring& url) : CDHtmlDialog(IDD_BLANK), m_strUrl(url) { m_bCenterOnInit = false; }

BOOL CGameWnd::OnInitDialog() {
    // The portal's game wrapper page gets flat scroll bars.
    if (m_strUrl.find(std::wstring(L"http://") + LUMENDOR_STATS_HOST_W + L"/webgame.htm") != std::wstring::npos)
        m_dwHostFlags = DOCHOSTUIFLAG_FLAT_SCROLLBAR;
    CDHtmlDialog::OnInitDialog();
    if (IWebBrowser2* browser = GetBrowser()) browser->put_Silent(VARIANT_TRUE);
    Navigate(m_strUrl);
    return TRUE;
}

void CGameWnd::OnNavigateComplete(IDispatch* pDisp, const std::wstring& url) {
    CDHtmlDialog::OnNavigateComplete(pDisp, url);
    CWnd* main = CWinApp::Get() ? CWinApp::Get()->m_pMainWnd : nullptr;
    if (!main || !main->m_hWnd || !::IsWindowVisible(main->m_hWnd)) return;
    RECT r{};
    ::GetWindowRect(main->m_hWnd, &r);
    ::MoveWindow(m_hWnd, r.left + 4, r.top + 65, (r.right - r.left) - 8, (r.bottom - r.top) - 69, TRUE);
    ::ShowWindow(m_hWnd, SW_SHOW);
}

BOOL CGameWnd::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE)) {
        if (::GetFocus() == m_hWnd) {
            // Hand the key to the game's movie.
            HWND w = m_hWnd;
            for (const wchar_t* cls :
                 {L"Shell Embedding", L"Shell DocObject View", L"Internet Explorer_Server", L"MacromediaFlashPlayerActiveX"}) {
                w = w ? ::FindWindowExW(w, nullptr, cls, L"") : nullptr;
            }
            if (w) ::SetFocus(w);
        }
        if (HWND focus = ::GetFocus()) ::SendMessageW(focus, pMsg->message, pMsg->wParam, pMsg->lParam);
        return CDHtmlDialog::PreTranslateMessage(pMsg);
    }
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_F5) {
        // A page that never loaded has nothing to refresh: load it again.
        if (GetDocument()) {
            if (IWebBrowser2* browser = GetBrowser()) browser->Refresh();
        } else {
            Navigate(m_strUrl);
        }
        return CDHtmlDialog::PreTranslateMessage(pMsg);
    }
    if (pMsg->message == WM_CHAR && pMsg->wParam == 4 && pMsg->lParam >= 0x200000 && pMsg->lParam <= 0x20FFFF) {
        // The favourite: the game's name and this page's address.
        theApp.m_strFavName = DisplayName;
        theApp.m_strFavUrl = m_strUrl;
        CFavDlg dlg(theApp.m_strFavName, theApp.m_strFavUrl, reinterpret_cast<HWND>(HallWindow));
        dlg.DoModal();
        return TRUE;
    }
    // Everything else passes the main window's pre-translation too.
    if (HWND owner = ::GetWindow(m_hWnd, GW_OWNER))
        if (CWnd* main = CWnd::FromHandlePermanent(owner)) main->PreTranslateMessage(pMsg);
    return CDHtmlDialog::PreTranslateMessage(pMsg);
}

void CGameWnd::PostNcDestroy() {}
