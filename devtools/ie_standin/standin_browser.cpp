#include "standin_browser.h"

#include <exdispid.h>
#include <idispids.h>
#include <olectl.h>
#include <wininet.h>
#include <windowsx.h>

#include <cstring>

#include "standin_document.h"
#include "standin_script.h"
#include "standin_record.h"

namespace {

volatile LONG g_live = 0;

// Not in the toolchain's uuid library.
const GUID kCgidMshtml = {0xde4ba900, 0x59ca, 0x11cf, {0x95, 0x92, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const IID kIidDocHostShowUI = {0xc4d244b0, 0xd43e, 0x11cf, {0x89, 0x3b, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x1a}};

constexpr UINT WM_LOADED = WM_APP + 1;
constexpr ULONG_PTR kDriverData = 0x4C4D5350;  // "LMSP": a page command of the test driver  // lParam: LoadResult*, owned by the receiver

// The HRESULTs the system's control reports for a page that did not arrive.
constexpr LONG kInetCannotConnect = static_cast<LONG>(0x800C0002);
constexpr LONG kInetResourceNotFound = static_cast<LONG>(0x800C0005);
constexpr LONG kInetConnectionTimeout = static_cast<LONG>(0x800C000B);
constexpr LONG kInetUnknownProtocol = static_cast<LONG>(0x800C000D);

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

CStandInBrowser* BrowserOf(HWND h) {
    while (h) {
        if (auto* b = reinterpret_cast<CStandInBrowser*>(::GetPropW(h, L"LmStandInBrowser"))) return b;
        h = ::GetParent(h);
    }
    return nullptr;
}

LRESULT CALLBACK ChainProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE: {
        // Each window of the chain fills its parent; the view lays its page out again.
        CStandInBrowser* b = BrowserOf(h);
        if (b && b->IsView(h)) b->OnViewSize();
        else if (HWND child = ::GetWindow(h, GW_CHILD)) ::MoveWindow(child, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        return 0;
    }
    case WM_COMMAND:
        if (CStandInBrowser* b = BrowserOf(h); b && lp) b->OnViewCommand(reinterpret_cast<HWND>(lp), HIWORD(wp));
        return 0;
    case WM_PARENTNOTIFY:
        // A click on one of the page's controls activates the page as a click on it does.
        if (LOWORD(wp) == WM_LBUTTONDOWN || LOWORD(wp) == WM_RBUTTONDOWN)
            if (CStandInBrowser* b = BrowserOf(h)) b->OnViewFocus();
        return 0;
    case WM_GETDLGCODE:
        // Characters and arrows for the page; Enter, Escape and Tab stay with
        // the dialog that hosts it (assumed: the documented sequences say
        // nothing of the view's dialog code).
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case CStandInBrowser::kRequestDone:
        if (CStandInBrowser* b = BrowserOf(h)) {
            b->OnRequestDone(wp, reinterpret_cast<LoadResult*>(lp));
        } else {
            delete reinterpret_cast<LoadResult*>(lp);
        }
        return 0;
    case WM_COPYDATA: {
        // "HWND<TAB>command<TAB>args...": a test driver acting on the page.
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        CStandInBrowser* b = BrowserOf(h);
        if (!b || !cds || cds->dwData != kDriverData || !cds->lpData) return 0;
        std::wstring text(static_cast<const wchar_t*>(cds->lpData), cds->cbData / sizeof(wchar_t));
        if (auto nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
        const std::size_t tab = text.find(L'\t');
        if (tab == std::wstring::npos) return 0;
        HWND reply = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::wcstoull(text.c_str(), nullptr, 16)));
        return b->DriverCommand(reply, text.substr(tab + 1)) ? 1 : 0;
    }
    case WM_TIMER:
        if (CStandInBrowser* b = BrowserOf(h)) b->OnPageTimer(wp);
        return 0;
    case WM_LOADED:
        if (CStandInBrowser* b = BrowserOf(h)) {
            b->OnLoaded(reinterpret_cast<LoadResult*>(lp));
        } else {
            delete reinterpret_cast<LoadResult*>(lp);
        }
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(h, &ps);
        RECT client{};
        ::GetClientRect(h, &client);
        CStandInBrowser* b = BrowserOf(h);
        if (b && b->IsView(h)) {
            b->PaintView(dc, client);
        } else {
            ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        }
        ::EndPaint(h, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        ::SetFocus(h);
        if (CStandInBrowser* b = BrowserOf(h)) {
            b->OnViewFocus();
            if (b->IsView(h)) b->OnViewMouse(msg, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        }
        return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        if (CStandInBrowser* b = BrowserOf(h); b && b->IsView(h))
            b->OnViewMouse(msg, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        return 0;
    case WM_DESTROY:
        ::RemovePropW(h, L"LmStandInBrowser");
        return 0;
    default:
        return ::DefWindowProcW(h, msg, wp, lp);
    }
}

void RegisterChainClasses() {
    static bool done = false;
    if (done) return;
    for (const wchar_t* name : {L"Shell Embedding", L"Shell DocObject View", L"Internet Explorer_Server"}) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &ChainProc;
        wc.hInstance = ThisModule();
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = name;
        wc.style = CS_DBLCLKS;
        ::RegisterClassW(&wc);
    }
    done = true;
}


// A BYREF VARIANT argument pointing at `inner`.
VARIANT RefTo(VARIANT* inner) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = inner;
    return v;
}

VARIANT DispArg(IDispatch* d) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = d;  // borrowed for the call
    return v;
}

std::wstring VariantString(const VARIANT* v) {
    if (!v) return {};
    if (v->vt == (VT_BYREF | VT_VARIANT)) return VariantString(v->pvarVal);
    if (v->vt == VT_BSTR && v->bstrVal) return std::wstring(v->bstrVal, ::SysStringLen(v->bstrVal));
    if (v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal && *v->pbstrVal)
        return std::wstring(*v->pbstrVal, ::SysStringLen(*v->pbstrVal));
    return {};
}

std::vector<unsigned char> VariantBytes(const VARIANT* v) {
    if (!v) return {};
    if (v->vt == (VT_BYREF | VT_VARIANT)) return VariantBytes(v->pvarVal);
    if (v->vt != (VT_ARRAY | VT_UI1) || !v->parray) return {};
    void* data = nullptr;
    if (FAILED(::SafeArrayAccessData(v->parray, &data))) return {};
    const ULONG n = v->parray->rgsabound[0].cElements;
    std::vector<unsigned char> bytes(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + n);
    ::SafeArrayUnaccessData(v->parray);
    return bytes;
}

bool StartsWithNoCase(const std::wstring& s, const wchar_t* prefix) {
    const std::size_t n = std::wcslen(prefix);
    return s.size() >= n && ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, s.c_str(), static_cast<int>(n),
                                             prefix, static_cast<int>(n)) == CSTR_EQUAL;
}

std::wstring Hex(LONG v) {
    wchar_t buf[16];
    wsprintfW(buf, L"0x%08X", static_cast<unsigned>(v));
    return buf;
}

// --- loading -------------------------------------------------------------------

