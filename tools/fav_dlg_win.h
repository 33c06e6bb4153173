// The favourites dialog: saves the game as an Internet shortcut in the
// user's Favorites folder.
#pragma once
#include <string>

#include "framework/wnd_win.h"

class CFavDlg : public CDialog {
public:
    CFavDlg(const std::wstring& name, const std::wstring& url, HWND parent);
    BOOL OnInitDialog() override;
    void OnOK() override;

    std::wstring m_strName;
    std::wstring m_strUrl;
};

// Writes the shortcut file in the code page (the ANSI one by default);
// false when it could not be written.
bool WriteFavouriteShortcut(const std::wstring& folder, const std::wstring& name, const std::wstring& url,
                            UINT codePage = CP_ACP);
