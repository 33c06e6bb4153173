#include "mainwnd/menu_logic.h"

#include "stats/beacons.h"

std::vector<MenuItem> BuildMenuItems(bool tray, std::wstring_view bossKeyName) {
    std::vector<MenuItem> items = {
        {kMenuRefresh, L"刷新 (F5)"},
        {kMenuBossKey, L"隐藏/恢复(" + std::wstring(bossKeyName) + L")"},
        {kMenuClearCache, L"清除缓存"},
        {0, L""},
        {kMenuUpdate, L"更新"},
        {kMenuSettings, L"设置..."},
    };
    if (tray)
        items.push_back({kMenuExit, L"退出"});
    else
        items.push_back({kMenuVersion, L"版本号: 3.0.0.1"});
    return items;
}

std::wstring PortalLinkTarget(int type, const PortalLinkHosts& hosts, std::wstring_view gameCode) {
    const std::wstring portal = L"http://" + hosts.portal;
    switch (type) {
    case 1: return portal + L"/user/userinfo.php";
    case 2: return portal + L"/message/";
    case 3: return L"http://" + hosts.pay + L"/?gamename=lmdr";
    case 4: return portal + L"/" + std::wstring(gameCode) + L"/xsk/";
    case 5: return portal + L"/kefu/";
    default: return {};
    }
}

std::wstring AutoLoginAddress(int type, const PortalLinkHosts& hosts, std::wstring_view pauth,
                              std::wstring_view gameCode, std::wstring_view ptusertype) {
    if (type < 1 || type > 5) return {};
    const std::wstring target = UrlEncodeUtf8(PortalLinkTarget(type, hosts, gameCode), kLinkTargetCapacity);
    std::wstring address = L"http://" + hosts.portal + L"/user/?_c=hallClient&_a=autoLogin&pauth=" +
                           std::wstring(pauth) + L"&url=" + target + L"&ptusertype=" + std::wstring(ptusertype) +
                           L"&type=" + std::to_wstring(type) + L"&game=lmdr";
    if (address.size() > kAutoLoginCapacity - 1) address.resize(kAutoLoginCapacity - 1);
    return address;
}
