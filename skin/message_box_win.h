// The client's message box: a skinned modal dialog sized to its text.
#pragma once
#include "skin/dlg_ex_win.h"

#include <string>

class CMessageBox : public CDlgEx {
public:
    explicit CMessageBox(HWND parent);
    ~CMessageBox() override;

    BOOL OnInitDialog() override;
    // Enter and Escape do nothing: only the buttons, the caption's close
    // button and WM_CLOSE end the box.
    void OnOK() override {}
    void OnCancel() override {}

    HBITMAP m_hbmBackground = nullptr;  // handed to the skin, which owns it
    HBITMAP m_hbmClose = nullptr;
    HBITMAP m_hbmButton1 = nullptr;
    HBITMAP m_hbmButton2 = nullptr;
    std::wstring m_strText;
    std::wstring m_strTitle;
    int m_nType = 0;
    int m_nLines = 1;
    HFONT m_pFont = nullptr;
    COLORREF m_clrText = RGB(153, 153, 153);
    CBtnEx m_btn1, m_btn2;

protected:
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnClose(WPARAM, LPARAM);
    void OnButton1();
    void OnButton2();
    DECLARE_MESSAGE_MAP()

private:
    SIZE m_textSize{};
};

// type 0: OK; 1: OK and Cancel; 4: Yes and No (any other type is 0).
// Returns IDOK, IDCANCEL, IDYES or IDNO.
int ShowMessage(int type, const wchar_t* text, HWND owner);
