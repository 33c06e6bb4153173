#include "html/login_dlg_win.h"

#include "framework/text_win.h"

#include <gdiplus.h>
#include <shellapi.h>
#include <wininet.h>

#include <cstring>
#include <new>
#include <vector>

#include "app/build_config.h"
#include "app/halvane3_app_win.h"
#include "app/startup_trace.h"
#include "html/ext_login_logic.h"
#include "html/login_logic.h"
#include "mainwnd/hotkeys_win.h"
#include "mainwnd/main_dlg_win.h"
#include "res/resource.h"
#include "settings/settings_win.h"
#include "skin/message_box_win.h"
#include "stats/beacons.h"
#include "stats/identity_win.h"
#include "stats/stats_win.h"

namespace {

bool g_bFirstNavigation = true;  // the first completed navigation shows the page

bool UserAccountControlOn() {
    DWORD lua = 0;
    return SystemMajorVersion() > 5 && ReadEnableLua(lua) && lua == 1;
}

}  // namespace

// The portal's cookie as "name=value", cut to the capacity. The system
// answers with every cookie of the address, whatever name is asked for: the
// one asked for is picked from that list.
std::wstring PortalCookie(const wchar_t* name, DWORD capacity) {
    const std::wstring address = std::wstring(L"http://") + LUMENDOR_PORTAL_HOST_W + L"/";
    std::wstring cookie = NamedCookie(CookiesOfAddress(address), name);
    if (cookie.size() > capacity - 1) cookie.resize(capacity - 1);
    return cookie;
}

// ---------------------------------------------------------------------------
// CLoginDlg

BEGIN_MESSAGE_MAP(CLoginDlg, CDHtmDlgEx)
    ON_MESSAGE(ExtLoginFinished, OnExtLoginFinished)
    ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
    ON_MESSAGE(WM_CLOSE, OnClose)
    ON_MESSAGE(WM_SIZE, OnSize)
END_MESSAGE_MAP()

void ReportLoginWindowClosed(HWND mainWindow) {
    if (mainWindow) ::PostMessageW(mainWindow, WM_SYSCOMMAND, SC_CLOSE, kSelfMarker);
}

// The page is never destroyed by a close request; the main window decides.
LRESULT CLoginDlg::OnClose(WPARAM, LPARAM) {
    ReportLoginWindowClosed(MainWindow());
    return 0;
}

// Where the page does not cover the dialog, the colour key lets the
// background picture show through.
// The page dialog's browser keeps the size its placement gives it (after a
// navigation, and with the background window); a size change alone leaves it.
LRESULT CLoginDlg::OnSize(WPARAM wParam, LPARAM lParam) { return DefWindowProc(WM_SIZE, wParam, lParam); }

LRESULT CLoginDlg::OnEraseBkgnd(WPARAM wParam, LPARAM) {
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    HBRUSH key = ::CreateSolidBrush(RGB(255, 0, 255));
    ::FillRect(reinterpret_cast<HDC>(wParam), &client, key);
    ::DeleteObject(key);
    return 1;
}

CLoginDlg::CLoginDlg(const std::wstring& baseUrl) : CDHtmDlgEx(IDD_BLANK), m_strPageUrl(baseUrl) {
    m_bCenterOnInit = false;
    m_bJustInstalled = JustInstalledFromTag(ReadSetting(Keys::InstallTag));
    WriteSetting(Keys::InstallTag, L"0");
}

CLoginDlg::~CLoginDlg() { delete m_pExtLogin; }

