// The external-login window: a skinned frame holding a browser page that
// shows the external-login service (QQ, Weibo, WeChat). When the portal's
// login cookie appears on one of the service's completion pages, the window
// closes itself and tells the login page dialog.
#pragma once
#include <string>

#include "framework/html_dialog_win.h"
#include "skin/dlg_ex_win.h"

// Posted to the login page dialog (both parameters 0) once the login
// cookie has appeared.
inline constexpr UINT ExtLoginFinished = WM_USER + 8;
// Timer of the page that removes the prompt raised by the closing page.
inline constexpr UINT_PTR ClosePromptTimer = 1;

inline constexpr int kExtLoginWidth = 790;
inline constexpr int kExtLoginHeight = 575;

// The page: the service's pages in the browser, kept over the frame's
// client area.
class CQQHtml : public CDHtmlDialog {
public:
    CQQHtml();

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    // Ends as a dialog does when it is modeless: hidden, not destroyed, so
    // the prompt timer keeps running after the page was closed.
    void OnOK() override { ::EndDialog(m_hWnd, IDOK); }
    void OnCancel() override { ::EndDialog(m_hWnd, IDCANCEL); }

    std::wstring m_strExtUrl;  // the start address, opened on every show and hide

protected:
    void OnNavigateComplete2Ext(DISPPARAMS* params);
    void OnBeforeNavigate2Guard(DISPPARAMS* params);
    LRESULT OnShowWindow(WPARAM, LPARAM);
    LRESULT OnSize(WPARAM, LPARAM);
    LRESULT OnTimer(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()
    DECLARE_BROWSER_EVENTS()

private:
    // The completion check of one completed navigation; true when it
    // finished the login (the framework's handling is then skipped).
    bool CheckCompletion(const std::wstring& url);
    void RemovePrompt();
};

// The frame: the skinned dialog around the page, owned by the login page
// dialog.
class CQQLogin : public CDlgEx {
public:
    CQQLogin();

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    void OnOK() override {}
    // The close button: the page and the frame windows go; the object
    // stays until the login page dialog replaces it.
    void OnCancel() override;

    CQQHtml m_page;

protected:
    LRESULT OnShowWindow(WPARAM, LPARAM);
    LRESULT OnWindowPosChanged(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()
};

// The cookies the system holds for an address, whole ("a=1; b=2"), or empty.
std::wstring CookiesOfAddress(const std::wstring& url);
