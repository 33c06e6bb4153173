// The favourites shortcut file through the real code-page conversion.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "test_util.h"
#include "tools/fav_dlg_win.h"
#include "tools/favourite_url.h"

namespace {

std::string FileBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::wstring Decode(const std::string& bytes, UINT codePage) {
    std::wstring text(bytes.size(), L'\0');
    const int n = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                        text.data(), static_cast<int>(text.size()));
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}

TEST(Favourite, AnOverlongShortcutIsCutByWholeCharactersAndNeverEmptiesAFile) {
    // Addresses whose text in the code page needs more than 512 bytes,
    // written over an existing favourite: the file gets the text cut from
    // its end, by whole characters, to the longest part that fits.
    const struct {
        const char* name;
        UINT codePage;
        std::wstring url;
    } cases[] = {
        {"ASCII", CP_ACP, L"http://g/play?" + std::wstring(600, L'q')},
        {"Chinese, two bytes each", 936, L"http://g/" + std::wstring(200, L'\x661F')},
        {"Chinese, three bytes each", CP_UTF8, L"http://g/" + std::wstring(150, L'\x661F')},
        {"pairs of surrogates, four bytes each", CP_UTF8, [] {
             std::wstring u = L"http://g/x";
             for (int i = 0; i < 120; ++i) u += L"\xD83D\xDE00";
             return u;
         }()},
    };
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring folder = temp;
    folder.pop_back();  // its trailing "\"
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = FavouriteShortcutPath(folder, L"fav-cut");
        { std::ofstream(path.c_str(), std::ios::binary) << "[InternetShortcut]\r\nURL=http://old/\r\n"; }
        ASSERT_TRUE(WriteFavouriteShortcut(folder, L"fav-cut", c.url, c.codePage));
        const std::string bytes = FileBytes(path);
        const std::wstring full = FavouriteShortcutText(c.url);
        const std::wstring text = Decode(bytes, c.codePage == CP_ACP ? ::GetACP() : c.codePage);
        EXPECT_LE(bytes.size(), 512u);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(full.compare(0, text.size(), text), 0);  // a part from its start
        // One more character would not have fitted.
        if (text.size() < full.size()) {
            const std::size_t next = IS_HIGH_SURROGATE(full[text.size()]) ? 2 : 1;
            const int more = ::WideCharToMultiByte(c.codePage, 0, full.c_str() + text.size(), static_cast<int>(next),
                                                   nullptr, 0, nullptr, nullptr);
            EXPECT_GT(bytes.size() + static_cast<std::size_t>(more), 512u);
            EXPECT_FALSE(IS_HIGH_SURROGATE(text.back()));
        }
        ::DeleteFileW(path.c_str());
    }
}

}  // namespace