BOOL CLoginDlg::OnInitDialog() {
    STARTUP_MARK("login window's page window created");
    CDHtmDlgEx::OnInitDialog();
    STARTUP_MARK("browser created and activated");
    if (IWebBrowser2* browser = GetBrowser()) browser->put_Silent(VARIANT_TRUE);
    const LONG ex = ::GetWindowLongW(m_hWnd, GWL_EXSTYLE);
    ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, ex ^ WS_EX_LAYERED);
    ::SetLayeredWindowAttributes(m_hWnd, RGB(255, 0, 255), 0, LWA_COLORKEY);
    ::SetWindowLongW(m_hWnd, GWL_EXSTYLE,
                     (::GetWindowLongW(m_hWnd, GWL_EXSTYLE) & ~WS_EX_APPWINDOW) | WS_EX_TOOLWINDOW);

    std::wstring runData;
    const bool autoRun = ReadAutoRunValue(runData) && AutoRunDataIsOn(runData);
    m_strPageUrl = CompleteLoginPageUrl(m_strPageUrl, BuildIdentityQuery(256), m_bJustInstalled, OpenPageCount, autoRun);
    STARTUP_MARK("login page address");
    Navigate(m_strPageUrl);
    STARTUP_MARK("navigation");
    return FALSE;
}

BOOL CLoginDlg::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_ESCAPE || pMsg->wParam == VK_F5)) {
        if (HWND parent = ::GetParent(m_hWnd)) ::PostMessageW(parent, WM_KEYDOWN, pMsg->wParam, pMsg->lParam);
        return TRUE;
    }
    return CDHtmDlgEx::PreTranslateMessage(pMsg);
}

void CLoginDlg::OnNavigateComplete(IDispatch* pDisp, const std::wstring& url) {
    CDHtmDlgEx::OnNavigateComplete(pDisp, url);
    if (g_bFirstNavigation) {
        ::ShowWindow(m_hWnd, SW_SHOW);
        g_bFirstNavigation = false;
    }
    if (HWND child = ::GetWindow(m_hWnd, GW_CHILD)) {
        RECT client{};
        ::GetClientRect(m_hWnd, &client);
        ::MoveWindow(child, 0, 0, client.right, client.bottom, TRUE);
    }
}

HWND CLoginDlg::MainWindow() const {
    HWND background = ::GetParent(m_hWnd);
    return background ? ::GetWindow(background, GW_OWNER) : nullptr;
}

bool CLoginDlg::DispatchNavigation(IDispatch* pDisp, const std::wstring& url) {
    const bool command = IsCommandUrl(url);
    const std::size_t extStart = command ? std::wstring::npos : ExtLoginStartAt(url, LUMENDOR_EXTLOGIN_HOST_W);
    if (!command && extStart == std::wstring::npos) return false;
    // Both are cancelled whoever asks: neither is ever loaded in the login
    // page. Only the portal's login page itself drives the client, though:
    // a frame in it (an advertisement, a third party's script) and any
    // page the browser was led to elsewhere ask for nothing.
    if (IsTopBrowser(pDisp) && AddressOnHost(TopDocumentUrl(), LUMENDOR_PORTAL_HOST_W)) {
        if (command) {
            RunCommand(url);
        } else {
            // The start address opens in the external-login window, from
            // where it begins: what a page put before it is not opened.
            OpenExtLogin(url.substr(extStart));
        }
    }
    return true;
}

void CLoginDlg::RunCommand(const std::wstring& url) {
    HWND main = MainWindow();
    switch (ParseLoginCommand(CommandName(url))) {
    case LoginCommand::LoadGame:
        HandOver(url);
        break;
    case LoginCommand::ExitGame:
        if (ShowMessage(4, L"确定要取消本次登录吗？", nullptr) == IDYES && main)
            ::PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, kSelfMarker);
        {
            CKeyboardHookPause noHookWhileSending;
            SendDirect(FormatRegEvent(L"115", L"关闭客户端").c_str());
        }
        break;
    case LoginCommand::Minimize:
        if (OpenPageCount > 0) {
            if (main) ::PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, kSelfMarker);
        } else if (UserAccountControlOn()) {
            ::ShowWindow(::GetParent(m_hWnd), SW_MINIMIZE);
        } else if (main) {
            ::ShowWindow(main, SW_MINIMIZE);
        }
        break;
    case LoginCommand::Redirect:
        Redirect(url);
        break;
    case LoginCommand::AutoRunOff:
        DeleteAutoRun();
        break;
    case LoginCommand::AutoRunOn:
        WriteAutoRun(ExePath());
        break;
    case LoginCommand::SaveInfo:
        WriteSetting(Keys::RegUrl, TextFrom(url, kStoreArgumentAt));
        break;
    case LoginCommand::ReadInfo:
        CallScript("postDataUrl", {ReadSetting(Keys::RegUrl)});
        break;
    case LoginCommand::SetupKey:
        WriteSetting(Keys::Key, TextFrom(url, kStoreArgumentAt));
        break;
    case LoginCommand::ReadKey:
        CallScript("getTheKey", {ReadSetting(Keys::Key)});
        break;
    case LoginCommand::LoginNum: {
        const std::wstring count = NextLoginCount(ReadSetting(Keys::LoginCount));
        WriteSetting(Keys::LoginCount, count);
        CallScript("getlogin", {count});
        break;
    }
    case LoginCommand::SetPauth: {
        std::wstring value = WideFromAnsi(PercentDecode(AnsiFromWide(ExtractSetpauthValue(url))));
        if (!value.empty()) value.pop_back();
        StoreSealedEntry(value, StatIniPath());
        break;
    }
    case LoginCommand::None:
        break;
    }
}

