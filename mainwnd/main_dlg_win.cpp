#include "mainwnd/main_dlg_win.h"

#include <new>

#include "app/halvane3_app_win.h"
#include "app/startup_trace.h"
#include "html/login_logic.h"
#include "mainwnd/game_wnd_win.h"
#include "mainwnd/hotkeys_win.h"
#include "mainwnd/page_logic.h"
#include "mainwnd/menus_win.h"
#include "mainwnd/sound_mute_win.h"
#include "res/resource.h"
#include "settings/settings_win.h"
#include "skin/message_box_win.h"
#include "skin/window_font_win.h"
#include "stats/beacons.h"
#include "stats/stats_win.h"
#include "tools/screenshot_win.h"

// The running-time timer's period; a test build shortens it.
#ifndef LUMENDOR_RUNNING_TIME_PERIOD
#define LUMENDOR_RUNNING_TIME_PERIOD 60000
#endif

CHalvane3Dlg* g_pMainDlg = nullptr;
int OpenPageCount = 0;

namespace {

// The tool-bar buttons: id, strip, hand cursor.
struct ToolButton {
    UINT id;
    UINT image;
    bool hand;
};
constexpr ToolButton kToolButtons[] = {
    {IDC_BOSS, IDB_TOOL_BOSS, false},       {IDC_MUTE, IDB_TOOL_MUTED, false},
    {IDC_MENU, IDB_TOOL_MENU, false},       {IDC_NEW_PAGE, IDB_TOOL_NEW_PAGE, true},
    {IDC_REFRESH, IDB_TOOL_REFRESH, false}, {IDC_SCREENSHOT, IDB_TOOL_SCREENSHOT, false},
    {IDC_SERVICE, IDB_TOOL_SERVICE, true},  {IDC_CARD, IDB_TOOL_CARD, true},
    {IDC_PAY, IDB_TOOL_PAY, true},          {IDC_MESSAGE, IDB_TOOL_MESSAGE, true},
};

HIMAGELIST ThreeFrames(UINT image) {
    HBITMAP strip = LoadSkinBitmap(CWinApp::ResourceHandle(), image);
    BITMAP bm{};
    if (!strip || !::GetObjectW(strip, sizeof bm, &bm)) return nullptr;
    HIMAGELIST list = ImageList_Create(bm.bmWidth / 3, bm.bmHeight, ILC_COLOR24 | ILC_MASK, 3, 0);
    ImageList_AddMasked(list, strip, RGB(255, 0, 255));
    ::DeleteObject(strip);
    return list;
}

// A tool's rectangle.
RECT Rc(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }

}  // namespace

BEGIN_MESSAGE_MAP(CHalvane3Dlg, CDlgEx)
    ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgndMain)
    ON_MESSAGE(WM_PAINT, OnPaintMain)
    ON_MESSAGE(WM_QUERYDRAGICON, OnQueryDragIcon)
    ON_MESSAGE(WM_SIZE, OnSizeMain)
    ON_MESSAGE(WM_WINDOWPOSCHANGING, OnWindowPosChanging)
    ON_MESSAGE(WM_NCHITTEST, OnNcHitTestMain)
    ON_MESSAGE(WM_MOUSELEAVE, OnMouseLeave)
    ON_MESSAGE(WM_NCMOUSELEAVE, OnNcMouseLeave)
    ON_MESSAGE(WM_LBUTTONDOWN, OnLButtonDown)
    ON_MESSAGE(WM_NCLBUTTONDOWN, OnNcLButtonDownMain)
    ON_MESSAGE(WM_LBUTTONUP, OnLButtonUp)
    ON_MESSAGE(WM_MBUTTONUP, OnMButtonUp)
    ON_MESSAGE(WM_NCLBUTTONUP, OnNcLButtonUpMain)
    ON_MESSAGE(WM_NCMBUTTONUP, OnNcMButtonUpMain)
    ON_MESSAGE(WM_LBUTTONDBLCLK, OnLButtonDblClkMain)
    ON_MESSAGE(WM_NCLBUTTONDBLCLK, OnNcLButtonDblClkMain)
    ON_MESSAGE(WM_SYSCOMMAND, OnSysCommand)
    ON_MESSAGE(WM_COPYDATA, OnCopyData)
    ON_MESSAGE(WM_ADDGAMEPAGE, OnAddGamePage)
    ON_MESSAGE(WM_OPENLOGINPAGE, OnOpenLoginPage)
    ON_MESSAGE(WM_TRAYNOTIFY, OnTrayNotify)
    ON_MESSAGE(WM_TRAYMENU, OnTrayMenu)
    ON_MESSAGE(WM_BOSSKEY, OnBossKey)
    ON_MESSAGE(WM_HOTKEYSCHANGED, OnHotkeysChanged)
    ON_MESSAGE(WM_TIMER, OnTimer)
    ON_COMMAND(IDC_BOSS, OnBoss)
    ON_COMMAND(IDC_MUTE, OnMute)
    ON_COMMAND(IDC_MENU, OnMenu)
    ON_COMMAND(IDC_NEW_PAGE, OnNewPage)
    ON_COMMAND(IDC_REFRESH, OnRefresh)
    ON_COMMAND(IDC_SCREENSHOT, OnShot)
    ON_COMMAND(IDC_SERVICE, OnService)
    ON_COMMAND(IDC_CARD, OnCard)
    ON_COMMAND(IDC_PAY, OnPay)
    ON_COMMAND(IDC_MESSAGE, OnMessage)
    ON_CONTROL(STN_CLICKED, IDC_ACCOUNT, OnAccount)
