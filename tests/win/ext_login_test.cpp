// The external-login window on a system without an HTML engine: the login
// page dialog opens it for a start address (replacing an earlier one), the
// frame and its page have their size, owners and title, the page opens the
// start address on every show and hide, the guard keeps a hidden page from
// QQ's authorization, and a completed navigation to a completion address
// closes the window and tells the login page dialog only when the login
// cookie is there. Completed navigations never fire here, so they are
// handed to the page's browser-event table as the event sink would.
#include "../common/loopback_server.h"

#include <exdispid.h>
#include <ocidl.h>
#include <shlobj.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include "test_util.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "app/build_config.h"
#include "app/halvane3_app_win.h"
#include "html/ext_login_win.h"
#include "html/login_dlg_win.h"
#include "page_login_dlg.h"
#include "res/resource.h"
#include "settings/settings_win.h"

namespace {

const std::wstring kExt = std::wstring(L"http://") + LUMENDOR_EXTLOGIN_HOST_W;
const std::wstring kQqAuth = std::wstring(L"https://") + LUMENDOR_QQAUTH_HOST_W + L"/oauth2.0/authorize?client_id=1";

// Messages seen by a window, recorded in front of its own procedure.
struct SpiedMessage {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<SpiedMessage> g_spied;
std::vector<HWND> g_insertAfter;  // z-order requests the hall window saw
WNDPROC g_spiedProc = nullptr;

LRESULT CALLBACK SpyProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == ExtLoginFinished) g_spied.push_back({msg, wParam, lParam});
    return ::CallWindowProcW(g_spiedProc, hWnd, msg, wParam, lParam);
}

LRESULT CALLBACK HallProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_WINDOWPOSCHANGING) {
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        if (!(pos->flags & SWP_NOZORDER)) g_insertAfter.push_back(pos->hwndInsertAfter);
    }
    return ::DefWindowProcW(hWnd, msg, wParam, lParam);
}

INT_PTR CALLBACK PlainDlgProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// Runs messages the way the client's loops do: through PreTranslateMessage
// of our windows first.
void PumpWalking(int ms) {
    const DWORD end = ::GetTickCount() + static_cast<DWORD>(ms);
    MSG msg;
    while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (WalkPreTranslate(&msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    }
}

template <class Pred>
bool PumpUntil(Pred done, int ms) {
    for (int waited = 0; waited < ms && !done(); waited += 20) Pump(20);
    return done();
}

// A completed navigation, as the browser's event sink hands it on: of the
// page itself, or of a frame in it (another browser object).
void FireNavigateComplete(CQQHtml& page, const std::wstring& url, IDispatch* frame = nullptr) {
    VARIANT address;
    VariantInit(&address);
    address.vt = VT_BSTR;
    address.bstrVal = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[1].vt = VT_DISPATCH;  // pDisp, the first parameter, comes last
    args[1].pdispVal = frame ? frame : page.GetBrowser();
    args[0].vt = VT_BYREF | VT_VARIANT;
    args[0].pvarVal = &address;
    DISPPARAMS dp{args, nullptr, 2, 0};
    page.DispatchBrowserEvent(DISPID_NAVIGATECOMPLETE2, &dp);
    VariantClear(&address);
}

// A navigation about to start; returns what the page left in Cancel.
bool FireBeforeNavigate(CQQHtml& page, const std::wstring& url) {
    VARIANT address, empty, cancel;
    VariantInit(&address);
    VariantInit(&empty);
    address.vt = VT_BSTR;
    address.bstrVal = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    VARIANT_BOOL cancelled = VARIANT_FALSE;
    VariantInit(&cancel);
    cancel.vt = VT_BYREF | VT_BOOL;
    cancel.pboolVal = &cancelled;
    VARIANT args[7];
    for (VARIANT& v : args) VariantInit(&v);
    args[6].vt = VT_DISPATCH;
    args[6].pdispVal = page.GetBrowser();
    args[5].vt = VT_BYREF | VT_VARIANT;
    args[5].pvarVal = &address;
    for (int i = 1; i <= 4; ++i) {
        args[i].vt = VT_BYREF | VT_VARIANT;
        args[i].pvarVal = &empty;
    }
    args[0] = cancel;
    DISPPARAMS dp{args, nullptr, 7, 0};
    page.DispatchBrowserEvent(DISPID_BEFORENAVIGATE2, &dp);
    VariantClear(&address);
    return cancelled == VARIANT_TRUE;
}

// A second listener on a browser's events: what really arrives, and the
// Cancel value the page's own handler left.
class CEventWatch : public IDispatch {
public:
    std::vector<std::pair<std::wstring, bool>> m_before;  // address, cancelled
    std::vector<std::wstring> m_errors;

    bool Connect(IWebBrowser2* browser) {
        IConnectionPointContainer* container = nullptr;
        if (FAILED(browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))))
            return false;
        container->FindConnectionPoint(DIID_DWebBrowserEvents2, &m_point);
        container->Release();
        return m_point && SUCCEEDED(m_point->Advise(this, &m_cookie));
    }
    void Disconnect() {
        if (m_point) {
            m_point->Unadvise(m_cookie);
            m_point->Release();
            m_point = nullptr;
        }
    }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2) {
            *ppv = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* dp, VARIANT*, EXCEPINFO*, UINT*) override {
        if (id == DISPID_BEFORENAVIGATE2) {
            VARIANT* cancel = EventParam(dp, 6);
            const bool cancelled = cancel && cancel->vt == (VT_BYREF | VT_BOOL) && *cancel->pboolVal == VARIANT_TRUE;
            m_before.emplace_back(VariantText(EventParam(dp, 1)), cancelled);
        } else if (id == DISPID_NAVIGATEERROR) {
            m_errors.push_back(VariantText(EventParam(dp, 1)));
        }
        return S_OK;
    }

