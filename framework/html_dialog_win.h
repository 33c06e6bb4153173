// The HTML dialog of our framework: a dialog hosting the system's WebBrowser
// control (control id 102) with a client site, in-place site and frame, a
// document host, the browser event sink and the element-event sink.
#pragma once
#include "framework/wnd_win.h"

#include <exdisp.h>
#include <mshtmhst.h>
#include <mshtml.h>

#include <string>
#include <vector>

#include "framework/element_events.h"

class CDHtmlDialog;

inline constexpr UINT kBrowserControlId = 102;

// --- browser events ----------------------------------------------------------

// A browser event handler gets the event's parameters as they arrive (in
// reverse order, as IDispatch passes them).
using BrowserEventHandler = void (CDHtmlDialog::*)(DISPPARAMS* params);
struct BrowserEventEntry {
    DISPID dispid;  // 0 ends the table
    BrowserEventHandler handler;
};
struct BrowserEventMap {
    const BrowserEventMap* (*pfnGetBaseMap)();
    const BrowserEventEntry* entries;
};

#define DECLARE_BROWSER_EVENTS()                       \
public:                                                \
    static const BrowserEventMap* GetThisBrowserEvents(); \
    const BrowserEventMap* GetBrowserEvents() const override;

#define BEGIN_BROWSER_EVENTS(theClass, baseClass)                                                   \
    const BrowserEventMap* theClass::GetBrowserEvents() const { return GetThisBrowserEvents(); }   \
    const BrowserEventMap* theClass::GetThisBrowserEvents() {                                       \
        using ThisClass = theClass;                                                                 \
        using TheBaseClass = baseClass;                                                             \
        static_assert(sizeof(ThisClass*) == sizeof(TheBaseClass*));                                 \
        static const BrowserEventEntry _entries[] = {
#define ON_BROWSER_EVENT(dispid, fn)                                                                \
            {dispid, static_cast<BrowserEventHandler>(                                              \
                         static_cast<void (ThisClass::*)(DISPPARAMS*)>(&ThisClass::fn))},
#define END_BROWSER_EVENTS()                                                                        \
            {0, nullptr}};                                                                          \
        static const BrowserEventMap _map = {&TheBaseClass::GetThisBrowserEvents, _entries};        \
        return &_map;                                                                               \
    }

// --- element events ----------------------------------------------------------

// S_OK lets the event's default action happen; S_FALSE cancels it.
using ElementEventHandler = HRESULT (CDHtmlDialog::*)(IHTMLElement* source);
struct ElementEventEntry {
    ElementSelector selector;
    ElementEventHandler handler;
};

// --- the control site --------------------------------------------------------

// Client site, in-place site and frame, and document host of one browser.
class CBrowserControlSite : public IOleClientSite,
                            public IOleInPlaceSite,
                            public IOleInPlaceFrame,
                            public IDocHostUIHandler {
public:
    explicit CBrowserControlSite(CDHtmlDialog* owner);
    virtual ~CBrowserControlSite();

    // Number of site objects alive in the process (every reference released
    // means this returns to what it was).
    static long LiveCount();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** pp) override {
        if (pp) *pp = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    // IOleWindow (shared by the in-place site and the frame)
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                  LPRECT lprcClipRect, LPOLEINPLACEFRAMEINFO lpFrameInfo) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT lprcPosRect) override;
    // IOleInPlaceUIWindow / IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
    // IDocHostUIHandler: forwarded to the dialog
    STDMETHODIMP ShowContextMenu(DWORD dwID, POINT* ppt, IUnknown* pcmdtReserved, IDispatch* pdispReserved) override;
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* pInfo) override;
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override;
    STDMETHODIMP HideUI() override;
    STDMETHODIMP UpdateUI() override;
    STDMETHODIMP OnDocWindowActivate(BOOL) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL) override;
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override;
    STDMETHODIMP TranslateAccelerator(LPMSG lpMsg, const GUID* pguidCmdGroup, DWORD nCmdID) override;
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* pchKey, DWORD dw) override;
    STDMETHODIMP GetDropTarget(IDropTarget* pDropTarget, IDropTarget** ppDropTarget) override;
    STDMETHODIMP GetExternal(IDispatch** ppDispatch) override;
    STDMETHODIMP TranslateUrl(DWORD dwTranslate, LPWSTR pchURLIn, LPWSTR* ppchURLOut) override;
    STDMETHODIMP FilterDataObject(IDataObject* pDO, IDataObject** ppDORet) override;

    CDHtmlDialog* m_pOwner;  // not owned

private:
    LONG m_cRef = 1;
};

// --- the dialog ---------------------------------------------------------------

class CDHtmlDialog : public CDialog {
public:
    explicit CDHtmlDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDHtmlDialog() override;

    BOOL OnInitDialog() override;

    bool Navigate(const std::wstring& url);
    // The current top-level document, or null (no reference added).
    IHTMLDocument2* GetDocument() const { return m_spHtmlDoc; }
    IWebBrowser2* GetBrowser() const { return m_pBrowserApp; }
    CBrowserControlSite* GetSite() const { return m_pSite; }
    HWND GetBrowserWindow() const;
    // Calls a global script function of the loaded page; false when there
    // is no page or no such function. The result is not looked at.
    bool CallScript(const char* function, const std::vector<std::wstring>& args);

