// The client's main window.
#pragma once
#include "framework/wnd_win.h"

class CHalvane3Dlg : public CDialog {
public:
    CHalvane3Dlg();
    ~CHalvane3Dlg() override;

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override;

    // Ends the whole client: the quit message ends every modal loop.
    void ExitClient();

protected:
    DECLARE_MESSAGE_MAP()

private:
    HICON m_hIcon = nullptr;
};

extern CHalvane3Dlg* g_pMainDlg;
