#include "mainwnd/flash_wnd_win.h"

#include "framework/event_sink_win.h"

#include <windowsx.h>

#include <cstring>
#include <new>

#include "mainwnd/flash_logic.h"

namespace {

volatile LONG g_liveContainers = 0;

const wchar_t kHostClass[] = L"FlashControl";
const wchar_t kHostTitle[] = L"FlashWindow";

template <class T>
void ReleaseAndClear(T*& p) {
    if (T* q = p) {
        p = nullptr;
        q->Release();
    }
}

// The control's events: all taken, none acted on.
class CFlashEventSink final : public CEventSinkBase {
public:
    CFlashEventSink() : CEventSinkBase(DIID_ShockwaveFlashEvents) {}
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return S_OK;
    }
};

// A BSTR for one call.
class CBstr {
public:
    explicit CBstr(const wchar_t* text) : m_b(::SysAllocString(text)) {}
    ~CBstr() { ::SysFreeString(m_b); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    operator BSTR() const { return m_b; }

private:
    BSTR m_b;
};

}  // namespace

long OleContainerLiveCount() { return g_liveContainers; }

// ---------------------------------------------------------------------------
// COleContainerWnd

template <class TObj>
COleContainerWnd<TObj>::COleContainerWnd() {
    InterlockedIncrement(&g_liveContainers);
}

template <class TObj>
COleContainerWnd<TObj>::~COleContainerWnd() {
    ReleaseControl();
    FreeBuffers();
    if (HWND h = m_hWnd) {
        m_hWnd = nullptr;
        ::SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        ::DestroyWindow(h);
    }
    InterlockedDecrement(&g_liveContainers);
}

template <class TObj>
STDMETHODIMP COleContainerWnd<TObj>::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite)
        *ppv = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite || riid == IID_IOleInPlaceSiteEx ||
             riid == IID_IOleInPlaceSiteWindowless)
        *ppv = static_cast<IOleInPlaceSiteWindowless*>(this);
    else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
        *ppv = static_cast<IOleInPlaceFrame*>(this);
    else if (riid == IID_IStorage)
        *ppv = static_cast<IStorage*>(this);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

template <class TObj>
STDMETHODIMP_(ULONG) COleContainerWnd<TObj>::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

template <class TObj>
STDMETHODIMP_(ULONG) COleContainerWnd<TObj>::Release() {
    // The owner deletes the object: the count only tells who still holds it.
    const LONG r = InterlockedDecrement(&m_cRef);
    return static_cast<ULONG>(r > 0 ? r : 0);
}

template <class TObj>
STDMETHODIMP COleContainerWnd<TObj>::GetMoniker(DWORD, DWORD, IMoniker** ppmk) {
    if (ppmk) *ppmk = nullptr;
    return E_NOTIMPL;
}

template <class TObj>
STDMETHODIMP COleContainerWnd<TObj>::GetContainer(IOleContainer** ppContainer) {
    if (ppContainer) *ppContainer = nullptr;
    return E_NOINTERFACE;
}

template <class TObj>
STDMETHODIMP COleContainerWnd<TObj>::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = m_hWnd;
    return S_OK;
}

template <class TObj>
STDMETHODIMP COleContainerWnd<TObj>::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                                      LPRECT lprcPosRect, LPRECT lprcClipRect,
                                                      LPOLEINPLACEFRAMEINFO lpFrameInfo) {
    if (ppFrame) {
        *ppFrame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
    }
    if (ppDoc) *ppDoc = nullptr;
    RECT client{};
    if (m_hWnd) ::GetClientRect(m_hWnd, &client);
    if (lprcPosRect) *lprcPosRect = client;
    if (lprcClipRect) *lprcClipRect = client;
    if (lpFrameInfo) {
        lpFrameInfo->fMDIApp = FALSE;
        lpFrameInfo->hwndFrame = m_hWnd;
        lpFrameInfo->haccel = nullptr;
        lpFrameInfo->cAccelEntries = 0;
    }
    return S_OK;
}

template <class TObj>
STDMETHODIMP COleContainerWnd<TObj>::OnInPlaceActivateEx(BOOL* pfNoRedraw, DWORD) {
    if (pfNoRedraw) *pfNoRedraw = FALSE;
    return S_OK;
}

