#include "framework/html_dialog_win.h"

#include "framework/event_sink_win.h"

#include <exdispid.h>
#include <mshtmdid.h>
#include <ocidl.h>

namespace {

volatile LONG g_liveSites = 0;

// The document's event interface (HTMLDocumentEvents2), not in every
// import library.
const IID kDiidHtmlDocumentEvents2 = {0x3050f613, 0x98b5, 0x11cf, {0xbb, 0x82, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x0b}};

// One small dispatch-only sink: forwards every call to a function of the dialog.
class CEventSink final : public CEventSinkBase {
public:
    enum Kind { Browser, Document };
    CEventSink(CDHtmlDialog* owner, Kind kind, REFIID events) : CEventSinkBase(events), m_owner(owner), m_kind(kind) {}

    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (!m_owner) return S_OK;
        if (m_kind == Browser) {
            m_owner->DispatchBrowserEvent(dispid, params);
            return S_OK;
        }
        // Document events carry the event object as their one parameter.
        IHTMLEventObj* event = nullptr;
        if (params && params->cArgs >= 1 && params->rgvarg[0].vt == VT_DISPATCH && params->rgvarg[0].pdispVal)
            params->rgvarg[0].pdispVal->QueryInterface(IID_IHTMLEventObj, reinterpret_cast<void**>(&event));
        if (!event) return S_OK;
        const bool allow = m_owner->DispatchElementEvent(dispid, event);
        if (!allow) {
            VARIANT no;
            VariantInit(&no);
            no.vt = VT_BOOL;
            no.boolVal = VARIANT_FALSE;
            event->put_returnValue(no);
            if (result) {
                VariantInit(result);
                result->vt = VT_BOOL;
                result->boolVal = VARIANT_FALSE;
            }
        }
        event->Release();
        return S_OK;
    }
    void Disconnect() { m_owner = nullptr; }

private:
    CDHtmlDialog* m_owner;
    Kind m_kind;
};

bool Advise(IUnknown* source, REFIID events, IUnknown* sink, DWORD& cookie) {
    IConnectionPointContainer* container = nullptr;
    if (!source || FAILED(source->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))))
        return false;
    IConnectionPoint* point = nullptr;
    bool ok = SUCCEEDED(container->FindConnectionPoint(events, &point)) && SUCCEEDED(point->Advise(sink, &cookie));
    if (point) point->Release();
    container->Release();
    return ok;
}

void Unadvise(IUnknown* source, REFIID events, DWORD& cookie) {
    if (!source || !cookie) return;
    IConnectionPointContainer* container = nullptr;
    if (SUCCEEDED(source->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)))) {
        IConnectionPoint* point = nullptr;
        if (SUCCEEDED(container->FindConnectionPoint(events, &point))) {
            point->Unadvise(cookie);
            point->Release();
        }
        container->Release();
    }
    cookie = 0;
}

bool SameObject(IUnknown* a, IUnknown* b) {
    if (!a || !b) return false;
    IUnknown* ua = nullptr;
    IUnknown* ub = nullptr;
    a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ua));
    b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ub));
    const bool same = ua && ua == ub;
    if (ua) ua->Release();
    if (ub) ub->Release();
    return same;
}

}  // namespace

// ---------------------------------------------------------------------------

VARIANT* EventParam(DISPPARAMS* params, UINT index) {
    if (!params || index >= params->cArgs) return nullptr;
    return &params->rgvarg[params->cArgs - 1 - index];
}

std::wstring VariantText(const VARIANT* v) {
    if (!v) return {};
    if (v->vt == VT_BSTR && v->bstrVal) return std::wstring(v->bstrVal, SysStringLen(v->bstrVal));
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) return VariantText(v->pvarVal);
    if (v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal && *v->pbstrVal)
        return std::wstring(*v->pbstrVal, SysStringLen(*v->pbstrVal));
    return {};
}

