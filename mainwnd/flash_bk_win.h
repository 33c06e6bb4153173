// The desktop-icon splash of "/Logo" mode.
#pragma once
#include "framework/wnd_win.h"

class CFlashBK : public CDialog {
public:
    CFlashBK();
    ~CFlashBK() override;
    // Interim: the animation arrives with the Flash host; the splash ends
    // at once as if it had been cancelled.
    INT_PTR DoModal() override { return IDCANCEL; }
};
