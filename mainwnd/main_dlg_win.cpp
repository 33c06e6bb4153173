// Interim main window: titled with the display name, it closes the client.
// Tabs, tool bar and the login window arrive with the main window's work.
#include "mainwnd/main_dlg_win.h"

#include "app/halvane3_app_win.h"
#include "res/resource.h"

CHalvane3Dlg* g_pMainDlg = nullptr;

BEGIN_MESSAGE_MAP(CHalvane3Dlg, CDialog)
END_MESSAGE_MAP()

CHalvane3Dlg::CHalvane3Dlg() : CDialog(IDD_MAIN) {
    m_hIcon = static_cast<HICON>(::LoadImageW(CWinApp::ResourceHandle(), MAKEINTRESOURCEW(IDI_MAINFRAME),
                                              IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    g_pMainDlg = this;
}

CHalvane3Dlg::~CHalvane3Dlg() {
    if (g_pMainDlg == this) g_pMainDlg = nullptr;
}

BOOL CHalvane3Dlg::OnInitDialog() {
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    ::SetWindowTextW(m_hWnd, DisplayName);
    ::SetDlgItemTextW(m_hWnd, IDC_MAIN_TITLE, DisplayName);
    return TRUE;
}

void CHalvane3Dlg::OnCancel() { ExitClient(); }

void CHalvane3Dlg::ExitClient() {
    ::ShowWindow(m_hWnd, SW_HIDE);
    ::PostQuitMessage(0);
}
