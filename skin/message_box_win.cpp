#include "skin/message_box_win.h"

#include "app/halvane3_app_win.h"

// Until the skinned box exists the system's box carries the message, with
// the display name as its caption.
int ShowMessage(int type, const wchar_t* text, HWND owner) {
    UINT style = MB_OK;
    if (type == 1) style = MB_OKCANCEL;
    else if (type == 4) style = MB_YESNO;
    return ::MessageBoxW(owner, text ? text : L"", DisplayName, style | MB_SETFOREGROUND);
}