    // Called by the browser event sink.
    void DispatchBrowserEvent(DISPID dispid, DISPPARAMS* params);
    // Called by the document event sink; false cancels the event.
    bool DispatchElementEvent(DISPID dispid, IHTMLEventObj* event);

    // Browser host answers (IDocHostUIHandler), overridable.
    virtual HRESULT ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) { return S_FALSE; }
    virtual HRESULT GetHostInfo(DOCHOSTUIINFO* pInfo);
    virtual HRESULT ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                           IOleInPlaceUIWindow*) { return S_FALSE; }
    virtual HRESULT HideUI() { return E_NOTIMPL; }
    virtual HRESULT UpdateUI() { return E_NOTIMPL; }
    virtual HRESULT OnDocWindowActivate(BOOL) { return E_NOTIMPL; }
    virtual HRESULT OnFrameWindowActivate(BOOL) { return E_NOTIMPL; }
    virtual HRESULT ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return E_NOTIMPL; }
    virtual HRESULT TranslateAccelerator(LPMSG, const GUID*, DWORD) { return S_FALSE; }
    virtual HRESULT GetOptionKeyPath(LPOLESTR* pchKey, DWORD) {
        if (pchKey) *pchKey = nullptr;
        return E_NOTIMPL;
    }
    virtual HRESULT GetDropTarget(IDropTarget*, IDropTarget** pp) {
        if (pp) *pp = nullptr;
        return E_NOTIMPL;
    }
    virtual HRESULT GetExternal(IDispatch** pp) {
        if (pp) *pp = nullptr;
        return E_NOTIMPL;  // pages get no external object
    }
    virtual HRESULT TranslateUrl(DWORD, LPWSTR, LPWSTR* ppOut) {
        if (ppOut) *ppOut = nullptr;
        return S_FALSE;
    }
    virtual HRESULT FilterDataObject(IDataObject*, IDataObject** pp) {
        if (pp) *pp = nullptr;
        return S_FALSE;
    }
    virtual BOOL CanAccessExternal() { return FALSE; }
    virtual BOOL IsExternalDispatchSafe() { return FALSE; }

    // Whether an event's browser object is this dialog's own browser, not
    // the browser of one of its page's frames.
    bool IsTopBrowser(IDispatch* pDisp) const;
    // The address of the page the browser itself shows (from its last
    // completed navigation; empty before the first): what a frame or a
    // navigation on the way loads does not change it.
    const std::wstring& TopDocumentUrl() const { return m_strTopDocumentUrl; }

    // The framework's handling of the three navigation events.
    virtual void OnNavigateComplete(IDispatch* pDisp, const std::wstring& url);
    virtual void OnBeforeNavigate(IDispatch*, const std::wstring&) {}
    virtual void OnDocumentComplete(IDispatch*, const std::wstring&) {}

    // The element events this class listens to; a derived class's table
    // replaces its base's.
    virtual const ElementEventEntry* GetElementEvents(int& count) const {
        count = 0;
        return nullptr;
    }

    static const BrowserEventMap* GetThisBrowserEvents();
    virtual const BrowserEventMap* GetBrowserEvents() const;

    DWORD m_dwHostFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO;

protected:
    // Makes the site for the browser; null on failure.
    virtual CBrowserControlSite* CreateControlSite();
    LRESULT OnDestroy(WPARAM, LPARAM);
    LRESULT OnSize(WPARAM, LPARAM);
    BOOL PreTranslateMessage(MSG* pMsg) override;

    void OnNavigateComplete2Event(DISPPARAMS* params);
    void OnBeforeNavigate2Event(DISPPARAMS* params);
    void OnDocumentCompleteEvent(DISPPARAMS* params);
    DECLARE_MESSAGE_MAP()

private:
    bool CreateBrowser();
    void DestroyBrowser();
    void AttachDocument(IHTMLDocument2* doc);
    void DetachDocument();

    IOleObject* m_pOleObject = nullptr;
    IWebBrowser2* m_pBrowserApp = nullptr;
    CBrowserControlSite* m_pSite = nullptr;
    IDispatch* m_pBrowserSink = nullptr;
    DWORD m_dwBrowserCookie = 0;
    IHTMLDocument2* m_spHtmlDoc = nullptr;
    std::wstring m_strTopDocumentUrl;
    IDispatch* m_pDocSink = nullptr;
    DWORD m_dwDocCookie = 0;
};

// The parameters of a browser event in their declared order (IDispatch
// passes them reversed): index 0 is the first parameter.
VARIANT* EventParam(DISPPARAMS* params, UINT index);
// Text of a VARIANT holding a BSTR or a reference to one.
std::wstring VariantText(const VARIANT* v);
// Sets a VARIANT_BOOL* parameter (Cancel) when it is one.
void SetBoolParam(VARIANT* v, bool value);

// Calls a named function of a script dispatch object with string arguments
// (as BSTRs, stored last first); false when the name is unknown or the call
// fails.
bool CallScriptOn(IDispatch* script, const char* function, const std::vector<std::wstring>& args);
