// libFuzzer target over what the login and external-login pages hand the
// client: command URLs, the "loadgame" split and its server text, the
// account hand-over record, cookie lists, and the page titles and
// favourites made from them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "html/ext_login_logic.h"
#include "html/login_logic.h"
#include "mainwnd/page_logic.h"
#include "tests/fuzz/fuzz_input.h"
#include "tools/favourite_url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring url = FuzzWide(data, size);
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    if (CommandName(url).size() > 8) __builtin_trap();
    if (IsCommandUrl(url)) {
        (void)ParseLoginCommand(CommandName(url));
        (void)TextFrom(url, kStoreArgumentAt);
        (void)TextFrom(url, kRedirectArgumentAt);
    }

    const LoadGameSplit split = SplitLoadGame(url);
    if (split.gameUrl.size() > split.tail.size() || split.gameCode.empty()) __builtin_trap();
    if (split.tail.size() + split.serverText.size() >= url.size() && !split.tail.empty()) __builtin_trap();

    const std::wstring server = DecodeServerText(bytes);
    if (server.size() > 255) __builtin_trap();
    const PageTitle title = BuildPageTitle(server.empty() ? split.serverText : server);
    if (title.title.find(L"服-") == std::wstring::npos) __builtin_trap();
    if (ServerOfTitle(title.title) != title.server && title.server.find(L"服-") == std::wstring::npos) __builtin_trap();
    if (AccountLabelText(AccountOfTitle(title.title)).size() > 11) __builtin_trap();
    if (TabTitleText(title.title, 1000).size() > 17) __builtin_trap();

    // The record the login dialog builds reads back field by field when no
    // field holds the separator.
    const auto f = FuzzPieces(url, L'\n', 4);
    const LoginRecordFields back = ParseLoginRecord(BuildLoginRecord(f[0], L"Pauth=" + f[1], L"ptusertype=" + f[2],
                                                                     L"logingame=" + f[3]));
    if (url.find(L"||") == std::wstring::npos && url.find(L'|') == std::wstring::npos &&
        (back.title != f[0] || back.pauth != f[1] || back.userType != f[2] || back.game != f[3]))
        __builtin_trap();
    (void)ParseLoginRecord(url);

    (void)NextLoginCount(url);
    (void)ExtractSetpauthValue(url);
    if (FormatAutoLoginUrl(f[0], f[1], f[2], f[3]).size() > 2047) __builtin_trap();
    (void)FindExtLoginStart(url, L"127.0.0.1:47306");
    (void)ExtLoginTitle(url, L"127.0.0.1:47306");

    // Cookie lists as the system gives them.
    const std::wstring pauth = NamedCookie(url, L"Pauth");
    if (!pauth.empty() && pauth.rfind(L"Pauth=", 0) != 0) __builtin_trap();
    if (CookieListHasValue(url, L"Pauth") && pauth.size() <= 6) __builtin_trap();
    (void)ClassifyCompletedNavigation(f[0], L"127.0.0.1:47306", f[1]);
    (void)ExtLoginGuardCancels(url, L"graph.example", size & 1);

    if (FavouriteShortcutText(url).size() > 2 * 511 + 64) __builtin_trap();
    if (FavouriteShortcutPath(f[0], f[1]).size() > 259) __builtin_trap();
    return 0;
}