END_MESSAGE_MAP()

CHalvane3Dlg::CHalvane3Dlg() : CDlgEx(IDD_MAIN) {
    m_bCenterOnInit = false;
    m_hIcon = static_cast<HICON>(::LoadImageW(CWinApp::ResourceHandle(), MAKEINTRESOURCEW(IDI_MAINFRAME), IMAGE_ICON,
                                              0, 0, LR_DEFAULTSIZE | LR_SHARED));
    g_pMainDlg = this;
}

CHalvane3Dlg::~CHalvane3Dlg() {
    if (m_ilTab) ImageList_Destroy(m_ilTab);
    if (m_ilTabClose) ImageList_Destroy(m_ilTabClose);
    for (HBITMAP b : m_hbmStrips)
        if (b) ::DeleteObject(b);
    if (m_hbmAccount) ::DeleteObject(m_hbmAccount);
    if (g_pMainDlg == this) g_pMainDlg = nullptr;
}

BOOL CHalvane3Dlg::OnInitDialog() {
    STARTUP_MARK("main window created");
    CDlgEx::OnInitDialog();
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    STARTUP_MARK("main window's skinned-dialog start and icon");
    InstallKeyboardHook(CWinApp::ResourceHandle());
    STARTUP_MARK("keyboard hook");
    m_osvi.dwOSVersionInfoSize = 276;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ::GetVersionExW(&m_osvi);
#pragma GCC diagnostic pop

    const HINSTANCE module = CWinApp::ResourceHandle();
    ::SetWindowLongW(m_hWnd, GWL_STYLE, ::GetWindowLongW(m_hWnd, GWL_STYLE) | WS_CLIPCHILDREN);
    ::SetWindowTextW(m_hWnd, DisplayName);
    m_nCaptionHeight = 30;
    m_nBorder = 4;
    m_nButtonRightMargin = 0;
    m_nButtonTop = 0;
    m_nTitleWeight = 600;
    m_bResizable = 1;
    HBITMAP close = LoadSkinBitmap(module, IDB_SKIN_CLOSE), minimize = LoadSkinBitmap(module, IDB_SKIN_MINIMIZE);
    SetSkin(LoadSkinBitmap(module, IDB_SKIN_MAIN), FALSE, TRUE, minimize, LoadSkinBitmap(module, IDB_SKIN_MAXIMIZE),
            LoadSkinBitmap(module, IDB_SKIN_RESTORE), close);
    ::DeleteObject(close);
    ::DeleteObject(minimize);
    STARTUP_MARK("main window's skin: five images and the region");
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 1, 1, SWP_NOZORDER | SWP_NOACTIVATE);

    CBtnEx* buttons[] = {&m_btnBoss,    &m_btnMute, &m_btnMenu, &m_btnNewPage, &m_btnRefresh,
                         &m_btnShot,    &m_btnService, &m_btnCard, &m_btnPay, &m_btnMessage};
    for (std::size_t i = 0; i < std::size(kToolButtons); ++i) {
        CBtnEx& b = *buttons[i];
        b.SubclassDlgItem(kToolButtons[i].id, this);
        m_hbmStrips[i] = LoadSkinBitmap(module, kToolButtons[i].image);
        b.SetImage(m_hbmStrips[i], true);
        b.SetHandCursor(kToolButtons[i].hand);
    }
    m_hbmStrips[10] = LoadSkinBitmap(module, IDB_TOOL_SOUND);
    STARTUP_MARK("tool buttons: eleven images");
    m_stcAccount.SubclassDlgItem(IDC_ACCOUNT, this);
    m_hbmAccount = LoadSkinBitmap(module, IDB_ACCOUNT_LABEL);
    m_stcAccount.SetImage(m_hbmAccount);
    m_stcAccount.m_clrNormal = RGB(148, 148, 148);
    ::SetWindowLongW(m_stcAccount.m_hWnd, GWL_STYLE, ::GetWindowLongW(m_stcAccount.m_hWnd, GWL_STYLE) | SS_NOTIFY);

    m_ilTab = ThreeFrames(IDB_TABS);
    m_ilTabClose = ThreeFrames(IDB_TAB_CLOSE);
    STARTUP_MARK("account label and tab images");

    m_tipTabs = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr, nullptr, nullptr);
    if (m_tipTabs) {
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.hwnd = m_hWnd;
        ti.uId = 0;
        ti.lpszText = const_cast<wchar_t*>(L"");
        ::GetClientRect(m_hWnd, &ti.rect);
        ti.rect.right = ti.rect.bottom = 0x7FFF;
        ::SendMessageW(m_tipTabs, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
        ::SendMessageW(m_tipTabs, TTM_SETDELAYTIME, TTDT_AUTOMATIC, 500);
    }

    m_dlgLoginBk.Create(IDD_BLANK, this);
    STARTUP_MARK("login window");
    ReloadHotkeys();
    STARTUP_MARK("hotkeys");
    ShowLoginPage();
    STARTUP_MARK("login window shown");
    ::SetTimer(m_hWnd, TIMER_RUNNING_TIME, LUMENDOR_RUNNING_TIME_PERIOD, nullptr);
    return TRUE;
}