private:
    IConnectionPoint* m_point = nullptr;
    DWORD m_cookie = 0;
};

// The external-login service's cookies live below "/qzone/" in these tests,
// so nothing else of the host sees them.
const std::wstring kCookieScope = kExt + L"/qzone/";

void SetScopedCookie(const wchar_t* name, const std::wstring& value) {
    ::InternetSetCookieW(kCookieScope.c_str(), name, (value + L"; path=/qzone/").c_str());
}

void ClearScopedCookie(const wchar_t* name) {
    ::InternetSetCookieW(kCookieScope.c_str(), name, L"gone; expires=Sat, 01-Jan-2000 00:00:00 GMT; path=/qzone/");
}

class ExtLogin : public ::testing::Test {
protected:
    void SetUp() override {
        ::OleInitialize(nullptr);
        ::SHCreateDirectoryExW(nullptr, InstallDirPath().c_str(), nullptr);
        g_spied.clear();
        g_insertAfter.clear();
        ClearScopedCookie(L"Pauth");
        ClearScopedCookie(L"ptusertype");
        // The external-login host itself: the page's requests come here.
        const std::wstring host = LUMENDOR_EXTLOGIN_HOST_W;
        m_server = new CLoopbackServer(
            CLoopbackServer::CountingHandler([](const std::string&, std::size_t) {
                return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            }),
            0, static_cast<unsigned short>(std::wcstoul(host.c_str() + host.rfind(L':') + 1, nullptr, 10)));
        m_dlg = new CPageLoginDlg(L"http://127.0.0.1:9/");
        ASSERT_TRUE(m_dlg->Create());
        Pump(200);
        m_dlg->PageLoaded(PortalLoginPage());
        g_spiedProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(m_dlg->m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SpyProc)));
    }
    void TearDown() override {
        ::SetWindowLongPtrW(m_dlg->m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_spiedProc));
        m_dlg->DestroyWindow();
        delete m_dlg;
        delete m_server;
        ClearScopedCookie(L"Pauth");
        ClearScopedCookie(L"ptusertype");
        HallWindow = 0;
        ::OleUninitialize();
    }

    std::wstring StartUrl(const wchar_t* kind) const {
        return kExt + L"/" + kind + L"/redirectToAuthorize.do?params=t";
    }
    // The login page asks for an external login, its start address given
    // as a parameter of another address.
    CQQLogin* Start(const wchar_t* kind) {
        const std::size_t before = m_server->Requests().size();
        EXPECT_TRUE(m_dlg->Navigate(L"http://127.0.0.1:9/go?u=" + StartUrl(kind)));
        Pump(300);
        // The page, not the login page, loads the start address.
        EXPECT_TRUE(m_server->WaitFor(before + 1, 3000));
        return m_dlg->m_pExtLogin;
    }
    std::size_t PageRequests() {
        std::size_t n = 0;
        for (const std::string& head : m_server->Requests())
            if (head.find("/redirectToAuthorize.do?params=t ") != std::string::npos) ++n;
        return n;
    }

    CLoopbackServer* m_server = nullptr;
    CPageLoginDlg* m_dlg = nullptr;
};

