#include "standin_view.h"

#include <algorithm>

namespace {

std::wstring WindowText(HWND h) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(h)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(h, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring ValueOf(const CHtmlNode& node) {
    if (node.tag == L"textarea") return node.text;
    const std::wstring* v = node.Attr(L"value");
    return v ? *v : std::wstring();
}

bool IsControl(CLayoutItem::Kind kind) { return kind != CLayoutItem::Box && kind != CLayoutItem::Text; }

}  // namespace

CPageView::~CPageView() {
    Clear();
    if (m_font) ::DeleteObject(m_font);
}

void CPageView::Clear() {
    for (const Control& c : m_controls) ::DestroyWindow(c.hwnd);
    m_controls.clear();
    m_layout = CPageLayout{};
    if (m_server) ::InvalidateRect(m_server, nullptr, TRUE);
}

void CPageView::Update(CHtmlNode* root) {
    if (!m_server) return;
    if (!root) {
        Clear();
        return;
    }
    if (!m_font) {
        LOGFONTW lf{};
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
        lf.lfHeight = -13;
        m_font = ::CreateFontIndirectW(&lf);
    }
    RECT client{};
    ::GetClientRect(m_server, &client);
    HDC dc = ::GetDC(m_server);
    HGDIOBJ old = ::SelectObject(dc, m_font);
    const auto measure = [dc](const std::wstring& text) {
        SIZE size{};
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        return static_cast<int>(size.cx);
    };
    m_layout = LayoutPage(*root, client.right, client.bottom, measure);
    ::SelectObject(dc, old);
    ::ReleaseDC(m_server, dc);

    // Controls follow their elements: one kept for an element still shown,
    // made for a new one, gone with one that went.
    std::vector<Control> next;
    for (const CLayoutItem& item : m_layout.items) {
        if (!IsControl(item.kind)) continue;
        auto same = std::find_if(m_controls.begin(), m_controls.end(),
                                 [&](const Control& c) { return c.node == item.node && c.kind == item.kind; });
        Control c{item.node, item.kind, nullptr};
        if (same != m_controls.end()) {
            c.hwnd = same->hwnd;
            m_controls.erase(same);
            const int h = item.kind == CLayoutItem::Select ? item.rect.h + 160 : item.rect.h;
            ::MoveWindow(c.hwnd, item.rect.x, item.rect.y, item.rect.w, h, TRUE);
        } else {
            c.hwnd = Create(item);
        }
        if (!c.hwnd) continue;
        SyncControl(c, item);
        next.push_back(c);
    }
    for (const Control& gone : m_controls) ::DestroyWindow(gone.hwnd);
    m_controls = std::move(next);
    ::InvalidateRect(m_server, nullptr, TRUE);
}

HWND CPageView::Create(const CLayoutItem& item) {
    const wchar_t* cls = L"EDIT";
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP, exStyle = 0;
    int h = item.rect.h;
    switch (item.kind) {
    case CLayoutItem::Field:
    case CLayoutItem::Password:
        style |= ES_AUTOHSCROLL | (item.kind == CLayoutItem::Password ? ES_PASSWORD : 0);
        if (item.node->tag == L"textarea") style |= ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case CLayoutItem::Select:
        cls = L"COMBOBOX";
        style |= CBS_DROPDOWNLIST | WS_VSCROLL;
        h += 160;
        break;
    case CLayoutItem::Button:
        cls = L"BUTTON";
        style |= BS_PUSHBUTTON;
        break;
    case CLayoutItem::Checkbox:
        cls = L"BUTTON";
        style |= BS_CHECKBOX;  // the element decides its state
        break;
    default:
        return nullptr;
    }
    HWND h2 = ::CreateWindowExW(exStyle, cls, L"", style, item.rect.x, item.rect.y, item.rect.w, h, m_server,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(100 + m_controls.size())),
                                reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(m_server, GWLP_HINSTANCE)), nullptr);
    if (h2) ::SendMessageW(h2, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
    return h2;
}

