// The client's main window: up to three game pages as tabs, the tool bar,
// the account hand-over from the login window, and the orderly exit.
#pragma once
#include "skin/dlg_ex_win.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "html/login_dlg_win.h"
#include "mainwnd/hotkey_logic.h"

inline constexpr UINT WM_TRAYNOTIFY = WM_USER + 1;
inline constexpr UINT WM_ADDGAMEPAGE = WM_USER + 2;
inline constexpr UINT WM_TRAYMENU = WM_USER + 3;
inline constexpr UINT WM_HOTKEYSCHANGED = WM_USER + 4;
inline constexpr UINT WM_OPENLOGINPAGE = WM_USER + 6;
inline constexpr UINT WM_BOSSKEY = WM_USER + 10;  // the keyboard hook saw the boss key
inline constexpr LPARAM kSelfMarker = kSelfPostedMarker;

// Replies to an account hand-over (WM_COPYDATA).
inline constexpr LRESULT kHandOverDuplicate = 0;  // a page with this title is open
inline constexpr LRESULT kHandOverAccepted = 1;
inline constexpr LRESULT kHandOverFailed = 2;     // the game page could not be created

inline constexpr UINT TIMER_MUTE_POLL = 3;
inline constexpr UINT TIMER_RUNNING_TIME = 8;

struct PageLogin {
    std::wstring pauth;
    std::wstring ptusertype;
    std::wstring game;
};

extern int OpenPageCount;

class CHalvane3Dlg : public CDlgEx {
public:
    CHalvane3Dlg();
    ~CHalvane3Dlg() override;

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override { CloseAllPages(); }
    BOOL PreTranslateMessage(MSG* pMsg) override;

    void ShowLoginPage();
    void ShowPage(HWND page);
    void ClosePage(int index);
    void CloseAllPages();
    void ExitClient();
    void ToggleBossKey();
    void SwitchToNextPage();
    void BringToFront();

    int PageCount() const { return static_cast<int>(m_arrPageWnd.size()); }

    HICON m_hIcon = nullptr;
    CBtnEx m_btnBoss, m_btnMute, m_btnMenu, m_btnNewPage, m_btnRefresh, m_btnShot, m_btnService, m_btnCard,
        m_btnPay, m_btnMessage;
    CStaticEx m_stcAccount;
    int m_bMuted = 0;
    OSVERSIONINFOW m_osvi{};
    std::vector<HWND> m_arrPageWnd;
    std::vector<std::wstring> m_arrPageTitle;
    HIMAGELIST m_ilTab = nullptr;
    HIMAGELIST m_ilTabClose = nullptr;
    int m_nCurPage = 0;
    int m_nHoverPage = -1;
    int m_nHoverClose = -1;
    std::vector<DWORD> m_vecPageStart;
    std::vector<PageLogin> m_vecPageLogin;
    int m_bTipShown = 0;
    HWND m_tipTabs = nullptr;
    int m_bLeaveTracked = 0;
    CLoginBkDlg m_dlgLoginBk;

protected:
    LRESULT OnEraseBkgndMain(WPARAM, LPARAM);
    LRESULT OnPaintMain(WPARAM, LPARAM);
    LRESULT OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_hIcon); }
    LRESULT OnSizeMain(WPARAM, LPARAM);
    LRESULT OnWindowPosChanging(WPARAM, LPARAM);
    LRESULT OnNcHitTestMain(WPARAM, LPARAM);
    LRESULT OnMouseLeave(WPARAM, LPARAM);
    LRESULT OnNcMouseLeave(WPARAM, LPARAM);
    LRESULT OnLButtonDown(WPARAM, LPARAM);
    LRESULT OnNcLButtonDownMain(WPARAM, LPARAM);
    LRESULT OnLButtonUp(WPARAM, LPARAM);
    LRESULT OnMButtonUp(WPARAM, LPARAM);
    LRESULT OnNcLButtonUpMain(WPARAM, LPARAM);
    LRESULT OnNcMButtonUpMain(WPARAM, LPARAM);
    LRESULT OnLButtonDblClkMain(WPARAM, LPARAM);
    LRESULT OnNcLButtonDblClkMain(WPARAM, LPARAM);
    LRESULT OnSysCommand(WPARAM, LPARAM);
    LRESULT OnCopyData(WPARAM, LPARAM);
    LRESULT OnAddGamePage(WPARAM, LPARAM);
    LRESULT OnOpenLoginPage(WPARAM, LPARAM);
    LRESULT OnTrayNotify(WPARAM, LPARAM);
    LRESULT OnTrayMenu(WPARAM, LPARAM);
    LRESULT OnHotkeysChanged(WPARAM, LPARAM);
    LRESULT OnBossKey(WPARAM, LPARAM) {
        ToggleBossKey();
        return 0;
    }
    LRESULT OnTimer(WPARAM, LPARAM);
    void OnBoss() { ToggleBossKey(); }
    void OnMute();
    void OnMenu();
    void OnNewPage();
    void OnRefresh() { ::PostMessageW(m_hWnd, WM_KEYDOWN, VK_F5, kSelfMarker); }
    void OnShot();
    void OnService();
    void OnCard();
    void OnPay();
    void OnMessage();
    void OnAccount();
    DECLARE_MESSAGE_MAP()

private:
    void PaintTabs(HDC dc);
    void InvalidateTab(int i, bool closeBoxOnly);
    void InvalidateStrip(int tabs);
    void ResetHover();
    void MoveNewPageButton();
    void SetAccountLabel(const std::wstring& title);
    void RemovePageAt(int i);
    std::wstring OnlineRecordFor(int i) const;
    bool LeftButtonDown() const { return (::GetKeyState(VK_LBUTTON) & 0x8000) != 0; }

    // A page created by a hand-over whose WM_ADDGAMEPAGE has not come yet:
    // the four page lists take it only then, so they keep one length.
    struct PendingPage {
        CWnd* object;  // the page's window object (owned until added, as the pages are)
        HWND wnd;
        std::wstring title;
        DWORD start;
        PageLogin login;
    };
    std::vector<PendingPage> m_vecPendingPages;
    bool TitleOpen(const std::wstring& title) const;
    bool CloseTabOnRelease(POINT client, bool closeBoxOnly);

    DWORD m_dwLastNewPage = 0;
    int m_nRunningTicks = 0;
    int m_nMuteApplied = -1;  // state last given to the mute; -1 before the first tick
    int m_nMuteShown = 1;     // strip on the mute button: 1 muted
    int m_nLastWidth = 0;
    HBITMAP m_hbmStrips[12] = {};
    HBITMAP m_hbmAccount = nullptr;
};

extern CHalvane3Dlg* g_pMainDlg;
