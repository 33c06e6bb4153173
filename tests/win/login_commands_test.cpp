// The login page's command table, driven through the real browser control:
// each "app:" navigation is cancelled and runs its command.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "test_util.h"

#include <string>

#include <wininet.h>

#include "app/build_config.h"
#include "app/halvane3_app_win.h"
#include "html/login_dlg_win.h"
#include "page_login_dlg.h"
#include "settings/settings_win.h"

namespace {

// Another browser object: a frame's, in the events of a page with frames.
struct CFrameBrowser : IDispatch {
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid != IID_IUnknown && riid != IID_IDispatch) return *ppv = nullptr, E_NOINTERFACE;
        *ppv = this;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

const std::wstring kLoginPage = PortalLoginPage();

class LoginCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ::OleInitialize(nullptr);
        ::SHCreateDirectoryExW(nullptr, InstallDirPath().c_str(), nullptr);
        ::DeleteFileW(StatIniPath().c_str());
        DeleteAutoRun();
        m_dlg = new CPageLoginDlg(L"http://127.0.0.1:9/");
        ASSERT_TRUE(m_dlg->Create());
        Pump(200);
        m_dlg->PageLoaded(kLoginPage);
    }
    void TearDown() override {
        m_dlg->DestroyWindow();
        delete m_dlg;
        DeleteAutoRun();
        ::OleUninitialize();
    }
    void Run(const std::wstring& url) {
        ASSERT_TRUE(m_dlg->Navigate(url));
        Pump(300);
    }
    CPageLoginDlg* m_dlg = nullptr;
};

TEST_F(LoginCommands, ConstructionConsumesTheInstallTag) {
    // The dialog of this test read "1" (the default) and wrote "0" at once.
    EXPECT_TRUE(m_dlg->m_bJustInstalled);
    EXPECT_EQ(ReadSetting(Keys::InstallTag), L"0");
    CLoginDlg second(L"http://127.0.0.1:9/");
    EXPECT_FALSE(second.m_bJustInstalled);
    // The completed address: identity query, the first-login mark, auto-start off.
    const std::wstring& url = m_dlg->PageUrl();
    EXPECT_EQ(url.find(L"http://127.0.0.1:9/agid=0&cid=3000&aid=2&game=lmdr&did="), 0u);
    EXPECT_NE(url.find(L"&toAd=1&autorun=0"), std::wstring::npos);
}

TEST_F(LoginCommands, StoringCommandsWriteTheirKeys) {
    Run(L"app://saveinfo12345http://portal/reg?x=1");
    Run(L"app://setupkey12345player-one");
    Run(L"app://loginnum");
    Run(L"app://loginnum");
    EXPECT_EQ(ReadSetting(Keys::RegUrl), L"http://portal/reg?x=1");
    EXPECT_EQ(ReadSetting(Keys::Key), L"player-one");
    EXPECT_EQ(ReadSetting(Keys::LoginCount), L"2");
    Run(L"app://SaveInfo12345ignored");  // names are case-sensitive
    EXPECT_EQ(ReadSetting(Keys::RegUrl), L"http://portal/reg?x=1");
}

