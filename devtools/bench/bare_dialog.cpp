// The yardstick of the start-up benchmark: a plain dialog program with no
// start-up work at all, shown modally from a template of the main window's
// size.
#include <windows.h>

INT_PTR CALLBACK BareProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(hwnd, IDCANCEL);
        return TRUE;
    }
    if (msg == WM_CLOSE) {
        ::EndDialog(hwnd, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return static_cast<int>(::DialogBoxParamW(instance, MAKEINTRESOURCEW(102), nullptr, &BareProc, 0));
}
