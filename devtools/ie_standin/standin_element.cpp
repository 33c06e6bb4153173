#include "standin_element.h"

#include <cwctype>

#include "html_tree.h"
#include "standin_document.h"
#include "standin_record.h"

CStandInElement::CStandInElement(CStandInDocument* document, CHtmlNode* node) : m_document(document), m_node(node) {
    m_document->AddRef();
}

CStandInElement::~CStandInElement() { m_document->Release(); }

STDMETHODIMP CStandInElement::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IHTMLElement)
        *ppv = static_cast<IHTMLElement*>(this);
    else if (riid == IID_IHTMLBodyElement && m_node->tag == L"body")
        *ppv = static_cast<IHTMLBodyElement*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CStandInElement::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&m_cRef)); }

STDMETHODIMP_(ULONG) CStandInElement::Release() {
    const LONG n = ::InterlockedDecrement(&m_cRef);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

BSTR CStandInElement::Attr(const wchar_t* name) const {
    const std::wstring* v = m_node->Attr(name);
    return Bstr(v ? *v : std::wstring());
}

STDMETHODIMP CStandInElement::get_tagName(BSTR* p) {
    if (!p) return E_POINTER;
    std::wstring tag = m_node->tag;  // the document model names tags in capitals
    for (wchar_t& c : tag) c = static_cast<wchar_t>(std::towupper(c));
    *p = Bstr(tag);
    return S_OK;
}

STDMETHODIMP CStandInElement::get_className(BSTR* p) {
    if (!p) return E_POINTER;
    *p = m_node->Attr(L"class") ? Attr(L"class") : nullptr;  // no class attribute: a null string
    return S_OK;
}

STDMETHODIMP CStandInElement::get_id(BSTR* p) {
    if (!p) return E_POINTER;
    *p = Attr(L"id");
    return S_OK;
}

STDMETHODIMP CStandInElement::get_innerText(BSTR* p) {
    if (!p) return E_POINTER;
    *p = Bstr(TextOf(*m_node));
    return S_OK;
}

STDMETHODIMP CStandInElement::get_parentElement(IHTMLElement** p) {
    if (!p) return E_POINTER;
    *p = nullptr;
    if (m_node->parent && !m_node->parent->tag.empty() && m_node->tag != L"html")
        *p = new CStandInElement(m_document, m_node->parent);
    return S_OK;
}

STDMETHODIMP CStandInElement::put_scroll(BSTR v) {
    const std::wstring value = v ? std::wstring(v, ::SysStringLen(v)) : std::wstring();
    Record(L"host body scroll " + value);
    m_node->SetAttr(L"scroll", value);
    return S_OK;
}

STDMETHODIMP CStandInElement::get_scroll(BSTR* p) {
    if (!p) return E_POINTER;
    *p = Attr(L"scroll");
    return S_OK;
}

// --- the event object -------------------------------------------------------------

CStandInEvent::CStandInEvent(CStandInElement* source, const wchar_t* type, POINT client, POINT screen, LONG button)
    : m_source(source), m_type(type), m_client(client), m_screen(screen), m_button(button) {
    if (m_source) m_source->AddRef();
    ::VariantInit(&m_returnValue);
}

CStandInEvent::~CStandInEvent() {
    if (m_source) m_source->Release();
    ::VariantClear(&m_returnValue);
}

bool CStandInEvent::Allowed() const {
    return !(m_returnValue.vt == VT_BOOL && m_returnValue.boolVal == VARIANT_FALSE);
}

STDMETHODIMP CStandInEvent::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != IID_IHTMLEventObj) return E_NOINTERFACE;
    *ppv = static_cast<IHTMLEventObj*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CStandInEvent::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&m_cRef)); }

STDMETHODIMP_(ULONG) CStandInEvent::Release() {
    const LONG n = ::InterlockedDecrement(&m_cRef);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

STDMETHODIMP CStandInEvent::get_srcElement(IHTMLElement** p) {
    if (!p) return E_POINTER;
    *p = m_source;
    if (m_source) m_source->AddRef();
    return S_OK;
}

STDMETHODIMP CStandInEvent::get_altKey(VARIANT_BOOL* p) {
    if (!p) return E_POINTER;
    *p = ::GetKeyState(VK_MENU) < 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CStandInEvent::get_ctrlKey(VARIANT_BOOL* p) {
    if (!p) return E_POINTER;
    *p = ::GetKeyState(VK_CONTROL) < 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CStandInEvent::get_shiftKey(VARIANT_BOOL* p) {
    if (!p) return E_POINTER;
    *p = ::GetKeyState(VK_SHIFT) < 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CStandInEvent::put_returnValue(VARIANT v) { return ::VariantCopy(&m_returnValue, &v); }

STDMETHODIMP CStandInEvent::get_returnValue(VARIANT* p) {
    if (!p) return E_POINTER;
    ::VariantInit(p);
    return ::VariantCopy(p, &m_returnValue);
}

STDMETHODIMP CStandInEvent::put_cancelBubble(VARIANT_BOOL v) {
    m_cancelBubble = v;
    return S_OK;
}

STDMETHODIMP CStandInEvent::get_cancelBubble(VARIANT_BOOL* p) {
    if (!p) return E_POINTER;
    *p = m_cancelBubble;
    return S_OK;
}

STDMETHODIMP CStandInEvent::get_type(BSTR* p) {
    if (!p) return E_POINTER;
    *p = Bstr(m_type);
    return S_OK;
}

#define LM_EVENT_LONG(name, value)              \
    STDMETHODIMP CStandInEvent::name(LONG* p) { \
        if (!p) return E_POINTER;               \
        *p = (value);                           \
        return S_OK;                            \
    }
LM_EVENT_LONG(get_button, m_button)
LM_EVENT_LONG(get_clientX, m_client.x)
LM_EVENT_LONG(get_clientY, m_client.y)
LM_EVENT_LONG(get_screenX, m_screen.x)
LM_EVENT_LONG(get_screenY, m_screen.y)
LM_EVENT_LONG(get_x, m_client.x)
LM_EVENT_LONG(get_y, m_client.y)
#undef LM_EVENT_LONG
