// A stand-in desktop for the icon-finding test: "Progman" with a
// "SHELLDLL_DefView" holding a "FolderView" list view of a few items.
// Runs until it is ended.
//
// With "/x64" its list view reads item records in the 64-bit layout, as the
// desktop of a 64-bit system does for a 32-bit client under WOW64.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <initializer_list>

namespace {

WNDPROC g_listProc = nullptr;

// The 64-bit item record: sub-item at 8, text pointer at 24, capacity at 32.
LRESULT CALLBACK List64Proc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == LVM_GETITEMTEXTW && lParam) {
        const auto* record = reinterpret_cast<const BYTE*>(lParam);
        std::uint64_t text = 0;
        int subItem = 0, capacity = 0;
        std::memcpy(&subItem, record + 8, 4);
        std::memcpy(&text, record + 24, 8);
        std::memcpy(&capacity, record + 32, 4);
        LVITEMW item{};
        item.iSubItem = subItem;
        item.pszText = reinterpret_cast<wchar_t*>(static_cast<std::uintptr_t>(text));
        item.cchTextMax = capacity;
        return ::CallWindowProcW(g_listProc, hWnd, msg, wParam, reinterpret_cast<LPARAM>(&item));
    }
    return ::CallWindowProcW(g_listProc, hWnd, msg, wParam, lParam);
}

}  // namespace

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
    if (std::wcsstr(::GetCommandLineW(), L"/x64"))
        g_listProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&List64Proc)));
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