void SetBoolParam(VARIANT* v, bool value) {
    if (v && v->vt == (VT_BYREF | VT_BOOL) && v->pboolVal) *v->pboolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

bool CallScriptOn(IDispatch* script, const char* function, const std::vector<std::wstring>& args) {
    if (!script || !function) return false;
    const int n = ::MultiByteToWideChar(CP_ACP, 0, function, -1, nullptr, 0);
    std::wstring name(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, function, -1, name.data(), n);
    LPOLESTR names[1] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(script->GetIDsOfNames(IID_NULL, names, 1, 0x800, &id))) return false;

    std::vector<VARIANT> argv(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        VARIANT& v = argv[args.size() - 1 - i];  // last argument first
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(args[i].data(), static_cast<UINT>(args[i].size()));
    }
    DISPPARAMS dp{argv.empty() ? nullptr : argv.data(), nullptr, static_cast<UINT>(argv.size()), 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    UINT argErr = 0;
    const HRESULT hr = script->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, &result, &excep, &argErr);
    VariantClear(&result);
    if (excep.bstrSource) SysFreeString(excep.bstrSource);
    if (excep.bstrDescription) SysFreeString(excep.bstrDescription);
    if (excep.bstrHelpFile) SysFreeString(excep.bstrHelpFile);
    for (VARIANT& v : argv) VariantClear(&v);
    return SUCCEEDED(hr);
}

// ---------------------------------------------------------------------------
// CBrowserControlSite

CBrowserControlSite::CBrowserControlSite(CDHtmlDialog* owner) : m_pOwner(owner) { InterlockedIncrement(&g_liveSites); }

CBrowserControlSite::~CBrowserControlSite() { InterlockedDecrement(&g_liveSites); }

long CBrowserControlSite::LiveCount() { return g_liveSites; }

STDMETHODIMP CBrowserControlSite::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) *ppv = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) *ppv = static_cast<IOleInPlaceSite*>(this);
    else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
        *ppv = static_cast<IOleInPlaceFrame*>(this);
    else if (riid == IID_IDocHostUIHandler) *ppv = static_cast<IDocHostUIHandler*>(this);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CBrowserControlSite::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }

STDMETHODIMP_(ULONG) CBrowserControlSite::Release() {
    const LONG r = InterlockedDecrement(&m_cRef);
    if (r == 0) delete this;
    return static_cast<ULONG>(r);
}

STDMETHODIMP CBrowserControlSite::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = m_pOwner ? m_pOwner->m_hWnd : nullptr;
    return *phwnd ? S_OK : E_FAIL;
}

