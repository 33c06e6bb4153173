#include "tools/favourite_url.h"

std::wstring FavouriteShortcutText(std::wstring_view url) {
    std::wstring text = L"[DEFAULT]\r\nBASEURL=" + std::wstring(url) +
                        L"\r\n[{000214A0-0000-0000-C000-000000000046}]\r\n=19,2\r\n[InternetShortcut]\r\nURL=" +
                        std::wstring(url) + L"\r\nIDList=\r\n";
    if (text.size() > 511) {
        // Never half a character: a pair of surrogates stays whole or goes.
        const bool splitsPair = text[510] >= 0xD800 && text[510] <= 0xDBFF;
        text.resize(splitsPair ? 510 : 511);
    }
    return text;
}

std::wstring FavouriteShortcutPath(std::wstring_view folder, std::wstring_view name) {
    std::wstring path = std::wstring(folder) + L"\\" + std::wstring(name) + L".url";
    return path.size() < 260 ? path : std::wstring();
}
