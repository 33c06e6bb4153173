#include "mainwnd/menu_logic.h"

#include <gtest/gtest.h>

namespace {

const PortalLinkHosts kHosts{L"www.portal.test", L"pay.portal.test:8080"};

TEST(PortalLinks, EachTypeLogsInAndForwardsToItsPage) {
    struct Case {
        int type;
        const wchar_t* game;
        const wchar_t* encodedTarget;
    };
    const Case cases[] = {
        {1, L"lmdr", L"http%3A%2F%2Fwww%2Eportal%2Etest%2Fuser%2Fuserinfo%2Ephp"},
        {2, L"lmdr", L"http%3A%2F%2Fwww%2Eportal%2Etest%2Fmessage%2F"},
        {3, L"s7x", L"http%3A%2F%2Fpay%2Eportal%2Etest%3A8080%2F%3Fgamename%3Dlmdr"},  // always the fixed game
        {4, L"s7x", L"http%3A%2F%2Fwww%2Eportal%2Etest%2Fs7x%2Fxsk%2F"},               // the page's own game
        {5, L"lmdr", L"http%3A%2F%2Fwww%2Eportal%2Etest%2Fkefu%2F"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(AutoLoginAddress(c.type, kHosts, L"p-1", c.game, L"2"),
                  std::wstring(L"http://www.portal.test/user/?_c=hallClient&_a=autoLogin&pauth=p-1&url=") +
                      c.encodedTarget + L"&ptusertype=2&type=" + std::to_wstring(c.type) + L"&game=lmdr");
    }
    EXPECT_EQ(AutoLoginAddress(0, kHosts, L"p", L"lmdr", L"2"), L"");
    EXPECT_EQ(AutoLoginAddress(6, kHosts, L"p", L"lmdr", L"2"), L"");
}

TEST(PortalLinks, LongFieldsAreCutToTheBuffers) {
    // A game code that makes the encoded target longer than its buffer.
    const std::wstring game(600, L'g');
    const std::wstring address = AutoLoginAddress(4, kHosts, L"p", game, L"2");
    EXPECT_EQ(address.size(), kAutoLoginCapacity - 1);
    // The target fills the rest; the fields after it are cut away.
    EXPECT_EQ(address.substr(address.size() - 3), L"ggg");
    EXPECT_EQ(address.find(L"&ptusertype="), std::wstring::npos);

    const std::wstring shortPauth = AutoLoginAddress(1, kHosts, std::wstring(30, L'x'), L"lmdr", L"2");
    EXPECT_LT(shortPauth.size(), kAutoLoginCapacity - 1);
    EXPECT_EQ(shortPauth.substr(shortPauth.size() - 10), L"&game=lmdr");
}

TEST(Menus, TrayEndsWithExitMainWithTheVersion) {
    for (bool tray : {false, true}) {
        const auto items = BuildMenuItems(tray, L"无");
        ASSERT_EQ(items.size(), 7u);
        EXPECT_EQ(items[1].text, L"隐藏/恢复(无)");
        EXPECT_EQ(items[3].command, 0u);  // the separator
        EXPECT_EQ(items.back().command, tray ? kMenuExit : kMenuVersion);
        EXPECT_EQ(items.back().text, tray ? L"退出" : L"版本号: 3.0.0.1");
    }
}

}  // namespace
