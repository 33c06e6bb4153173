// The font a skinned window draws its own texts with: the window's dialog
// font (the system's GUI font when it has none) at a pixel height.
#pragma once
#include <windows.h>

inline LOGFONTW WindowFontAt(HWND wnd, LONG height) {
    HFONT base = reinterpret_cast<HFONT>(::SendMessageW(wnd, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    ::GetObjectW(base ? static_cast<HGDIOBJ>(base) : ::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lf.lfHeight = height;
    return lf;
}
