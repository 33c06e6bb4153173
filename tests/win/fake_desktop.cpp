// A stand-in desktop for the icon-finding test: "Progman" with a
// "SHELLDLL_DefView" holding a "FolderView" list view of a few items.
// Runs until it is ended.
#include <windows.h>
#include <commctrl.h>

#include <initializer_list>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
    for (const wchar_t* name : {L"Progman", L"SHELLDLL_DefView"}) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = instance;
        wc.lpszClassName = name;
        ::RegisterClassW(&wc);
    }
    HWND progman = ::CreateWindowExW(0, L"Progman", L"Program Manager", WS_POPUP | WS_VISIBLE, 0, 0, 600, 400,
                                     nullptr, nullptr, instance, nullptr);
    HWND view = ::CreateWindowExW(0, L"SHELLDLL_DefView", L"", WS_CHILD | WS_VISIBLE, 0, 0, 600, 400, progman,
                                  nullptr, instance, nullptr);
    HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"FolderView", WS_CHILD | WS_VISIBLE | LVS_ICON, 0, 0, 600, 400,
                                  view, nullptr, instance, nullptr);
    const wchar_t* items[] = {L"Recycle Bin", L"Other Game", L"LUMENDOR"};
    for (int i = 0; i < 3; ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<wchar_t*>(items[i]);
        ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