template <class TObj>
STDMETHODIMP COleContainerWnd<TObj>::GetDC(LPCRECT, DWORD, HDC* phDC) {
    if (phDC) *phDC = nullptr;
    return S_FALSE;
}

template <class TObj>
STDMETHODIMP COleContainerWnd<TObj>::InvalidateRect(LPCRECT pRect, BOOL) {
    Draw(nullptr, pRect);
    return S_OK;
}

template <class TObj>
STDMETHODIMP COleContainerWnd<TObj>::OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT* plResult) {
    if (plResult) *plResult = 0;
    return S_FALSE;
}

template <class TObj>
STDMETHODIMP COleContainerWnd<TObj>::CreateStream(LPCOLESTR, DWORD, DWORD, DWORD, IStream** ppstm) {
    if (ppstm) *ppstm = nullptr;
    return E_NOTIMPL;
}

template <class TObj>
STDMETHODIMP COleContainerWnd<TObj>::OpenStream(LPCOLESTR, void*, DWORD, DWORD, IStream** ppstm) {
    if (ppstm) *ppstm = nullptr;
    return E_NOTIMPL;
}

template <class TObj>
STDMETHODIMP COleContainerWnd<TObj>::CreateStorage(LPCOLESTR, DWORD, DWORD, DWORD, IStorage** ppstg) {
    if (ppstg) *ppstg = nullptr;
    return E_NOTIMPL;
}

template <class TObj>
STDMETHODIMP COleContainerWnd<TObj>::OpenStorage(LPCOLESTR, IStorage*, DWORD, SNB, DWORD, IStorage** ppstg) {
    if (ppstg) *ppstg = nullptr;
    return E_NOTIMPL;
}

template <class TObj>
STDMETHODIMP COleContainerWnd<TObj>::EnumElements(DWORD, void*, DWORD, IEnumSTATSTG** ppenum) {
    if (ppenum) *ppenum = nullptr;
    return E_NOTIMPL;
}

template <class TObj>
BOOL COleContainerWnd<TObj>::Create(REFCLSID clsid, DWORD dwExStyle, DWORD dwStyle, HWND hWndParent,
                                    HINSTANCE hInstance) {
    if (m_hWnd || m_lpO) return FALSE;  // one control per container
    m_clsid = clsid;
    m_dwExStyle = dwExStyle;
    m_dwStyle = dwStyle;
    m_hWndParent = hWndParent;
    m_hInstance = hInstance;
    m_bTransparent = (dwExStyle & WS_EX_LAYERED) != 0;
    m_bChild = (dwStyle & WS_CHILD) != 0;

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &COleContainerWnd::WndProc;
    wc.hInstance = hInstance;
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.lpszClassName = kHostClass;
    ::RegisterClassExW(&wc);  // already there after the first container: fine

    RECT r{};
    if (hWndParent) {
        if (m_bChild)
            ::GetClientRect(hWndParent, &r);
        else
            ::GetWindowRect(hWndParent, &r);
    }
    m_rcWindow = r;
    m_hWnd = ::CreateWindowExW(dwExStyle | WS_EX_TRANSPARENT, kHostClass, kHostTitle, dwStyle, r.left, r.top,
                               r.right - r.left, r.bottom - r.top, hWndParent, nullptr, hInstance, this);
    if (!m_hWnd) return FALSE;
    // The host never takes the focus: it only shows the control's picture.
    ::SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    const HRESULT hr = ::OleCreate(clsid, IID_IOleObject, OLERENDER_DRAW, nullptr, static_cast<IOleClientSite*>(this),
                                   static_cast<IStorage*>(this), reinterpret_cast<void**>(&m_lpO));
    if (FAILED(hr) || !m_lpO) {
        m_lpO = nullptr;
        if (hr == REGDB_E_CLASSNOTREG) OnErrorClassNotReg();
        return FALSE;
    }
    ::OleSetContainedObject(m_lpO, TRUE);

    if (FAILED(m_lpO->QueryInterface(__uuidof(TObj), reinterpret_cast<void**>(&m_lpControl)))) m_lpControl = nullptr;
    if (SUCCEEDED(m_lpO->QueryInterface(IID_IViewObjectEx, reinterpret_cast<void**>(&m_lpViewObjectEx))) &&
        m_lpViewObjectEx) {
        m_lpViewObject = m_lpViewObjectEx;
        m_lpViewObject->AddRef();
    } else {
        m_lpViewObjectEx = nullptr;
        if (FAILED(m_lpO->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&m_lpViewObject))))
            m_lpViewObject = nullptr;
    }
    if (m_bTransparent) {
        if (SUCCEEDED(m_lpO->QueryInterface(IID_IOleInPlaceObjectWindowless,
                                            reinterpret_cast<void**>(&m_lpInPlaceObjWindowless))) &&
            m_lpInPlaceObjWindowless) {
            m_lpInPlaceObj = m_lpInPlaceObjWindowless;
            m_lpInPlaceObj->AddRef();
        } else {
            m_lpInPlaceObjWindowless = nullptr;
            m_bTransparent = false;
        }
    }
    if (!m_lpInPlaceObj &&
        FAILED(m_lpO->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&m_lpInPlaceObj))))
        m_lpInPlaceObj = nullptr;
    // Without its own interface, a view and an in-place object the control
    // cannot be shown here; a control that is not shown is not kept.
    if (!m_lpControl || !m_lpViewObject || !m_lpInPlaceObj || !OnBeforeShowingContent()) {
        ReleaseControl();
        return FALSE;
    }
    m_lpO->DoVerb(OLEIVERB_SHOW, nullptr, static_cast<IOleClientSite*>(this), 0, m_hWnd, nullptr);
    return OnAfterShowingContent();
}

