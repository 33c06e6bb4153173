#include "tools/fav_dlg_win.h"

#include <shlobj.h>

#include <cstdio>
#include <string>

#include "res/resource.h"
#include "tools/favourite_url.h"

CFavDlg::CFavDlg(const std::wstring& name, const std::wstring& url, HWND parent)
    : CDialog(IDD_FAVOURITE), m_strName(name), m_strUrl(url) {
    m_hWndOwner = parent;
}

BOOL CFavDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SetDlgItemTextW(m_hWnd, IDC_FAV_NAME, m_strName.c_str());
    return TRUE;
}

namespace {

constexpr int kShortcutBytes = 512;

// The text in the code page, cut by whole characters from its end until it
// fits the shortcut's 512 bytes; empty when it cannot be converted at all.
std::string ShortcutBytes(std::wstring text, UINT codePage) {
    while (!text.empty()) {
        const int need = ::WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                               nullptr, nullptr);
        if (need <= 0) return {};
        if (need <= kShortcutBytes) {
            std::string bytes(static_cast<std::size_t>(need), '\0');
            const int got = ::WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()),
                                                  bytes.data(), need, nullptr, nullptr);
            return got == need ? bytes : std::string();
        }
        // A surrogate pair is one character and goes as a whole.
        const std::size_t n = text.size();
        text.resize(n >= 2 && IS_LOW_SURROGATE(text[n - 1]) && IS_HIGH_SURROGATE(text[n - 2]) ? n - 2 : n - 1);
    }
    return {};
}

}  // namespace

bool WriteFavouriteShortcut(const std::wstring& folder, const std::wstring& name, const std::wstring& url,
                            UINT codePage) {
    const std::wstring path = FavouriteShortcutPath(folder, name);
    if (path.empty()) return false;
    // Converted before the file is opened: a favourite of the same name is
    // replaced only by something to write.
    const std::string bytes = ShortcutBytes(FavouriteShortcutText(url), codePage);
    if (bytes.empty()) return false;
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

void CFavDlg::OnOK() {
    wchar_t name[128] = {};
    ::GetDlgItemTextW(m_hWnd, IDC_FAV_NAME, name, 128);
    CDialog::OnOK();
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_FAVORITES, nullptr, SHGFP_TYPE_CURRENT, folder))) return;
    WriteFavouriteShortcut(folder, name, m_strUrl);
}
