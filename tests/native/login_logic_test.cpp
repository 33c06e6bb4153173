#include "html/login_logic.h"

#include <gtest/gtest.h>

#include "mainwnd/page_logic.h"
#include "tools/favourite_url.h"

namespace {

TEST(CommandUrl, OnlyLowerCaseAppColonAndEightCharacterNames) {
    EXPECT_TRUE(IsCommandUrl(L"app:"));
    EXPECT_TRUE(IsCommandUrl(L"app://loadgame|x"));
    EXPECT_FALSE(IsCommandUrl(L"APP://loadgame"));
    EXPECT_FALSE(IsCommandUrl(L"ap"));
    EXPECT_EQ(CommandName(L"app://loadgameXYZ"), L"loadgame");
    EXPECT_EQ(CommandName(L"app:??redrict:rest"), L"redrict:");  // positions 4 and 5 are not examined
    EXPECT_EQ(CommandName(L"app://load"), L"load");
    EXPECT_EQ(CommandName(L"app:"), L"");
    EXPECT_EQ(TextFrom(L"app://saveinfo12345http://x/", kStoreArgumentAt), L"http://x/");
    EXPECT_EQ(TextFrom(L"app://redrict:http://y/", kRedirectArgumentAt), L"http://y/");
    EXPECT_EQ(TextFrom(L"app://saveinfo", kStoreArgumentAt), L"");
}

TEST(CommandUrl, TableIsExactAndCaseSensitive) {
    const struct {
        const wchar_t* name;
        LoginCommand command;
    } cases[] = {
        {L"loadgame", LoginCommand::LoadGame},   {L"exitgame", LoginCommand::ExitGame},
        {L"minimize", LoginCommand::Minimize},   {L"redrict:", LoginCommand::Redirect},
        {L"autorun0", LoginCommand::AutoRunOff}, {L"autorun1", LoginCommand::AutoRunOn},
        {L"saveinfo", LoginCommand::SaveInfo},   {L"readinfo", LoginCommand::ReadInfo},
        {L"setupkey", LoginCommand::SetupKey},   {L"read_key", LoginCommand::ReadKey},
        {L"loginnum", LoginCommand::LoginNum},   {L"setpauth", LoginCommand::SetPauth},
        {L"LoadGame", LoginCommand::None},       {L"redirect", LoginCommand::None},
        {L"loadgam", LoginCommand::None},        {L"", LoginCommand::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseLoginCommand(c.name), c.command) << std::string(c.name, c.name + wcslen(c.name)).c_str();
}

TEST(ExtLogin, StartAddressesAnywhereInTheNavigation) {
    const std::wstring host = L"ext:9";
    EXPECT_EQ(FindExtLoginStart(L"http://ext:9/qzone/redirectToAuthorize.do?params=a", host), ExtLoginKind::QZone);
    EXPECT_EQ(FindExtLoginStart(L"http://x/?u=http://ext:9/weibo/redirectToAuthorize.do?params=", host),
              ExtLoginKind::Weibo);
    EXPECT_EQ(FindExtLoginStart(L"http://ext:9/weixin/redirectToAuthorize.do?params=b", host), ExtLoginKind::Weixin);
    EXPECT_EQ(FindExtLoginStart(L"http://ext:9/QZONE/redirectToAuthorize.do?params=", host), ExtLoginKind::None);
    EXPECT_EQ(FindExtLoginStart(L"http://other/qzone/redirectToAuthorize.do?params=", host), ExtLoginKind::None);
    EXPECT_EQ(ExtLoginTitle(L"http://ext:9/qzone/redirectToAuthorize.do?params=", host), L"QQ账号安全登录");
    EXPECT_EQ(ExtLoginTitle(L"http://ext:9/weibo/redirectToAuthorize.do?params=", host), L"新浪微博账号安全登录");
    EXPECT_EQ(ExtLoginTitle(L"http://ext:9/weixin/redirectToAuthorize.do?params=", host), L"微信账号安全登录");
}

TEST(LoadGame, SplitsServerTextTailAndGameCode) {
    const struct {
        const char* name;
        std::wstring url;
        std::wstring server, tail, game, gameUrl;
    } cases[] = {
        {"empty_tail", L"app://loadgame", L"", L"", L"logingame=4286", L""},
        {"no_bar", L"app://loadgame|", L"", L"", L"logingame=4286", L""},  // the bar is before position 15
        {"plain", L"app://loadgame|S12服-《x》abcd-player|http://g/play?a=1&logingame=lmdr",
         L"S12服-《x》abcd-player", L"http://g/play?a=1&logingame=lmdr", L"logingame=lmdr", L"http://g/play?a=1"},
        {"no_code", L"app://loadgame|S1服-g-p|http://g/?a=1", L"S1服-g-p", L"http://g/?a=1", L"logingame=4286",
         L"http://g/?a=1"},
        {"code_twice", L"app://loadgame|X|http://g/?logingame=7&logingame=7", L"X",
         L"http://g/?logingame=7&logingame=7", L"logingame=7&logingame=7", L"http://g/?logingame=7&logingame=7"},
        {"tail_is_code", L"app://loadgame|X|logingame=9", L"X", L"logingame=9", L"logingame=4286", L"logingame=9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LoadGameSplit s = SplitLoadGame(c.url);
        EXPECT_EQ(s.serverText, c.server);
        EXPECT_EQ(s.tail, c.tail);
        EXPECT_EQ(s.gameCode, c.game);
        EXPECT_EQ(s.gameUrl, c.gameUrl);
    }
}

TEST(LoadGame, TitleFromTheServerText) {
    const struct {
        std::wstring x, server, game, account, title;
    } cases[] = {
        {L"", L"", L"", L"", L"服--"},
        {L"S12服-《Lumendor》abcd-player", L"12", L"abcd", L"player", L"12服-abcd-player"},
        {L"S3服-星光-玩家一", L"3", L"星光", L"玩家一", L"3服-星光-玩家一"},
        {L"SS5S服-g-p-q", L"5", L"g", L"p-q", L"5服-g-p-q"},
        {L"noserver", L"", L"", L"noserver", L"服--noserver"},
        {L"a-b", L"", L"", L"b", L"服--b"},  // j = 1: the game runs from position 1 to the "-"
        {L"ab-cd", L"", L"b", L"cd", L"服-b-cd"},
    };
    for (const auto& c : cases) {
        const PageTitle t = BuildPageTitle(c.x);
        EXPECT_EQ(t.server, c.server);
        EXPECT_EQ(t.game, c.game);
        EXPECT_EQ(t.account, c.account);
        EXPECT_EQ(t.title, c.title);
    }
}

TEST(LoadGame, PercentEncodedUtf8ServerTextIsDecodedBeforeCutting) {
    // "S12服-《x》abcd-玩家" as percent-encoded UTF-8.
    const std::string encoded = "S12%E6%9C%8D-%E3%80%8Ax%E3%80%8Babcd-%E7%8E%A9%E5%AE%B6";
    const std::wstring decoded = DecodeServerText(encoded);
    EXPECT_EQ(decoded, L"S12服-《x》abcd-玩家");
    EXPECT_EQ(BuildPageTitle(decoded).title, L"12服-abcd-玩家");
    EXPECT_EQ(DecodeServerText(std::string(256, 'a')), L"");       // does not fit the buffer
    EXPECT_EQ(DecodeServerText("%FF%41"), std::wstring(L"\xFFFD") + L"A");  // not UTF-8
}

TEST(LoginRecord, BuiltAndParsedWithFixedPrefixCounts) {
    const std::wstring record = BuildLoginRecord(L"12服-abcd-player", L"Pauth=tok%2B1", L"ptusertype=2", L"logingame=lmdr");
    EXPECT_EQ(record, L"12服-abcd-player||Pauth=tok%2B1||ptusertype=2||logingame=lmdr");
    const LoginRecordFields f = ParseLoginRecord(record);
    EXPECT_EQ(f.title, L"12服-abcd-player");
    EXPECT_EQ(f.pauth, L"tok%2B1");
    EXPECT_EQ(f.userType, L"2");
    EXPECT_EQ(f.game, L"lmdr");

    const LoginRecordFields empty = ParseLoginRecord(BuildLoginRecord(L"t", L"", L"", L"logingame=4286"));
    EXPECT_EQ(empty.pauth, L"");
    EXPECT_EQ(empty.userType, L"");
    EXPECT_EQ(empty.game, L"4286");
    const LoginRecordFields shortOne = ParseLoginRecord(L"only title");
    EXPECT_EQ(shortOne.title, L"only title");
    EXPECT_EQ(shortOne.game, L"");
    EXPECT_EQ(ParseLoginRecord(L"a||b||c||d||e").game, L"");  // the fourth field keeps the rest: "d||e" cut by 10
    EXPECT_EQ(ParseLoginRecord(L"a||b||c||logingame=x||y").game, L"x||y");
}

// What a page, a frame or a man in the middle may put into the bridge's
// addresses: each guard against the address that would get past it.
TEST(Bridge, AddressesAPageCannotAbuse) {
    const struct {
        const wchar_t* url;
        bool web, onPortal;
    } addresses[] = {
        {L"http://portal:1/lmdr/game.html?server=12", true, true},
        {L"HTTPS://PORTAL:1", true, true},
        {L"http://portal:1?x", true, true},
        {L"http://portal:1#x", true, true},
        {L"http://portal:12/", true, false},          // another port is another host
        {L"http://portal:1.evil/", true, false},
        {L"http://portal:1@evil/", true, false},      // the host is "evil"
        {L"http://evil/?http://portal:1/", true, false},
        {L"file:///C:/Windows/win.ini", false, false},
        {L"\\\\server\\share\\page.html", false, false},
        {L"res://ieframe.dll/x", false, false},
        {L"javascript:alert(1)", false, false},
        {L"http:///x", false, false},
        {L"http://", false, false},
        {L"", false, false},
    };
    for (const auto& a : addresses) {
        EXPECT_EQ(IsWebAddress(a.url), a.web) << a.url;
        EXPECT_EQ(AddressOnHost(a.url, L"portal:1"), a.onPortal) << a.url;
    }
    EXPECT_FALSE(AddressOnHost(L"http://portal:1/", L""));

    // The external-login window opens from the start address on.
    const std::wstring start = L"http://ext:2/weibo/redirectToAuthorize.do?params=a";
    EXPECT_EQ(ExtLoginStartAt(start, L"ext:2"), 0u);
    EXPECT_EQ(ExtLoginStartAt(L"http://evil/?next=" + start, L"ext:2"), 18u);
    EXPECT_EQ(ExtLoginStartAt(L"http://ext:2/qzone/callback.do", L"ext:2"), std::wstring::npos);

    // A server text that decodes to the field separator cannot write the
    // hand-over's other fields; a field without its prefix reads empty.
    const std::wstring title =
        BuildPageTitle(DecodeServerText("S1%E6%9C%8D-g-p%7C%7CPauth=evil%7C%7Cptusertype=9%7C%7Clogingame=x")).title;
    EXPECT_EQ(title.find(L'|'), std::wstring::npos) << title;
    const LoginRecordFields f = ParseLoginRecord(BuildLoginRecord(title, L"Pauth=real", L"ptusertype=2", L"logingame=lmdr"));
    EXPECT_EQ(f.title, title);
    EXPECT_EQ(f.pauth, L"real");
    EXPECT_EQ(f.userType, L"2");
    EXPECT_EQ(f.game, L"lmdr");
    const LoginRecordFields bare = ParseLoginRecord(L"t||Xauth=1||usertype=2||game=g");
    EXPECT_EQ(bare.pauth + bare.userType + bare.game, L"");
}

TEST(LoginPage, AddressCompletion) {
    const std::wstring base = LoginPageBaseUrl(L"portal:1");
    EXPECT_EQ(base, L"http://portal:1/lmdr/clients/chn-xpvt/reg.html?oid=17239&oid2=&vcode=cafes&dirtype=0&pt=0&");
    const struct {
        bool installed;
        int pages;
        bool autorun;
        const wchar_t* tail;
    } cases[] = {
        {true, 0, false, L"agid=0&toAd=1&autorun=0"},
        {true, 1, true, L"agid=0&autorun=1"},
        {false, 0, true, L"agid=0&autorun=1"},
    };
    for (const auto& c : cases) EXPECT_EQ(CompleteLoginPageUrl(base, L"agid=0", c.installed, c.pages, c.autorun), base + c.tail);
    EXPECT_TRUE(JustInstalledFromTag(L"1"));
    EXPECT_TRUE(JustInstalledFromTag(L"10"));
    EXPECT_FALSE(JustInstalledFromTag(L"0"));
    EXPECT_FALSE(JustInstalledFromTag(L""));
    EXPECT_TRUE(AutoRunDataIsOn(L"C:\\x.exe"));
    EXPECT_FALSE(AutoRunDataIsOn(L""));
    EXPECT_FALSE(AutoRunDataIsOn(std::wstring(1, L'\0') + L"x"));
}

TEST(OtherCommands, LoginCountAutoLoginAndSetpauth) {
    EXPECT_EQ(NextLoginCount(L"0"), L"1");   // the default of a missing key
    EXPECT_EQ(NextLoginCount(L"41"), L"42");
    EXPECT_EQ(NextLoginCount(L"7x"), L"8");

    EXPECT_EQ(FormatAutoLoginUrl(L"p:1", L"Pauth=abc", L"http%3A%2F%2Fx", L"ptusertype=2"),
              L"http://p:1/user/?_c=hallClient&_a=autoLogin&pauth=abc&url=http%3A%2F%2Fx&ptusertype=2");
    EXPECT_EQ(FormatAutoLoginUrl(L"p", L"", L"u", L""), L"http://p/user/?_c=hallClient&_a=autoLogin&pauth=&url=u&ptusertype=");
    EXPECT_EQ(FormatAutoLoginUrl(L"p", L"Pauth=", std::wstring(3000, L'u'), L"").size(), 2047u);

    EXPECT_EQ(ExtractSetpauthValue(L"app://setpauth|user=a&pauth=T%2Bk1&x"), L"T%2Bk1&x");
    EXPECT_EQ(ExtractSetpauthValue(L"app://setpauth|0123456789"), L"56789");  // no "pauth=": from position 5
    EXPECT_EQ(ExtractSetpauthValue(L"app://setpauth"), L"");
}

TEST(DragStrip, ExcludedRectangleIsInclusive) {
    EXPECT_TRUE(InDragExclusion(1067, 310));
    EXPECT_TRUE(InDragExclusion(1081, 463));
    EXPECT_FALSE(InDragExclusion(1066, 400));
    EXPECT_FALSE(InDragExclusion(1070, 464));
}

TEST(PageTitles, ServerAccountAndCuts) {
    EXPECT_EQ(ServerOfTitle(L"12服-abcd-player"), L"12");
    EXPECT_EQ(AccountOfTitle(L"12服-abcd-play-er"), L"er");
    EXPECT_EQ(AccountLabelText(L"abcdefghijk"), L"abcdefghijk");      // 11: whole
    EXPECT_EQ(AccountLabelText(L"abcdefghijkl"), L"abcdefgh...");     // 12: 8 + "..."
    EXPECT_EQ(TabTitleText(L"12服-abcd-averyveryverylongplayer", 146), L"12服-abcd-avery...");
    EXPECT_EQ(TabTitleText(L"12服-abcd-p", 145), L"12服-abcd-p");
    EXPECT_EQ(DuplicateLoginMessage(L"player", L"12"), L"账号 player 已在 12服 登录，同一账号不能在一服重复登录");
}

TEST(TabStrip, GeometryAndHitTesting) {
    EXPECT_EQ(TabAtPoint(131, 3, 1), 0);
    EXPECT_EQ(TabAtPoint(130, 10, 1), -1);   // the left edge itself is outside
    EXPECT_EQ(TabAtPoint(305, 24, 1), 0);
    EXPECT_EQ(TabAtPoint(306, 10, 1), -1);   // beyond one tab
    EXPECT_EQ(TabAtPoint(306, 10, 2), 1);
    EXPECT_EQ(TabAtPoint(200, 25, 3), -1);
    EXPECT_EQ(TabAtPoint(200, 2, 3), -1);
    EXPECT_EQ(TabAtPoint(657, 10, 3), 2);
    EXPECT_EQ(TabCloseHoverState(283, 8, 0, false), 1);
    EXPECT_EQ(TabCloseHoverState(296, 21, 0, true), 2);
    EXPECT_EQ(TabCloseHoverState(297, 10, 0, false), 0);
    EXPECT_EQ(TabCloseHoverState(283 + 176, 10, 1, false), 1);
    EXPECT_FALSE(TabClosePress(290, 8, 0));
    EXPECT_TRUE(TabClosePress(290, 9, 0));
    EXPECT_TRUE(TabCloseRelease(290, 8, 0));
    EXPECT_FALSE(TabCloseRelease(290, 22, 0));
    EXPECT_EQ(TabRect(2).left, 482);
    EXPECT_EQ(TabTitleRect(1).right, 459);
    EXPECT_EQ(NewPageButtonRect(3).left, 658);
}

TEST(MainSize, MinimumWhilePagesAreOpen) {
    EXPECT_FALSE(ClampMainSize(100, 100, 0).raised);
    const MainSize small = ClampMainSize(500, 200, 2);
    EXPECT_TRUE(small.raised);
    EXPECT_EQ(small.cx, 2 * 176 + 440);
    EXPECT_EQ(small.cy, 260);
    EXPECT_FALSE(ClampMainSize(1000, 600, 3).raised);
}

TEST(Favourite, ShortcutTextHoldsTheAddressTwice) {
    EXPECT_EQ(FavouriteShortcutText(L"http://g/play"),
              L"[DEFAULT]\r\nBASEURL=http://g/play\r\n[{000214A0-0000-0000-C000-000000000046}]\r\n=19,2\r\n"
              L"[InternetShortcut]\r\nURL=http://g/play\r\nIDList=\r\n");
    EXPECT_EQ(FavouriteShortcutText(std::wstring(600, L'u')).size(), 511u);
    // A pair of surrogates across the 511th character goes as a whole.
    std::wstring pairs;
    for (int i = 0; i < 300; ++i) pairs += L"\xD83D\xDE00";
    for (const auto& [url, kept] : {std::pair{L"x" + pairs, 510u}, std::pair{pairs, 511u}})
        EXPECT_EQ(FavouriteShortcutText(url).size(), kept);
    EXPECT_EQ(FavouriteShortcutPath(L"C:\\Fav", L""), L"C:\\Fav\\.url");
    EXPECT_EQ(FavouriteShortcutPath(L"C:\\Fav", L"星光"), L"C:\\Fav\\星光.url");
    EXPECT_EQ(FavouriteShortcutPath(L"C:\\Fav", std::wstring(300, L'n')), L"");
}

}  // namespace

#include "framework/element_events.h"

namespace {

TEST(ElementEvents, SourceElementClassExactTagAnyCaseFirstEntryWins) {
    const ElementSelector table[] = {
        {-605, L"drag", true},   // onmousedown on class "drag"
        {-605, L"body", false},  // onmousedown on <body>
        {-605, L"td", false},
        {-606, L"div", false},   // onmousemove on <div>
        {-605, L"DIV", false},
    };
    const int n = 5;
    EXPECT_EQ(MatchElementEvent(table, n, -605, L"drag", L"span"), 0);
    EXPECT_EQ(MatchElementEvent(table, n, -605, L"Drag", L"span"), -1);       // class is case-sensitive
    EXPECT_EQ(MatchElementEvent(table, n, -605, L"drag other", L"td"), 2);    // the whole class text must equal
    EXPECT_EQ(MatchElementEvent(table, n, -605, L"", L"BODY"), 1);            // tags in any case
    EXPECT_EQ(MatchElementEvent(table, n, -605, L"", L"div"), 4);
    EXPECT_EQ(MatchElementEvent(table, n, -606, L"", L"DiV"), 3);
    EXPECT_EQ(MatchElementEvent(table, n, -607, L"drag", L"body"), -1);       // another event
    EXPECT_EQ(MatchElementEvent(table, 0, -605, L"drag", L"body"), -1);
}

}  // namespace