template <class TObj>
void COleContainerWnd<TObj>::ReleaseControl() {
    if (m_lpConCont) {
        if (m_dwConCookie) m_lpConCont->Unadvise(m_dwConCookie);
        m_dwConCookie = 0;
        ReleaseAndClear(m_lpConCont);
    }
    if (m_lpInPlaceObj) m_lpInPlaceObj->InPlaceDeactivate();
    if (m_lpO) {
        m_lpO->Close(OLECLOSE_NOSAVE);
        m_lpO->SetClientSite(nullptr);
    }
    ReleaseAndClear(m_lpControl);
    ReleaseAndClear(m_lpViewObjectEx);
    ReleaseAndClear(m_lpViewObject);
    ReleaseAndClear(m_lpInPlaceObjWindowless);
    ReleaseAndClear(m_lpInPlaceObj);
    ReleaseAndClear(m_lpO);
}

template <class TObj>
bool COleContainerWnd<TObj>::MakeBuffers(int cx, int cy) {
    FreeBuffers();
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = cx;
    bmi.bmiHeader.biHeight = -cy;  // top-down
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    const int pairs = m_bFlash8 ? 2 : 1;
    for (int i = 0; i < pairs; ++i) {
        HDC& dc = i == 0 ? m_hdcBack : m_hdcBack8;
        HBITMAP& bmp = i == 0 ? m_bmpBack : m_bmpBack8;
        BYTE*& bits = i == 0 ? m_lpBitsOnly : m_lpBitsOnly8;
        HGDIOBJ& old = i == 0 ? m_oldBack : m_oldBack8;
        void* pv = nullptr;
        dc = ::CreateCompatibleDC(nullptr);
        bmp = dc ? ::CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &pv, nullptr, 0) : nullptr;
        if (!dc || !bmp || !pv) {
            FreeBuffers();
            return false;
        }
        bits = static_cast<BYTE*>(pv);
        old = ::SelectObject(dc, bmp);
    }
    return true;
}

template <class TObj>
void COleContainerWnd<TObj>::FreeBuffers() {
    for (int i = 0; i < 2; ++i) {
        HDC& dc = i == 0 ? m_hdcBack : m_hdcBack8;
        HBITMAP& bmp = i == 0 ? m_bmpBack : m_bmpBack8;
        BYTE*& bits = i == 0 ? m_lpBitsOnly : m_lpBitsOnly8;
        HGDIOBJ& old = i == 0 ? m_oldBack : m_oldBack8;
        if (dc && old) ::SelectObject(dc, old);
        if (bmp) ::DeleteObject(bmp);
        if (dc) ::DeleteDC(dc);
        dc = nullptr;
        bmp = nullptr;
        bits = nullptr;
        old = nullptr;
    }
    m_rcBuffers = RECT{};
}