struct LoadRequest {
    HWND notify;
    LoadResult* result;
    std::wstring method, headers;
    std::vector<unsigned char> post;
    UINT message = WM_LOADED;
    WPARAM tag = 0;
};

LONG InetError(DWORD error) {
    switch (error) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
        return kInetResourceNotFound;
    case ERROR_INTERNET_TIMEOUT:
        return kInetConnectionTimeout;
    default:
        return kInetCannotConnect;
    }
}

void Fetch(LoadRequest& req) {
    LoadResult& r = *req.result;
    r.finalUrl = r.requested;
    HINTERNET session = ::InternetOpenW(L"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)",
                                        INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session) {
        r.error = kInetCannotConnect;
        return;
    }
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    wchar_t host[256] = {}, path[2048] = {}, extra[2048] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = 2048;
    if (!::InternetCrackUrlW(r.requested.c_str(), 0, 0, &parts)) {
        r.error = kInetResourceNotFound;
        ::InternetCloseHandle(session);
        return;
    }
    HINTERNET connection = ::InternetConnectW(session, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    const std::wstring object = std::wstring(path) + extra;
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    HINTERNET request = connection ? ::HttpOpenRequestW(connection, req.method.c_str(), object.c_str(), nullptr,
                                                        nullptr, nullptr, flags, 0)
                                   : nullptr;
    const std::wstring headers =
        req.headers + (req.method == L"POST" ? L"Content-Type: application/x-www-form-urlencoded\r\n" : L"");
    if (!request || !::HttpSendRequestW(request, headers.empty() ? nullptr : headers.c_str(),
                                        static_cast<DWORD>(headers.size()), req.post.empty() ? nullptr : req.post.data(),
                                        static_cast<DWORD>(req.post.size()))) {
        r.error = InetError(::GetLastError());
    } else {
        DWORD status = 0, size = sizeof status;
        ::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
        r.status = status;
        wchar_t type[256] = {};
        size = sizeof type;
        if (::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_TYPE, type, &size, nullptr)) r.contentType = type;
        wchar_t url[4096] = {};
        size = sizeof url;
        if (::InternetQueryOptionW(request, INTERNET_OPTION_URL, url, &size)) r.finalUrl = url;
        char buf[8192];
        DWORD got = 0;
        while (::InternetReadFile(request, buf, sizeof buf, &got) && got) r.body.append(buf, got);
    }
    if (request) ::InternetCloseHandle(request);
    if (connection) ::InternetCloseHandle(connection);
    ::InternetCloseHandle(session);
}

DWORD WINAPI LoadThread(void* param) {
    auto* req = static_cast<LoadRequest*>(param);
    if (req->result->error == S_OK) Fetch(*req);
    if (!::PostMessageW(req->notify, req->message, req->tag, reinterpret_cast<LPARAM>(req->result))) delete req->result;
    delete req;
    return 0;
}

// The page's own drop target, offered to the host on the first load as the
// system's control offers its own: it takes no drop.
class CNoDropTarget final : public IDropTarget {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = riid == IID_IUnknown || riid == IID_IDropTarget ? static_cast<IDropTarget*>(this) : nullptr;
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_cRef)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG n = ::InterlockedDecrement(&m_cRef);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override { return None(effect); }
    STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override { return None(effect); }
    STDMETHODIMP DragLeave() override { return S_OK; }
    STDMETHODIMP Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override { return None(effect); }

private:
    static HRESULT None(DWORD* effect) {
        if (effect) *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    LONG m_cRef = 1;
};

std::wstring Decode(const std::string& bytes, const std::wstring& contentType) {
    UINT page = CP_UTF8;
    std::wstring lower = contentType;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(::towlower(c));
    if (lower.find(L"gb2312") != std::wstring::npos || lower.find(L"gbk") != std::wstring::npos) page = 936;
    const int n = ::MultiByteToWideChar(page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(page, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

}  // namespace

// --- the event point --------------------------------------------------------------

CEventPoint::~CEventPoint() { DropAll(); }

STDMETHODIMP CEventPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CEventPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = m_iid;
    return S_OK;
}

STDMETHODIMP CEventPoint::GetConnectionPointContainer(IConnectionPointContainer** c) {
    if (!c) return E_POINTER;
    *c = m_container;
    m_container->AddRef();
    return S_OK;
}

STDMETHODIMP CEventPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_INVALIDARG;
    // The event interface itself, else plain IDispatch.
    IDispatch* disp = nullptr;
    if (FAILED(sink->QueryInterface(m_iid, reinterpret_cast<void**>(&disp))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp))))
        return CONNECT_E_CANNOTCONNECT;
    *cookie = m_nextCookie++;
    m_entries.push_back({*cookie, disp});
    Record(L"connect " + std::to_wstring(*cookie));
    return S_OK;
}

STDMETHODIMP CEventPoint::Unadvise(DWORD cookie) {
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        if (it->cookie == cookie) {
            IDispatch* sink = it->sink;
            m_entries.erase(it);
            sink->Release();
            Record(L"disconnect " + std::to_wstring(cookie));
            return S_OK;
        }
    return CONNECT_E_NOCONNECTION;
}

std::vector<IDispatch*> CEventPoint::Sinks() const {
    std::vector<IDispatch*> sinks;
    for (const Entry& e : m_entries) {
        e.sink->AddRef();
        sinks.push_back(e.sink);
    }
    return sinks;
}

void CEventPoint::DropAll() {
    std::vector<Entry> entries;
    entries.swap(m_entries);
    for (Entry& e : entries) e.sink->Release();
}

// --- the browser ------------------------------------------------------------------

CStandInBrowser::CStandInBrowser() {
    ::InterlockedIncrement(&g_live);
    m_events = new CEventPoint(static_cast<IWebBrowser2*>(this), this, DIID_DWebBrowserEvents2);
}

CStandInBrowser::~CStandInBrowser() {
    CloseFrames();
    if (m_document) {
        m_document->Unload();
        m_document->Release();
    }
    DestroyWindows();
    delete m_events;
    ::InterlockedDecrement(&g_live);
}

long CStandInBrowser::LiveCount() { return g_live; }

STDMETHODIMP CStandInBrowser::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IWebBrowser || riid == IID_IWebBrowserApp ||
        riid == IID_IWebBrowser2)
        *ppv = static_cast<IWebBrowser2*>(this);
    else if (riid == IID_IOleObject)
        *ppv = static_cast<IOleObject*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject)
        *ppv = static_cast<IOleInPlaceObject*>(this);
    else if (riid == IID_IOleInPlaceActiveObject)
        *ppv = static_cast<IOleInPlaceActiveObject*>(this);
    else if (riid == IID_IConnectionPointContainer)
        *ppv = static_cast<IConnectionPointContainer*>(this);
    else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2)
        *ppv = static_cast<IProvideClassInfo2*>(this);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CStandInBrowser::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&m_cRef)); }

STDMETHODIMP_(ULONG) CStandInBrowser::Release() {
    const LONG r = ::InterlockedDecrement(&m_cRef);
    if (r == 0) delete this;
    return static_cast<ULONG>(r);
}

STDMETHODIMP CStandInBrowser::GetTypeInfoCount(UINT* n) {
    if (n) *n = 0;
    return S_OK;
}

