// The stand-in web-browser control: the object a host creates under the
// WebBrowser class id. It answers its host as the system's control does
// (client site, in-place activation, DWebBrowserEvents2 in their order and
// with their arguments, the document host calls), loads pages through the
// system's internet library and shows them in the same window chain:
// "Shell Embedding" > "Shell DocObject View" > "Internet Explorer_Server".
#pragma once
#include <windows.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <ocidl.h>

#include <string>
#include <vector>

#include "standin_view.h"

class CStandInDocument;

// A connection point of dispatch sinks for one event interface, living as
// long as the object that holds it (its references are the holder's).
class CEventPoint : public IConnectionPoint {
public:
    CEventPoint(IUnknown* holder, IConnectionPointContainer* container, REFIID events)
        : m_holder(holder), m_container(container), m_iid(events) {}
    virtual ~CEventPoint();
    CEventPoint(const CEventPoint&) = delete;
    CEventPoint& operator=(const CEventPoint&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return m_holder->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_holder->Release(); }
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** c) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    // The sinks now, each with a reference the caller releases: a sink may
    // leave while an event is delivered.
    std::vector<IDispatch*> Sinks() const;
    void DropAll();

private:
    IUnknown* m_holder;
    IConnectionPointContainer* m_container;
    IID m_iid;
    struct Entry {
        DWORD cookie;
        IDispatch* sink;
    };
    std::vector<Entry> m_entries;
    DWORD m_nextCookie = 1;
};

class CStandInBrowser : public IWebBrowser2,
                        public IOleObject,
                        public IOleInPlaceObject,
                        public IOleInPlaceActiveObject,
                        public IConnectionPointContainer,
                        public IProvideClassInfo2 {
public:
    CStandInBrowser();
    CStandInBrowser(const CStandInBrowser&) = delete;
    CStandInBrowser& operator=(const CStandInBrowser&) = delete;

    // Objects of the control alive in the process.
    static long LiveCount();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IDispatch (no type information: hosts use the vtable)
    STDMETHODIMP GetTypeInfoCount(UINT* n) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IWebBrowser, IWebBrowserApp, IWebBrowser2: what hosts use
    STDMETHODIMP Navigate(BSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                          VARIANT* Headers) override;
    STDMETHODIMP Navigate2(VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                           VARIANT* Headers) override;
    STDMETHODIMP Refresh() override;
    STDMETHODIMP Refresh2(VARIANT* Level) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP get_Document(IDispatch** ppDisp) override;
    STDMETHODIMP get_LocationName(BSTR* name) override;
    STDMETHODIMP get_LocationURL(BSTR* url) override;
    STDMETHODIMP get_Busy(VARIANT_BOOL* busy) override;
    STDMETHODIMP get_ReadyState(READYSTATE* state) override;
    STDMETHODIMP get_Silent(VARIANT_BOOL* silent) override;
    STDMETHODIMP put_Silent(VARIANT_BOOL silent) override;
    STDMETHODIMP get_Offline(VARIANT_BOOL* offline) override;
    STDMETHODIMP put_Offline(VARIANT_BOOL offline) override;
    STDMETHODIMP get_Visible(VARIANT_BOOL* visible) override;
    STDMETHODIMP put_Visible(VARIANT_BOOL) override { return S_OK; }
    STDMETHODIMP get_Name(BSTR* name) override;
    STDMETHODIMP get_HWND(SHANDLE_PTR* h) override;
    STDMETHODIMP Quit() override { return E_FAIL; }
#include "browser_unused.inc"

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExtent(DWORD, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink*, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD) override { return OLE_E_NOCONNECTION; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** e) override;
    STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
    STDMETHODIMP GetWindow(HWND* h) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

    // IConnectionPointContainer: one point, the browser's events
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** cp) override;

    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** ti) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

    // Called by the window chain and the loader (user-interface thread).
    void OnLoaded(struct LoadResult* result);
    void PaintView(HDC dc, const RECT& client);
    void OnViewFocus();
    bool IsView(HWND h) const { return h && h == m_server; }
    void OnViewSize();
    // The player's mouse on the page (client coordinates of the view).
    void OnViewMouse(UINT message, POINT pt);
    // A notification from one of the page's controls.
    void OnViewCommand(HWND control, UINT code);
    void OnPageTimer(UINT_PTR id);
    // A test driver's command on the page (WM_COPYDATA to the view): its
    // answer goes back to `reply` the same way; false when it could not be done.
    bool DriverCommand(HWND reply, const std::wstring& command);

    // A page's own request (XMLHttpRequest): its result comes back to the
    // page's script as OnRequestDone(tag).
    static constexpr UINT kRequestDone = WM_APP + 2;
    bool StartRequest(UINT_PTR tag, const std::wstring& url, const std::wstring& method, const std::wstring& headers,
                      const std::string& body);
    void OnRequestDone(UINT_PTR tag, struct LoadResult* result);

    // Called by the page (its script and its controls).
    void NavigateFromPage(const std::wstring& url, const std::string& post = {});
    void PageChanged();
    void ClickNode(CHtmlNode* node);
    void SubmitForm(CHtmlNode* form);
    std::wstring CookieFor(const std::wstring& url);
    void SetCookieFor(const std::wstring& url, const std::wstring& cookie);
    IDispatch* External();  // a new reference, or null
    void Alert(const std::wstring& text);

