#include "standin_document.h"

#include "standin_element.h"
#include "standin_record.h"
#include "standin_script.h"

#include <mshtmdid.h>

#include <cwchar>
#include <cwctype>
#include <vector>

namespace {

// HTMLDocumentEvents2 (mshtml's uuid library does not carry it).
const IID kDiidDocumentEvents2 = {0x3050f613, 0x98b5, 0x11cf, {0xbb, 0x82, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x0b}};

// The text a subtree shows: hidden elements left out, blanks folded, a line
// break for each block.
void Visible(const CHtmlNode& node, std::wstring& out) {
    if (node.IsText()) {
        for (wchar_t c : node.text) {
            if (std::iswspace(c) || c == 0xA0) {
                if (!out.empty() && out.back() != L' ' && out.back() != L'\n') out += L' ';
            } else {
                out += c;
            }
        }
        return;
    }
    if (node.tag == L"script" || node.tag == L"style" || node.tag == L"title" || node.tag == L"head") return;
    if (const std::wstring* style = node.Attr(L"style"); style && style->find(L"display:none") != std::wstring::npos)
        return;
    const bool block = node.tag == L"p" || node.tag == L"div" || node.tag == L"br" || node.tag == L"h1" ||
                       node.tag == L"h2" || node.tag == L"form" || node.tag == L"li";
    if (block && !out.empty() && out.back() != L'\n') out += L'\n';
    for (const auto& child : node.children) Visible(*child, out);
    if (block && !out.empty() && out.back() != L'\n') out += L'\n';
}


}  // namespace

CStandInDocument::CStandInDocument()
    : m_events(static_cast<IHTMLDocument2*>(this), this, kDiidDocumentEvents2) {}

CStandInDocument::~CStandInDocument() { Unload(); }

void CStandInDocument::Load(CStandInBrowser* browser, HWND timers, const std::wstring& url, const std::wstring& html) {
    Unload();
    m_url = url;
    m_root = ParseHtml(html);
    m_script = new CPageScript(browser, timers, url, m_root.get());
    m_readyState = L"loading";
}

void CStandInDocument::RunScripts() {
    if (m_script) m_script->Run();
}

void CStandInDocument::Unload() {
    if (!m_script) return;
    CPageScript* script = m_script;
    m_script = nullptr;
    script->Close();
    script->Release();
}

std::wstring CStandInDocument::Title() const {
    CHtmlNode* title = m_root ? FindFirst(*m_root, L"title") : nullptr;
    return title ? title->text : std::wstring();
}

std::wstring CStandInDocument::Text() const {
    std::wstring out;
    CHtmlNode* body = m_root ? FindFirst(*m_root, L"body") : nullptr;
    if (body) Visible(*body, out);
    else if (m_root) Visible(*m_root, out);
    return out;
}

STDMETHODIMP CStandInDocument::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IHTMLDocument || riid == IID_IHTMLDocument2)
        *ppv = static_cast<IHTMLDocument2*>(this);
    else if (riid == IID_IConnectionPointContainer)
        *ppv = static_cast<IConnectionPointContainer*>(this);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CStandInDocument::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&m_cRef)); }

STDMETHODIMP_(ULONG) CStandInDocument::Release() {
    const LONG r = ::InterlockedDecrement(&m_cRef);
    if (r == 0) delete this;
    return static_cast<ULONG>(r);
}

STDMETHODIMP CStandInDocument::get_Script(IDispatch** p) {
    if (!p) return E_POINTER;
    *p = m_script ? m_script->ScriptDispatch() : nullptr;
    return *p ? S_OK : E_FAIL;
}

STDMETHODIMP CStandInDocument::get_title(BSTR* p) {
    if (!p) return E_POINTER;
    *p = Bstr(Title());
    return S_OK;
}

STDMETHODIMP CStandInDocument::put_title(BSTR v) {
    if (CHtmlNode* title = m_root ? FindFirst(*m_root, L"title") : nullptr)
        title->text = v ? std::wstring(v, ::SysStringLen(v)) : std::wstring();
    return S_OK;
}

STDMETHODIMP CStandInDocument::get_URL(BSTR* p) {
    if (!p) return E_POINTER;
    *p = Bstr(m_url);
    return S_OK;
}

STDMETHODIMP CStandInDocument::get_readyState(BSTR* p) {
    if (!p) return E_POINTER;
    *p = ::SysAllocString(m_readyState);
    return S_OK;
}

STDMETHODIMP CStandInDocument::get_body(IHTMLElement** p) {
    if (!p) return E_POINTER;
    CHtmlNode* body = m_root ? FindFirst(*m_root, L"body") : nullptr;
    *p = body ? new CStandInElement(this, body) : nullptr;
    return S_OK;
}

IDispatch* CStandInDocument::ElementFor(CHtmlNode* node) {
    return node ? static_cast<IHTMLElement*>(new CStandInElement(this, node)) : nullptr;
}

bool CStandInDocument::FireMouse(const wchar_t* type, CHtmlNode* node, POINT client, POINT screen, LONG button) {
    static const struct {
        const wchar_t* type;
        DISPID id;
    } kEvents[] = {{L"mousedown", DISPID_HTMLDOCUMENTEVENTS2_ONMOUSEDOWN},
                   {L"mousemove", DISPID_HTMLDOCUMENTEVENTS2_ONMOUSEMOVE},
                   {L"mouseup", DISPID_HTMLDOCUMENTEVENTS2_ONMOUSEUP}};
    DISPID id = 0;
    for (const auto& e : kEvents)
        if (std::wcscmp(e.type, type) == 0) id = e.id;
    if (!id || !node) return true;
    const std::vector<IDispatch*> sinks = m_events.Sinks();
    if (sinks.empty()) return true;
    AddRef();
    auto* source = new CStandInElement(this, node);
    auto* event = new CStandInEvent(source, type, client, screen, button);
    source->Release();
    bool allowed = true;
    for (IDispatch* sink : sinks) {
        VARIANT arg, result;
        ::VariantInit(&arg);
        ::VariantInit(&result);
        arg.vt = VT_DISPATCH;
        arg.pdispVal = event;
        DISPPARAMS params{&arg, nullptr, 1, 0};
        EXCEPINFO info{};
        UINT argError = 0;
        sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, &info, &argError);
        if (result.vt == VT_BOOL && result.boolVal == VARIANT_FALSE) allowed = false;
        ::VariantClear(&result);
        ::SysFreeString(info.bstrSource);
        ::SysFreeString(info.bstrDescription);
        ::SysFreeString(info.bstrHelpFile);
        sink->Release();
    }
    allowed = allowed && event->Allowed();
    event->Release();
    Release();
    return allowed;
}

STDMETHODIMP CStandInDocument::FindConnectionPoint(REFIID riid, IConnectionPoint** cp) {
    if (!cp) return E_POINTER;
    *cp = nullptr;
    if (riid != kDiidDocumentEvents2) return CONNECT_E_NOCONNECTION;
    *cp = &m_events;
    m_events.AddRef();
    return S_OK;
}
