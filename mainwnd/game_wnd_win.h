// One game page: the game's web page in the browser control, laid over the
// main window's client area below its tabs and tool bar.
#pragma once
#include <string>

#include "framework/html_dialog_win.h"

class CGameWnd : public CDHtmlDialog {
public:
    explicit CGameWnd(const std::wstring& url);

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    void OnOK() override {}
    void OnCancel() override {}
    void OnNavigateComplete(IDispatch* pDisp, const std::wstring& url) override;

    std::wstring m_strUrl;

protected:
    void OnTitleChange(DISPPARAMS*) {}
    void OnBeforeNavigateIgnored(DISPPARAMS*) {}
    LRESULT OnSysCommandPage(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()
    DECLARE_BROWSER_EVENTS()

private:
    void PostNcDestroy() override;
};
