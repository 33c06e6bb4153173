// The application object of our framework: one static instance per program,
// started from wWinMain.
#pragma once
#include "framework/wnd_win.h"

#include <string>
#include <vector>

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up. Returning false skips the message loop and goes straight to
    // ExitInstance.
    virtual BOOL InitInstance() { return TRUE; }
    // Exit step; its result is the process exit code.
    virtual int ExitInstance();
    // The message loop, for programs whose InitInstance returns true.
    virtual int Run();

    // OLE and ActiveX control hosting on this thread; undone by ExitInstance.
    void EnableControlContainer();

    static CWinApp* Get() { return s_pApp; }
    static HINSTANCE ResourceHandle();

    HINSTANCE m_hInstance = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    CWnd* m_pMainWnd = nullptr;
    std::wstring m_strAppName;           // the executable's base name
    std::vector<std::wstring> m_args;    // command-line arguments after the program

    // Called by wWinMain.
    int Main(HINSTANCE hInstance, int nCmdShow);

private:
    static CWinApp* s_pApp;
    bool m_bOleStarted = false;
};
