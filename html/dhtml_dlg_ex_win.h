// The HTML dialog of the login page: command URLs ("app:") are cancelled
// and dispatched, error pages and context menus never show, and the page
// gets dialog-like host flags.
#pragma once
#include "framework/html_dialog_win.h"

class CDHtmDlgEx;

// The control site of CDHtmDlgEx: also serves IDocHostShowUI, forwarded to
// the dialog.
class CMyBrowserControlSite : public CBrowserControlSite, public IDocHostShowUI {
public:
    explicit CMyBrowserControlSite(CDHtmDlgEx* owner);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return CBrowserControlSite::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CBrowserControlSite::Release(); }
    STDMETHODIMP ShowMessage(HWND hwnd, LPOLESTR text, LPOLESTR caption, DWORD type, LPOLESTR helpFile,
                             DWORD helpContext, LRESULT* result) override;
    STDMETHODIMP ShowHelp(HWND hwnd, LPOLESTR helpFile, UINT command, DWORD data, POINT mouse,
                          IDispatch* hit) override;

private:
    CDHtmDlgEx* m_pExOwner;
};

class CDHtmDlgEx : public CDHtmlDialog {
public:
    explicit CDHtmDlgEx(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    BOOL OnInitDialog() override;
    void OnOK() override {}  // Enter never ends the dialog
    // Nor does a close request: the dialog lives as long as its owner.
    void OnCancel() override {}

    // The browser's error page is never shown.
    virtual void OnNavigateError(IDispatch* pDisp, VARIANT* url, VARIANT* frame, VARIANT* statusCode, BOOL* cancel);
    // Script alert() and confirm(): the browser shows its own box.
    virtual HRESULT OnShowMessage(HWND, LPCWSTR, LPCWSTR, DWORD, LPCWSTR, DWORD, LRESULT*) { return S_FALSE; }
    virtual HRESULT OnShowHelp(HWND, LPCWSTR, UINT, DWORD, POINT, IDispatch*) { return S_FALSE; }

    // Every navigation of the page and of its frames passes here first, with
    // the browser object that makes it; true cancels it. The base cancels
    // command URLs and runs nothing; the login dialog runs its command table
    // for its own page.
    virtual bool DispatchNavigation(IDispatch* pDisp, const std::wstring& url);

    BOOL CanAccessExternal() override { return TRUE; }
    BOOL IsExternalDispatchSafe() override { return TRUE; }
    void OnNavigateComplete(IDispatch* pDisp, const std::wstring& url) override;
    HRESULT ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
    HRESULT GetHostInfo(DOCHOSTUIINFO* pInfo) override;

protected:
    CBrowserControlSite* CreateControlSite() override;
    void OnBeforeNavigate2Ex(DISPPARAMS* params);
    void OnNavigateErrorEvent(DISPPARAMS* params);
    DECLARE_BROWSER_EVENTS()
};