// --- pages -------------------------------------------------------------------

void CHalvane3Dlg::ShowLoginPage() {
    OpenPageCount = PageCount();
    if (!m_dlgLoginBk.m_hWnd) return;
    ::ShowWindow(m_dlgLoginBk.m_hWnd, SW_SHOW);
    RECT desk{}, self{};
    ::GetWindowRect(::GetDesktopWindow(), &desk);
    ::GetWindowRect(m_dlgLoginBk.m_hWnd, &self);
    const int w = self.right - self.left, h = self.bottom - self.top;
    ::SetWindowPos(m_dlgLoginBk.m_hWnd, nullptr, desk.left + (desk.right - desk.left - w) / 2,
                   desk.top + (desk.bottom - desk.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CHalvane3Dlg::SetAccountLabel(const std::wstring& title) {
    m_stcAccount.SetText(AccountLabelText(AccountOfTitle(title)));
}

void CHalvane3Dlg::ShowPage(HWND page) {
    RECT r{};
    ::GetWindowRect(m_hWnd, &r);
    for (std::size_t i = 0; i < m_arrPageWnd.size(); ++i) {
        HWND w = m_arrPageWnd[i];
        if (w != page) {
            ::ShowWindow(w, SW_HIDE);
            continue;
        }
        ::MoveWindow(w, r.left + 4, r.top + 65, (r.right - r.left) - 8, (r.bottom - r.top) - 69, TRUE);
        ::ShowWindow(w, SW_SHOW);
        ::SetForegroundWindow(w);
        if (i < m_arrPageTitle.size()) SetAccountLabel(m_arrPageTitle[i]);
    }
}

bool CHalvane3Dlg::TitleOpen(const std::wstring& title) const {
    for (const std::wstring& open : m_arrPageTitle)
        if (open == title) return true;
    for (const PendingPage& pending : m_vecPendingPages)
        if (pending.title == title) return true;
    return false;
}

LRESULT CHalvane3Dlg::OnCopyData(WPARAM, LPARAM lParam) {
    const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (!cds || !cds->lpData || cds->cbData < sizeof(wchar_t)) return kHandOverDuplicate;
    std::wstring record(static_cast<const wchar_t*>(cds->lpData), cds->cbData / sizeof(wchar_t));
    if (auto nul = record.find(L'\0'); nul != std::wstring::npos) record.resize(nul);
    const LoginRecordFields f = ParseLoginRecord(record);

    if (TitleOpen(f.title)) return kHandOverDuplicate;  // this account is already playing on this server

    // The page first: a hand-over whose page cannot be made records and
    // reports nothing.
    auto* page = new (std::nothrow) CGameWnd(GameUrl);
    if (!page) return kHandOverFailed;
    if (!page->Create(IDD_BLANK, this) || !page->m_hWnd) {
        if (page->m_hWnd) page->DestroyWindow();
        delete page;
        return kHandOverFailed;
    }
    m_vecPendingPages.push_back({page, page->m_hWnd, f.title, ::GetTickCount(), {f.pauth, f.userType, f.game}});
    SetAccountLabel(f.title);
    ::InvalidateRect(m_stcAccount.m_hWnd, nullptr, FALSE);

    const int held = static_cast<int>(m_arrPageTitle.size() + m_vecPendingPages.size());
    RunUrlWorker(LoginStatsUrl(AccountOfTitle(f.title), held), 512);
    RunUrlWorker(FormatRegEvent(L"305", L"游戏框"), 2048);
    ::PostMessageW(m_hWnd, WM_ADDGAMEPAGE, reinterpret_cast<WPARAM>(page->m_hWnd), 0);
    return kHandOverAccepted;
}

LRESULT CHalvane3Dlg::OnAddGamePage(WPARAM wParam, LPARAM) {
    // Only a page this window made and has not added yet; the message can
    // come from any process.
    HWND page = reinterpret_cast<HWND>(wParam);
    auto pending = [this, page] {
        auto it = m_vecPendingPages.begin();
        while (it != m_vecPendingPages.end() && it->wnd != page) ++it;
        return it;
    };
    auto it = pending();
    if (!page || it == m_vecPendingPages.end()) return 0;
    if (!::IsWindow(page) || CWnd::FromHandlePermanent(page) != it->object) {
        auto* object = it->object;
        m_vecPendingPages.erase(it);
        if (object && !object->m_hWnd) delete object;  // its window is gone
        return 0;
    }
    // The page stays pending until it is a tab. The window work below waits
    // on other programs (the tray icon is sent to the shell), and a hand-over
    // arriving meanwhile must still find this account open and count it.

    if (m_arrPageWnd.empty()) {
        RECT r{};
        ::GetWindowRect(m_hWnd, &r);
        if (r.right - r.left > 1 && m_bMaximized) {
            RECT work{};
            ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
            ::MoveWindow(m_hWnd, work.left, work.top, work.right - work.left, work.bottom - work.top, TRUE);
        } else {
            ToggleMaximize();
        }
        SetTrayIcon(*this);
        ::SetTimer(m_hWnd, TIMER_MUTE_POLL, 400, nullptr);
    }
    ShowPage(nullptr);
    it = pending();  // hand-overs meanwhile may have moved it
    if (it == m_vecPendingPages.end()) return 0;
    PendingPage added = std::move(*it);
    m_vecPendingPages.erase(it);
    m_arrPageWnd.push_back(page);
    m_arrPageTitle.push_back(std::move(added.title));
    m_vecPageStart.push_back(added.start);
    m_vecPageLogin.push_back(std::move(added.login));
    m_nCurPage = PageCount() - 1;
    MoveNewPageButton();
    InvalidateStrip(PageCount());
    return 0;
}

void CHalvane3Dlg::MoveNewPageButton() {
    const TabBox b = NewPageButtonRect(PageCount());
    if (m_btnNewPage.m_hWnd)
        ::SetWindowPos(m_btnNewPage.m_hWnd, nullptr, b.left, b.top, b.right - b.left, b.bottom - b.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
}

void CHalvane3Dlg::InvalidateStrip(int tabs) {
    RECT strip{kTabLeft, 3, kTabLeft + kTabWidth * tabs, 25};
    ::InvalidateRect(m_hWnd, &strip, TRUE);
}

void CHalvane3Dlg::InvalidateTab(int i, bool closeBoxOnly) {
    if (i < 0) return;
    const TabBox b = closeBoxOnly ? TabCloseRect(i) : TabRect(i);
    RECT r{b.left, b.top, b.right, b.bottom};
    ::InvalidateRect(m_hWnd, &r, TRUE);
}

void CHalvane3Dlg::ResetHover() {
    m_nHoverPage = -1;
    m_nHoverClose = -1;
}

std::wstring CHalvane3Dlg::OnlineRecordFor(int i) const {
    const DWORD seconds = (::GetTickCount() - m_vecPageStart[static_cast<std::size_t>(i)]) / 1000;
    return OnlineRecordUrl(m_vecPageLogin[static_cast<std::size_t>(i)].game,
                           ServerOfTitle(m_arrPageTitle[static_cast<std::size_t>(i)]), static_cast<long>(seconds));
}

void CHalvane3Dlg::RemovePageAt(int i) {
    m_arrPageWnd.erase(m_arrPageWnd.begin() + i);
    m_arrPageTitle.erase(m_arrPageTitle.begin() + i);
    m_vecPageLogin.erase(m_vecPageLogin.begin() + i);
    m_vecPageStart.erase(m_vecPageStart.begin() + i);
}

void CHalvane3Dlg::ClosePage(int i) {
    if (i < 0 || i >= PageCount()) return;
    RunUrlWorker(OnlineRecordFor(i), kOnlineAddressCapacity);
    RunUrlWorker(FormatRegEvent(L"306", L"关闭游戏框"), 2048);
    HWND closed = m_arrPageWnd[static_cast<std::size_t>(i)];
    RemovePageAt(i);
    if (m_arrPageWnd.empty()) {
        ResetHover();
        if (CWnd* page = CWnd::FromHandlePermanent(closed)) {
            page->DestroyWindow();
            delete page;
        } else {
            ::DestroyWindow(closed);
        }
        CloseAllPages();
        return;
    }
    const int n = PageCount();
    m_nCurPage = i < n - 1 ? i : n - 1;
    ShowPage(m_arrPageWnd[static_cast<std::size_t>(m_nCurPage)]);
    MoveNewPageButton();
    if (CWnd* page = CWnd::FromHandlePermanent(closed)) {
        page->DestroyWindow();
        delete page;
    } else {
        ::DestroyWindow(closed);
    }
    ResetHover();
    RECT strip{kTabLeft, 3, 306 + kTabWidth * n, 25};
    ::InvalidateRect(m_hWnd, &strip, TRUE);
}

void CHalvane3Dlg::CloseAllPages() {
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    while (!m_arrPageWnd.empty()) {
        {
            CKeyboardHookPause noHookWhileSending;
            SendDirect(OnlineRecordFor(0).c_str());
            SendDirect(FormatRegEvent(L"306", L"关闭游戏框").c_str());
        }
        HWND closed = m_arrPageWnd.front();
        RemovePageAt(0);
        if (CWnd* page = CWnd::FromHandlePermanent(closed)) {
            page->DestroyWindow();
            delete page;
        } else {
            ::DestroyWindow(closed);
        }
        if (m_nCurPage >= PageCount()) m_nCurPage = PageCount() > 0 ? PageCount() - 1 : 0;
        MoveNewPageButton();
        ResetHover();
        InvalidateStrip(PageCount() + 1);
    }
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 2, 1, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowLoginPage();
}

void CHalvane3Dlg::ExitClient() {
    RemoveKeyboardHook();
    for (std::size_t i = 0; i < m_arrPageWnd.size(); ++i) {
        SendDirect(OnlineRecordFor(static_cast<int>(i)).c_str());
        HWND page = m_arrPageWnd[i];
        ::SetParent(page, nullptr);
        ::ShowWindow(page, SW_HIDE);
        ::PostMessageW(page, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    DeleteTrayIcon(*this);
    ::PostQuitMessage(0);
}

LRESULT CHalvane3Dlg::OnOpenLoginPage(WPARAM wParam, LPARAM) {
    if (wParam != 1) return 0;
    if (PageCount() < kMaxPages) ShowLoginPage();
    else ShowMessage(0, L"登录器只支持3个游戏页", nullptr);
    return 0;
}

void CHalvane3Dlg::OnNewPage() {
    const DWORD now = ::GetTickCount();
    if (m_dwLastNewPage != 0 && now - m_dwLastNewPage < 1500) return;
    m_dwLastNewPage = now;
    ::PostMessageW(m_hWnd, WM_OPENLOGINPAGE, 1, 0);
}

void CHalvane3Dlg::OnMute() { m_bMuted = !m_bMuted; }
void CHalvane3Dlg::OnMenu() { ShowMainMenu(*this); }
void CHalvane3Dlg::OnShot() { OpenScreenshotTool(*this); }
void CHalvane3Dlg::OnService() { OpenPortalLink(*this, 5); }
void CHalvane3Dlg::OnCard() { OpenPortalLink(*this, 4); }
void CHalvane3Dlg::OnPay() { OpenPortalLink(*this, 3); }
void CHalvane3Dlg::OnMessage() { OpenPortalLink(*this, 2); }
void CHalvane3Dlg::OnAccount() { OpenPortalLink(*this, 1); }

LRESULT CHalvane3Dlg::OnTrayNotify(WPARAM, LPARAM lParam) {
    if (lParam == WM_LBUTTONUP) ToggleBossKey();
    else if (lParam == WM_RBUTTONUP) ::PostMessageW(m_hWnd, WM_TRAYMENU, 0, 0);
    return 0;
}

LRESULT CHalvane3Dlg::OnTrayMenu(WPARAM, LPARAM) {
    ShowTrayMenu(*this);
    return 0;
}

LRESULT CHalvane3Dlg::OnHotkeysChanged(WPARAM, LPARAM) {
    ReloadHotkeys();
    return 0;
}

LRESULT CHalvane3Dlg::OnTimer(WPARAM wParam, LPARAM lParam) {
    if (wParam == TIMER_RUNNING_TIME) {
        WriteSetting(Keys::RunningTime, std::to_wstring(m_nRunningTicks));
        if (++m_nRunningTicks >= 16) ::KillTimer(m_hWnd, TIMER_RUNNING_TIME);
        return 0;
    }
    if (wParam == TIMER_MUTE_POLL) {
        if (m_nMuteApplied == -1) m_nMuteApplied = !m_bMuted;
        if (m_bMuted != m_nMuteApplied) {
            m_nMuteApplied = m_bMuted;
            ApplyMute(m_bMuted != 0);
        }
        if (m_bMuted != m_nMuteShown) {
            m_nMuteShown = m_bMuted;
            m_btnMute.SetImage(m_bMuted ? m_hbmStrips[1] : m_hbmStrips[10], true);
            ::InvalidateRect(m_btnMute.m_hWnd, nullptr, FALSE);
        }
        return 0;
    }
    return DefWindowProc(WM_TIMER, wParam, lParam);
}

// --- layout and painting -------------------------------------------------------

LRESULT CHalvane3Dlg::OnSizeMain(WPARAM wParam, LPARAM lParam) {
    const int cx = LOWORD(lParam);
    if (PageCount() > 0 && wParam != SIZE_MINIMIZED) {
        RECT client{};
        ::GetClientRect(m_hWnd, &client);
        ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
        ::SetWindowPos(m_arrPageWnd[static_cast<std::size_t>(m_nCurPage)], nullptr, client.left + 4, client.top + 65,
                       (client.right - client.left) - 8, (client.bottom - client.top) - 69,
                       SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    }
    OnSize(wParam, lParam);
    if (cx != m_nLastWidth && m_btnBoss.m_hWnd) {
        const struct {
            CWnd* w;
            RECT r;
        } places[] = {
            {&m_btnBoss, Rc(cx - 170, 0, 53, 25)},    {&m_btnMenu, Rc(cx - 117, 0, 29, 25)},
            {&m_btnMute, Rc(10, 36, 56, 23)},         {&m_btnRefresh, Rc(66, 36, 57, 23)},
            {&m_btnShot, Rc(123, 36, 63, 23)},        {&m_btnService, Rc(cx - 75, 36, 60, 23)},
            {&m_btnCard, Rc(cx - 135, 36, 60, 23)},   {&m_btnPay, Rc(cx - 195, 36, 60, 23)},
            {&m_btnMessage, Rc(cx - 255, 36, 60, 23)}, {&m_stcAccount, Rc(cx - 360, 40, 100, 16)},
        };
        for (const auto& p : places)
            ::SetWindowPos(p.w->m_hWnd, nullptr, p.r.left, p.r.top, p.r.right - p.r.left, p.r.bottom - p.r.top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
        MoveNewPageButton();
        for (CBtnEx* b : {&m_btnBoss, &m_btnMute, &m_btnRefresh, &m_btnShot, &m_btnService, &m_btnCard, &m_btnPay,
                          &m_btnMessage, &m_btnMenu, &m_btnNewPage})
            ::InvalidateRect(b->m_hWnd, nullptr, TRUE);
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
        RedrawCaptionButtons();
    }
    if (m_osvi.dwMajorVersion < 6 && cx < m_nLastWidth) {
        RECT r{};
        ::GetWindowRect(m_hWnd, &r);
        RECT corner{r.right - 4, r.top, r.right, r.top + 4};
        ::RedrawWindow(::GetDesktopWindow(), &corner, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
    }
    m_nLastWidth = cx;
    return 0;
}

LRESULT CHalvane3Dlg::OnWindowPosChanging(WPARAM wParam, LPARAM lParam) {
    auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
    const int n = PageCount();
    if (n > 0 && pos && (pos->flags & (SWP_NOSIZE | SWP_NOMOVE)) != (SWP_NOSIZE | SWP_NOMOVE)) {
        // A drag by the caption proposes a position without a size, a
        // resize may propose a size without a position: the part that is
        // not proposed is the window's own.
        RECT now{};
        ::GetWindowRect(m_hWnd, &now);
        const bool sized = !(pos->flags & SWP_NOSIZE), moved = !(pos->flags & SWP_NOMOVE);
        const int x = moved ? pos->x : now.left, y = moved ? pos->y : now.top;
        const int cx = sized ? pos->cx : now.right - now.left, cy = sized ? pos->cy : now.bottom - now.top;
        if (sized) {
            const MainSize size = ClampMainSize(cx, cy, n);
            if (size.raised) {
                pos->cx = size.cx;
                pos->cy = size.cy;
                return 0;
            }
        }
        if (m_nCurPage >= 0 && static_cast<std::size_t>(m_nCurPage) < m_arrPageWnd.size())
            ::SetWindowPos(m_arrPageWnd[static_cast<std::size_t>(m_nCurPage)], nullptr, x + 4, y + 65, cx - 8,
                           cy - 69, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    }
    return DefWindowProc(WM_WINDOWPOSCHANGING, wParam, lParam);
}

LRESULT CHalvane3Dlg::OnEraseBkgndMain(WPARAM wParam, LPARAM) {
    if (!m_bmpBackground) return 0;
    HDC target = reinterpret_cast<HDC>(wParam);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    const int W = client.right > 0 ? client.right : 1, H = client.bottom > 0 ? client.bottom : 1;
    PaintFramed(target, W, H, [this](HDC mem) { PaintTabs(mem); });
    return 1;
}

void CHalvane3Dlg::PaintTabs(HDC dc) {
    const LOGFONTW lf = WindowFontAt(m_hWnd, -12);
    HFONT font = ::CreateFontIndirectW(&lf);
    HGDIOBJ oldFont = ::SelectObject(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    for (int i = 0; i < PageCount(); ++i) {
        const TabBox tab = TabRect(i);
        const int frame = i == m_nCurPage ? 2 : (i == m_nHoverPage ? 1 : 0);
        if (m_ilTab) ImageList_Draw(m_ilTab, frame, dc, tab.left, tab.top, ILD_TRANSPARENT);
        if (i == m_nHoverPage && m_nHoverClose >= 0 && m_ilTabClose) {
            const TabBox box = TabCloseRect(i);
            ImageList_Draw(m_ilTabClose, m_nHoverClose, dc, box.left, box.top, ILD_TRANSPARENT);
        }
        const std::wstring& title = m_arrPageTitle[static_cast<std::size_t>(i)];
        SIZE extent{};
        ::GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &extent);
        const std::wstring shown = TabTitleText(title, extent.cx);
        const TabBox t = TabTitleRect(i);
        RECT rt{t.left, t.top, t.right, t.bottom};
        ::SetTextColor(dc, i == m_nCurPage ? RGB(204, 204, 204) : RGB(153, 153, 153));
        ::DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &rt, DT_SINGLELINE);
    }
    ::SelectObject(dc, oldFont);
    ::DeleteObject(font);
}

LRESULT CHalvane3Dlg::OnPaintMain(WPARAM wParam, LPARAM lParam) {
    if (::IsIconic(m_hWnd)) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(m_hWnd, &ps);
        RECT client{};
        ::GetClientRect(m_hWnd, &client);
        const int cx = ::GetSystemMetrics(SM_CXICON), cy = ::GetSystemMetrics(SM_CYICON);
        ::DrawIcon(dc, (client.right - cx + 1) / 2, (client.bottom - cy + 1) / 2, m_hIcon);
        ::EndPaint(m_hWnd, &ps);
        return 0;
    }
    return DefWindowProc(WM_PAINT, wParam, lParam);
}

// --- the tab strip's mouse ------------------------------------------------------

LRESULT CHalvane3Dlg::OnNcHitTestMain(WPARAM wParam, LPARAM lParam) {
    const LRESULT hit = OnNcHitTest(wParam, lParam);
    POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ::ScreenToClient(m_hWnd, &pt);
    const int c = TabAtPoint(pt.x, pt.y, PageCount());
    if (c >= 0) {
        if (!m_bTipShown && m_tipTabs) {
            TOOLINFOW ti{};
            ti.cbSize = sizeof ti;
            ti.hwnd = m_hWnd;
            ti.uId = 0;
            ti.lpszText = const_cast<wchar_t*>(m_arrPageTitle[static_cast<std::size_t>(c)].c_str());
            ::SendMessageW(m_tipTabs, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
            ::SendMessageW(m_tipTabs, TTM_ACTIVATE, TRUE, 0);
            m_bTipShown = 1;
        } else if (m_bTipShown && c != m_nHoverPage && m_tipTabs) {
            ::SendMessageW(m_tipTabs, TTM_ACTIVATE, FALSE, 0);
        }
        int state = TabCloseHoverState(pt.x, pt.y, c, LeftButtonDown());
        if (state > 0 && m_tipTabs) ::SendMessageW(m_tipTabs, TTM_ACTIVATE, FALSE, 0);
        if (c != m_nHoverPage || state != m_nHoverClose) {
            InvalidateTab(m_nHoverPage, m_nHoverPage == c);
            const bool tabChanged = c != m_nHoverPage;
            m_nHoverPage = c;
            m_nHoverClose = state;
            if (tabChanged) InvalidateTab(c, false);
        }
        if (!m_bLeaveTracked && hit != HTCAPTION) {
            TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, m_hWnd, 0};
            m_bLeaveTracked = ::TrackMouseEvent(&tme) ? 1 : 0;
        }
    } else {
        if (m_nHoverPage >= 0) InvalidateTab(m_nHoverPage, false);
        ResetHover();
        m_bTipShown = 0;
        if (m_tipTabs) ::SendMessageW(m_tipTabs, TTM_ACTIVATE, FALSE, 0);
    }
    return hit;
}

LRESULT CHalvane3Dlg::OnMouseLeave(WPARAM wParam, LPARAM lParam) {
    InvalidateTab(m_nHoverPage, false);
    ResetHover();
    m_bLeaveTracked = 0;
    return DefWindowProc(WM_MOUSELEAVE, wParam, lParam);
}

LRESULT CHalvane3Dlg::OnNcMouseLeave(WPARAM wParam, LPARAM lParam) {
    InvalidateTab(m_nHoverPage, false);
    ResetHover();
    return DefWindowProc(WM_NCMOUSELEAVE, wParam, lParam);
}

LRESULT CHalvane3Dlg::OnLButtonDown(WPARAM wParam, LPARAM lParam) {
    const int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
    const int c = TabAtPoint(x, y, PageCount());
    if (c >= 0) {
        if (c != m_nCurPage) {
            const int old = m_nCurPage;
            m_nCurPage = c;
            ShowPage(m_arrPageWnd[static_cast<std::size_t>(c)]);
            InvalidateTab(old, false);
            InvalidateTab(c, false);
        }
        if (TabClosePress(x, y, c)) {
            m_nHoverPage = c;
            m_nHoverClose = 2;
            InvalidateTab(c, true);
        }
        return 0;
    }
    return DefWindowProc(WM_LBUTTONDOWN, wParam, lParam);
}

LRESULT CHalvane3Dlg::OnNcLButtonDownMain(WPARAM wParam, LPARAM lParam) {
    POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ::ScreenToClient(m_hWnd, &pt);
    if (TabAtPoint(pt.x, pt.y, PageCount()) >= 0) return OnLButtonDown(0, MAKELPARAM(pt.x, pt.y));
    return OnNcLButtonDown(wParam, lParam);
}

// A button released on the strip: the left button closes the tab whose
// close box it is over, the middle button the tab it is over. True when a
// tab was closed.
bool CHalvane3Dlg::CloseTabOnRelease(POINT client, bool closeBoxOnly) {
    const int c = TabAtPoint(client.x, client.y, PageCount());
    if (c < 0 || (closeBoxOnly && !TabCloseRelease(client.x, client.y, c))) return false;
    ClosePage(c);
    return true;
}

LRESULT CHalvane3Dlg::OnLButtonUp(WPARAM wParam, LPARAM lParam) {
    const POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    return CloseTabOnRelease(pt, true) ? 0 : DefWindowProc(WM_LBUTTONUP, wParam, lParam);
}

LRESULT CHalvane3Dlg::OnMButtonUp(WPARAM wParam, LPARAM lParam) {
    const POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    return CloseTabOnRelease(pt, false) ? 0 : DefWindowProc(WM_MBUTTONUP, wParam, lParam);
}

// While the window is not maximized the strip answers the hit test as
// caption: its releases come as non-client messages, in screen coordinates.
LRESULT CHalvane3Dlg::OnNcLButtonUpMain(WPARAM wParam, LPARAM lParam) {
    POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ::ScreenToClient(m_hWnd, &pt);
    return CloseTabOnRelease(pt, true) ? 0 : DefWindowProc(WM_NCLBUTTONUP, wParam, lParam);
}

LRESULT CHalvane3Dlg::OnNcMButtonUpMain(WPARAM wParam, LPARAM lParam) {
    POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ::ScreenToClient(m_hWnd, &pt);
    return CloseTabOnRelease(pt, false) ? 0 : DefWindowProc(WM_NCMBUTTONUP, wParam, lParam);
}

LRESULT CHalvane3Dlg::OnLButtonDblClkMain(WPARAM wParam, LPARAM lParam) {
    if (TabAtPoint(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)), PageCount()) >= 0) return 0;
    return OnLButtonDblClk(wParam, lParam);
}

LRESULT CHalvane3Dlg::OnNcLButtonDblClkMain(WPARAM wParam, LPARAM lParam) {
    POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ::ScreenToClient(m_hWnd, &pt);
    if (TabAtPoint(pt.x, pt.y, PageCount()) >= 0) return 0;
    return OnNcLButtonDblClk(wParam, lParam);
}

LRESULT CHalvane3Dlg::OnSysCommand(WPARAM wParam, LPARAM lParam) {
    const LRESULT r = DefWindowProc(WM_SYSCOMMAND, wParam, lParam);
    if ((wParam & 0xFFF0) == SC_RESTORE && PageCount() > 0) {
        // Let the game repaint at once. The page's browser is its direct
        // child: no frame window stands between them here.
        HWND w = m_arrPageWnd[static_cast<std::size_t>(m_nCurPage)];
        for (const wchar_t* cls : {L"Shell Embedding", L"Shell DocObject View",
                                   L"Internet Explorer_Server", L"MacromediaFlashPlayerActiveX"}) {
            HWND next = ::FindWindowExW(w, nullptr, cls, L"");
            if (!next) break;
            w = next;
            if (std::wstring(cls) == L"Internet Explorer_Server" || std::wstring(cls) == L"MacromediaFlashPlayerActiveX")
                ::InvalidateRect(w, nullptr, TRUE);
        }
    }
    return r;
}

BOOL CHalvane3Dlg::PreTranslateMessage(MSG* pMsg) {
    const int n = PageCount();
    if ((pMsg->message == WM_KEYDOWN || pMsg->message == WM_SYSKEYDOWN) && pMsg->lParam != kSelfMarker &&
        IsWindowSwitchKey(*pMsg)) {
        SwitchToNextPage();
        return TRUE;
    }
    if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_ESCAPE || pMsg->wParam == VK_SPACE)) return TRUE;
    if (pMsg->message == WM_SYSCOMMAND && (pMsg->wParam & 0xFFF0) == SC_CLOSE) {
        if (pMsg->lParam == kSelfMarker) {
            if (n == 0) ExitClient();
            else if (m_dlgLoginBk.m_hWnd) ::ShowWindow(m_dlgLoginBk.m_hWnd, SW_HIDE);
            return TRUE;
        }
        if (pMsg->lParam == 0 && n == 0) {
            ExitClient();
            return TRUE;
        }
    }
    const bool ctrlD = pMsg->message == WM_CHAR && pMsg->wParam == 4 && pMsg->lParam >= 0x200000 &&
                       pMsg->lParam <= 0x20FFFF;
    const bool f5 = pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_F5 && n > 0;
    if (ctrlD || f5) {
        if (n > 0) {
            HWND page = m_arrPageWnd[static_cast<std::size_t>(m_nCurPage)];
            if (::IsWindowVisible(page)) ::PostMessageW(page, pMsg->message, pMsg->wParam, pMsg->lParam);
        }
        return TRUE;
    }
    if (pMsg->message == WM_SYSCOMMAND && (pMsg->wParam & 0xFFF0) == SC_RESTORE && n == 0)
        ::ShowWindow(m_hWnd, SW_RESTORE);
    if (m_tipTabs) ::SendMessageW(m_tipTabs, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(pMsg));
    return CDlgEx::PreTranslateMessage(pMsg);
}