template <class TObj>
const BYTE* COleContainerWnd<TObj>::PaintBits(SIZE* size) const {
    if (size) *size = SIZE{m_rcBuffers.right - m_rcBuffers.left, m_rcBuffers.bottom - m_rcBuffers.top};
    return m_lpBitsOnly;
}

template <class TObj>
void COleContainerWnd<TObj>::Draw(HDC hdcDraw, const RECT*) {
    if (!m_hWnd || !m_lpViewObject) return;
    if (!m_bTransparent) {
        RECT client{};
        ::GetClientRect(m_hWnd, &client);
        HDC dc = hdcDraw ? hdcDraw : ::GetDC(m_hWnd);
        if (!dc) return;
        ::OleDraw(m_lpViewObject, DVASPECT_CONTENT, dc, &client);
        if (!hdcDraw) ::ReleaseDC(m_hWnd, dc);
        return;
    }

    RECT pos{};
    ::GetWindowRect(m_hWnd, &pos);
    const int cx = pos.right - pos.left, cy = pos.bottom - pos.top;
    if (cx <= 0 || cy <= 0) return;
    const bool flash8Ready = !m_bFlash8 || m_hdcBack8;
    if (!m_hdcBack || !flash8Ready || m_rcBuffers.right - m_rcBuffers.left != cx ||
        m_rcBuffers.bottom - m_rcBuffers.top != cy) {
        if (!MakeBuffers(cx, cy)) return;
        m_rcBuffers = pos;
    }
    if (!m_iBPP) {
        HDC screen = ::GetDC(nullptr);
        m_iBPP = screen ? ::GetDeviceCaps(screen, BITSPIXEL) : 32;
        if (screen) ::ReleaseDC(nullptr, screen);
    }

    const RECTL bounds{0, 0, cx, cy};
    const std::size_t bytes = static_cast<std::size_t>(cx) * static_cast<std::size_t>(cy) * 4;
    if (m_iBPP < 32) {
        // The movie over a copy of what lies below: shown opaque.
        if (HDC parent = m_hWndParent ? ::GetWindowDC(m_hWndParent) : nullptr) {
            ::BitBlt(m_hdcBack, 0, 0, cx, cy, parent, 0, 0, SRCCOPY);
            ::ReleaseDC(m_hWndParent, parent);
        }
        m_lpViewObject->Draw(DVASPECT_TRANSPARENT, -1, nullptr, nullptr, nullptr, m_hdcBack, &bounds, nullptr,
                             nullptr, 0);
    } else if (m_bFlash8) {
        // Flash 8 draws no alpha: compare its picture over black and white.
        std::memset(m_lpBitsOnly, 0, bytes);
        std::memset(m_lpBitsOnly8, 0xFF, bytes);
        m_lpViewObject->Draw(DVASPECT_TRANSPARENT, -1, nullptr, nullptr, nullptr, m_hdcBack, &bounds, nullptr,
                             nullptr, 0);
        m_lpViewObject->Draw(DVASPECT_TRANSPARENT, -1, nullptr, nullptr, nullptr, m_hdcBack8, &bounds, nullptr,
                             nullptr, 0);
        ::GdiFlush();
        ComposeAlphaFromBlackAndWhite(m_lpBitsOnly, m_lpBitsOnly8, static_cast<std::size_t>(cx) * cy);
    } else {
        std::memset(m_lpBitsOnly, 0, bytes);
        m_lpViewObject->Draw(DVASPECT_TRANSPARENT, -1, nullptr, nullptr, nullptr, m_hdcBack, &bounds, nullptr,
                             nullptr, 0);
    }
    ::GdiFlush();

    POINT dst{pos.left, pos.top};
    SIZE size{cx, cy};
    POINT src{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::UpdateLayeredWindow(m_hWnd, nullptr, &dst, &size, m_hdcBack, &src, 0, &blend,
                          m_iBPP >= 32 ? ULW_ALPHA : ULW_OPAQUE);
}

template <class TObj>
LRESULT CALLBACK COleContainerWnd<TObj>::WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        // The messages that still come before CreateWindowEx returns need
        // the handle already.
        if (auto* self = static_cast<COleContainerWnd*>(cs->lpCreateParams)) self->m_hWnd = hWnd;
        return ::DefWindowProcW(hWnd, msg, wParam, lParam);
    }
    auto* self = reinterpret_cast<COleContainerWnd*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hWnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        // Gone with its owner: the container forgets the handle.
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
        if (self->m_hWnd == hWnd) self->m_hWnd = nullptr;
        return ::DefWindowProcW(hWnd, msg, wParam, lParam);
    }
    return self->HandleMessage(msg, wParam, lParam);
}