std::wstring WindowText(HWND h) {
    wchar_t text[128] = {};
    ::GetWindowTextW(h, text, 128);
    return text;
}

struct OwnedCount {
    HWND owner;
    int n;
};

BOOL CALLBACK CountOwned(HWND h, LPARAM p) {
    auto* c = reinterpret_cast<OwnedCount*>(p);
    if (::GetWindow(h, GW_OWNER) == c->owner) ++c->n;
    return TRUE;
}

int OwnedWindows(HWND owner) {
    OwnedCount count{owner, 0};
    ::EnumWindows(&CountOwned, reinterpret_cast<LPARAM>(&count));
    return count.n;
}

TEST_F(ExtLogin, StartOpensFrameAndPageWithTheirSizesOwnersAndTitle) {
    CQQLogin* frame = Start(L"weibo");
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(::IsWindow(frame->m_hWnd));
    EXPECT_TRUE(::IsWindowVisible(frame->m_hWnd));
    EXPECT_EQ(::GetWindow(frame->m_hWnd, GW_OWNER), m_dlg->m_hWnd);
    EXPECT_EQ(WindowText(frame->m_hWnd), L"新浪微博账号安全登录");
    EXPECT_EQ(frame->m_page.m_strExtUrl, StartUrl(L"weibo"));  // from the start address on
    EXPECT_FALSE(::GetWindowLongW(frame->m_hWnd, GWL_STYLE) & WS_CAPTION);

    RECT fr{};
    ::GetWindowRect(frame->m_hWnd, &fr);
    EXPECT_EQ(fr.right - fr.left, 790);
    EXPECT_EQ(fr.bottom - fr.top, 575);
    // Centred on the desktop.
    RECT desk{};
    ::GetWindowRect(::GetDesktopWindow(), &desk);
    if (desk.right - desk.left >= 790 && desk.bottom - desk.top >= 620) {
        EXPECT_LE(std::abs((fr.left - desk.left) - (desk.right - fr.right)), 1);
        EXPECT_LE(std::abs((fr.top - desk.top) - (desk.bottom - fr.bottom)), 1);
    }

    // Only the close button, at the right edge of the caption.
    HWND close = ::GetDlgItem(frame->m_hWnd, kCloseButtonId);
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(::GetDlgItem(frame->m_hWnd, kMinimizeButtonId), nullptr);
    EXPECT_EQ(::GetDlgItem(frame->m_hWnd, kMaximizeButtonId), nullptr);
    RECT cr{};
    ::GetWindowRect(close, &cr);
    EXPECT_EQ(cr.right, fr.right);
    EXPECT_EQ(cr.top, fr.top);
    EXPECT_EQ(cr.right - cr.left, 30);  // one frame of the four-frame strip
    EXPECT_EQ(cr.bottom - cr.top, 25);
    EXPECT_EQ(frame->m_nCaptionHeight, 30);
    EXPECT_EQ(frame->m_nBorder, 4);
    EXPECT_EQ(frame->m_bStretch, 1);

    // The page: a popup owned by the frame, over its client area inside
    // the border and below the caption, its browser filling it.
    HWND page = frame->m_page.m_hWnd;
    ASSERT_TRUE(::IsWindow(page));
    EXPECT_TRUE(::IsWindowVisible(page));
    EXPECT_EQ(::GetWindow(page, GW_OWNER), frame->m_hWnd);
    EXPECT_FALSE(::GetWindowLongW(page, GWL_STYLE) & WS_CHILD);
    RECT pr{};
    ::GetWindowRect(page, &pr);
    EXPECT_EQ(pr.left, fr.left + 4);
    EXPECT_EQ(pr.top, fr.top + 30);
    EXPECT_EQ(pr.right - pr.left, 782);
    EXPECT_EQ(pr.bottom - pr.top, 541);
    HWND browser = ::GetDlgItem(page, kBrowserControlId);
    ASSERT_NE(browser, nullptr);
    RECT br{}, pc{};
    ::GetWindowRect(browser, &br);
    ::GetClientRect(page, &pc);
    EXPECT_EQ(br.right - br.left, pc.right);
    EXPECT_EQ(br.bottom - br.top, pc.bottom);
    // The page is not silenced and keeps the plain host answers.
    VARIANT_BOOL silent = VARIANT_TRUE;
    frame->m_page.GetBrowser()->get_Silent(&silent);
    EXPECT_EQ(silent, VARIANT_FALSE);
    POINT pt{1, 1};
    EXPECT_EQ(frame->m_page.ShowContextMenu(0, &pt, nullptr, nullptr), S_FALSE);

    // The start address was requested by the page exactly once.
    EXPECT_EQ(PageRequests(), 1u);
    const std::wstring wide = L"GET /weibo/redirectToAuthorize.do?params=t ";
    EXPECT_EQ(m_server->Requests().back().rfind(std::string(wide.begin(), wide.end()), 0), 0u);
}