void CLoginDlg::HandOver(const std::wstring& url) {
    const LoadGameSplit split = SplitLoadGame(url);
    // The game page opens in a browser with the client's rights: only a
    // web address, never a file, a share or a script.
    if (!IsWebAddress(split.gameUrl)) return;
    GameUrl = split.gameUrl;
    std::wstring server = split.serverText;
    if (!server.empty() && server.find(L'%') != std::wstring::npos) server = DecodeServerText(AnsiFromWide(server));
    const PageTitle title = BuildPageTitle(server);

    const std::wstring record = BuildLoginRecord(title.title, PortalCookie(L"Pauth", 256),
                                                 PortalCookie(L"ptusertype", 256), split.gameCode);
    COPYDATASTRUCT cds{};
    cds.dwData = 0;
    cds.cbData = static_cast<DWORD>((record.size() + 1) * sizeof(wchar_t));
    cds.lpData = const_cast<wchar_t*>(record.c_str());
    HWND main = MainWindow();
    const LRESULT reply =
        main ? ::SendMessageW(main, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)) : kHandOverDuplicate;
    if (reply == kHandOverDuplicate) {
        ShowMessage(0, DuplicateLoginMessage(title.account, title.server).c_str(), nullptr);
        if (main) ::PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, kSelfMarker);
    } else if (reply == kHandOverAccepted) {
        ::ShowWindow(::GetParent(m_hWnd), SW_HIDE);
    }
    // Any other reply: no page could be opened; the login window stays up
    // for another try.
}

void CLoginDlg::Redirect(const std::wstring& url) {
    const std::wstring target = FormatAutoLoginUrl(LUMENDOR_PORTAL_HOST_W, PortalCookie(L"Pauth", 1024),
                                                   UrlEncodeUtf8(TextFrom(url, kRedirectArgumentAt), 2048),
                                                   PortalCookie(L"ptusertype", 256));
    ::ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOW);
}

