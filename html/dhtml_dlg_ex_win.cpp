#include "html/dhtml_dlg_ex_win.h"

#include <exdispid.h>

#include "html/login_logic.h"

// IDocHostShowUI, declared by the system headers without an import-library GUID everywhere.
static const IID kIidDocHostShowUI = {0xC4D244B0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};

CMyBrowserControlSite::CMyBrowserControlSite(CDHtmDlgEx* owner) : CBrowserControlSite(owner), m_pExOwner(owner) {}

STDMETHODIMP CMyBrowserControlSite::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == kIidDocHostShowUI) {
        *ppv = static_cast<IDocHostShowUI*>(this);
        AddRef();
        return S_OK;
    }
    return CBrowserControlSite::QueryInterface(riid, ppv);
}

STDMETHODIMP CMyBrowserControlSite::ShowMessage(HWND hwnd, LPOLESTR text, LPOLESTR caption, DWORD type,
                                                LPOLESTR helpFile, DWORD helpContext, LRESULT* result) {
    if (!m_pOwner) return S_FALSE;
    return m_pExOwner->OnShowMessage(hwnd, text, caption, type, helpFile, helpContext, result);
}

STDMETHODIMP CMyBrowserControlSite::ShowHelp(HWND hwnd, LPOLESTR helpFile, UINT command, DWORD data, POINT mouse,
                                             IDispatch* hit) {
    if (!m_pOwner) return S_FALSE;
    return m_pExOwner->OnShowHelp(hwnd, helpFile, command, data, mouse, hit);
}

// ---------------------------------------------------------------------------

BEGIN_BROWSER_EVENTS(CDHtmDlgEx, CDHtmlDialog)
    ON_BROWSER_EVENT(DISPID_BEFORENAVIGATE2, OnBeforeNavigate2Ex)
    ON_BROWSER_EVENT(DISPID_NAVIGATEERROR, OnNavigateErrorEvent)
END_BROWSER_EVENTS()

CDHtmDlgEx::CDHtmDlgEx(UINT nIDTemplate, CWnd* pParentWnd) : CDHtmlDialog(nIDTemplate, pParentWnd) {}

CBrowserControlSite* CDHtmDlgEx::CreateControlSite() { return new (std::nothrow) CMyBrowserControlSite(this); }

BOOL CDHtmDlgEx::OnInitDialog() {
    CDHtmlDialog::OnInitDialog();
    if (IWebBrowser2* browser = GetBrowser()) browser->put_Silent(VARIANT_TRUE);
    return TRUE;
}

HRESULT CDHtmDlgEx::GetHostInfo(DOCHOSTUIINFO* pInfo) {
    const HRESULT hr = CDHtmlDialog::GetHostInfo(pInfo);
    if (pInfo) pInfo->dwFlags |= DOCHOSTUIFLAG_DIALOG;
    return hr;
}

bool CDHtmDlgEx::DispatchNavigation(IDispatch*, const std::wstring& url) { return IsCommandUrl(url); }

void CDHtmDlgEx::OnBeforeNavigate2Ex(DISPPARAMS* params) {
    // BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
    VARIANT* disp = EventParam(params, 0);
    const std::wstring url = VariantText(EventParam(params, 1));
    if (DispatchNavigation(disp && disp->vt == VT_DISPATCH ? disp->pdispVal : nullptr, url))
        SetBoolParam(EventParam(params, 6), true);
}

void CDHtmDlgEx::OnNavigateErrorEvent(DISPPARAMS* params) {
    // NavigateError(pDisp, URL, Frame, StatusCode, Cancel)
    VARIANT* disp = EventParam(params, 0);
    BOOL cancel = FALSE;
    OnNavigateError(disp && disp->vt == VT_DISPATCH ? disp->pdispVal : nullptr, EventParam(params, 1),
                    EventParam(params, 2), EventParam(params, 3), &cancel);
    SetBoolParam(EventParam(params, 4), cancel != FALSE);
}

void CDHtmDlgEx::OnNavigateError(IDispatch*, VARIANT*, VARIANT*, VARIANT*, BOOL* cancel) {
    if (cancel) *cancel = TRUE;
}

void CDHtmDlgEx::OnNavigateComplete(IDispatch* pDisp, const std::wstring& url) {
    CDHtmlDialog::OnNavigateComplete(pDisp, url);
    // Scroll bars only where the page needs them, despite the host flags.
    IHTMLDocument2* doc = GetDocument();
    IHTMLElement* body = nullptr;
    if (!doc || FAILED(doc->get_body(&body)) || !body) return;
    IHTMLBodyElement* bodyElement = nullptr;
    if (SUCCEEDED(body->QueryInterface(IID_IHTMLBodyElement, reinterpret_cast<void**>(&bodyElement)))) {
        BSTR scroll = SysAllocString(L"auto");
        bodyElement->put_scroll(scroll);
        SysFreeString(scroll);
        bodyElement->Release();
    }
    body->Release();
}
