// Owner-painted controls of the skinned windows: an image button of four
// frames and a self-wrapping static text. Both paint their parent's skin
// under themselves.
#pragma once
#include "framework/wnd_win.h"

#include <commctrl.h>

#include <string>

// Paints the parent's skin under a control into `dc` (a memory DC of the
// control's size) by asking the parent to erase into it at the right offset.
void PaintParentSkin(HWND control, HDC dc);

class CBtnEx : public CWnd {
public:
    CBtnEx() = default;
    ~CBtnEx() override;

    // The framework's button creation (owner-drawn).
    bool Create(const wchar_t* caption, DWORD style, const RECT& rect, HWND parent, UINT id);
    // The four-frame strip (copied; the caller keeps it). With resize, the
    // button takes the size of one frame.
    void SetImage(HBITMAP strip, bool resize);
    void SetTooltip(const std::wstring& text);
    void SetTextColor(COLORREF colour) { m_clrText = colour; }
    void SetHandCursor(bool on) { m_bHandCursor = on ? 1 : 0; }
    // Forgets hover and tracking (after the window moved under the mouse).
    void ResetHover() { m_bHover = m_bTracking = 0; }

    BOOL PreTranslateMessage(MSG* pMsg) override;
    bool OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    virtual void DrawItem(const DRAWITEMSTRUCT* item);

    int FrameCount() const { return m_images ? ImageList_GetImageCount(m_images) : 0; }
    const std::wstring& Caption() const { return m_strCaption; }

    int m_bTracking = 0;
    int m_bHover = 0;
    RECT m_rcWindow{};
    std::wstring m_strCaption;
    COLORREF m_clrText = RGB(0, 0, 0);
    HIMAGELIST m_images = nullptr;
    int m_bPressedLatch = 0;
    int m_bHandCursor = 0;
    int m_bTooltip = 0;
    HWND m_tooltip = nullptr;
    std::wstring m_strTooltip;

protected:
    void PreSubclassWindow() override;
    LRESULT OnEraseBkgnd(WPARAM, LPARAM) { return 1; }
    LRESULT OnMouseMove(WPARAM, LPARAM);
    LRESULT OnMouseHover(WPARAM, LPARAM);
    LRESULT OnMouseLeave(WPARAM, LPARAM);
    LRESULT OnLButtonUp(WPARAM, LPARAM);
    LRESULT OnSetCursor(WPARAM, LPARAM);
    LRESULT OnNotify(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()

private:
    void RefreshWindowRect();
};

class CStaticEx : public CWnd {
public:
    CStaticEx() = default;
    ~CStaticEx() override;

    // A one-frame image beside the text (copied; the caller keeps it).
    bool SetImage(HBITMAP bitmap);
    void SetText(const std::wstring& text);

    std::wstring m_strText;
    int m_nFontWidth = 0;
    int m_nFontWeight = -1;
    int m_nFontHeight = 0;
    int m_bHandCursor = 0;
    int m_bUnderline = 0;
    HFONT m_font = nullptr;
    COLORREF m_clrNormal = RGB(0, 0, 0);
    COLORREF m_clrHover = RGB(0, 0, 0);
    int m_nLineSpacing = 3;
    int m_bHoverColour = 0;
    int m_bHover = 0;
    int m_bTracking = 0;
    HICON m_hIcon = nullptr;
    HIMAGELIST m_images = nullptr;
    int m_nImageWidth = 0, m_nImageHeight = 0;
    int m_bImageRight = 0;
    int m_nImageIndex = 0;

protected:
    void PreSubclassWindow() override;
    // Draws the text; subclasses may draw it their own way.
    virtual void DrawStaticText(HDC dc);
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnEraseBkgnd(WPARAM, LPARAM) { return 1; }
    LRESULT OnSetCursor(WPARAM, LPARAM);
    LRESULT OnMouseMove(WPARAM, LPARAM);
    LRESULT OnMouseHover(WPARAM, LPARAM);
    LRESULT OnMouseLeave(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()
};
