#include "framework/wnd_win.h"

#include <unordered_map>

#include "framework/app_win.h"

namespace {

// Handle-to-object map. Windows of ours live on the one user-interface
// thread, so no lock is needed.
std::unordered_map<HWND, CWnd*>& HandleMap() {
    static std::unordered_map<HWND, CWnd*> map;
    return map;
}

}  // namespace

CWnd::CWnd() = default;

CWnd::~CWnd() {
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        HWND h = m_hWnd;
        if (m_pfnSuper) UnsubclassWindow();
        ::DestroyWindow(h);
    }
    if (m_hWnd) Detach();
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    auto& map = HandleMap();
    auto it = map.find(hWnd);
    return it == map.end() ? nullptr : it->second;
}

void CWnd::Attach(HWND hWnd) {
    m_hWnd = hWnd;
    HandleMap()[hWnd] = this;
}

HWND CWnd::Detach() {
    HWND h = m_hWnd;
    if (h) HandleMap().erase(h);
    m_hWnd = nullptr;
    return h;
}

bool CWnd::SubclassWindow(HWND hWnd) {
    if (!hWnd || m_hWnd || FromHandlePermanent(hWnd)) return false;
    Attach(hWnd);
    PreSubclassWindow();
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StdWndProc)));
    if (!m_pfnSuper) {
        Detach();
        return false;
    }
    return true;
}

bool CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
    return pParent && SubclassWindow(::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID)));
}

HWND CWnd::UnsubclassWindow() {
    if (!m_hWnd || !m_pfnSuper) return nullptr;
    ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    return Detach();
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

bool CWnd::CreateControl(const wchar_t* className, const wchar_t* text, DWORD style, const RECT& rect, HWND parent,
                         UINT id, DWORD exStyle) {
    if (m_hWnd) return false;
    HWND h = ::CreateWindowExW(exStyle, className, text, style, rect.left, rect.top, rect.right - rect.left,
                               rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                               CWinApp::ResourceHandle(), nullptr);
    if (!h) return false;
    if (!SubclassWindow(h)) {
        ::DestroyWindow(h);
        return false;
    }
    return true;
}

bool CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

HWND CWnd::ParentOrOwner(HWND hWnd) {
    if (::GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD) return ::GetParent(hWnd);
    return ::GetWindow(hWnd, GW_OWNER);
}

const MsgMap* CWnd::GetThisMessageMap() {
    static const MsgMapEntry entries[] = {{0, 0, 0, 0, 0, nullptr}};
    static const MsgMap map = {nullptr, entries};
    return &map;
}

const MsgMap* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

bool CWnd::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    const UINT code = HIWORD(wParam), id = LOWORD(wParam);
    for (const MsgMap* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const MsgMapEntry* e = map->lpEntries; e->nMessage; ++e) {
            if (e->nMessage != msg) continue;
            if (msg == WM_COMMAND && (code != e->nCode || id < e->nID || id > e->nLastID)) continue;
            switch (e->nSig) {
            case SigLwl: {
                auto pfn = reinterpret_cast<LRESULT (CWnd::*)(WPARAM, LPARAM)>(e->pfn);
                *pResult = (this->*pfn)(wParam, lParam);
                return true;
            }
            case SigVv:
                (this->*(e->pfn))();
                *pResult = 0;
                return true;
            default:
                break;
            }
        }
    }
    return false;
}

LRESULT CWnd::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) return ::CallWindowProcW(m_pfnSuper, m_hWnd, msg, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (msg == WM_DRAWITEM && lParam) {
        // Owner-drawn controls of ours draw themselves.
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->CtlType != ODT_MENU)
            if (CWnd* child = FromHandlePermanent(item->hwndItem))
                if (child->OnChildNotify(msg, wParam, lParam, &result)) return result;
    }
    if (OnWndMsg(msg, wParam, lParam, &result)) return result;
    return DefWindowProc(msg, wParam, lParam);
}

LRESULT CALLBACK CWnd::StdWndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CWnd* self = FromHandlePermanent(hWnd);
    if (!self) return ::DefWindowProcW(hWnd, msg, wParam, lParam);
    if (msg != WM_NCDESTROY) return self->WindowProc(msg, wParam, lParam);
    // Last message: unhook, let the original procedure see it, then tell the
    // object its window is gone.
    WNDPROC super = self->m_pfnSuper;
    if (super) ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
    self->m_pfnSuper = nullptr;
    LRESULT r = super ? ::CallWindowProcW(super, hWnd, msg, wParam, lParam)
                      : ::DefWindowProcW(hWnd, msg, wParam, lParam);
    self->Detach();
    self->PostNcDestroy();
    return r;
}

