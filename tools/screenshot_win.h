// The screenshot tool: a frozen, darkened copy of the screen over everything;
// the player drags out a selection that shows the frozen image at full
// brightness, adjusts it by its edges and handles, and copies it to the
// clipboard or saves it as a BMP file. A magnifier follows the cursor and a
// small toolbar sits by the selection.
#pragma once
#include "skin/dlg_ex_win.h"

#include <string>

#include "tools/shot_geometry.h"

class CHalvane3Dlg;

// Posted to the overlay by the toolbar's save button.
inline constexpr UINT WM_SHOTSAVE = WM_USER + 9;

// The main window's screenshot button: creates the overlay the first time
// and shows it unless it is already showing.
void OpenScreenshotTool(CHalvane3Dlg& dlg);

// A copy of the whole screen (width x height from its top-left) in a new
// memory DC holding a new bitmap; null on failure. Release with
// ReleaseScreenCopy.
HDC CaptureScreen(int width, int height, HBITMAP* bitmap);
void ReleaseScreenCopy(HDC dc, HBITMAP bitmap);

// Writes `rect` of `source` as a BMP file (create or truncate): file and info
// headers, then the pixels bottom-up. False, and nothing written, when the
// pixels cannot be fetched or the file cannot be opened; false as well when
// a write comes up short.
bool WriteBmpFromDC(HDC source, const RECT& rect, const wchar_t* path);

// Copies `rect` of `source` to the clipboard as a bitmap, owned by `owner`.
bool CopyRectToClipboard(HWND owner, HDC source, const RECT& rect);

class CRealShotZone;
class CShotOpera;

// The magnifier: a zoomed square around the cursor, its colour and a hint.
class CShotZoom : public CDialog {
public:
    CShotZoom();

    BOOL OnInitDialog() override;
    void OnOK() override {}
    // The overlay's cancel.
    void OnCancel() override;

    // Next to the cursor (screen point), shown and repainted.
    void Follow(POINT cursor, int screenWidth, int screenHeight);

    HDC m_hdcScreen = nullptr;  // the frozen screen, owned by the overlay
    POINT m_ptCursor{};         // the cursor the view is drawn for

protected:
    LRESULT OnEraseBkgnd(WPARAM, LPARAM);
    LRESULT OnMouseMove(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()
};

// The selection: a layered top-most window showing the frozen image with a
// green frame and handles; moved by its inside, resized by its edges.
class CRealShotZone : public CDialog {
public:
    CRealShotZone();

    BOOL OnInitDialog() override;
    void OnOK() override {}
    // Hides itself, then the overlay, the magnifier and the toolbar.
    void OnCancel() override;

    // The selection in the overlay's coordinates (the screen's).
    RECT SelectionRect() const;

    HCURSOR m_hSizeAll = nullptr;
    int m_nScreenWidth = 0;
    int m_nScreenHeight = 0;
    HDC m_hdcScreen = nullptr;  // the frozen screen, owned by the overlay
    CShotZoom* m_pZoom = nullptr;
    CShotOpera* m_pOpera = nullptr;

protected:
    LRESULT OnEraseBkgnd(WPARAM, LPARAM);
    LRESULT OnNcHitTest(WPARAM, LPARAM);
    LRESULT OnNcLButtonDown(WPARAM, LPARAM);
    LRESULT OnNcLButtonDblClk(WPARAM, LPARAM);
    LRESULT OnNcMouseMove(WPARAM, LPARAM);
    LRESULT OnLButtonUp(WPARAM, LPARAM);
    LRESULT OnMouseMove(WPARAM, LPARAM);
    LRESULT OnSetCursor(WPARAM, LPARAM);
    LRESULT OnWindowPosChanging(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()

private:
    // Mouse messages of the client area go on to the overlay.
    void ForwardToOverlay(UINT msg, WPARAM wParam, LPARAM lParam);
};

// The toolbar: save, cancel and finish.
class CShotOpera : public CDlgEx {
public:
    CShotOpera();

    BOOL OnInitDialog() override;
    void OnOK() override {}
    // Hides the selection and the magnifier, then the overlay, then itself.
    void OnCancel() override;

    CBtnEx m_btnDone, m_btnCancel, m_btnSave;
    CShotZoom* m_pZoom = nullptr;
    CRealShotZone* m_pZone = nullptr;

protected:
    void OnDone();
    void OnCancelShot() { OnCancel(); }
    void OnSave();
    LRESULT OnNcMouseMove(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()
};

// The full-screen overlay and owner of the other three.
class CScreenShot : public CDialog {
public:
    CScreenShot();
    ~CScreenShot() override;

    BOOL OnInitDialog() override;
    void OnOK() override {}
    // Hides the selection, the magnifier and the toolbar, then itself.
    void OnCancel() override;

    // Places the toolbar by the selection, shown without activation.
    void PlaceToolbar();
    // Saves the selection through the save dialog; false when the player
    // cancelled it or the file could not be written.
    bool SaveSelection();

    int m_nScreenWidth = 0;
    int m_nScreenHeight = 0;
    HBITMAP m_hbmScreen = nullptr;
    HDC m_hdcScreen = nullptr;
    ShotBand m_band;  // press point, release point, dragging
    HICON m_hCursor = nullptr;
    CRealShotZone m_dlgZone;
    CShotZoom m_dlgZoom;
    CShotOpera m_dlgOpera;

protected:
    LRESULT OnEraseBkgnd(WPARAM, LPARAM);
    LRESULT OnShowWindow(WPARAM, LPARAM);
    LRESULT OnLButtonDown(WPARAM, LPARAM);
    LRESULT OnLButtonUp(WPARAM, LPARAM);
    LRESULT OnRButtonUp(WPARAM, LPARAM);
    LRESULT OnMouseMove(WPARAM, LPARAM);
    LRESULT OnLButtonDblClk(WPARAM, LPARAM);
    LRESULT OnSetCursor(WPARAM, LPARAM);
    LRESULT OnSaveRequest(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()

private:
    bool Capture();
    void ReleaseFrozenScreen();
};