// --- the host ------------------------------------------------------------------

void CStandInBrowser::ConnectSite(IOleClientSite* site) {
    site->AddRef();
    m_site = site;
    site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&m_inPlaceSite));
    site->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&m_uiHandler));
    site->QueryInterface(kIidDocHostShowUI, reinterpret_cast<void**>(&m_showUI));
    site->QueryInterface(IID_IOleControlSite, reinterpret_cast<void**>(&m_controlSite));
    if (!m_siteSeen) {
        IOleContainer* container = nullptr;
        Record(L"host GetContainer");
        if (SUCCEEDED(site->GetContainer(&container)) && container) container->Release();
    }
    HWND parent = nullptr;
    if (m_inPlaceSite) {
        Record(L"host GetWindow");
        m_inPlaceSite->GetWindow(&parent);
    }
    // The ambient properties, read through the site's dispatch interface.
    IDispatch* ambient = nullptr;
    if (SUCCEEDED(site->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&ambient))) && ambient) {
        for (DISPID id : {DISPID_AMBIENT_OFFLINEIFNOTCONNECTED, DISPID_AMBIENT_SILENT}) {
            DISPPARAMS none{};
            VARIANT v;
            ::VariantInit(&v);
            Record(L"host ambient " + std::to_wstring(id));
            if (SUCCEEDED(ambient->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_PROPERTYGET, &none, &v,
                                          nullptr, nullptr)) &&
                v.vt == VT_BOOL)
                (id == DISPID_AMBIENT_SILENT ? m_silent : m_offline) = v.boolVal;
            ::VariantClear(&v);
        }
        ambient->Release();
    }
    m_siteSeen = true;
    if (parent) EnsureWindows(parent);
}

void CStandInBrowser::DropSite() {
    for (IUnknown** p : {reinterpret_cast<IUnknown**>(&m_inPlaceSite), reinterpret_cast<IUnknown**>(&m_uiHandler),
                         reinterpret_cast<IUnknown**>(&m_showUI), reinterpret_cast<IUnknown**>(&m_controlSite),
                         reinterpret_cast<IUnknown**>(&m_frame), reinterpret_cast<IUnknown**>(&m_uiWindow),
                         reinterpret_cast<IUnknown**>(&m_site)})
        if (*p) {
            (*p)->Release();
            *p = nullptr;
        }
}

bool CStandInBrowser::EnsureWindows(HWND parent) {
    if (m_embedding) {
        if (::GetParent(m_embedding) != parent) ::SetParent(m_embedding, parent);
        return true;
    }
    RegisterChainClasses();
    const HINSTANCE module = ThisModule();
    m_embedding = ::CreateWindowExW(0, L"Shell Embedding", L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 50,
                                    20, parent, nullptr, module, nullptr);
    if (!m_embedding) return false;
    ::SetPropW(m_embedding, L"LmStandInBrowser", this);
    m_docView = ::CreateWindowExW(0, L"Shell DocObject View", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 50,
                                  20, m_embedding, nullptr, module, nullptr);
    m_server = ::CreateWindowExW(0, L"Internet Explorer_Server", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                 50, 20, m_docView, nullptr, module, nullptr);
    m_view.Attach(m_server);
    return true;
}

void CStandInBrowser::DestroyWindows() {
    m_view.Clear();
    m_view.Attach(nullptr);
    m_pressed = nullptr;
    if (m_embedding) ::DestroyWindow(m_embedding);
    m_embedding = m_docView = m_server = nullptr;
}

STDMETHODIMP CStandInBrowser::SetClientSite(IOleClientSite* site) {
    if (!site) {
        Record(L"SetClientSite null");
        if (m_downloaded) {
            FireCommandState(CSC_NAVIGATEBACK, false);
            FireCommandState(CSC_NAVIGATEFORWARD, false);
        }
        DropSite();
        DestroyWindows();
        return S_OK;
    }
    Record(L"SetClientSite");
    DropSite();
    ConnectSite(site);
    return S_OK;
}

STDMETHODIMP CStandInBrowser::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    *site = m_site;
    if (m_site) m_site->AddRef();
    return S_OK;
}

STDMETHODIMP CStandInBrowser::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) {
    Record(L"DoVerb " + std::to_wstring(verb));
    if (site && site != m_site) {
        DropSite();
        ConnectSite(site);
    }
    switch (verb) {
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
    case OLEIVERB_PRIMARY:
    case OLEIVERB_INPLACEACTIVATE:
        return Activate(verb, parent, rect);
    case OLEIVERB_HIDE:
        Deactivate();
        return S_OK;
    default:
        return OLEOBJ_S_INVALIDVERB;
    }
}

HRESULT CStandInBrowser::Activate(LONG verb, HWND, LPCRECT rect) {
    if (!m_inPlaceSite) return E_UNEXPECTED;
    const bool wantUI = verb != OLEIVERB_INPLACEACTIVATE;
    if (!m_inPlace) {
        Record(L"host CanInPlaceActivate");
        if (m_inPlaceSite->CanInPlaceActivate() != S_OK) return E_FAIL;
        HWND parent = nullptr;
        Record(L"host GetWindow");
        m_inPlaceSite->GetWindow(&parent);
        Record(L"host OnInPlaceActivate");
        m_inPlaceSite->OnInPlaceActivate();
        RECT pos{}, clip{};
        OLEINPLACEFRAMEINFO info{};
        info.cb = sizeof info;
        Record(L"host GetWindowContext");
        m_inPlaceSite->GetWindowContext(&m_frame, &m_uiWindow, &pos, &clip, &info);
        Record(L"host ShowObject");
        m_site->ShowObject();
        IOleContainer* container = nullptr;
        Record(L"host GetContainer");
        if (SUCCEEDED(m_site->GetContainer(&container)) && container) container->Release();
        if (m_frame) {
            HWND frame = nullptr;
            Record(L"host Frame::GetWindow");
            m_frame->GetWindow(&frame);
        }
        if (!parent || !EnsureWindows(parent)) return E_FAIL;
        const RECT& r = rect ? *rect : pos;
        ::MoveWindow(m_embedding, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        ::ShowWindow(m_embedding, SW_SHOWNA);
        m_inPlace = true;
    }
    if (wantUI && !m_uiActive) {
        Record(L"host OnUIActivate");
        m_inPlaceSite->OnUIActivate();
        HostShowUI();
        if (m_frame) {
            Record(L"host Frame::SetActiveObject item");
            m_frame->SetActiveObject(this, L"item");
        }
        if (m_uiWindow) {
            Record(L"host UIWindow::SetActiveObject item");
            m_uiWindow->SetActiveObject(this, L"item");
        }
        if (m_frame) {
            Record(L"host Frame::SetMenu");
            m_frame->SetMenu(nullptr, nullptr, m_embedding);
        }
        if (m_controlSite) {
            Record(L"host OnFocus 1");
            m_controlSite->OnFocus(TRUE);
        }
        m_uiActive = true;
    }
    return S_OK;
}

void CStandInBrowser::Deactivate() {
    if (m_uiActive) UIDeactivate();
    if (m_inPlace) InPlaceDeactivate();
}

STDMETHODIMP CStandInBrowser::UIDeactivate() {
    if (!m_uiActive) return S_OK;
    m_uiActive = false;
    if (m_uiShown && m_uiHandler) {
        Record(L"host HideUI");
        m_uiHandler->HideUI();
    }
    m_uiShown = false;
    if (m_frame) {
        Record(L"host Frame::SetActiveObject null");
        m_frame->SetActiveObject(nullptr, nullptr);
    }
    if (m_uiWindow) {
        Record(L"host UIWindow::SetActiveObject null");
        m_uiWindow->SetActiveObject(nullptr, nullptr);
    }
    if (m_inPlaceSite) {
        Record(L"host OnUIDeactivate");
        m_inPlaceSite->OnUIDeactivate(FALSE);
    }
    if (m_controlSite) {
        Record(L"host OnFocus 0");
        m_controlSite->OnFocus(FALSE);
    }
    return S_OK;
}

STDMETHODIMP CStandInBrowser::InPlaceDeactivate() {
    if (m_uiActive) UIDeactivate();
    if (!m_inPlace) return S_OK;
    m_inPlace = false;
    if (m_embedding) ::ShowWindow(m_embedding, SW_HIDE);
    if (m_inPlaceSite) {
        Record(L"host OnInPlaceDeactivate");
        m_inPlaceSite->OnInPlaceDeactivate();
    }
    return S_OK;
}

STDMETHODIMP CStandInBrowser::Close(DWORD) {
    Record(L"Close");
    Deactivate();
    m_generation++;  // a load still on its way is dropped
    if (m_document) m_document->Unload();
    DropSite();
    return S_OK;
}

STDMETHODIMP CStandInBrowser::GetUserClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_WebBrowser;
    return S_OK;
}