private:
    virtual ~CStandInBrowser();

    IDispatch* Self() { return static_cast<IWebBrowser2*>(this); }
    void ConnectSite(IOleClientSite* site);
    void DropSite();
    bool EnsureWindows(HWND parent);
    void DestroyWindows();
    HRESULT Activate(LONG verb, HWND parent, LPCRECT rect);
    void Deactivate();

    // Fires a DWebBrowserEvents2 event to every sink; args are given in the
    // event's declared order and passed reversed, as IDispatch does.
    void Fire(DISPID id, const wchar_t* name, std::vector<VARIANT> args, const std::wstring& detail = {});
    bool FireBeforeNavigate2(const std::wstring& url, const std::vector<unsigned char>& post);
    bool FireNavigateError(const std::wstring& url, LONG status);
    void FireUrlEvent(DISPID id, const wchar_t* name, const std::wstring& url);
    void FireCommandState(LONG command, bool enabled);
    void HostGetHostInfo();
    // The frames of a page: each a browser object of its own that raises
    // its events through this one's sinks. The page's DocumentComplete
    // waits until every frame has had its own.
    void StartFrames();
    void FrameDone();
    void ReportFrameDone();
    void CloseFrames();
    void Complete(struct LoadResult* result);
    const wchar_t* RecordPrefix() const { return m_parent ? L"frame " : L""; }
    void HostGetOptionKeyPath();
    void HostGetDropTarget();
    void HostShowUI();
    void ShowContextMenu(CHtmlNode* node, POINT screen);

    HRESULT StartNavigation(const std::wstring& url, const std::wstring& method, const std::vector<unsigned char>& post,
                            const std::wstring& headers, bool refresh);
    void StartLoad(const std::wstring& url, const std::wstring& method, const std::vector<unsigned char>& post,
                   const std::wstring& headers, bool refresh);

    LONG m_cRef = 1;
    IOleClientSite* m_site = nullptr;
    IOleInPlaceSite* m_inPlaceSite = nullptr;
    IDocHostUIHandler* m_uiHandler = nullptr;
    IDocHostShowUI* m_showUI = nullptr;
    IOleControlSite* m_controlSite = nullptr;
    IOleInPlaceFrame* m_frame = nullptr;
    IOleInPlaceUIWindow* m_uiWindow = nullptr;
    bool m_siteSeen = false;
    bool m_inPlace = false;
    bool m_uiActive = false;
    bool m_uiShown = false;           // ShowUI succeeded: HideUI follows on deactivation
    bool m_dropTargetOffered = false; // asked once, after the first NavigateComplete2
    HWND m_embedding = nullptr, m_docView = nullptr, m_server = nullptr;
    SIZEL m_extent{1323, 529};  // 50 x 20 pixels in HIMETRIC
    VARIANT_BOOL m_silent = VARIANT_FALSE, m_offline = VARIANT_FALSE;

    CEventPoint* m_events = nullptr;

    READYSTATE m_readyState = READYSTATE_UNINITIALIZED;
    bool m_navigated = false, m_busy = false, m_downloaded = false;
    unsigned m_generation = 0;
    std::wstring m_locationUrl, m_locationName;
    CStandInDocument* m_document = nullptr;
    CPageView m_view;
    CHtmlNode* m_pressed = nullptr;  // where the left button went down, for the click
    CStandInBrowser* m_parent = nullptr;     // a frame's page (its owner)
    std::vector<CStandInBrowser*> m_frames;  // this page's frames (a reference each)
    std::size_t m_framesLoading = 0;
    bool m_frameReported = false;  // a frame's first load has been reported to its page
    struct LoadResult* m_completing = nullptr;  // the load whose completion waits for its frames
};

// What the loader thread hands back for one load.
struct LoadResult {
    unsigned generation = 0;
    bool refresh = false;
    std::wstring requested, finalUrl;
    HRESULT error = S_OK;  // INET_E_* when no answer came
    DWORD status = 0;      // the HTTP status of the answer
    std::wstring contentType;
    std::string body;
};