STDMETHODIMP CBrowserControlSite::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                                   LPRECT lprcPosRect, LPRECT lprcClipRect,
                                                   LPOLEINPLACEFRAMEINFO lpFrameInfo) {
    if (ppFrame) {
        *ppFrame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
    }
    if (ppDoc) *ppDoc = nullptr;
    RECT client{};
    if (m_pOwner && m_pOwner->m_hWnd) ::GetClientRect(m_pOwner->m_hWnd, &client);
    if (lprcPosRect) *lprcPosRect = client;
    if (lprcClipRect) *lprcClipRect = client;
    if (lpFrameInfo) {
        lpFrameInfo->fMDIApp = FALSE;
        lpFrameInfo->hwndFrame = m_pOwner ? m_pOwner->m_hWnd : nullptr;
        lpFrameInfo->haccel = nullptr;
        lpFrameInfo->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP CBrowserControlSite::OnPosRectChange(LPCRECT lprcPosRect) {
    if (!m_pOwner || !m_pOwner->GetBrowser() || !lprcPosRect) return S_OK;
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(m_pOwner->GetBrowser()->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
        inPlace->SetObjectRects(lprcPosRect, lprcPosRect);
        inPlace->Release();
    }
    return S_OK;
}

#define FORWARD_OR(expr, fallback) return m_pOwner ? m_pOwner->expr : (fallback)
STDMETHODIMP CBrowserControlSite::ShowContextMenu(DWORD id, POINT* pt, IUnknown* a, IDispatch* b) {
    FORWARD_OR(ShowContextMenu(id, pt, a, b), S_FALSE);
}
STDMETHODIMP CBrowserControlSite::GetHostInfo(DOCHOSTUIINFO* info) { FORWARD_OR(GetHostInfo(info), E_NOTIMPL); }
STDMETHODIMP CBrowserControlSite::ShowUI(DWORD id, IOleInPlaceActiveObject* a, IOleCommandTarget* c,
                                         IOleInPlaceFrame* f, IOleInPlaceUIWindow* d) {
    FORWARD_OR(ShowUI(id, a, c, f, d), S_FALSE);
}
STDMETHODIMP CBrowserControlSite::HideUI() { FORWARD_OR(HideUI(), E_NOTIMPL); }
STDMETHODIMP CBrowserControlSite::UpdateUI() { FORWARD_OR(UpdateUI(), E_NOTIMPL); }
STDMETHODIMP CBrowserControlSite::OnDocWindowActivate(BOOL f) { FORWARD_OR(OnDocWindowActivate(f), E_NOTIMPL); }
STDMETHODIMP CBrowserControlSite::OnFrameWindowActivate(BOOL f) { FORWARD_OR(OnFrameWindowActivate(f), E_NOTIMPL); }
STDMETHODIMP CBrowserControlSite::ResizeBorder(LPCRECT r, IOleInPlaceUIWindow* w, BOOL f) {
    FORWARD_OR(ResizeBorder(r, w, f), E_NOTIMPL);
}
STDMETHODIMP CBrowserControlSite::TranslateAccelerator(LPMSG m, const GUID* g, DWORD id) {
    FORWARD_OR(TranslateAccelerator(m, g, id), S_FALSE);
}
STDMETHODIMP CBrowserControlSite::GetOptionKeyPath(LPOLESTR* key, DWORD dw) {
    FORWARD_OR(GetOptionKeyPath(key, dw), E_NOTIMPL);
}
STDMETHODIMP CBrowserControlSite::GetDropTarget(IDropTarget* t, IDropTarget** pp) {
    FORWARD_OR(GetDropTarget(t, pp), E_NOTIMPL);
}
STDMETHODIMP CBrowserControlSite::GetExternal(IDispatch** pp) {
    if (pp) *pp = nullptr;
    FORWARD_OR(GetExternal(pp), E_NOTIMPL);
}
STDMETHODIMP CBrowserControlSite::TranslateUrl(DWORD t, LPWSTR in, LPWSTR* out) {
    FORWARD_OR(TranslateUrl(t, in, out), S_FALSE);
}
STDMETHODIMP CBrowserControlSite::FilterDataObject(IDataObject* d, IDataObject** pp) {
    FORWARD_OR(FilterDataObject(d, pp), S_FALSE);
}
#undef FORWARD_OR

// ---------------------------------------------------------------------------
// CDHtmlDialog

BEGIN_MESSAGE_MAP(CDHtmlDialog, CDialog)
    ON_MESSAGE(WM_DESTROY, OnDestroy)
    ON_MESSAGE(WM_SIZE, OnSize)
END_MESSAGE_MAP()

const BrowserEventMap* CDHtmlDialog::GetThisBrowserEvents() {
    static const BrowserEventEntry entries[] = {
        {DISPID_NAVIGATECOMPLETE2, &CDHtmlDialog::OnNavigateComplete2Event},
        {DISPID_BEFORENAVIGATE2, &CDHtmlDialog::OnBeforeNavigate2Event},
        {DISPID_DOCUMENTCOMPLETE, &CDHtmlDialog::OnDocumentCompleteEvent},
        {0, nullptr},
    };
    static const BrowserEventMap map = {nullptr, entries};
    return &map;
}

const BrowserEventMap* CDHtmlDialog::GetBrowserEvents() const { return GetThisBrowserEvents(); }

CDHtmlDialog::CDHtmlDialog(UINT nIDTemplate, CWnd* pParentWnd) : CDialog(nIDTemplate, pParentWnd) {}

CDHtmlDialog::~CDHtmlDialog() { DestroyBrowser(); }

BOOL CDHtmlDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    CreateBrowser();
    return TRUE;
}

CBrowserControlSite* CDHtmlDialog::CreateControlSite() { return new (std::nothrow) CBrowserControlSite(this); }

bool CDHtmlDialog::CreateBrowser() {
    if (m_pOleObject) return true;
    if (FAILED(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  reinterpret_cast<void**>(&m_pOleObject))))
        return false;
    m_pSite = CreateControlSite();
    if (!m_pSite) {
        DestroyBrowser();
        return false;
    }
    m_pOleObject->SetClientSite(m_pSite);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    if (FAILED(m_pOleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, m_pSite, 0, m_hWnd, &client)) ||
        FAILED(m_pOleObject->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&m_pBrowserApp)))) {
        DestroyBrowser();
        return false;
    }
    auto* sink = new CEventSink(this, CEventSink::Browser, DIID_DWebBrowserEvents2);
    m_pBrowserSink = sink;
    if (!Advise(m_pBrowserApp, DIID_DWebBrowserEvents2, sink, m_dwBrowserCookie)) m_dwBrowserCookie = 0;
    if (HWND browser = GetBrowserWindow()) ::SetWindowLongPtrW(browser, GWLP_ID, kBrowserControlId);
    return true;
}