TEST_F(ExtLogin, TitlesByProviderAndASecondStartReplacesTheFirst) {
    CQQLogin* first = Start(L"qzone");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(WindowText(first->m_hWnd), L"QQ账号安全登录");
    const HWND firstFrame = first->m_hWnd, firstPage = first->m_page.m_hWnd;

    CQQLogin* second = Start(L"weixin");
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(::IsWindow(firstFrame));
    EXPECT_FALSE(::IsWindow(firstPage));
    EXPECT_EQ(WindowText(second->m_hWnd), L"微信账号安全登录");
    EXPECT_TRUE(::IsWindowVisible(second->m_hWnd));

    // Exactly one window is owned by the login page dialog.
    EXPECT_EQ(OwnedWindows(m_dlg->m_hWnd), 1);
}

TEST_F(ExtLogin, EveryShowAndHideOpensTheStartAddressAgain) {
    CQQLogin* frame = Start(L"qzone");
    ASSERT_NE(frame, nullptr);
    CEventWatch watch;
    ASSERT_TRUE(watch.Connect(frame->m_page.GetBrowser()));
    auto starts = [&] {
        std::size_t n = 0;
        for (const auto& before : watch.m_before) n += before.first == StartUrl(L"qzone") && !before.second;
        return n;
    };
    ::ShowWindow(frame->m_hWnd, SW_HIDE);
    EXPECT_FALSE(::IsWindowVisible(frame->m_page.m_hWnd));  // the page follows the frame
    EXPECT_TRUE(PumpUntil([&] { return starts() == 1; }, 3000));
    ::ShowWindow(frame->m_hWnd, SW_SHOW);
    EXPECT_TRUE(::IsWindowVisible(frame->m_page.m_hWnd));
    EXPECT_TRUE(PumpUntil([&] { return starts() == 2; }, 3000));
    Pump(300);
    EXPECT_EQ(starts(), 2u);
    watch.Disconnect();
}

TEST_F(ExtLogin, CompletionWithTheCookieClosesAndTellsTheLoginPage) {
    CQQLogin* frame = Start(L"qzone");
    ASSERT_NE(frame, nullptr);
    SetScopedCookie(L"ptusertype", L"2");
    SetScopedCookie(L"Pauth", L"tok123");
    const HWND page = frame->m_page.m_hWnd;
    FireNavigateComplete(frame->m_page, kExt + L"/qzone/callback.do?code=abc");
    EXPECT_FALSE(::IsWindowVisible(frame->m_hWnd));  // ended as a dialog: hidden at once
    Pump(300);
    ASSERT_EQ(g_spied.size(), 1u);
    EXPECT_EQ(g_spied[0].wParam, 0u);
    EXPECT_EQ(g_spied[0].lParam, 0);
    // Closed, not destroyed: the prompt timer lives on the page.
    EXPECT_TRUE(::IsWindow(page));
    EXPECT_FALSE(::IsWindowVisible(page));
    EXPECT_TRUE(::IsWindow(frame->m_hWnd));
    EXPECT_EQ(m_dlg->m_pExtLogin, frame);
    // Hiding this way does not open the start address again.
    EXPECT_EQ(PageRequests(), 1u);
}

