// Our dialog framework: message maps, the modal loop and its walk of
// PreTranslateMessage up the owner chain, control subclassing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/wnd_win.h"
#include "res/resource.h"

namespace {

constexpr UINT WM_TEST_END = WM_APP + 1;
constexpr UINT WM_TEST_PING = WM_USER + 5;
constexpr UINT WM_TEST_WALK = WM_APP + 2;
constexpr UINT kCustomCommand = 1234;

std::vector<std::string> g_trace;

class COwnerDlg : public CDialog {
public:
    COwnerDlg() : CDialog(IDD_BLANK) {}
    BOOL PreTranslateMessage(MSG* pMsg) override {
        if (pMsg->message == WM_TEST_WALK || pMsg->message == WM_KEYDOWN) {
            g_trace.push_back("owner");
            if (pMsg->wParam == 2) return TRUE;  // the owner swallows 2
        }
        return CDialog::PreTranslateMessage(pMsg);
    }
};

class CModalDlg : public CDialog {
public:
    explicit CModalDlg(CWnd* owner) : CDialog(IDD_BLANK, owner) {}

    std::vector<UINT> m_toPost;  // posted to itself, in order, at initialisation
    bool m_ownerDisabledWhileModal = false;
    bool m_customRan = false;
    RECT m_rcAtEnd{};

    BOOL OnInitDialog() override {
        for (UINT msg : m_toPost) {
            if (msg == WM_QUIT) ::PostQuitMessage(5);
            else if (msg == WM_COMMAND) ::PostMessageW(m_hWnd, WM_COMMAND, kCustomCommand, 0);
            else if (msg == IDCANCEL) ::PostMessageW(m_hWnd, WM_COMMAND, IDCANCEL, 0);
            else if (msg == WM_TEST_WALK) {
                ::PostMessageW(m_hWnd, WM_TEST_WALK, 1, 0);
                ::PostMessageW(m_hWnd, WM_TEST_WALK, 2, 0);
                ::PostMessageW(m_hWnd, WM_KEYDOWN, 'A', 0);
            } else ::PostMessageW(m_hWnd, msg, 0, 0);
        }
        return TRUE;
    }
    BOOL PreTranslateMessage(MSG* pMsg) override {
        if (pMsg->message == WM_TEST_WALK || pMsg->message == WM_KEYDOWN) g_trace.push_back("modal");
        return CDialog::PreTranslateMessage(pMsg);
    }
    LRESULT OnTestEnd(WPARAM, LPARAM) {
        if (m_pParentWnd) m_ownerDisabledWhileModal = !::IsWindowEnabled(m_pParentWnd->m_hWnd);
        ::GetWindowRect(m_hWnd, &m_rcAtEnd);
        EndDialog(42);
        return 0;
    }
    LRESULT OnKeyDown(WPARAM wParam, LPARAM) {
        g_trace.push_back(std::string("key ") + static_cast<char>(wParam));
        return 0;
    }
    LRESULT OnWalk(WPARAM wParam, LPARAM) {
        g_trace.push_back("dispatched " + std::to_string(wParam));
        return 0;
    }
    void OnCustom() { m_customRan = true; }

protected:
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CModalDlg, CDialog)
    ON_MESSAGE(WM_TEST_END, OnTestEnd)
    ON_MESSAGE(WM_KEYDOWN, OnKeyDown)
    ON_MESSAGE(WM_TEST_WALK, OnWalk)
    ON_COMMAND(kCustomCommand, OnCustom)
END_MESSAGE_MAP()

TEST(ModalLoop, WalksPreTranslateUpTheOwnerChainAndEndsWithItsCode) {
    g_trace.clear();
    COwnerDlg owner;
    ASSERT_TRUE(owner.Create());
    ::ShowWindow(owner.m_hWnd, SW_SHOW);
    CModalDlg modal(&owner);
    modal.m_toPost = {WM_TEST_WALK, WM_TEST_END};
    EXPECT_EQ(modal.DoModal(), 42);
    // 1: the modal dialog, its owner, then dispatched; 2: swallowed by the
    // owner; a key: taken by the modal dialog's keyboard handling, which
    // dispatches it itself.
    EXPECT_EQ(g_trace, (std::vector<std::string>{"modal", "owner", "dispatched 1", "modal", "owner", "modal",
                                                 "key A"}));
    EXPECT_TRUE(modal.m_ownerDisabledWhileModal);
    EXPECT_TRUE(::IsWindowEnabled(owner.m_hWnd));
    EXPECT_EQ(modal.m_hWnd, nullptr);  // destroyed and unbound
    owner.DestroyWindow();
}

TEST(ModalLoop, QuitEndsTheLoopAndIsPostedAgain) {
    CModalDlg modal(nullptr);
    modal.m_toPost = {WM_QUIT};
    EXPECT_EQ(modal.DoModal(), -1);
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
}

TEST(MessageMap, CommandsReachDerivedAndBaseHandlers) {
    CModalDlg modal(nullptr);
    modal.m_toPost = {WM_COMMAND, IDCANCEL};
    EXPECT_EQ(modal.DoModal(), IDCANCEL);  // the base map's IDCANCEL entry
    EXPECT_TRUE(modal.m_customRan);
}

TEST(ModalLoop, UnownedDialogIsCentredOnTheWorkArea) {
    CModalDlg modal(nullptr);
    modal.m_toPost = {WM_TEST_END};
    ASSERT_EQ(modal.DoModal(), 42);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const RECT& r = modal.m_rcAtEnd;
    EXPECT_NEAR((r.left + r.right) / 2, (work.left + work.right) / 2, 1);
    EXPECT_NEAR((r.top + r.bottom) / 2, (work.top + work.bottom) / 2, 1);
}

class CPingButton : public CWnd {
public:
    LRESULT OnPing(WPARAM wParam, LPARAM) { return static_cast<LRESULT>(wParam) + 70; }

protected:
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CPingButton, CWnd)
    ON_MESSAGE(WM_TEST_PING, OnPing)
END_MESSAGE_MAP()

TEST(Subclass, OurMapFirstThenTheControlsOwnProcedure) {
    COwnerDlg dlg;
    ASSERT_TRUE(dlg.Create());
    HWND button = ::CreateWindowExW(0, L"BUTTON", L"before", WS_CHILD | WS_VISIBLE, 0, 0, 80, 20, dlg.m_hWnd,
                                    reinterpret_cast<HMENU>(1001), nullptr, nullptr);
    CPingButton ping;
    ASSERT_TRUE(ping.SubclassDlgItem(1001, &dlg));
    EXPECT_EQ(CWnd::FromHandlePermanent(button), &ping);
    EXPECT_EQ(::SendMessageW(button, WM_TEST_PING, 7, 0), 77);
    ::SetWindowTextW(button, L"after");
    wchar_t text[32] = {};
    ::GetWindowTextW(button, text, 32);
    EXPECT_STREQ(text, L"after");
    EXPECT_FALSE(CPingButton().SubclassWindow(button));  // one object per window
    EXPECT_EQ(ping.UnsubclassWindow(), button);
    EXPECT_EQ(::SendMessageW(button, WM_TEST_PING, 7, 0), 0);
    EXPECT_EQ(CWnd::FromHandlePermanent(button), nullptr);
    // An object that goes while its window lives takes the window with it.
    {
        CPingButton again;
        ASSERT_TRUE(again.SubclassWindow(button));
    }
    EXPECT_FALSE(::IsWindow(button));
    dlg.DestroyWindow();
}

}  // namespace