STDMETHODIMP CStandInBrowser::SetExtent(DWORD, SIZEL* size) {
    if (!size) return E_POINTER;
    m_extent = *size;
    return S_OK;
}

STDMETHODIMP CStandInBrowser::GetExtent(DWORD, SIZEL* size) {
    if (!size) return E_POINTER;
    *size = m_extent;
    return S_OK;
}

STDMETHODIMP CStandInBrowser::Advise(IAdviseSink*, DWORD* cookie) {
    if (cookie) *cookie = 0;
    return E_NOTIMPL;
}

STDMETHODIMP CStandInBrowser::EnumAdvise(IEnumSTATDATA** e) {
    if (e) *e = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CStandInBrowser::GetMiscStatus(DWORD, DWORD* status) {
    if (!status) return E_POINTER;
    *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
              OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
    return S_OK;
}

STDMETHODIMP CStandInBrowser::GetWindow(HWND* h) {
    if (!h) return E_POINTER;
    *h = m_embedding;
    return S_OK;
}

STDMETHODIMP CStandInBrowser::SetObjectRects(LPCRECT pos, LPCRECT) {
    if (!pos) return E_INVALIDARG;
    if (m_embedding) ::MoveWindow(m_embedding, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
    return S_OK;
}

STDMETHODIMP CStandInBrowser::TranslateAccelerator(LPMSG msg) {
    // The page takes keys once it has been activated by a click; until
    // then nothing is asked of the host.
    if (!msg || !m_uiActive || !m_uiHandler) return S_FALSE;
    if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) return S_FALSE;
    Record(L"host TranslateAccelerator " + std::to_wstring(msg->wParam));
    const HRESULT hr = m_uiHandler->TranslateAccelerator(msg, &kCgidMshtml, 0);
    if (hr == S_OK) return S_OK;
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_F5) {
        Refresh();
        return S_OK;
    }
    return hr;
}

void CStandInBrowser::OnViewFocus() {
    if (m_inPlace && !m_uiActive) Activate(OLEIVERB_UIACTIVATE, nullptr, nullptr);
}