// One external-login window at a time: a new start replaces the old window.
void CLoginDlg::OpenExtLogin(const std::wstring& url) {
    if (m_pExtLogin) {
        m_pExtLogin->DestroyWindow();
        delete m_pExtLogin;
        m_pExtLogin = nullptr;
    }
    m_pExtLogin = new (std::nothrow) CQQLogin();
    if (!m_pExtLogin) return;
    m_pExtLogin->m_page.m_strExtUrl = url;
    if (!m_pExtLogin->m_hWnd && !m_pExtLogin->Create(IDD_BLANK, this)) return;
    m_pExtLogin->SetTitle(ExtLoginTitle(url, LUMENDOR_EXTLOGIN_HOST_W).c_str());
    ::ShowWindow(m_pExtLogin->m_hWnd, SW_SHOW);

    // Centred on the desktop, and kept inside the work area so that its
    // caption and close button stay above the taskbar on a short screen.
    RECT desk{}, work{}, wr{};
    ::GetWindowRect(::GetDesktopWindow(), &desk);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::GetWindowRect(m_pExtLogin->m_hWnd, &wr);
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;
    int x = desk.left + ((desk.right - desk.left) - w) / 2;
    int y = desk.top + ((desk.bottom - desk.top) - h) / 2;
    if (x + w > work.right) x = work.right - w;
    if (y + h > work.bottom) y = work.bottom - h;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    ::SetWindowPos(m_pExtLogin->m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CLoginDlg::OnExtLoginFinished(WPARAM, LPARAM) {
    CallScript("check_login", {});
    return 0;
}

const ElementEventEntry* CLoginDlg::GetElementEvents(int& count) const {
    constexpr long kMouseDown = -605, kMouseMove = -606, kMouseUp = -607;
    static const ElementEventEntry table[] = {
        {{kMouseDown, L"body", false}, static_cast<ElementEventHandler>(&CLoginDlg::OnMouseDown)},
        {{kMouseDown, L"td", false}, static_cast<ElementEventHandler>(&CLoginDlg::OnMouseDown)},
        {{kMouseDown, L"div", false}, static_cast<ElementEventHandler>(&CLoginDlg::OnMouseDown)},
        {{kMouseUp, L"body", false}, static_cast<ElementEventHandler>(&CLoginDlg::OnMouseUp)},
        {{kMouseUp, L"td", false}, static_cast<ElementEventHandler>(&CLoginDlg::OnMouseUp)},
        {{kMouseUp, L"div", false}, static_cast<ElementEventHandler>(&CLoginDlg::OnMouseUp)},
        {{kMouseMove, L"body", false}, static_cast<ElementEventHandler>(&CLoginDlg::OnMouseMove)},
        {{kMouseMove, L"td", false}, static_cast<ElementEventHandler>(&CLoginDlg::OnMouseMove)},
        {{kMouseMove, L"div", false}, static_cast<ElementEventHandler>(&CLoginDlg::OnMouseMove)},
    };
    count = static_cast<int>(sizeof table / sizeof table[0]);
    return table;
}

void CLoginDlg::ForwardMouse(UINT msg) {
    POINT pt{};
    ::GetCursorPos(&pt);
    ::ScreenToClient(m_hWnd, &pt);
    if (InDragExclusion(pt.x, pt.y)) return;
    if (HWND background = ::GetParent(m_hWnd))
        ::SendMessageW(background, msg, HTCAPTION, MAKELPARAM(pt.x, pt.y));
}

HRESULT CLoginDlg::OnMouseDown(IHTMLElement*) {
    ForwardMouse(WM_NCLBUTTONDOWN);
    return S_FALSE;
}

HRESULT CLoginDlg::OnMouseUp(IHTMLElement*) {
    ForwardMouse(WM_NCLBUTTONUP);
    return S_FALSE;
}

HRESULT CLoginDlg::OnMouseMove(IHTMLElement*) {
    ForwardMouse(WM_NCMOUSEMOVE);
    return S_FALSE;
}

// ---------------------------------------------------------------------------
// CLoginBkDlg

BEGIN_MESSAGE_MAP(CLoginBkDlg, CDialog)
    ON_MESSAGE(WM_LBUTTONDOWN, OnLButtonDown)
    ON_MESSAGE(WM_WINDOWPOSCHANGED, OnWindowPosChanged)
    ON_MESSAGE(WM_SHOWWINDOW, OnShowWindow)
    ON_MESSAGE(WM_CLOSE, OnClose)
END_MESSAGE_MAP()

LRESULT CLoginBkDlg::OnClose(WPARAM, LPARAM) {
    ReportLoginWindowClosed(::GetWindow(m_hWnd, GW_OWNER));
    return 0;
}

CLoginBkDlg::CLoginBkDlg() : CDialog(IDD_BLANK), m_dlgPage(LoginPageBaseUrl(LUMENDOR_PORTAL_HOST_W)) {
    m_bCenterOnInit = false;
}

CLoginBkDlg::~CLoginBkDlg() { delete static_cast<Gdiplus::Image*>(m_pImage); }

BOOL CLoginBkDlg::OnInitDialog() {
    STARTUP_MARK("login window created");
    CDialog::OnInitDialog();
    ::SetWindowTextW(m_hWnd, DisplayName);

    const HINSTANCE module = CWinApp::ResourceHandle();
    if (HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(IDB_LOGIN_BACKGROUND), L"PNG")) {
        const DWORD size = ::SizeofResource(module, found);
        const void* bytes = ::LockResource(::LoadResource(module, found));
        HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, size);
        if (bytes && memory) {
            if (void* dst = ::GlobalLock(memory)) {
                std::memcpy(dst, bytes, size);
                ::GlobalUnlock(memory);
            }
            IStream* stream = nullptr;
            if (SUCCEEDED(::CreateStreamOnHGlobal(memory, TRUE, &stream))) {
                auto* image = Gdiplus::Image::FromStream(stream);
                if (image && image->GetLastStatus() == Gdiplus::Ok) {
                    m_pImage = image;
                    m_nWidth = static_cast<int>(image->GetWidth());
                    m_nHeight = static_cast<int>(image->GetHeight());
                } else {
                    delete image;
                }
                stream->Release();  // the image keeps its own reference
            } else {
                ::GlobalFree(memory);
            }
        } else if (memory) {
            ::GlobalFree(memory);
        }
    }
    STARTUP_MARK("login background decoded");
    PaintLayered();
    STARTUP_MARK("login background painted");
    m_dlgPage.Create(IDD_BLANK, this);
    ::SetWindowLongW(m_hWnd, GWL_STYLE, ::GetWindowLongW(m_hWnd, GWL_STYLE) | WS_MINIMIZEBOX);
    return FALSE;
}