TEST_F(ExtLogin, WithoutTheCookieOrAwayFromTheStartTheWindowStays) {
    CQQLogin* frame = Start(L"qzone");
    ASSERT_NE(frame, nullptr);
    SetScopedCookie(L"ptusertype", L"2");  // other cookies of the address are no login
    FireNavigateComplete(frame->m_page, kExt + L"/qzone/callback.do?code=abc");
    FireNavigateComplete(frame->m_page, kExt + L"/qzone/extLoginBind.do");
    SetScopedCookie(L"Pauth", L"");  // an emptied cookie neither
    FireNavigateComplete(frame->m_page, kExt + L"/qzone/extAutoBind.do");
    SetScopedCookie(L"Pauth", L"tok123");
    FireNavigateComplete(frame->m_page, kExt + L"/qzone/bind.do");                          // not a completion page
    FireNavigateComplete(frame->m_page, kExt + L"/qzone/x?back=" + kExt + L"/qzone/callback.do");  // not at the start
    // A frame of the page reaching a completion address completes nothing.
    IDispatch* other = nullptr;
    ASSERT_TRUE(SUCCEEDED(m_dlg->GetBrowser()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&other))));
    FireNavigateComplete(frame->m_page, kExt + L"/qzone/callback.do?code=abc", other);
    other->Release();
    Pump(300);
    EXPECT_TRUE(::IsWindowVisible(frame->m_hWnd));
    EXPECT_TRUE(::IsWindowVisible(frame->m_page.m_hWnd));
    EXPECT_TRUE(g_spied.empty());
    // The same page once the cookie is there.
    FireNavigateComplete(frame->m_page, kExt + L"/qzone/extAutoBind.do");
    Pump(300);
    EXPECT_FALSE(::IsWindowVisible(frame->m_hWnd));
    EXPECT_EQ(g_spied.size(), 1u);
}

TEST_F(ExtLogin, ALongCookieListStillCounts) {
    CQQLogin* frame = Start(L"qzone");
    ASSERT_NE(frame, nullptr);
    SetScopedCookie(L"ptusertype", std::wstring(300, L'u'));
    SetScopedCookie(L"Pauth", std::wstring(400, L'p'));
    ASSERT_GT(CookiesOfAddress(kExt + L"/qzone/callback.do").size(), 700u);
    FireNavigateComplete(frame->m_page, kExt + L"/qzone/callback.do");
    Pump(300);
    EXPECT_FALSE(::IsWindowVisible(frame->m_hWnd));
    EXPECT_EQ(g_spied.size(), 1u);
}

TEST_F(ExtLogin, HiddenPageIsKeptFromQqAuthorization) {
    CQQLogin* frame = Start(L"qzone");
    ASSERT_NE(frame, nullptr);
    CQQHtml& page = frame->m_page;
    EXPECT_FALSE(FireBeforeNavigate(page, kQqAuth));  // visible: it opens
    EXPECT_FALSE(FireBeforeNavigate(page, kExt + L"/qzone/callback.do"));

    CEventWatch watch;
    ASSERT_TRUE(watch.Connect(page.GetBrowser()));
    ::ShowWindow(frame->m_hWnd, SW_HIDE);
    Pump(300);
    EXPECT_TRUE(FireBeforeNavigate(page, kQqAuth));
    EXPECT_FALSE(FireBeforeNavigate(page, kExt + L"/qzone/callback.do"));  // everything else goes on
    EXPECT_FALSE(FireBeforeNavigate(page, std::wstring(L"http://") + LUMENDOR_QQAUTH_HOST_W + L"/oauth2.0/authorize"));

    // A real navigation of the hidden page: cancelled, nothing follows.
    ASSERT_TRUE(page.Navigate(kQqAuth));
    PumpUntil([&] { return !watch.m_before.empty() && watch.m_before.back().first == kQqAuth; }, 2000);
    Pump(500);
    ASSERT_FALSE(watch.m_before.empty());
    EXPECT_EQ(watch.m_before.back(), std::make_pair(kQqAuth, true));
    for (const std::wstring& e : watch.m_errors) EXPECT_NE(e, kQqAuth);
    watch.Disconnect();
}

