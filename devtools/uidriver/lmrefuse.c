/* A window hook the UI driver puts on another program's thread to make its
 * dialog creation fail, as a system out of window resources would: while the
 * named event "lmdriver-refuse-<owner>" exists, no dialog owned by that window
 * can be created. Loaded into the hooked program by the system. */
#include <windows.h>

#include <stdio.h>

__declspec(dllexport) LRESULT CALLBACK RefuseDialogs(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CBT_CREATEWNDW* create = (const CBT_CREATEWNDW*)lParam;
        const LPCWSTR cls = create->lpcs->lpszClass;
        if (IS_INTRESOURCE(cls) && LOWORD((ULONG_PTR)cls) == 32770 && create->lpcs->hwndParent) {
            wchar_t name[64];
            swprintf(name, 64, L"lmdriver-refuse-%lx", (unsigned long)(ULONG_PTR)create->lpcs->hwndParent);
            HANDLE flag = OpenEventW(SYNCHRONIZE, FALSE, name);
            if (flag) {
                CloseHandle(flag);
                return 1; /* creation refused */
            }
        }
    }
    (void)wParam;
    return CallNextHookEx(NULL, code, wParam, lParam);
}