STDMETHODIMP CStandInBrowser::FindConnectionPoint(REFIID riid, IConnectionPoint** cp) {
    if (!cp) return E_POINTER;
    *cp = nullptr;
    if (riid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
    *cp = m_events;
    m_events->AddRef();
    return S_OK;
}

STDMETHODIMP CStandInBrowser::GetClassInfo(ITypeInfo** ti) {
    if (ti) *ti = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CStandInBrowser::GetGUID(DWORD kind, GUID* guid) {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = DIID_DWebBrowserEvents2;
    return S_OK;
}

// --- events --------------------------------------------------------------------------

void CStandInBrowser::Fire(DISPID id, const wchar_t* name, std::vector<VARIANT> args, const std::wstring& detail) {
    // A frame raises its navigation's events, each with its own object as
    // pDisp; the rest (title, commands, downloads) are the top page's
    // (assumed: the documented sequences name only these for frames).
    if (m_parent && id != DISPID_BEFORENAVIGATE2 && id != DISPID_NAVIGATECOMPLETE2 && id != DISPID_DOCUMENTCOMPLETE &&
        id != DISPID_NAVIGATEERROR)
        return;
    Record(RecordPrefix() + std::wstring(L"event ") + name + (detail.empty() ? L"" : L" " + detail));
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{};
    params.cArgs = static_cast<UINT>(reversed.size());
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    AddRef();  // a sink may release the browser meanwhile
    for (IDispatch* sink : (m_parent ? m_parent->m_events : m_events)->Sinks()) {
        sink->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        sink->Release();
    }
    Release();
}

bool CStandInBrowser::FireBeforeNavigate2(const std::wstring& url, const std::vector<unsigned char>& post) {
    VARIANT urlValue, flags, frame, postInner, postData, headers;
    for (VARIANT* v : {&urlValue, &flags, &frame, &postInner, &postData, &headers}) ::VariantInit(v);
    urlValue.vt = VT_BSTR;
    urlValue.bstrVal = Bstr(url);
    flags.vt = VT_I4;
    flags.lVal = m_navigated ? 0x40 : 0;
    frame.vt = VT_BSTR;
    frame.bstrVal = nullptr;
    headers.vt = VT_BSTR;
    headers.bstrVal = nullptr;
    if (!post.empty()) {
        SAFEARRAY* bytes = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(post.size()));
        void* data = nullptr;
        if (bytes && SUCCEEDED(::SafeArrayAccessData(bytes, &data))) {
            std::memcpy(data, post.data(), post.size());
            ::SafeArrayUnaccessData(bytes);
        }
        postInner.vt = VT_ARRAY | VT_UI1;
        postInner.parray = bytes;
    }
    postData.vt = VT_BYREF | VT_VARIANT;
    postData.pvarVal = &postInner;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT cancelArg;
    ::VariantInit(&cancelArg);
    cancelArg.vt = VT_BYREF | VT_BOOL;
    cancelArg.pboolVal = &cancel;
    Fire(DISPID_BEFORENAVIGATE2, L"BeforeNavigate2",
         {DispArg(Self()), RefTo(&urlValue), RefTo(&flags), RefTo(&frame), RefTo(&postData), RefTo(&headers), cancelArg},
         url);
    ::VariantClear(&urlValue);
    ::VariantClear(&postInner);
    if (cancel != VARIANT_FALSE) Record(RecordPrefix() + (L"cancelled " + url));
    return cancel != VARIANT_FALSE;
}

bool CStandInBrowser::FireNavigateError(const std::wstring& url, LONG status) {
    VARIANT urlValue, frame, code;
    for (VARIANT* v : {&urlValue, &frame, &code}) ::VariantInit(v);
    urlValue.vt = VT_BSTR;
    urlValue.bstrVal = Bstr(url);
    frame.vt = VT_BSTR;
    frame.bstrVal = nullptr;
    code.vt = VT_I4;
    code.lVal = status;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT cancelArg;
    ::VariantInit(&cancelArg);
    cancelArg.vt = VT_BYREF | VT_BOOL;
    cancelArg.pboolVal = &cancel;
    Fire(DISPID_NAVIGATEERROR, L"NavigateError",
         {DispArg(Self()), RefTo(&urlValue), RefTo(&frame), RefTo(&code), cancelArg},
         (status >= 400 && status < 600 ? std::to_wstring(status) : Hex(status)) + L" " + url);
    ::VariantClear(&urlValue);
    if (cancel != VARIANT_FALSE) Record(RecordPrefix() + (L"cancelled error " + url));
    return cancel != VARIANT_FALSE;
}

void CStandInBrowser::FireUrlEvent(DISPID id, const wchar_t* name, const std::wstring& url) {
    VARIANT urlValue;
    ::VariantInit(&urlValue);
    urlValue.vt = VT_BSTR;
    urlValue.bstrVal = Bstr(url);
    Fire(id, name, {DispArg(Self()), RefTo(&urlValue)}, url);
    ::VariantClear(&urlValue);
}

void CStandInBrowser::FireCommandState(LONG command, bool enabled) {
    VARIANT which, state;
    ::VariantInit(&which);
    ::VariantInit(&state);
    which.vt = VT_I4;
    which.lVal = command;
    state.vt = VT_BOOL;
    state.boolVal = enabled ? VARIANT_TRUE : VARIANT_FALSE;
    Fire(DISPID_COMMANDSTATECHANGE, L"CommandStateChange", {which, state},
         std::to_wstring(command) + L" " + (enabled ? L"1" : L"0"));
}

void CStandInBrowser::HostGetHostInfo() {
    if (!m_uiHandler) return;
    DOCHOSTUIINFO info{};
    info.cbSize = sizeof info;
    const HRESULT hr = m_uiHandler->GetHostInfo(&info);
    Record(L"host GetHostInfo " + (SUCCEEDED(hr) ? Hex(static_cast<LONG>(info.dwFlags)) : L"failed"));
    if (info.pchHostCss) ::CoTaskMemFree(info.pchHostCss);
    if (info.pchHostNS) ::CoTaskMemFree(info.pchHostNS);
}

// The first load asks the host where its options live; a key it names would
// be read for the page's settings, which this control has none of.
void CStandInBrowser::HostGetOptionKeyPath() {
    if (!m_uiHandler) return;
    LPOLESTR key = nullptr;
    const HRESULT hr = m_uiHandler->GetOptionKeyPath(&key, 0);
    Record(L"host GetOptionKeyPath " + Hex(hr) + (hr == S_OK && key ? L" " + std::wstring(key) : L""));
    if (key) ::CoTaskMemFree(key);
}

// The host may put its own drop target in front of the page's; none is used.
void CStandInBrowser::HostGetDropTarget() {
    m_dropTargetOffered = true;
    if (!m_uiHandler) return;
    auto* own = new CNoDropTarget;
    IDropTarget* replacement = nullptr;
    const HRESULT hr = m_uiHandler->GetDropTarget(own, &replacement);
    Record(L"host GetDropTarget " + Hex(hr) + (hr == S_OK && replacement ? L" replaced" : L""));
    if (replacement) replacement->Release();
    own->Release();
}

// The page's menus and tool bars are the host's to replace when the page is
// activated; a host that fails the call is told to hide its own again. The
// documented sequences do not place these two calls: ShowUI is assumed to
// follow OnUIActivate at once, and HideUI to come first on deactivation.
void CStandInBrowser::HostShowUI() {
    if (!m_uiHandler) return;
    const HRESULT hr = m_uiHandler->ShowUI(DOCHOSTUITYPE_BROWSE, this, nullptr, m_frame, m_uiWindow);
    Record(L"host ShowUI " + Hex(hr));
    m_uiShown = SUCCEEDED(hr);
    if (FAILED(hr)) {
        Record(L"host HideUI");
        m_uiHandler->HideUI();
    }
}

// --- navigation ------------------------------------------------------------------

STDMETHODIMP CStandInBrowser::Navigate(BSTR URL, VARIANT*, VARIANT*, VARIANT* PostData, VARIANT* Headers) {
    const std::wstring url = URL ? std::wstring(URL, ::SysStringLen(URL)) : std::wstring();
    const std::vector<unsigned char> post = VariantBytes(PostData);
    return StartNavigation(url, post.empty() ? L"GET" : L"POST", post, VariantString(Headers), false);
}

STDMETHODIMP CStandInBrowser::Navigate2(VARIANT* URL, VARIANT*, VARIANT*, VARIANT* PostData, VARIANT* Headers) {
    const std::vector<unsigned char> post = VariantBytes(PostData);
    return StartNavigation(VariantString(URL), post.empty() ? L"GET" : L"POST", post, VariantString(Headers), false);
}

HRESULT CStandInBrowser::StartNavigation(const std::wstring& url, const std::wstring& method,
                                         const std::vector<unsigned char>& post, const std::wstring& headers,
                                         bool refresh) {
    Record(RecordPrefix() + (L"Navigate " + method + L" " + url));
    if (!refresh && FireBeforeNavigate2(url, post)) return S_OK;
    StartLoad(url, method, post, headers, refresh);
    return S_OK;
}

void CStandInBrowser::StartLoad(const std::wstring& url, const std::wstring& method,
                                const std::vector<unsigned char>& post, const std::wstring& headers, bool refresh) {
    const unsigned generation = ++m_generation;
    m_busy = true;
    if (!refresh) m_readyState = READYSTATE_LOADING;
    Fire(DISPID_DOWNLOADBEGIN, L"DownloadBegin", {});
    HostGetHostInfo();
    if (!m_downloaded) {
        HostGetOptionKeyPath();
        FireCommandState(CSC_NAVIGATEBACK, false);
        FireCommandState(CSC_NAVIGATEFORWARD, false);
    }
    auto* result = new LoadResult;
    result->generation = generation;
    result->refresh = refresh;
    result->requested = url;
    if (!StartsWithNoCase(url, L"http://") && !StartsWithNoCase(url, L"https://")) result->error = kInetUnknownProtocol;
    if (!m_embedding) {
        delete result;
        return;
    }
    auto* req = new LoadRequest{m_embedding, result, method, headers, post};
    HANDLE thread = ::CreateThread(nullptr, 0, &LoadThread, req, 0, nullptr);
    if (thread) {
        ::CloseHandle(thread);
    } else {
        delete req;
        result->error = kInetCannotConnect;
        ::PostMessageW(m_embedding, WM_LOADED, 0, reinterpret_cast<LPARAM>(result));
    }
}

void CStandInBrowser::OnLoaded(LoadResult* result) {
    if (result->generation != m_generation) {  // stopped or overtaken
        delete result;
        return;
    }
    AddRef();
    m_busy = false;
    m_downloaded = true;
    const LONG status = result->error != S_OK ? result->error
                        : result->status >= 400 ? static_cast<LONG>(result->status)
                                                : 0;
    if (status != 0) {
        Fire(DISPID_DOWNLOADCOMPLETE, L"DownloadComplete", {});
        if (FireNavigateError(result->requested, status)) {
            // The error page is not shown: the old page stays.
            m_readyState = READYSTATE_COMPLETE;
            delete result;
            ReportFrameDone();
            Release();
            return;
        }
        // The system's own error page, for the address that failed (its text
        // here is an assumption: the documented sequences say only that the
        // page is shown under the original address).
        result->finalUrl = result->requested;
        result->body = "<html><head><title>This page can't be displayed</title></head><body>This page can't be "
                       "displayed</body></html>";
        result->contentType = L"text/html; charset=utf-8";
    }
    if (!m_document) m_document = new CStandInDocument;
    m_pressed = nullptr;
    if (!result->refresh) CloseFrames();
    m_document->Load(this, m_server, result->finalUrl, Decode(result->body, result->contentType));
    if (!m_parent) m_view.Update(m_document->Root());
    if (result->refresh) {
        m_document->RunScripts();
        Fire(DISPID_DOWNLOADCOMPLETE, L"DownloadComplete", {});
    } else {
        if (status == 0) Fire(DISPID_DOWNLOADCOMPLETE, L"DownloadComplete", {});
        m_locationUrl = result->finalUrl;
        m_locationName = m_document->Title().empty() ? result->finalUrl : m_document->Title();
        VARIANT title;
        ::VariantInit(&title);
        title.vt = VT_BSTR;
        title.bstrVal = Bstr(m_locationName);
        Fire(DISPID_TITLECHANGE, L"TitleChange", {title}, m_locationName);
        ::VariantClear(&title);
        m_navigated = true;
        m_document->SetReadyState(L"interactive");
        FireUrlEvent(DISPID_NAVIGATECOMPLETE2, L"NavigateComplete2", result->finalUrl);
        if (!m_dropTargetOffered) HostGetDropTarget();
        // The page's scripts run as it is parsed, after the navigation is
        // committed; a script may start another navigation meanwhile.
        const unsigned generation = m_generation;
        m_document->RunScripts();
        if (generation != m_generation) {
            delete result;
            ReportFrameDone();
            Release();
            return;
        }
        StartFrames();
        if (m_framesLoading) {
            m_completing = result;  // DocumentComplete once the frames have theirs
            Release();
            return;
        }
    }
    Complete(result);
    Release();
}

void CStandInBrowser::Complete(LoadResult* result) {
    AddRef();
    if (!m_parent) m_view.Update(m_document->Root());
    m_readyState = READYSTATE_COMPLETE;
    m_document->SetReadyState(L"complete");
    // DocumentComplete after the page's scripts and onload have run, with the
    // ready state complete (assumed order: the documented sequences give the
    // ready state during the event, not its place against onload).
    if (!result->refresh) {
        FireUrlEvent(DISPID_DOCUMENTCOMPLETE, L"DocumentComplete", result->finalUrl);
        if (m_uiHandler) {
            Record(L"host UpdateUI");
            m_uiHandler->UpdateUI();
        }
    }
    delete result;
    ReportFrameDone();
    Release();
}

// --- frames ---------------------------------------------------------------------------
//
// Each <iframe src> of a page loads into a browser object of its own, with no
// view: its page is not drawn, but its scripts run and its navigations raise
// the top browser's events with the frame's object as pDisp, as the system's
// control raises them. A frame of a frame is not loaded.

void CStandInBrowser::StartFrames() {
    if (m_parent || !m_document || !m_document->Root()) return;
    std::vector<CHtmlNode*> frames;
    std::vector<CHtmlNode*> stack{m_document->Root()};
    while (!stack.empty()) {
        CHtmlNode* node = stack.back();
        stack.pop_back();
        if (node->tag == L"iframe" && node->Attr(L"src") && !node->Attr(L"src")->empty()) frames.push_back(node);
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) stack.push_back(it->get());
    }
    RegisterChainClasses();
    for (CHtmlNode* node : frames) {
        auto* frame = new CStandInBrowser;
        frame->m_parent = this;
        frame->m_embedding = frame->m_server = ::CreateWindowExW(0, L"Shell Embedding", L"", 0, 0, 0, 0, 0,
                                                                 HWND_MESSAGE, nullptr, ThisModule(), nullptr);
        if (!frame->m_embedding) {
            frame->Release();
            continue;
        }
        ::SetPropW(frame->m_embedding, L"LmStandInBrowser", frame);
        m_frames.push_back(frame);
        ++m_framesLoading;
        frame->m_navigated = false;
        const std::wstring src = ResolveUrl(m_locationUrl, *node->Attr(L"src"));
        if (frame->FireBeforeNavigate2(src, {})) {
            frame->ReportFrameDone();
            continue;
        }
        frame->StartLoad(src, L"GET", {}, L"", false);
    }
}