bool WalkPreTranslate(MSG* pMsg) {
    for (HWND h = pMsg->hwnd; h; h = CWnd::ParentOrOwner(h)) {
        if (CWnd* w = CWnd::FromHandlePermanent(h))
            if (w->PreTranslateMessage(pMsg)) return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// CDialog

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOKCommand)
    ON_COMMAND(IDCANCEL, OnCancelCommand)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

INT_PTR CALLBACK CDialog::StaticDlgProc(HWND hWnd, UINT msg, WPARAM, LPARAM lParam) {
    if (msg != WM_INITDIALOG) return FALSE;
    auto* self = reinterpret_cast<CDialog*>(lParam);
    // From here on every message passes our window procedure first; the
    // dialog manager's own procedure stays behind it.
    self->SubclassWindow(hWnd);
    RECT before{};
    ::GetWindowRect(hWnd, &before);
    BOOL focusDefault = self->OnInitDialog();
    if (self->m_bCenterOnInit && ::IsWindow(hWnd) && !(::GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD)) {
        RECT after{};
        ::GetWindowRect(hWnd, &after);
        if (after.left == before.left && after.top == before.top) {
            // Centre on the owner, or on the work area without one.
            RECT area{};
            HWND owner = ::GetWindow(hWnd, GW_OWNER);
            if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
                ::GetWindowRect(owner, &area);
            } else {
                ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
            }
            const int w = after.right - after.left, h = after.bottom - after.top;
            int x = area.left + ((area.right - area.left) - w) / 2;
            int y = area.top + ((area.bottom - area.top) - h) / 2;
            if (y < 0) y = 0;
            ::SetWindowPos(hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    return focusDefault;
}

HWND CDialog::CreateFromTemplate(HWND hOwner) {
    return ::CreateDialogParamW(CWinApp::ResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), hOwner,
                                &CDialog::StaticDlgProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
    if (nIDTemplate) m_nIDTemplate = nIDTemplate;
    if (pParentWnd) m_pParentWnd = pParentWnd;
    m_bModal = false;
    HWND h = CreateFromTemplate(m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr);
    return h != nullptr;
}

INT_PTR CDialog::DoModal() {
    HWND hOwner = m_pParentWnd ? m_pParentWnd->m_hWnd : m_hWndOwner;
    if (!hOwner) {
        CWnd* main = CWinApp::Get() ? CWinApp::Get()->m_pMainWnd : nullptr;
        if (main && main != this && main->m_hWnd && ::IsWindowVisible(main->m_hWnd)) hOwner = main->m_hWnd;
    }
    bool ownerWasEnabled = false;
    if (hOwner && ::IsWindowEnabled(hOwner)) {
        ::EnableWindow(hOwner, FALSE);
        ownerWasEnabled = true;
    }

    m_bModal = true;
    m_bEndModal = false;
    m_nModalResult = -1;
    HWND hDlg = CreateFromTemplate(hOwner);
    if (hDlg && !m_bEndModal) {
        if (!(::GetWindowLongW(hDlg, GWL_STYLE) & WS_VISIBLE)) ::ShowWindow(hDlg, SW_SHOWNORMAL);
        MSG msg;
        while (!m_bEndModal) {
            BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0 || got == -1) {
                // The quit request belongs to the outer loop as well.
                ::PostQuitMessage(got == 0 ? static_cast<int>(msg.wParam) : 0);
                m_nModalResult = -1;
                break;
            }
            if (!WalkPreTranslate(&msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
    }

    if (ownerWasEnabled) ::EnableWindow(hOwner, TRUE);
    if (m_hWnd) {
        if (hOwner && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(hOwner);
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        DestroyWindow();
    }
    m_bModal = false;
    return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
    if (m_bModal) {
        m_nModalResult = nResult;
        m_bEndModal = true;
        // Wake the loop in case no other message is on its way.
        if (m_hWnd) ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
    } else if (m_hWnd) {
        ::DestroyWindow(m_hWnd);
    }
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
    // Keyboard navigation for this dialog and its controls.
    if (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST && m_hWnd &&
        (pMsg->hwnd == m_hWnd || ::IsChild(m_hWnd, pMsg->hwnd)))
        return ::IsDialogMessageW(m_hWnd, pMsg);
    return FALSE;
}
