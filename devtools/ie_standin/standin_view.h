// The stand-in's view of its page, in the "Internet Explorer_Server"
// window: the laid-out boxes and text drawn, the page's fields, lists,
// buttons and check boxes as native controls a person can use, each kept in
// step with its element.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "page_layout.h"

class CPageView {
public:
    CPageView() = default;
    CPageView(const CPageView&) = delete;
    CPageView& operator=(const CPageView&) = delete;
    ~CPageView();

    void Attach(HWND server) { m_server = server; }
    // Lays the page out again (after a load, a size change or a change the
    // page made) and brings the controls in step. Null: no page.
    void Update(CHtmlNode* root);
    void Clear();
    void Paint(HDC dc, const RECT& client) const;
    // The element under a client point; null without a page.
    CHtmlNode* ElementAt(POINT pt) const;
    // The middle of where an element shows, in client coordinates.
    bool CentreOf(const CHtmlNode* node, POINT& pt) const;
    // A control's notification: the element it stands for and whether the
    // player clicked it (buttons, check boxes) rather than edited it.
    CHtmlNode* OnCommand(HWND control, UINT code, bool& clicked);

private:
    struct Control {
        CHtmlNode* node;
        CLayoutItem::Kind kind;
        HWND hwnd;
    };
    HWND Create(const CLayoutItem& item);
    void SyncControl(const Control& c, const CLayoutItem& item);

    HWND m_server = nullptr;
    HFONT m_font = nullptr;
    CPageLayout m_layout;
    std::vector<Control> m_controls;
    bool m_syncing = false;
};