// Every command asks for something: none of them runs for a frame, nor for
// a page of another host the browser was led to; all are still cancelled.
// A game address must be a web address.
TEST_F(LoginCommands, OnlyThePortalsOwnPageDrivesTheClient) {
    const wchar_t* commands[] = {L"app://saveinfo12345frame", L"app://setupkey12345frame", L"app://loginnum",
                                 L"app://autorun1", L"app://setpauth|user=f&pauth=frame1&"};
    const auto untouched = [] {
        return ReadSetting(Keys::RegUrl) == L"0" && ReadSetting(Keys::Key) == L"0" &&
               ReadSetting(Keys::LoginCount) == L"0" && !IsAutoRunOn() && SealedEntries(StatIniPath()).empty();
    };
    CFrameBrowser frame;
    for (const wchar_t* command : commands) EXPECT_TRUE(m_dlg->DispatchNavigation(&frame, command)) << command;
    EXPECT_TRUE(untouched());
    const std::wstring ext = std::wstring(L"http://") + LUMENDOR_EXTLOGIN_HOST_W + L"/qzone/redirectToAuthorize.do?params=x";
    EXPECT_TRUE(m_dlg->DispatchNavigation(&frame, ext));
    EXPECT_EQ(m_dlg->m_pExtLogin, nullptr);
    EXPECT_FALSE(m_dlg->DispatchNavigation(&frame, L"http://127.0.0.1:9/ad.html"));  // its own pages load

    for (const std::wstring& elsewhere : {std::wstring(L"http://127.0.0.1:9/"), std::wstring(L"http://") + LUMENDOR_PORTAL_HOST_W + L".evil/"}) {
        m_dlg->PageLoaded(elsewhere);
        for (const wchar_t* command : commands) Run(command);
        EXPECT_TRUE(untouched()) << elsewhere;
    }

    m_dlg->PageLoaded(kLoginPage);
    GameUrl = L"http://before/";
    for (const wchar_t* address : {L"file:///C:/windows/win.ini", L"\\\\host\\share\\x.html", L"javascript:alert(1)",
                                   L"res://ieframe.dll/x", L""})
        Run(std::wstring(L"app://loadgame|S1服-g-p|") + address);
    EXPECT_EQ(GameUrl, L"http://before/");
    Run(L"app://loginnum");
    EXPECT_EQ(ReadSetting(Keys::LoginCount), L"1");  // the portal's page itself still drives it
}

TEST_F(LoginCommands, AutoRunOnAndOff) {
    Run(L"app://autorun1");
    EXPECT_TRUE(IsAutoRunOn());
    std::wstring data;
    ASSERT_TRUE(ReadAutoRunValue(data));
    EXPECT_EQ(data, ExePath());
    Run(L"app://autorun0");
    EXPECT_FALSE(IsAutoRunOn());
}

TEST_F(LoginCommands, SetpauthStoresOneSealedEntry) {
    // The value after "pauth=", percent-decoded, its last character dropped:
    // "T+k1|x|y", keyed by its field "x".
    Run(L"app://setpauth|user=p&pauth=T%2Bk1%7Cx%7Cy&");
    std::wstring key, value;
    ASSERT_TRUE(ExpectedSealedEntry(L"x", L"T+k1|x|y", key, value));
    const auto entries = SealedEntries(StatIniPath());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].first == key) << entries[0].first.size() << " vs " << key.size() << " units";
    EXPECT_EQ(entries[0].second, value);
}

}  // namespace

TEST(PortalCookies, EachNamedCookieWhateverTheSystemLists) {
    // The system hands back every cookie of the address in its own order.
    const std::wstring portal = std::wstring(L"http://") + LUMENDOR_PORTAL_HOST_W + L"/";
    ASSERT_TRUE(::InternetSetCookieW(portal.c_str(), nullptr, L"ptusertype=2"));
    ASSERT_TRUE(::InternetSetCookieW(portal.c_str(), nullptr, L"ptaccount=player"));
    ASSERT_TRUE(::InternetSetCookieW(portal.c_str(), nullptr, (L"Pauth=" + std::wstring(300, L'p')).c_str()));
    EXPECT_EQ(PortalCookie(L"ptusertype", 256), L"ptusertype=2");
    EXPECT_EQ(PortalCookie(L"Pauth", 1024), L"Pauth=" + std::wstring(300, L'p'));  // a list past 256 characters
    EXPECT_EQ(PortalCookie(L"Pauth", 256), L"Pauth=" + std::wstring(249, L'p'));   // cut to its buffer
    EXPECT_EQ(PortalCookie(L"nothere", 256), L"");
    // Every loopback host shares these cookies: the later tests start without them.
    for (const wchar_t* name : {L"ptusertype", L"ptaccount", L"Pauth"})
        ::InternetSetCookieW(portal.c_str(), nullptr,
                             (std::wstring(name) + L"=; expires=Thu, 01-Jan-1970 00:00:00 GMT").c_str());
    EXPECT_EQ(PortalCookie(L"Pauth", 256), L"");
}