// A frame tells its page once that it is done (loaded, refused or
// overtaken by a navigation of its own, whose end is then not waited for).
void CStandInBrowser::ReportFrameDone() {
    if (!m_parent || m_frameReported) return;
    m_frameReported = true;
    m_parent->FrameDone();
}

void CStandInBrowser::FrameDone() {
    if (m_framesLoading == 0 || --m_framesLoading != 0 || !m_completing) return;
    LoadResult* result = m_completing;
    m_completing = nullptr;
    Complete(result);
}

void CStandInBrowser::CloseFrames() {
    std::vector<CStandInBrowser*> frames;
    frames.swap(m_frames);
    m_framesLoading = 0;
    delete m_completing;
    m_completing = nullptr;
    for (CStandInBrowser* frame : frames) {
        frame->m_parent = nullptr;
        ++frame->m_generation;  // a load under way ends unseen
        if (frame->m_document) frame->m_document->Unload();
        ::RemovePropW(frame->m_embedding, L"LmStandInBrowser");
        ::DestroyWindow(frame->m_embedding);
        frame->m_embedding = frame->m_server = nullptr;
        frame->Release();
    }
}

STDMETHODIMP CStandInBrowser::Refresh() {
    Record(L"Refresh");
    if (!m_navigated) return S_OK;
    StartLoad(m_locationUrl, L"GET", {}, L"", true);
    return S_OK;
}

STDMETHODIMP CStandInBrowser::Refresh2(VARIANT*) { return Refresh(); }

STDMETHODIMP CStandInBrowser::Stop() {
    Record(L"Stop");
    if (m_busy) {
        m_generation++;
        m_busy = false;
        m_readyState = m_navigated ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED;
    }
    return S_OK;
}

