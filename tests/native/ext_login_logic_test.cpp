#include "html/ext_login_logic.h"

#include <gtest/gtest.h>

#include "html/login_logic.h"

namespace {

const std::wstring kHost = L"ext.example:8080";
const std::wstring kQq = L"graph.qq.example";

TEST(ExtLoginCompletion, OnlyTheNineAddressesAtTheStart) {
    const struct {
        const wchar_t* url;
        bool completion;
    } cases[] = {
        {L"http://ext.example:8080/qzone/callback.do?code=1", true},
        {L"http://ext.example:8080/weibo/callback.do", true},
        {L"http://ext.example:8080/weixin/callback.do#x", true},
        {L"http://ext.example:8080/qzone/extAutoBind.do", true},
        {L"http://ext.example:8080/weibo/extAutoBind.do?a", true},
        {L"http://ext.example:8080/weixin/extAutoBind.do", true},
        {L"http://ext.example:8080/qzone/extLoginBind.do", true},
        {L"http://ext.example:8080/weibo/extLoginBind.do", true},
        {L"http://ext.example:8080/weixin/extLoginBind.do?user=p", true},
        // not at the first character
        {L" http://ext.example:8080/qzone/callback.do", false},
        {L"http://portal/x?back=http://ext.example:8080/qzone/callback.do", false},
        // case, scheme, host and path must match exactly
        {L"HTTP://ext.example:8080/qzone/callback.do", false},
        {L"https://ext.example:8080/qzone/callback.do", false},
        {L"http://ext.example/qzone/callback.do", false},
        {L"http://ext.example:80800/qzone/callback.do", false},
        {L"http://ext.example:8080/QZONE/callback.do", false},
        {L"http://ext.example:8080/qzone/callback.d", false},
        {L"http://ext.example:8080/alipay/callback.do", false},
        {L"http://ext.example:8080/qzone/redirectToAuthorize.do?params=", false},
        {L"http://ext.example:8080/", false},
        {L"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(IsExtLoginCompletion(c.url, kHost), c.completion);
    }
}

TEST(ExtLoginGuard, HiddenPageNeverOpensQqAuthorization) {
    const struct {
        const wchar_t* url;
        bool visible;
        bool cancel;
    } cases[] = {
        {L"https://graph.qq.example/oauth2.0/authorize?client_id=1", false, true},
        {L"https://graph.qq.example/oauth2.0/authorize", false, true},
        {L"https://graph.qq.example/oauth2.0/authorize?client_id=1", true, false},  // visible: opens
        {L"http://graph.qq.example/oauth2.0/authorize", false, false},             // only https
        {L"https://graph.qq.example/oauth2.0/token", false, false},
        {L"https://graph.qq.example.evil/oauth2.0/authorize", false, false},
        {L"https://other/oauth2.0/authorize", false, false},
        {L"http://ext/go?u=https://graph.qq.example/oauth2.0/authorize", false, false},  // not at the start
        {L"http://ext.example:8080/qzone/redirectToAuthorize.do?params=a", false, false},
        {L"", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(ExtLoginGuardCancels(c.url, kQq, c.visible), c.cancel);
    }
}

TEST(ExtLoginCookie, PauthAmongTheCookiesOfTheAddress) {
    const struct {
        const wchar_t* cookies;
        bool present;
    } cases[] = {
        {L"Pauth=abc", true},
        {L"ptusertype=2; Pauth=tok123", true},  // the system may return every cookie of the address
        {L"Pauth=abc; ptusertype=2", true},
        {L"  Pauth = abc ", true},
        {L"", false},
        {L"ptusertype=2", false},
        {L"JSESSIONID=A1B2; ptaccount=p", false},
        {L"Pauth=", false},           // an emptied cookie is no login
        {L"Pauth=; ptusertype=2", false},
        {L"pauth=abc", false},        // names are case-sensitive
        {L"xPauth=abc; Pauthx=1", false},
        {L"Pauth", false},
        {L"a=Pauth=abc", false},
        {L";;Pauth=v;;", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(CookieListHasValue(c.cookies, L"Pauth"), c.present);
    }
    EXPECT_FALSE(CookieListHasValue(L"=x", L""));
}

TEST(ExtLoginCookie, TheNamedCookieAsNameAndValue) {
    // The login record and the auto-login address take "Pauth=..." and
    // "ptusertype=..." whatever order the system lists the cookies in.
    const struct {
        const wchar_t* cookies;
        const wchar_t* name;
        const wchar_t* expected;
    } cases[] = {
        {L"ptusertype=2; Pauth=tok123; ptaccount=p", L"Pauth", L"Pauth=tok123"},
        {L"ptusertype=2; Pauth=tok123; ptaccount=p", L"ptusertype", L"ptusertype=2"},
        {L"Pauth=a=b", L"Pauth", L"Pauth=a=b"},
        {L"xPauth=1; Pauth=2", L"Pauth", L"Pauth=2"},
        {L"Pauth=", L"Pauth", L"Pauth="},
        {L"ptaccount=p", L"Pauth", L""},
        {L"", L"Pauth", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cookies);
        EXPECT_EQ(NamedCookie(c.cookies, c.name), c.expected);
    }
}

TEST(ExtLoginCompletion, CookieDecidesOnlyOnCompletionAddresses) {
    const struct {
        const wchar_t* url;
        const wchar_t* cookies;
        ExtLoginStep step;
    } cases[] = {
        {L"http://ext.example:8080/qzone/callback.do?code=1", L"ptusertype=2; Pauth=t", ExtLoginStep::Finished},
        {L"http://ext.example:8080/weixin/extLoginBind.do", L"Pauth=t", ExtLoginStep::Finished},
        {L"http://ext.example:8080/qzone/callback.do?code=1", L"", ExtLoginStep::AwaitingCookie},
        {L"http://ext.example:8080/weibo/callback.do", L"JSESSIONID=1", ExtLoginStep::AwaitingCookie},
        {L"http://ext.example:8080/weibo/bind.do", L"Pauth=t", ExtLoginStep::Ordinary},
        {L"http://portal/?u=http://ext.example:8080/qzone/callback.do", L"Pauth=t", ExtLoginStep::Ordinary},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(ClassifyCompletedNavigation(c.url, kHost, c.cookies), c.step);
    }
}

TEST(ExtLoginStart, KindAndTitleByProvider) {
    const struct {
        const wchar_t* url;
        ExtLoginKind kind;
        const wchar_t* title;
    } cases[] = {
        {L"http://ext.example:8080/qzone/redirectToAuthorize.do?params=a", ExtLoginKind::QZone, L"QQ账号安全登录"},
        {L"http://ext.example:8080/weibo/redirectToAuthorize.do?params=", ExtLoginKind::Weibo, L"新浪微博账号安全登录"},
        {L"http://ext.example:8080/weixin/redirectToAuthorize.do?params=b", ExtLoginKind::Weixin, L"微信账号安全登录"},
        // found inside a longer address
        {L"http://portal/go?to=http://ext.example:8080/weibo/redirectToAuthorize.do?params=x", ExtLoginKind::Weibo,
         L"新浪微博账号安全登录"},
        // QQ's start address wins wherever it appears
        {L"http://ext.example:8080/weibo/redirectToAuthorize.do?params=http://ext.example:8080/qzone/"
         L"redirectToAuthorize.do?params=",
         ExtLoginKind::QZone, L"QQ账号安全登录"},
        // the path without "?params=" is no start address
        {L"http://ext.example:8080/qzone/redirectToAuthorize.do", ExtLoginKind::None, nullptr},
        {L"http://ext.example:8080/qzone/callback.do", ExtLoginKind::None, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(FindExtLoginStart(c.url, kHost), c.kind);
        if (c.title) {
            EXPECT_EQ(ExtLoginTitle(c.url, kHost), c.title);
        }
    }
}

}  // namespace