HWND CDHtmlDialog::GetBrowserWindow() const {
    if (!m_pBrowserApp) return nullptr;
    IOleWindow* window = nullptr;
    HWND h = nullptr;
    if (SUCCEEDED(m_pBrowserApp->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&window)))) {
        window->GetWindow(&h);
        window->Release();
    }
    return h;
}

void CDHtmlDialog::DestroyBrowser() {
    DetachDocument();
    if (m_pBrowserSink) {
        Unadvise(m_pBrowserApp, DIID_DWebBrowserEvents2, m_dwBrowserCookie);
        static_cast<CEventSink*>(m_pBrowserSink)->Disconnect();
        m_pBrowserSink->Release();
        m_pBrowserSink = nullptr;
    }
    if (m_pBrowserApp) {
        m_pBrowserApp->Stop();
        m_pBrowserApp->Release();
        m_pBrowserApp = nullptr;
    }
    if (m_pOleObject) {
        IOleInPlaceObject* inPlace = nullptr;
        if (SUCCEEDED(m_pOleObject->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
            inPlace->InPlaceDeactivate();
            inPlace->Release();
        }
        m_pOleObject->Close(OLECLOSE_NOSAVE);
        m_pOleObject->SetClientSite(nullptr);
        m_pOleObject->Release();
        m_pOleObject = nullptr;
    }
    if (m_pSite) {
        m_pSite->m_pOwner = nullptr;
        m_pSite->Release();
        m_pSite = nullptr;
    }
}

LRESULT CDHtmlDialog::OnDestroy(WPARAM wParam, LPARAM lParam) {
    DestroyBrowser();
    return DefWindowProc(WM_DESTROY, wParam, lParam);
}

LRESULT CDHtmlDialog::OnSize(WPARAM wParam, LPARAM lParam) {
    // The browser fills the client area, whatever size the window takes.
    if (wParam != SIZE_MINIMIZED && m_pBrowserApp) {
        IOleInPlaceObject* inPlace = nullptr;
        if (SUCCEEDED(m_pBrowserApp->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
            const RECT client{0, 0, LOWORD(lParam), HIWORD(lParam)};
            inPlace->SetObjectRects(&client, &client);
            inPlace->Release();
        }
    }
    return DefWindowProc(WM_SIZE, wParam, lParam);
}

bool CDHtmlDialog::Navigate(const std::wstring& url) {
    if (!m_pBrowserApp) return false;
    BSTR address = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    VARIANT empty;
    VariantInit(&empty);
    const HRESULT hr = m_pBrowserApp->Navigate(address, &empty, &empty, &empty, &empty);
    SysFreeString(address);
    return SUCCEEDED(hr);
}

void CDHtmlDialog::DispatchBrowserEvent(DISPID dispid, DISPPARAMS* params) {
    for (const BrowserEventMap* map = GetBrowserEvents(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr)
        for (const BrowserEventEntry* e = map->entries; e->dispid || e->handler; ++e)
            if (e->dispid == dispid && e->handler) {
                (this->*(e->handler))(params);
                return;
            }
}

bool CDHtmlDialog::DispatchElementEvent(DISPID dispid, IHTMLEventObj* event) {
    int count = 0;
    const ElementEventEntry* table = GetElementEvents(count);
    if (!table || count <= 0 || !event) return true;
    IHTMLElement* source = nullptr;
    if (FAILED(event->get_srcElement(&source)) || !source) return true;
    BSTR cls = nullptr, tag = nullptr;
    source->get_className(&cls);
    source->get_tagName(&tag);
    std::vector<ElementSelector> selectors;
    for (int i = 0; i < count; ++i) selectors.push_back(table[i].selector);
    const int hit = MatchElementEvent(selectors.data(), count, dispid,
                                      cls ? std::wstring_view(cls, SysStringLen(cls)) : std::wstring_view(),
                                      tag ? std::wstring_view(tag, SysStringLen(tag)) : std::wstring_view());
    if (cls) SysFreeString(cls);
    if (tag) SysFreeString(tag);
    bool allow = true;
    if (hit >= 0 && table[hit].handler) allow = (this->*(table[hit].handler))(source) != S_FALSE;
    source->Release();
    return allow;
}

void CDHtmlDialog::AttachDocument(IHTMLDocument2* doc) {
    if (doc == m_spHtmlDoc) return;
    DetachDocument();
    if (!doc) return;
    m_spHtmlDoc = doc;
    m_spHtmlDoc->AddRef();
    int count = 0;
    GetElementEvents(count);
    if (count > 0) {
        auto* sink = new CEventSink(this, CEventSink::Document, kDiidHtmlDocumentEvents2);
        m_pDocSink = sink;
        if (!Advise(m_spHtmlDoc, kDiidHtmlDocumentEvents2, sink, m_dwDocCookie)) m_dwDocCookie = 0;
    }
}

void CDHtmlDialog::DetachDocument() {
    if (m_pDocSink) {
        Unadvise(m_spHtmlDoc, kDiidHtmlDocumentEvents2, m_dwDocCookie);
        static_cast<CEventSink*>(m_pDocSink)->Disconnect();
        m_pDocSink->Release();
        m_pDocSink = nullptr;
    }
    if (m_spHtmlDoc) {
        m_spHtmlDoc->Release();
        m_spHtmlDoc = nullptr;
    }
}

void CDHtmlDialog::OnNavigateComplete2Event(DISPPARAMS* params) {
    VARIANT* disp = EventParam(params, 0);
    IDispatch* pDisp = disp && disp->vt == VT_DISPATCH ? disp->pdispVal : nullptr;
    if (IsTopBrowser(pDisp)) {
        m_strTopDocumentUrl = VariantText(EventParam(params, 1));
        IDispatch* docDisp = nullptr;
        if (SUCCEEDED(m_pBrowserApp->get_Document(&docDisp)) && docDisp) {
            IHTMLDocument2* doc = nullptr;
            if (SUCCEEDED(docDisp->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc))) && doc) {
                AttachDocument(doc);
                doc->Release();
            }
            docDisp->Release();
        }
    }
    OnNavigateComplete(pDisp, VariantText(EventParam(params, 1)));
}

void CDHtmlDialog::OnNavigateComplete(IDispatch*, const std::wstring&) {}

bool CDHtmlDialog::IsTopBrowser(IDispatch* pDisp) const {
    return pDisp && m_pBrowserApp && SameObject(pDisp, m_pBrowserApp);
}

void CDHtmlDialog::OnBeforeNavigate2Event(DISPPARAMS* params) {
    VARIANT* disp = EventParam(params, 0);
    OnBeforeNavigate(disp && disp->vt == VT_DISPATCH ? disp->pdispVal : nullptr, VariantText(EventParam(params, 1)));
}

void CDHtmlDialog::OnDocumentCompleteEvent(DISPPARAMS* params) {
    VARIANT* disp = EventParam(params, 0);
    OnDocumentComplete(disp && disp->vt == VT_DISPATCH ? disp->pdispVal : nullptr, VariantText(EventParam(params, 1)));
}

HRESULT CDHtmlDialog::GetHostInfo(DOCHOSTUIINFO* pInfo) {
    if (!pInfo) return E_POINTER;
    pInfo->dwFlags = m_dwHostFlags;
    return S_OK;
}

bool CDHtmlDialog::CallScript(const char* function, const std::vector<std::wstring>& args) {
    if (!m_spHtmlDoc) return false;
    IDispatch* script = nullptr;
    if (FAILED(m_spHtmlDoc->get_Script(&script)) || !script) return false;
    const bool ok = CallScriptOn(script, function, args);
    script->Release();
    return ok;
}

BOOL CDHtmlDialog::PreTranslateMessage(MSG* pMsg) {
    // Keys for the page go to the browser first (tab, delete, copy...).
    if (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST && m_pBrowserApp) {
        HWND browser = GetBrowserWindow();
        if (browser && (pMsg->hwnd == browser || ::IsChild(browser, pMsg->hwnd))) {
            IOleInPlaceActiveObject* active = nullptr;
            if (SUCCEEDED(m_pBrowserApp->QueryInterface(IID_IOleInPlaceActiveObject,
                                                        reinterpret_cast<void**>(&active)))) {
                const HRESULT hr = active->TranslateAccelerator(pMsg);
                active->Release();
                if (hr == S_OK) return TRUE;
            }
        }
    }
    return CDialog::PreTranslateMessage(pMsg);
}