STDMETHODIMP CStandInBrowser::get_Document(IDispatch** ppDisp) {
    if (!ppDisp) return E_POINTER;
    *ppDisp = nullptr;
    if (!m_document || !m_navigated) return S_FALSE;
    return m_document->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ppDisp));
}

STDMETHODIMP CStandInBrowser::get_LocationName(BSTR* name) {
    if (!name) return E_POINTER;
    *name = Bstr(m_locationName);
    return m_navigated ? S_OK : S_FALSE;
}

STDMETHODIMP CStandInBrowser::get_LocationURL(BSTR* url) {
    if (!url) return E_POINTER;
    *url = Bstr(m_locationUrl);
    return m_navigated ? S_OK : S_FALSE;
}

STDMETHODIMP CStandInBrowser::get_Busy(VARIANT_BOOL* busy) {
    if (!busy) return E_POINTER;
    *busy = m_busy ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CStandInBrowser::get_ReadyState(READYSTATE* state) {
    if (!state) return E_POINTER;
    *state = m_readyState;
    return S_OK;
}

STDMETHODIMP CStandInBrowser::get_Silent(VARIANT_BOOL* silent) {
    if (!silent) return E_POINTER;
    *silent = m_silent;
    return S_OK;
}

STDMETHODIMP CStandInBrowser::put_Silent(VARIANT_BOOL silent) {
    Record(std::wstring(L"put_Silent ") + (silent ? L"1" : L"0"));
    m_silent = silent;
    return S_OK;
}

STDMETHODIMP CStandInBrowser::get_Offline(VARIANT_BOOL* offline) {
    if (!offline) return E_POINTER;
    *offline = m_offline;
    return S_OK;
}

STDMETHODIMP CStandInBrowser::put_Offline(VARIANT_BOOL offline) {
    m_offline = offline;
    return S_OK;
}

STDMETHODIMP CStandInBrowser::get_Visible(VARIANT_BOOL* visible) {
    if (!visible) return E_POINTER;
    *visible = VARIANT_TRUE;
    return S_OK;
}

STDMETHODIMP CStandInBrowser::get_Name(BSTR* name) {
    if (!name) return E_POINTER;
    *name = ::SysAllocString(L"Microsoft Web Browser Control");
    return S_OK;
}

STDMETHODIMP CStandInBrowser::get_HWND(SHANDLE_PTR* h) {
    if (h) *h = 0;
    return E_FAIL;
}

// --- the page -------------------------------------------------------------------------

void CStandInBrowser::OnPageTimer(UINT_PTR id) {
    if (m_document && m_document->Script()) m_document->Script()->OnTimer(id);
}

void CStandInBrowser::NavigateFromPage(const std::wstring& url, const std::string& post) {
    if (StartsWithNoCase(url, L"javascript:")) {
        if (m_document && m_document->Script()) m_document->Script()->Execute(url.substr(11));
        return;
    }
    std::wstring address = url;
    if (m_uiHandler) {
        LPWSTR translated = nullptr;
        Record(L"host TranslateUrl " + url);
        if (m_uiHandler->TranslateUrl(0, const_cast<LPWSTR>(url.c_str()), &translated) == S_OK && translated)
            address = translated;
        if (translated) ::CoTaskMemFree(translated);
    }
    const std::vector<unsigned char> bytes(post.begin(), post.end());
    StartNavigation(address, bytes.empty() ? L"GET" : L"POST", bytes, L"", false);
}

bool CStandInBrowser::StartRequest(UINT_PTR tag, const std::wstring& url, const std::wstring& method,
                                   const std::wstring& headers, const std::string& body) {
    if (!m_embedding) return false;
    auto* result = new LoadResult;
    result->requested = url;
    if (!StartsWithNoCase(url, L"http://") && !StartsWithNoCase(url, L"https://")) result->error = kInetUnknownProtocol;
    auto* req = new LoadRequest{m_embedding, result, method, headers, std::vector<unsigned char>(body.begin(), body.end()),
                                kRequestDone, tag};
    Record(L"request " + method + L" " + url);
    HANDLE thread = ::CreateThread(nullptr, 0, &LoadThread, req, 0, nullptr);
    if (!thread) {
        delete req;
        delete result;
        return false;
    }
    ::CloseHandle(thread);
    return true;
}

void CStandInBrowser::OnRequestDone(UINT_PTR tag, LoadResult* result) {
    if (m_document && m_document->Script()) m_document->Script()->OnRequestDone(tag, result);
    else delete result;
}

bool CStandInBrowser::DriverCommand(HWND reply, const std::wstring& command) {
    std::vector<std::wstring> parts;
    for (std::size_t at = 0;;) {
        const std::size_t tab = command.find(L'\t', at);
        parts.push_back(command.substr(at, tab == std::wstring::npos ? std::wstring::npos : tab - at));
        if (tab == std::wstring::npos) break;
        at = tab + 1;
    }
    if (!m_document || !m_document->Root()) return false;
    Record(L"driver " + command);
    std::wstring answer;
    const std::wstring& verb = parts[0];
    CHtmlNode* node = parts.size() > 1 ? FindById(*m_document->Root(), parts[1]) : nullptr;
    if (verb == L"text") {
        answer = node ? TextOf(*node) : m_document->Text();
    } else if (verb == L"url") {
        answer = m_locationUrl;
    } else if (!node) {
        return false;
    } else if (verb == L"value") {
        if (node->tag == L"select") {
            for (CHtmlNode* o : FindAll(*node, L"option"))
                if (o->Attr(L"selected")) answer = o->Attr(L"value") ? *o->Attr(L"value") : TextOf(*o);
        } else {
            answer = node->tag == L"textarea" ? node->text : node->Attr(L"value") ? *node->Attr(L"value") : L"";
        }
    } else if (verb == L"checked") {
        answer = node->Attr(L"checked") ? L"1" : L"0";
    } else if (verb == L"fill" && parts.size() > 2) {
        if (node->tag == L"select") {
            bool found = false;
            for (CHtmlNode* o : FindAll(*node, L"option")) {
                const std::wstring v = o->Attr(L"value") ? *o->Attr(L"value") : TextOf(*o);
                if (v == parts[2] && !found) {
                    o->SetAttr(L"selected", L"");
                    found = true;
                } else {
                    o->RemoveAttr(L"selected");
                }
            }
            if (!found) return false;
        } else if (node->tag == L"textarea") {
            node->text = parts[2];
        } else {
            node->SetAttr(L"value", parts[2]);
        }
        PageChanged();
    } else if (verb == L"click") {
        ClickNode(node);
    } else if (verb == L"at") {  // where a player would point at the element, on the screen
        POINT pt{};
        if (!m_view.CentreOf(node, pt)) return false;
        ::ClientToScreen(m_server, &pt);
        answer = std::to_wstring(pt.x) + L" " + std::to_wstring(pt.y);
    } else {
        return false;
    }
    if (reply && ::IsWindow(reply)) {
        COPYDATASTRUCT back{kDriverData, static_cast<DWORD>((answer.size() + 1) * sizeof(wchar_t)),
                            const_cast<wchar_t*>(answer.c_str())};
        ::SendMessageW(reply, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&back));
    }
    return true;
}

