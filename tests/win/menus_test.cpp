// The menus as the system holds them: items, commands and the boss key's
// name read from the settings file at the moment the menu opens.
#include <gtest/gtest.h>

#include <vector>

#include "mainwnd/menus_win.h"
#include "settings/settings_win.h"
#include "test_util.h"

namespace {

std::vector<std::pair<UINT, std::wstring>> Items(HMENU menu) {
    std::vector<std::pair<UINT, std::wstring>> out;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = {};
        MENUITEMINFOW mii{};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
        mii.dwTypeData = text;
        mii.cch = 128;
        ::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mii);
        out.emplace_back(mii.wID, (mii.fType & MFT_SEPARATOR) ? L"-" : text);
    }
    return out;
}

TEST(Menus, ItemsAndTheBossKeyNameFromTheSettingsFile) {
    const std::wstring ini = TempFilePath(L"menus");
    const std::vector<std::pair<UINT, std::wstring>> main = {
        {1, L"刷新 (F5)"}, {2, L"隐藏/恢复(F10)"}, {3, L"清除缓存"}, {0, L"-"},
        {4, L"更新"},      {5, L"设置..."},        {0xFFFF, L"版本号: 3.0.0.1"}};
    HMENU menu = BuildMenu(false, ini);  // no file yet: the default F10
    EXPECT_EQ(Items(menu), main);
    ::DestroyMenu(menu);

    struct Case {
        const wchar_t* stored;
        const wchar_t* item;
    };
    for (const Case& c : {Case{L"0,0", L"隐藏/恢复(无)"}, Case{L"6,66", L"隐藏/恢复(Ctrl  +  Shift  +  B)"},
                          Case{L"1,122", L"隐藏/恢复(Alt  +  F11)"}}) {
        ASSERT_TRUE(WriteSetting(Keys::ShortKey, c.stored, ini));
        for (bool tray : {false, true}) {
            menu = BuildMenu(tray, ini);
            const auto items = Items(menu);
            ::DestroyMenu(menu);
            ASSERT_EQ(items.size(), 7u);
            EXPECT_EQ(items[1].second, c.item) << c.stored;
            // The tray menu ends with the exit and has no version line.
            EXPECT_EQ(items.back(), tray ? std::make_pair(6u, std::wstring(L"退出")) : main.back());
        }
    }
    ::DeleteFileW(ini.c_str());
}

}  // namespace
