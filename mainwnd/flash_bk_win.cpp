#include "mainwnd/flash_bk_win.h"

#include <ole2.h>

#include "framework/app_win.h"
#include "install/desktop_icon_win.h"
#include "install/install_win.h"
#include "mainwnd/flash_logic.h"
#include "mainwnd/flash_wnd_win.h"
#include "res/resource.h"
#include "settings/settings_win.h"

namespace {

// Owned by the first splash of the process until the process ends.
HANDLE g_hSplashMutex = nullptr;

constexpr COLORREF kColourKey = RGB(255, 0, 255);

}  // namespace

void ReleaseSplashMutexForTest() {
    if (g_hSplashMutex) {
        ::ReleaseMutex(g_hSplashMutex);
        ::CloseHandle(g_hSplashMutex);
        g_hSplashMutex = nullptr;
    }
}

bool WriteMovieFile(HMODULE module, const wchar_t* path) {
    if (!path || !*path) return false;
    ::DeleteFileW(path);
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(IDR_LOGO_MOVIE), L"FLASH");
    if (!info) return false;
    HGLOBAL loaded = ::LoadResource(module, info);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD size = ::SizeofResource(module, info);
    if (!data) return false;
    HANDLE file = ::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(file, data, size, &written, nullptr) && written == size;
    ::CloseHandle(file);
    return ok;
}

BEGIN_MESSAGE_MAP(CFlashBK, CDialog)
    ON_MESSAGE(WM_PAINT, OnPaint)
    ON_MESSAGE(WM_TIMER, OnTimer)
    ON_MESSAGE(WM_WINDOWPOSCHANGED, OnWindowPosChanged)
    ON_MESSAGE(WM_DESTROY, OnDestroy)
END_MESSAGE_MAP()

CFlashBK::CFlashBK() : CDialog(IDD_BLANK) {
    m_bCenterOnInit = false;
    ::lstrcpynW(m_szMovie, ExeFolderPath(L"Logo.swf").c_str(), MAX_PATH);
    WriteMovieFile(CWinApp::ResourceHandle(), m_szMovie);
    m_bOleStarted = SUCCEEDED(::OleInitialize(nullptr));
}

CFlashBK::~CFlashBK() {
    delete m_pFlash;
    m_pFlash = nullptr;
    if (m_bOleStarted) ::OleUninitialize();
}

BOOL CFlashBK::OnInitDialog() {
    CDialog::OnInitDialog();

    // No task-bar button, clicks pass through, magenta shows the desktop.
    LONG_PTR ex = ::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE);
    ex = (ex & ~static_cast<LONG_PTR>(WS_EX_APPWINDOW)) | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_LAYERED;
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, ex);
    ::SetLayeredWindowAttributes(m_hWnd, kColourKey, 0, LWA_COLORKEY);

    ::SetWindowPos(m_hWnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE);

    m_pFlash = new CFlashWnd;
    ::lstrcpynW(m_pFlash->m_szMovie, m_szMovie, MAX_PATH);
    m_pFlash->Create(CLSID_ShockwaveFlash, WS_EX_LAYERED, WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS, m_hWnd,
                     CWinApp::ResourceHandle());

    ::SetTimer(m_hWnd, kSplashTimerId, kSplashTickMs, nullptr);

    HANDLE mutex = ::CreateMutexW(nullptr, TRUE, kSplashMutexName);
    if (mutex && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        // Another splash runs: only its owner keeps the mutex.
        ::CloseHandle(mutex);
        EndDialog(IDCANCEL);
    } else if (mutex) {
        g_hSplashMutex = mutex;
    }
    return TRUE;
}

void CFlashBK::OnCancel() {
    delete m_pFlash;  // releases the control
    m_pFlash = nullptr;
    EndDialog(IDCANCEL);
}

LRESULT CFlashBK::OnPaint(WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    if (HBRUSH key = ::CreateSolidBrush(kColourKey)) {
        ::FillRect(dc, &client, key);
        ::DeleteObject(key);
    }
    ::EndPaint(m_hWnd, &ps);
    return 0;
}

LRESULT CFlashBK::OnTimer(WPARAM wParam, LPARAM lParam) {
    if (wParam != kSplashTimerId) return DefWindowProc(WM_TIMER, wParam, lParam);
    ::KillTimer(m_hWnd, kSplashTimerId);
    RECT found{};
    const bool have = FindDesktopIconRect(&found, IsWow64());
    const SplashTick tick = DecideSplashTick(have, IconRect{found.left, found.top, found.right, found.bottom});
    if (tick.end) {
        OnCancel();
        return 0;
    }
    m_nSide = tick.place.side;
    ::SetWindowPos(m_hWnd, HWND_BOTTOM, tick.place.x, tick.place.y, m_nSide, m_nSide, SWP_NOACTIVATE);
    ::SetTimer(m_hWnd, kSplashTimerId, kSplashTickMs, nullptr);
    return 0;
}

LRESULT CFlashBK::OnWindowPosChanged(WPARAM wParam, LPARAM lParam) {
    const LRESULT r = DefWindowProc(WM_WINDOWPOSCHANGED, wParam, lParam);
    if (m_pFlash && m_pFlash->GetHWND()) {
        RECT rc{};
        ::GetWindowRect(m_hWnd, &rc);
        ::SetWindowPos(m_pFlash->GetHWND(), nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return r;
}

LRESULT CFlashBK::OnDestroy(WPARAM wParam, LPARAM lParam) {
    // However the splash ends, its player and control go with it.
    ::KillTimer(m_hWnd, kSplashTimerId);
    delete m_pFlash;
    m_pFlash = nullptr;
    return DefWindowProc(WM_DESTROY, wParam, lParam);
}
