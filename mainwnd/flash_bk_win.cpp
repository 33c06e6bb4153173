#include "mainwnd/flash_bk_win.h"

#include <ole2.h>

#include "res/resource.h"

CFlashBK::CFlashBK() : CDialog(IDD_BLANK) {
    // Start-up releases OLE once after the splash has run.
    ::OleInitialize(nullptr);
}

CFlashBK::~CFlashBK() = default;
