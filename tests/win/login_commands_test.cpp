// The login page's command table, driven through the real browser control:
// each "app:" navigation is cancelled and runs its command.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "test_util.h"

#include <string>

#include <wininet.h>

#include "app/build_config.h"
#include "html/login_dlg_win.h"
#include "settings/settings_win.h"

namespace {

class LoginCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ::OleInitialize(nullptr);
        ::SHCreateDirectoryExW(nullptr, InstallDirPath().c_str(), nullptr);
        ::DeleteFileW(StatIniPath().c_str());
        DeleteAutoRun();
        m_dlg = new CLoginDlg(L"http://127.0.0.1:9/");
        ASSERT_TRUE(m_dlg->Create());
        Pump(200);
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
    CLoginDlg* m_dlg = nullptr;
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
