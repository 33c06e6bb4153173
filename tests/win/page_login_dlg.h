// The login dialog, told as the browser tells it that its own page has
// loaded (this system's control loads none): the page's commands and
// navigations then come from that page.
#pragma once
#include "html/login_dlg_win.h"

class CPageLoginDlg : public CLoginDlg {
public:
    using CLoginDlg::CLoginDlg;
    void PageLoaded(const std::wstring& url) {
        BSTR text = ::SysAllocString(url.c_str());
        VARIANT address;
        address.vt = VT_BSTR;
        address.bstrVal = text;
        VARIANT args[2];
        args[0].vt = VT_BYREF | VT_VARIANT;  // URL (arguments come last first)
        args[0].pvarVal = &address;
        args[1].vt = VT_DISPATCH;             // pDisp: the dialog's own browser
        args[1].pdispVal = GetBrowser();
        DISPPARAMS params{args, nullptr, 2, 0};
        OnNavigateComplete2Event(&params);
        ::SysFreeString(text);
    }
};

// The portal's login page, where the login dialog's page comes from.
inline std::wstring PortalLoginPage() {
    return std::wstring(L"http://") + LUMENDOR_PORTAL_HOST_W + L"/lmdr/clients/chn-xpvt/reg.html";
}
