// The skinned windows on their own, for the skin tests:
//   skin_probe box TYPE TEXT   shows the message box; exit code = its result
//   skin_probe dialog          a resizable skinned dialog with caption
//                              buttons, an image button and a wrapping text,
//                              modeless under the framework's message loop
//   skin_probe setting INI     the settings dialog on that settings file;
//                              exit code = its result
#include <cwchar>
#include <string>

#include "framework/app_win.h"
#include "res/resource.h"
#include "skin/message_box_win.h"
#include "tools/setting_dlg_win.h"

namespace {

class CProbeDlg : public CDlgEx {
public:
    CProbeDlg() : CDlgEx(IDD_SKIN_PROBE) {}

    BOOL OnInitDialog() override {
        CDlgEx::OnInitDialog();
        const HINSTANCE module = CWinApp::ResourceHandle();
        HICON icon = static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(IDI_MAINFRAME), IMAGE_ICON, 16, 16, 0));
        ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        ::SetWindowLongW(m_hWnd, GWL_STYLE, ::GetWindowLongW(m_hWnd, GWL_STYLE) | WS_CLIPCHILDREN);
        m_nCaptionHeight = 30;
        m_nBorder = 4;
        m_nButtonRightMargin = 0;
        m_nButtonTop = 0;
        m_nTitleWeight = 600;
        m_bResizable = 1;
        SetSkin(LoadSkinBitmap(module, IDB_SKIN_MAIN), FALSE, TRUE, LoadSkinBitmap(module, IDB_SKIN_MINIMIZE),
                LoadSkinBitmap(module, IDB_SKIN_MAXIMIZE), LoadSkinBitmap(module, IDB_SKIN_RESTORE),
                m_hbmClose = LoadSkinBitmap(module, IDB_SKIN_CLOSE));
        SetTitle(L"Lumendor 皮肤测试");

        m_btnRefresh.SubclassDlgItem(1001, this);
        m_hbmRefresh = LoadSkinBitmap(module, IDB_TOOL_REFRESH);
        m_btnRefresh.SetImage(m_hbmRefresh, true);
        m_btnRefresh.SetTooltip(L"刷新");
        m_btnText.SubclassDlgItem(1002, this);
        m_hbmButton = LoadSkinBitmap(module, IDB_SKIN_BOX_BUTTON);
        m_btnText.SetImage(m_hbmButton, true);
        m_text.SubclassDlgItem(1003, this);
        m_text.m_clrNormal = RGB(204, 204, 204);
        m_hbmPerson = LoadSkinBitmap(module, IDB_ACCOUNT_LABEL);
        m_text.SetImage(m_hbmPerson);
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 480, 300, SWP_NOMOVE | SWP_NOZORDER);
        return TRUE;
    }
    ~CProbeDlg() override {
        for (HBITMAP b : {m_hbmClose, m_hbmRefresh, m_hbmButton, m_hbmPerson})
            if (b) ::DeleteObject(b);
    }

protected:
    LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam) {
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            EndDialog(IDCANCEL);
            ::PostQuitMessage(0);
            return 0;
        }
        return DefWindowProc(WM_SYSCOMMAND, wParam, lParam);
    }
    DECLARE_MESSAGE_MAP()

private:
    HBITMAP m_hbmClose = nullptr, m_hbmRefresh = nullptr, m_hbmButton = nullptr, m_hbmPerson = nullptr;
    CBtnEx m_btnRefresh, m_btnText;
    CStaticEx m_text;
};

BEGIN_MESSAGE_MAP(CProbeDlg, CDlgEx)
    ON_MESSAGE(WM_SYSCOMMAND, OnSysCommand)
END_MESSAGE_MAP()

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argc >= 3 && std::wcscmp(argv[1], L"box") == 0) {
        std::wstring text = argc >= 4 ? argv[3] : L"";
        // "\n" in the argument stands for a line feed.
        for (std::size_t at; (at = text.find(L"\\n")) != std::wstring::npos;) text.replace(at, 2, L"\n");
        return ShowMessage(_wtoi(argv[2]), text.c_str(), nullptr);
    }
    if (argc >= 2 && std::wcscmp(argv[1], L"dialog") == 0) {
        // The application object's own loop, as a program whose start-up
        // returns true runs it.
        CProbeDlg dlg;
        if (!dlg.Create(IDD_SKIN_PROBE, nullptr)) return 1;
        ::ShowWindow(dlg.m_hWnd, SW_SHOW);
        return CWinApp::Get()->Run();
    }
    if (argc >= 3 && std::wcscmp(argv[1], L"setting") == 0) {
        CSettingDlg dlg;
        dlg.m_strIniPath = argv[2];
        return static_cast<int>(dlg.DoModal());
    }
    return 100;
}
