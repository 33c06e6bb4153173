// The desktop-icon splash of "/Logo" mode: a click-through window at the
// bottom of the z-order over the desktop icon "Lumendor", playing the movie
// "Logo.swf" beside the executable, following the icon until it is gone.
#pragma once
#include "framework/wnd_win.h"

class CFlashWnd;

// Replaces the file at `path` by the movie resource (type "FLASH", id 193)
// of `module`. Any old file is deleted first; without the resource nothing is
// written and the result is false.
bool WriteMovieFile(HMODULE module, const wchar_t* path);

class CFlashBK : public CDialog {
public:
    CFlashBK();
    ~CFlashBK() override;

    BOOL OnInitDialog() override;
    void OnCancel() override;

    CFlashWnd* m_pFlash = nullptr;  // owned
    bool m_bOleStarted = false;     // this object took OLE and gives it back
    int m_nSide = 0;
    wchar_t m_szMovie[MAX_PATH] = {};

protected:
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnTimer(WPARAM, LPARAM);
    LRESULT OnWindowPosChanged(WPARAM, LPARAM);
    LRESULT OnDestroy(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()
};

// The name of the mutex that keeps a second splash from running.
inline constexpr wchar_t kSplashMutexName[] = L"Lm03000";
// The splash holds its mutex until the process ends; tests let it go.
void ReleaseSplashMutexForTest();
