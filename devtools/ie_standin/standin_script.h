// The page's script: the system's JScript engine through Active Scripting,
// over the small object model the stand-in's pages use. `window` is the
// engine's global object; `document`, `location`, elements, their `style`
// and a select's `options` are dispatch objects made on demand.
#pragma once
#include <windows.h>
#include <activscp.h>
#include <dispex.h>

#include <map>
#include <string>
#include <vector>

#include "html_tree.h"

class CStandInBrowser;
class CPageScript;

// A dispatch object whose members are names: every name has an id (names
// a page sets on an object become its own, as browsers allow), and the
// object answers Get, Put and Call by name.
class CScriptObject : public IDispatchEx {
public:
    explicit CScriptObject(CPageScript* page);
    CScriptObject(const CScriptObject&) = delete;
    CScriptObject& operator=(const CScriptObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_cRef)); }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override;
    // IDispatchEx: the engine's preferred way in, the same members
    STDMETHODIMP GetDispID(BSTR name, DWORD, DISPID* id) override;
    STDMETHODIMP InvokeEx(DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* ei,
                          IServiceProvider*) override {
        return Invoke(id, IID_NULL, lcid, flags, params, result, ei, nullptr);
    }
    STDMETHODIMP DeleteMemberByName(BSTR, DWORD) override { return S_FALSE; }
    STDMETHODIMP DeleteMemberByDispID(DISPID) override { return S_FALSE; }
    STDMETHODIMP GetMemberProperties(DISPID, DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMemberName(DISPID id, BSTR* name) override;
    STDMETHODIMP GetNextDispID(DWORD, DISPID, DISPID*) override { return S_FALSE; }
    STDMETHODIMP GetNameSpaceParent(IUnknown** p) override {
        if (p) *p = nullptr;
        return E_NOTIMPL;
    }

    // The page is gone: members answer nothing from now on.
    void Disconnect() { m_page = nullptr; }

protected:
    virtual ~CScriptObject();
    // false: not this object's own member (an expando is then used).
    virtual bool Get(const std::wstring&, VARIANT*) { return false; }
    virtual bool Put(const std::wstring&, const VARIANT&) { return false; }
    // Arguments in declared order.
    virtual bool Call(const std::wstring&, const std::vector<VARIANT*>&, VARIANT*) { return false; }
    virtual bool Construct(const std::vector<VARIANT*>&, VARIANT*) { return false; }

    CPageScript* m_page;

private:
    LONG m_cRef = 1;
    std::map<std::wstring, VARIANT> m_expandos;
};

class CPageScript : public IActiveScriptSite, public IActiveScriptSiteWindow {
public:
    CPageScript(CStandInBrowser* browser, HWND timerWindow, const std::wstring& url, CHtmlNode* root);
    CPageScript(const CPageScript&) = delete;
    CPageScript& operator=(const CPageScript&) = delete;

    // Runs the page's scripts in document order, then its onload.
    void Run();
    // Ends the engine and every object handed out.
    void Close();
    // The engine's global dispatch: the page's functions and variables.
    IDispatch* ScriptDispatch();
    // A timer of this page's has fired.
    void OnTimer(UINT_PTR id);
    // A request of the page's has its answer (owned from here).
    void OnRequestDone(UINT_PTR tag, struct LoadResult* result);
    UINT_PTR AddRequest(CScriptObject* request);
    // Runs an inline handler or a "javascript:" address's code.
    void Execute(const std::wstring& code);
    // Calls the function stored on an element's handler property, else its
    // attribute's code; false when the handler answered false.
    bool Fire(CHtmlNode* node, const std::wstring& handler);

    // For the object model.
    CStandInBrowser* Browser() const { return m_browser; }
    const std::wstring& Url() const { return m_url; }
    CHtmlNode* Root() const { return m_root; }
    IDispatch* ElementObject(CHtmlNode* node);  // a new reference
    IDispatch* Window();                         // a new reference
    void Track(CScriptObject* object) { m_objects.push_back(object); }
    void Untrack(CScriptObject* object);
    UINT_PTR SetTimeout(VARIANT* what, UINT ms);
    void ClearTimeout(UINT_PTR id);
    bool ElementHandler(CHtmlNode* node, const std::wstring& name, VARIANT* out);
    void SetElementHandler(CHtmlNode* node, const std::wstring& name, const VARIANT& value);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_cRef)); }
    STDMETHODIMP_(ULONG) Release() override;
    // IActiveScriptSite
    STDMETHODIMP GetLCID(LCID* lcid) override;
    STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override;
    STDMETHODIMP GetDocVersionString(BSTR* version) override;
    STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
    STDMETHODIMP OnScriptError(IActiveScriptError* error) override;
    STDMETHODIMP OnEnterScript() override { return S_OK; }
    STDMETHODIMP OnLeaveScript() override { return S_OK; }
    // IActiveScriptSiteWindow
    STDMETHODIMP GetWindow(HWND* h) override;
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

private:
    virtual ~CPageScript();
    void Parse(const std::wstring& code);

    LONG m_cRef = 1;
    CStandInBrowser* m_browser;
    HWND m_timerWindow;
    std::wstring m_url;
    CHtmlNode* m_root;
    IActiveScript* m_engine = nullptr;
    IActiveScriptParse* m_parse = nullptr;
    CScriptObject* m_window = nullptr;
    std::map<CHtmlNode*, CScriptObject*> m_elements;  // one object per element, for identity
    std::vector<CScriptObject*> m_objects;            // every object alive (not owned: each leaves itself)
    struct Handler {
        std::map<std::wstring, VARIANT> byName;
    };
    std::map<CHtmlNode*, Handler> m_handlers;
    struct Timer {
        IDispatch* function = nullptr;
        std::wstring code;
    };
    std::map<UINT_PTR, Timer> m_timers;
    std::map<UINT_PTR, CScriptObject*> m_requests;  // each with a reference until answered
    UINT_PTR m_nextTimer = 100;
};