void CLoginBkDlg::PaintLayered() {
    auto* image = static_cast<Gdiplus::Image*>(m_pImage);
    if (!image) return;
    const LONG ex = ::GetWindowLongW(m_hWnd, GWL_EXSTYLE);
    if (!(ex & WS_EX_LAYERED)) ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = m_nWidth;
    bi.bmiHeader.biHeight = -m_nHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP canvas = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, canvas);
    {
        Gdiplus::Graphics g(mem);
        const Gdiplus::Point points[3] = {{0, 0}, {m_nWidth, 0}, {0, m_nHeight}};
        g.DrawImage(image, points, 3);
    }
    RECT wr{};
    ::GetWindowRect(m_hWnd, &wr);
    POINT pos{wr.left, wr.top}, src{0, 0};
    SIZE size{m_nWidth, m_nHeight};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::UpdateLayeredWindow(m_hWnd, screen, &pos, &size, mem, &src, 0, &blend, ULW_ALPHA);
    ::SelectObject(mem, old);
    ::DeleteObject(canvas);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
}

LRESULT CLoginBkDlg::OnLButtonDown(WPARAM wParam, LPARAM lParam) {
    DefWindowProc(WM_LBUTTONDOWN, wParam, lParam);
    ::SendMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
    return 0;
}

LRESULT CLoginBkDlg::OnWindowPosChanged(WPARAM wParam, LPARAM lParam) {
    const LRESULT r = DefWindowProc(WM_WINDOWPOSCHANGED, wParam, lParam);
    const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
    if (m_dlgPage.m_hWnd && pos) {
        RECT wr{};
        ::GetWindowRect(m_hWnd, &wr);
        const int w = wr.right - wr.left, h = wr.bottom - wr.top;
        ::MoveWindow(m_dlgPage.m_hWnd, pos->x, pos->y, w, h, TRUE);
        // The control names its own window; its title differs between systems.
        if (HWND embedding = m_dlgPage.GetBrowserWindow()) ::MoveWindow(embedding, 0, 0, w, h, TRUE);
    }
    return r;
}

LRESULT CLoginBkDlg::OnShowWindow(WPARAM wParam, LPARAM lParam) {
    const LRESULT r = DefWindowProc(WM_SHOWWINDOW, wParam, lParam);
    if (m_dlgPage.m_hWnd) ::ShowWindow(m_dlgPage.m_hWnd, wParam ? SW_SHOW : SW_HIDE);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return r;
}

BOOL CLoginBkDlg::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE)) return TRUE;
    // F5 goes on to the main window, which refreshes the current game page;
    // the dialog manager would take it as this dialog's own key.
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_F5) return FALSE;
    return CDialog::PreTranslateMessage(pMsg);
}