void CPageView::SyncControl(const Control& c, const CLayoutItem& item) {
    m_syncing = true;
    switch (c.kind) {
    case CLayoutItem::Field:
    case CLayoutItem::Password:
        if (WindowText(c.hwnd) != ValueOf(*c.node)) ::SetWindowTextW(c.hwnd, ValueOf(*c.node).c_str());
        break;
    case CLayoutItem::Select: {
        ::SendMessageW(c.hwnd, CB_RESETCONTENT, 0, 0);
        int selected = 0, index = 0;
        for (CHtmlNode* option : FindAll(*c.node, L"option")) {
            const std::wstring text = TextOf(*option);
            ::SendMessageW(c.hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
            if (option->Attr(L"selected")) selected = index;
            ++index;
        }
        ::SendMessageW(c.hwnd, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
        break;
    }
    case CLayoutItem::Button:
        if (WindowText(c.hwnd) != item.text) ::SetWindowTextW(c.hwnd, item.text.c_str());
        break;
    case CLayoutItem::Checkbox:
        ::SendMessageW(c.hwnd, BM_SETCHECK, c.node->Attr(L"checked") ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
    default:
        break;
    }
    ::EnableWindow(c.hwnd, c.node->Attr(L"disabled") ? FALSE : TRUE);
    m_syncing = false;
}

CHtmlNode* CPageView::OnCommand(HWND control, UINT code, bool& clicked) {
    clicked = false;
    if (m_syncing) return nullptr;
    const auto it =
        std::find_if(m_controls.begin(), m_controls.end(), [&](const Control& c) { return c.hwnd == control; });
    if (it == m_controls.end()) return nullptr;
    CHtmlNode* node = it->node;
    switch (it->kind) {
    case CLayoutItem::Field:
    case CLayoutItem::Password:
        if (code != EN_CHANGE) return nullptr;
        if (node->tag == L"textarea") node->text = WindowText(control);
        else node->SetAttr(L"value", WindowText(control));
        return node;
    case CLayoutItem::Select: {
        if (code != CBN_SELCHANGE) return nullptr;
        const LRESULT chosen = ::SendMessageW(control, CB_GETCURSEL, 0, 0);
        LRESULT index = 0;
        for (CHtmlNode* option : FindAll(*node, L"option")) {
            if (index++ == chosen) option->SetAttr(L"selected", L"");
            else option->RemoveAttr(L"selected");
        }
        return node;
    }
    case CLayoutItem::Button:
    case CLayoutItem::Checkbox:
        if (code != BN_CLICKED) return nullptr;
        clicked = true;
        return node;
    default:
        return nullptr;
    }
}

void CPageView::Paint(HDC dc, const RECT& client) const {
    HBRUSH page = ::CreateSolidBrush(static_cast<COLORREF>(m_layout.background));
    ::FillRect(dc, &client, page);
    ::DeleteObject(page);
    ::SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = ::SelectObject(dc, m_font ? static_cast<HGDIOBJ>(m_font) : ::GetStockObject(DEFAULT_GUI_FONT));
    for (const CLayoutItem& item : m_layout.items) {
        const RECT r{item.rect.x, item.rect.y, item.rect.x + item.rect.w, item.rect.y + item.rect.h};
        if (item.kind == CLayoutItem::Box && item.background >= 0) {
            HBRUSH brush = ::CreateSolidBrush(static_cast<COLORREF>(item.background));
            ::FillRect(dc, &r, brush);
            ::DeleteObject(brush);
        } else if (item.kind == CLayoutItem::Text) {
            ::SetTextColor(dc, static_cast<COLORREF>(item.colour));
            ::TextOutW(dc, r.left, r.top + 2, item.text.c_str(), static_cast<int>(item.text.size()));
        }
    }
    ::SelectObject(dc, old);
}

CHtmlNode* CPageView::ElementAt(POINT pt) const { return m_layout.ElementAt(pt.x, pt.y); }

bool CPageView::CentreOf(const CHtmlNode* node, POINT& pt) const {
    CLayoutRect r;
    if (!m_layout.Find(node, r)) return false;
    pt = POINT{r.x + r.w / 2, r.y + r.h / 2};
    return true;
}
