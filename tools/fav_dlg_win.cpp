#include "tools/fav_dlg_win.h"

#include <shlobj.h>

#include <cstdio>

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

bool WriteFavouriteShortcut(const std::wstring& folder, const std::wstring& name, const std::wstring& url) {
    const std::wstring path = FavouriteShortcutPath(folder, name);
    if (path.empty()) return false;
    const std::wstring text = FavouriteShortcutText(url);
    char ansi[512] = {};
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), ansi,
                                            sizeof ansi, nullptr, nullptr);
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    const bool ok = std::fwrite(ansi, 1, static_cast<std::size_t>(bytes), file) == static_cast<std::size_t>(bytes);
    std::fclose(file);
    return ok;
}

void CFavDlg::OnOK() {
    wchar_t name[128] = {};
    ::GetDlgItemTextW(m_hWnd, IDC_FAV_NAME, name, 128);
    CDialog::OnOK();
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_FAVORITES, nullptr, SHGFP_TYPE_CURRENT, folder))) return;
    WriteFavouriteShortcut(folder, name, m_strUrl);
}
