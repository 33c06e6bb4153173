// The login window: a layered background picture and, over it, the portal's
// login page that drives the client through command URLs.
#pragma once
#include <string>

#include "html/dhtml_dlg_ex_win.h"
#include "html/ext_login_win.h"

class CLoginDlg : public CDHtmDlgEx {
public:
    explicit CLoginDlg(const std::wstring& baseUrl);
    ~CLoginDlg() override;

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    bool DispatchNavigation(IDispatch* pDisp, const std::wstring& url) override;
    void OnNavigateComplete(IDispatch* pDisp, const std::wstring& url) override;
    const ElementEventEntry* GetElementEvents(int& count) const override;

    // The page address as completed at initialisation.
    const std::wstring& PageUrl() const { return m_strPageUrl; }

    std::wstring m_strPageUrl;
    CQQLogin* m_pExtLogin = nullptr;  // the external-login window, when one is open (owned)
    bool m_bJustInstalled = false;

protected:
    LRESULT OnExtLoginFinished(WPARAM, LPARAM);
    LRESULT OnSize(WPARAM, LPARAM);
    LRESULT OnEraseBkgnd(WPARAM, LPARAM);
    LRESULT OnClose(WPARAM, LPARAM);
    HRESULT OnMouseDown(IHTMLElement*);
    HRESULT OnMouseUp(IHTMLElement*);
    HRESULT OnMouseMove(IHTMLElement*);
    DECLARE_MESSAGE_MAP()

private:
    void RunCommand(const std::wstring& url);
    void HandOver(const std::wstring& url);
    void Redirect(const std::wstring& url);
    void OpenExtLogin(const std::wstring& url);
    void ForwardMouse(UINT msg);
    HWND MainWindow() const;
};

class CLoginBkDlg : public CDialog {
public:
    CLoginBkDlg();
    ~CLoginBkDlg() override;

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    void OnOK() override {}
    void OnCancel() override {}

    CLoginDlg m_dlgPage;

protected:
    LRESULT OnLButtonDown(WPARAM, LPARAM);
    LRESULT OnWindowPosChanged(WPARAM, LPARAM);
    LRESULT OnShowWindow(WPARAM, LPARAM);
    LRESULT OnClose(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()

private:
    void PaintLayered();
    void* m_pImage = nullptr;  // the GDI+ picture
    int m_nWidth = 0, m_nHeight = 0;
};

// The login window was closed by the system (Alt+F4, WM_CLOSE): the main
// window hides it, or ends the client when no game page is open.
void ReportLoginWindowClosed(HWND mainWindow);

// The portal's cookie `name` as "name=value" (empty when missing), at most
// capacity - 1 characters.
std::wstring PortalCookie(const wchar_t* name, DWORD capacity);
