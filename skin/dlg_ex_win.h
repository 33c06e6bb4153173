// The skinned dialog base: bitmap frame with shaped corners, caption
// buttons, title and icon, dragging, edge resizing and its own maximize.
#pragma once
#include "skin/memory_canvas_win.h"
#include "framework/wnd_win.h"
#include "skin/controls_win.h"

// A bitmap or PNG resource as a GDI bitmap, transparent pixels in magenta.
HBITMAP LoadSkinBitmap(HINSTANCE module, UINT id);

inline constexpr UINT kCloseButtonId = 50000;
inline constexpr UINT kMinimizeButtonId = 50001;
inline constexpr UINT kMaximizeButtonId = 50002;

class CDlgEx : public CDialog {
public:
    explicit CDlgEx(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDlgEx() override;

    BOOL OnInitDialog() override;

    // Takes the background and the maximize/restore images; copies the
    // close and minimize strips into their buttons. Null images: no button.
    BOOL SetSkin(HBITMAP background, BOOL resizeToBackground, BOOL stretch, HBITMAP minImage, HBITMAP maxImage,
                 HBITMAP restoreImage, HBITMAP closeImage);
    void SetTitle(const wchar_t* title);
    void RedrawCaptionButtons();

    virtual void OnCloseButton();
    virtual void OnMinimizeButton();
    virtual void ToggleMaximize();
    virtual void UpdateMaximizeButton(BOOL maximized);

    int m_bShowTitle = 1;
    int m_bShowIcon = 1;
    int m_bMaximized = 0;
    int m_nCaptionHeight = -1;
    int m_nButtonRightMargin = 5;
    int m_nButtonTop = 1;
    int m_nBorder = 3;
    COLORREF m_clrTitle = RGB(255, 255, 255);
    int m_nTitleWeight = 400;
    HBITMAP m_bmpBackground = nullptr;
    CBtnEx m_btnClose, m_btnMin, m_btnMax;
    SIZE m_sizeMax{1440, 900};
    RECT m_rcRestore{};
    int m_bResizable = 0;
    int m_bStretch = 0;
    HBITMAP m_bmpMaxImage = nullptr;
    HBITMAP m_bmpRestoreImage = nullptr;

protected:
    void BuildSkinRegion();
    // Paints background, icon and title into `dc` (window coordinates).
    void DrawSkinFrame(HDC dc, int width, int height);
    // The frame and then `extra` drawn into a memory picture of the given
    // size, put on `target` in one go so nothing flickers.
    template <class Extra>
    void PaintFramed(HDC target, int width, int height, Extra extra) {
        CMemoryCanvas canvas(target, width, height);
        DrawSkinFrame(canvas.dc, width, height);
        extra(canvas.dc);
        ::BitBlt(target, 0, 0, width, height, canvas.dc, 0, 0, SRCCOPY);
    }
    void LayoutCaptionButtons(int layoutWidth);

    LRESULT OnEraseBkgnd(WPARAM, LPARAM);
    LRESULT OnNcHitTest(WPARAM, LPARAM);
    LRESULT OnNcLButtonDown(WPARAM, LPARAM);
    LRESULT OnNcLButtonDblClk(WPARAM, LPARAM);
    LRESULT OnLButtonDblClk(WPARAM, LPARAM);
    LRESULT OnSize(WPARAM, LPARAM);
    void OnCloseCommand() { OnCloseButton(); }
    void OnMinimizeCommand() { OnMinimizeButton(); }
    void OnMaximizeCommand() { ToggleMaximize(); }
    DECLARE_MESSAGE_MAP()

private:
    void DeleteBitmaps();
};
