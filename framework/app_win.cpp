#include "framework/app_win.h"

#include <ole2.h>
#include <shellapi.h>

CWinApp* CWinApp::s_pApp = nullptr;

CWinApp::CWinApp() { s_pApp = this; }

CWinApp::~CWinApp() {
    if (s_pApp == this) s_pApp = nullptr;
}

HINSTANCE CWinApp::ResourceHandle() {
    return (s_pApp && s_pApp->m_hInstance) ? s_pApp->m_hInstance : ::GetModuleHandleW(nullptr);
}

void CWinApp::EnableControlContainer() {
    if (!m_bOleStarted && SUCCEEDED(::OleInitialize(nullptr))) m_bOleStarted = true;
}

int CWinApp::ExitInstance() {
    if (m_bOleStarted) {
        ::OleUninitialize();
        m_bOleStarted = false;
    }
    return 0;
}

int CWinApp::Run() {
    MSG msg;
    BOOL got;
    while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) != 0 && got != -1) {
        if (!WalkPreTranslate(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    ExitInstance();
    return got == 0 ? static_cast<int>(msg.wParam) : 0;
}

int CWinApp::Main(HINSTANCE hInstance, int nCmdShow) {
    m_hInstance = hInstance;
    m_nCmdShow = nCmdShow;

    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    if (auto slash = name.find_last_of(L"\\/"); slash != std::wstring::npos) name.erase(0, slash + 1);
    if (auto dot = name.rfind(L'.'); dot != std::wstring::npos) name.erase(dot);
    m_strAppName = name;

    int argc = 0;
    if (LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc)) {
        for (int i = 1; i < argc; ++i) m_args.emplace_back(argv[i]);
        ::LocalFree(argv);
    }

    if (!InitInstance()) return ExitInstance();
    return Run();
}
