// The stand-in browser's document: the page it loaded, its title and text,
// and the document events a host can connect to.
#pragma once
#include <windows.h>
#include <mshtml.h>

#include "standin_dispatch.h"

#include <memory>
#include <string>

#include "html_tree.h"
#include "standin_browser.h"

class CPageScript;

class CStandInDocument : public IHTMLDocument2, public IConnectionPointContainer {
public:
    CStandInDocument();
    CStandInDocument(const CStandInDocument&) = delete;
    CStandInDocument& operator=(const CStandInDocument&) = delete;

    // A new page: its address and HTML source. The page's scripts run on
    // RunScripts; `timers` is the window whose timers the page uses.
    void Load(CStandInBrowser* browser, HWND timers, const std::wstring& url, const std::wstring& html);
    void RunScripts();
    // Ends the page's script (the browser is going).
    void Unload();
    void SetReadyState(const wchar_t* state) { m_readyState = state; }
    std::wstring Title() const;
    // The text the page shows now.
    std::wstring Text() const;
    CHtmlNode* Root() const { return m_root.get(); }
    CPageScript* Script() const { return m_script; }
    CEventPoint& Events() { return m_events; }
    // A mouse event of the document ("mousedown", "mousemove", "mouseup") at
    // `node`, to every HTMLDocumentEvents2 sink; false when a sink cancelled
    // its default action.
    bool FireMouse(const wchar_t* type, CHtmlNode* node, POINT client, POINT screen, LONG button);
    // A new reference to the element that stands for `node`.
    IDispatch* ElementFor(CHtmlNode* node);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IDispatch
    LM_VTABLE_ONLY_DISPATCH
    // IHTMLDocument2: what hosts use
    STDMETHODIMP get_Script(IDispatch** p) override;
    STDMETHODIMP get_title(BSTR* p) override;
    STDMETHODIMP put_title(BSTR v) override;
    STDMETHODIMP get_URL(BSTR* p) override;
    STDMETHODIMP get_readyState(BSTR* p) override;
    STDMETHODIMP get_body(IHTMLElement** p) override;
#include "document_unused.inc"
    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** cp) override;

private:
    virtual ~CStandInDocument();

    LONG m_cRef = 1;
    CEventPoint m_events;
    std::wstring m_url;
    std::unique_ptr<CHtmlNode> m_root;
    CPageScript* m_script = nullptr;
    const wchar_t* m_readyState = L"uninitialized";
};
