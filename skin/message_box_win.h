// Every user-facing question and notice of the client.
#pragma once
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// type 0: OK; 1: OK and Cancel; 4: Yes and No (any other type is 0).
// Returns IDOK, IDCANCEL, IDYES or IDNO.
int ShowMessage(int type, const wchar_t* text, HWND owner);