void CStandInBrowser::PageChanged() {
    if (m_document) m_view.Update(m_document->Root());
}

void CStandInBrowser::ClickNode(CHtmlNode* node) {
    if (!node || !m_document || !m_document->Script()) return;
    AddRef();
    CPageScript* script = m_document->Script();
    script->AddRef();
    const std::wstring* type = node->Attr(L"type");
    const bool checkbox = node->tag == L"input" && type && (*type == L"checkbox" || *type == L"radio");
    if (checkbox) {  // the box changes before its handler runs
        if (node->Attr(L"checked") && *type == L"checkbox") node->RemoveAttr(L"checked");
        else node->SetAttr(L"checked", L"");
        PageChanged();
    }
    const bool allow = script->Fire(node, L"onclick");
    if (allow && m_document && m_document->Script() == script) {
        CHtmlNode* link = node;
        while (link && link->tag != L"a") link = link->parent;
        const bool submit = (node->tag == L"input" && type && *type == L"submit") ||
                            (node->tag == L"button" && (!type || *type == L"submit"));
        if (link && link->Attr(L"href")) {
            NavigateFromPage(ResolveUrl(m_locationUrl, *link->Attr(L"href")));
        } else if (submit) {
            CHtmlNode* form = node;
            while (form && form->tag != L"form") form = form->parent;
            if (form) SubmitForm(form);
        }
    }
    script->Release();
    Release();
}

void CStandInBrowser::SubmitForm(CHtmlNode* form) {
    if (!form || !m_document || !m_document->Script()) return;
    CPageScript* script = m_document->Script();
    script->AddRef();
    const bool allow = script->Fire(form, L"onsubmit");
    const bool current = m_document && m_document->Script() == script;
    script->Release();
    if (!allow || !current) return;
    const std::string query = FormQuery(*form);
    const std::wstring* action = form->Attr(L"action");
    std::wstring target = ResolveUrl(m_locationUrl, action && !action->empty() ? *action : m_locationUrl);
    const std::wstring* method = form->Attr(L"method");
    const bool post = method && (*method == L"post" || *method == L"POST");
    if (post) {
        NavigateFromPage(target, query.empty() ? std::string(" ") : query);
    } else {
        target = target.substr(0, target.find(L'?')) + L"?" + std::wstring(query.begin(), query.end());
        NavigateFromPage(target);
    }
}

std::wstring CStandInBrowser::CookieFor(const std::wstring& url) {
    wchar_t buf[4096] = {};
    DWORD size = 4096;
    if (!::InternetGetCookieW(url.c_str(), nullptr, buf, &size)) return {};
    return buf;
}

void CStandInBrowser::SetCookieFor(const std::wstring& url, const std::wstring& cookie) {
    ::InternetSetCookieW(url.c_str(), nullptr, cookie.c_str());
}

IDispatch* CStandInBrowser::External() {
    if (!m_uiHandler) return nullptr;
    IDispatch* external = nullptr;
    const HRESULT hr = m_uiHandler->GetExternal(&external);
    Record(L"host GetExternal " + Hex(hr));
    if (FAILED(hr) && external) {
        external->Release();
        external = nullptr;
    }
    return external;
}

void CStandInBrowser::Alert(const std::wstring& text) {
    Record(L"host ShowMessage " + text);
    HWND owner = m_server ? ::GetAncestor(m_server, GA_ROOT) : nullptr;
    LRESULT result = 0;
    if (m_showUI &&
        m_showUI->ShowMessage(owner, const_cast<LPOLESTR>(text.c_str()), const_cast<LPOLESTR>(L"Message from webpage"),
                              MB_OK | MB_ICONWARNING, nullptr, 0, &result) == S_OK)
        return;
    ::MessageBoxW(owner, text.c_str(), L"Message from webpage", MB_OK | MB_ICONWARNING);
}

// --- the view ---------------------------------------------------------------------

void CStandInBrowser::PaintView(HDC dc, const RECT& client) { m_view.Paint(dc, client); }

void CStandInBrowser::OnViewSize() {
    if (m_document) m_view.Update(m_document->Root());
}

void CStandInBrowser::OnViewCommand(HWND control, UINT code) {
    bool clicked = false;
    CHtmlNode* node = m_view.OnCommand(control, code, clicked);
    if (!node) return;
    Record(L"view " + std::wstring(clicked ? L"click " : L"change ") + node->tag +
           (node->Attr(L"id") ? L" " + *node->Attr(L"id") : L""));
    if (clicked) {
        ClickNode(node);
        PageChanged();
    }
}

void CStandInBrowser::OnViewMouse(UINT message, POINT pt) {
    if (!m_document || !m_navigated) return;
    CHtmlNode* node = m_view.ElementAt(pt);
    if (!node) return;
    POINT screen = pt;
    ::ClientToScreen(m_server, &screen);
    const LONG button = message == WM_RBUTTONDOWN || message == WM_RBUTTONUP ? 2
                        : message == WM_MOUSEMOVE                        ? 0
                                                                          : 1;
    const wchar_t* type = message == WM_MOUSEMOVE                              ? L"mousemove"
                          : message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN ? L"mousedown"
                                                                                 : L"mouseup";
    if (message != WM_MOUSEMOVE) {
        const std::wstring* id = node->Attr(L"id");
        Record(L"event " + std::wstring(type) + L" " + node->tag + (id ? L" " + *id : L""));
    }
    AddRef();
    CStandInDocument* document = m_document;
    document->AddRef();
    // A handler may move the window, run a loop of its own or load another
    // page: the press is judged afterwards against what is still this page.
    document->FireMouse(type, node, pt, screen, button);
    const bool current = m_document == document;
    if (current && message == WM_LBUTTONDOWN) {
        m_pressed = node;
    } else if (current && message == WM_LBUTTONUP) {
        CHtmlNode* pressed = m_pressed;
        m_pressed = nullptr;
        if (pressed == m_view.ElementAt(pt) && pressed) ClickNode(pressed);
    } else if (current && message == WM_RBUTTONUP) {
        ShowContextMenu(node, screen);
    }
    document->Release();
    Release();
}

void CStandInBrowser::ShowContextMenu(CHtmlNode* node, POINT screen) {
    IDispatch* element = m_document ? m_document->ElementFor(node) : nullptr;
    HRESULT hr = S_FALSE;
    if (m_uiHandler) {
        hr = m_uiHandler->ShowContextMenu(CONTEXT_MENU_DEFAULT, &screen, nullptr, element);
        Record(L"host ShowContextMenu " + Hex(hr));
    }
    if (element) element->Release();
    if (hr == S_OK) return;  // the host showed its own, or none
    // The control's own menu.
    HMENU menu = ::CreatePopupMenu();
    ::AppendMenuW(menu, MF_STRING, 1, L"Back");
    ::AppendMenuW(menu, MF_STRING, 2, L"Refresh");
    ::AppendMenuW(menu, MF_STRING, 3, L"Select all");
    Record(L"menu shown");
    const UINT chosen = static_cast<UINT>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x, screen.y,
                                                           0, m_server, nullptr));
    ::DestroyMenu(menu);
    if (chosen == 2) Refresh();
}