TEST_F(ExtLogin, PromptOfTheClosedPageIsRemovedAndTheHallComesToFront) {
    HWND hall = nullptr;
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &HallProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"LmTestHall";
        ::RegisterClassW(&wc);
        hall = ::CreateWindowExW(0, L"LmTestHall", L"hall", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(hall, nullptr);
    }
    HallWindow = reinterpret_cast<INT_PTR>(hall);

    CQQLogin* frame = Start(L"qzone");
    ASSERT_NE(frame, nullptr);
    const HWND page = frame->m_page.m_hWnd;
    // Dialog-class windows: one owned by someone else, and the page's prompt.
    HWND stranger = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_BLANK), m_dlg->m_hWnd,
                                         &PlainDlgProc, 0);
    HWND prompt =
        ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_BLANK), page, &PlainDlgProc, 0);
    ASSERT_TRUE(stranger && prompt);
    Pump(300);
    EXPECT_TRUE(::IsWindow(prompt));  // nothing removes it before the login ends
    g_insertAfter.clear();

    SetScopedCookie(L"Pauth", L"tok123");
    FireNavigateComplete(frame->m_page, kExt + L"/qzone/callback.do");
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(prompt); }, 3000));
    EXPECT_TRUE(::IsWindow(stranger));
    ASSERT_EQ(g_insertAfter.size(), 2u);
    EXPECT_EQ(g_insertAfter[0], HWND_TOPMOST);
    EXPECT_EQ(g_insertAfter[1], HWND_NOTOPMOST);
    EXPECT_FALSE(::GetWindowLongW(hall, GWL_EXSTYLE) & WS_EX_TOPMOST);

    // The timer stopped with the first prompt found.
    HWND later =
        ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_BLANK), page, &PlainDlgProc, 0);
    Pump(500);
    EXPECT_TRUE(::IsWindow(later));
    ::DestroyWindow(later);
    ::DestroyWindow(stranger);
    ::DestroyWindow(hall);
}

TEST_F(ExtLogin, CloseButtonDestroysBothWindowsAndReportsNothing) {
    CQQLogin* frame = Start(L"weibo");
    ASSERT_NE(frame, nullptr);
    const HWND frameWnd = frame->m_hWnd, page = frame->m_page.m_hWnd;
    HWND close = ::GetDlgItem(frameWnd, kCloseButtonId);
    ASSERT_NE(close, nullptr);
    ::SendMessageW(frameWnd, WM_COMMAND, MAKEWPARAM(kCloseButtonId, BN_CLICKED), reinterpret_cast<LPARAM>(close));
    PumpWalking(500);
    EXPECT_FALSE(::IsWindow(frameWnd));
    EXPECT_FALSE(::IsWindow(page));
    EXPECT_EQ(m_dlg->m_pExtLogin, frame);  // the object stays until replaced
    EXPECT_TRUE(g_spied.empty());
    // A new start after closing opens a fresh window.
    CQQLogin* again = Start(L"weibo");
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(::IsWindowVisible(again->m_hWnd));
}

TEST_F(ExtLogin, EnterAndEscapeDoNothingInFrameOrPage) {
    CQQLogin* frame = Start(L"qzone");
    ASSERT_NE(frame, nullptr);
    const HWND targets[] = {frame->m_hWnd, frame->m_page.m_hWnd, ::GetDlgItem(frame->m_hWnd, kCloseButtonId)};
    for (HWND target : targets)
        for (WPARAM key : {static_cast<WPARAM>(VK_RETURN), static_cast<WPARAM>(VK_ESCAPE)}) {
            ::PostMessageW(target, WM_KEYDOWN, key, 0x00010001);
            ::PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0010001));
        }
    PumpWalking(500);
    EXPECT_TRUE(::IsWindowVisible(frame->m_hWnd));
    EXPECT_TRUE(::IsWindowVisible(frame->m_page.m_hWnd));
    MSG esc{frame->m_page.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    EXPECT_TRUE(frame->m_page.PreTranslateMessage(&esc));
    MSG enter{frame->m_hWnd, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_TRUE(frame->PreTranslateMessage(&enter));
}

}  // namespace