template <class TObj>
LRESULT COleContainerWnd<TObj>::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SIZE:
        if (m_lpInPlaceObj) {
            const RECT r{0, 0, LOWORD(lParam), HIWORD(lParam)};
            if (m_lpInPlaceObjWindowless)
                m_lpInPlaceObjWindowless->SetObjectRects(&r, &r);
            else
                m_lpInPlaceObj->SetObjectRects(&r, &r);
        }
        break;
    case WM_PAINT:
        if (!m_bTransparent) {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(m_hWnd, &ps);
            Draw(dc, &ps.rcPaint);
            ::EndPaint(m_hWnd, &ps);
            return 0;
        }
        break;
    case WM_NCHITTEST:
        if (m_lpControl && m_lpViewObjectEx) {
            RECT window{};
            ::GetWindowRect(m_hWnd, &window);
            const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            DWORD hit = HITRESULT_OUTSIDE;
            if (SUCCEEDED(m_lpViewObjectEx->QueryHitPoint(DVASPECT_CONTENT, &window, pt, 1, &hit)) &&
                hit == HITRESULT_HIT)
                return HTCLIENT;
            return HTTRANSPARENT;
        }
        break;
    default:
        if (m_lpInPlaceObjWindowless && RoutesToWindowlessControl(msg)) {
            LRESULT result = 0;
            if (m_lpInPlaceObjWindowless->OnWindowMessage(msg, wParam, lParam, &result) == S_OK) return result;
        }
        break;
    }
    return ::DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

template class COleContainerWnd<IShockwaveFlash>;

// ---------------------------------------------------------------------------
// CFlashWnd

CFlashWnd::CFlashWnd() = default;

CFlashWnd::~CFlashWnd() {
    // The sink is taken off while this object is still whole.
    ReleaseControl();
    ReleaseAndClear(m_pEvents);
}

BOOL CFlashWnd::OnBeforeShowingContent() {
    long version = 0;
    if (FAILED(m_lpControl->FlashVersion(&version))) version = 0;
    m_bFlash8 = ::IsFlash8(version);

    IConnectionPointContainer* points = nullptr;
    if (FAILED(m_lpControl->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points))) ||
        !points)
        return FALSE;
    const HRESULT found = points->FindConnectionPoint(DIID_ShockwaveFlashEvents, &m_lpConCont);
    points->Release();
    if (FAILED(found) || !m_lpConCont) {
        m_lpConCont = nullptr;
        return FALSE;
    }
    if (!m_pEvents) m_pEvents = new (std::nothrow) CFlashEventSink;
    if (!m_pEvents || FAILED(m_lpConCont->Advise(m_pEvents, &m_dwConCookie))) {
        m_dwConCookie = 0;
        return FALSE;
    }

    if (m_bTransparent) m_lpControl->put_WMode(CBstr(L"transparent"));
    m_lpControl->put_Scale(CBstr(L"showAll"));
    m_lpControl->put_BackgroundColor(0);
    m_lpControl->put_EmbedMovie(VARIANT_FALSE);
    return TRUE;
}

BOOL CFlashWnd::OnAfterShowingContent() {
    m_lpControl->put_EmbedMovie(VARIANT_TRUE);
    const HRESULT loaded = m_lpControl->LoadMovie(0, CBstr(m_szMovie));
    const HRESULT played = m_lpControl->Play();
    return SUCCEEDED(loaded) && SUCCEEDED(played);
}
