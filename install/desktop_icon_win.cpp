#include "install/desktop_icon_win.h"

#include <commctrl.h>

#include <cstdint>
#include <cstring>

namespace {

HWND FindDesktopListView() {
    if (HWND progman = ::FindWindowW(L"Progman", nullptr))
        if (HWND list = ::FindWindowExW(progman, nullptr, L"SysListView32", nullptr)) return list;
    for (HWND top = ::GetTopWindow(nullptr); top; top = ::GetWindow(top, GW_HWNDNEXT)) {
        HWND view = ::FindWindowExW(top, nullptr, L"SHELLDLL_DefView", nullptr);
        if (!view) continue;
        if (HWND list = ::FindWindowExW(view, nullptr, L"SysListView32", L"FolderView")) return list;
    }
    return nullptr;
}

}  // namespace

bool FindDesktopIconRect(RECT* output, bool layout64) {
    if (!output) return false;
    *output = RECT{};
    HWND list = FindDesktopListView();
    if (!list) return false;
    const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    DWORD pid = 0;
    ::GetWindowThreadProcessId(list, &pid);
    HANDLE process = ::OpenProcess(0x438, FALSE, pid);
    if (!process) return false;

    const SIZE_T itemSize = layout64 ? 88 : 60;
    void* remoteRect = ::VirtualAllocEx(process, nullptr, 16, MEM_COMMIT, PAGE_READWRITE);
    void* remoteItem = ::VirtualAllocEx(process, nullptr, itemSize, MEM_COMMIT, PAGE_READWRITE);
    void* remoteText = ::VirtualAllocEx(process, nullptr, 520, MEM_COMMIT, PAGE_READWRITE);
    bool found = false;
    if (remoteRect && remoteItem && remoteText) {
        for (int i = 0; i < count && !found; ++i) {
            BYTE item[88] = {};
            const auto textAddress = reinterpret_cast<std::uintptr_t>(remoteText);
            const std::uint32_t capacity = 260;
            if (layout64) {
                const std::uint64_t pointer = textAddress;
                std::memcpy(item + 24, &pointer, 8);
                std::memcpy(item + 32, &capacity, 4);
            } else {
                const std::uint32_t pointer = static_cast<std::uint32_t>(textAddress);
                std::memcpy(item + 20, &pointer, 4);
                std::memcpy(item + 24, &capacity, 4);
            }
            ::WriteProcessMemory(process, remoteItem, item, itemSize, nullptr);
            ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remoteItem));
            const RECT zero{LVIR_BOUNDS, 0, 0, 0};
            ::WriteProcessMemory(process, remoteRect, &zero, sizeof zero, nullptr);
            ::SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remoteRect));
            wchar_t text[261] = {};
            RECT rect{};
            ::ReadProcessMemory(process, remoteText, text, 520, nullptr);
            ::ReadProcessMemory(process, remoteRect, &rect, sizeof rect, nullptr);
            if (::lstrcmpiW(text, L"Lumendor") != 0) continue;

            // Take the label lines off the item.
            HDC dc = ::GetDC(list);
            HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0)));
            RECT measured{0, 0, 0, 0};
            ::DrawTextW(dc, L"Lumendor", -1, &measured, DT_CALCRECT);
            ::SelectObject(dc, old);
            ::ReleaseDC(list, dc);
            const int w = measured.right - measured.left, h = measured.bottom - measured.top;
            const int itemWidth = rect.right - rect.left;
            if (itemWidth > 0) rect.bottom = rect.bottom + 2 - h * ((w - 12) / itemWidth + 1);
            *output = rect;
            found = true;
        }
    }
    if (remoteRect) ::VirtualFreeEx(process, remoteRect, 0, MEM_RELEASE);
    if (remoteItem) ::VirtualFreeEx(process, remoteItem, 0, MEM_RELEASE);
    if (remoteText) ::VirtualFreeEx(process, remoteText, 0, MEM_RELEASE);
    ::CloseHandle(process);
    return found;
}
