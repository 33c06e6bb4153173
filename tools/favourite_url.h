// The Internet shortcut the favourites dialog writes. Portable.
#pragma once
#include <string>
#include <string_view>

// The shortcut's text with the address after "BASEURL=" and "URL=", cut to
// 511 characters (never inside a surrogate pair).
std::wstring FavouriteShortcutText(std::wstring_view url);
// The file's path: the Favorites folder, "\", the name, ".url"; empty when
// it does not fit 259 characters.
std::wstring FavouriteShortcutPath(std::wstring_view favouritesFolder, std::wstring_view name);
