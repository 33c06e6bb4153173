// The main window's menus and portal links as text: item lists, the
// auto-login addresses. Portable.
#pragma once
#include <string>
#include <string_view>
#include <vector>

struct MenuItem {
    unsigned command;  // 0 for a separator
    std::wstring text;
};

inline constexpr unsigned kMenuRefresh = 1;
inline constexpr unsigned kMenuBossKey = 2;
inline constexpr unsigned kMenuClearCache = 3;
inline constexpr unsigned kMenuUpdate = 4;
inline constexpr unsigned kMenuSettings = 5;
inline constexpr unsigned kMenuExit = 6;
inline constexpr unsigned kMenuVersion = 0xFFFF;

// The main menu (with the version line) or the tray menu (with "退出");
// `bossKeyName` is the boss key in words ("无" when none).
std::vector<MenuItem> BuildMenuItems(bool tray, std::wstring_view bossKeyName);

inline constexpr std::size_t kLinkTargetCapacity = 512;   // encoded target, with its terminator
inline constexpr std::size_t kAutoLoginCapacity = 511;    // the whole address, with its terminator

struct PortalLinkHosts {
    std::wstring portal;
    std::wstring pay;
};

// The page a portal link opens (1 account, 2 messages, 3 recharge,
// 4 newcomer card of `gameCode`, 5 customer service); empty for another type.
std::wstring PortalLinkTarget(int type, const PortalLinkHosts& hosts, std::wstring_view gameCode);
// The portal's auto-login address for a link: logs the browser in with
// `pauth` and forwards it to the percent-encoded target.
std::wstring AutoLoginAddress(int type, const PortalLinkHosts& hosts, std::wstring_view pauth,
                              std::wstring_view gameCode, std::wstring_view ptusertype);
