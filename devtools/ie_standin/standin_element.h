// What a host sees of the stand-in's page beyond the document: an element
// (its tag, class, id and text; the body also as a body element, whose
// scroll attribute the host may set) and the event object the document's
// events carry. An element keeps its document alive; it is meant for the
// length of an event or a call, as hosts use it.
#pragma once
#include <windows.h>
#include <mshtml.h>

#include "standin_dispatch.h"

#include <string>

struct CHtmlNode;
class CStandInDocument;

class CStandInElement : public IHTMLElement, public IHTMLBodyElement {
public:
    CStandInElement(CStandInDocument* document, CHtmlNode* node);
    CStandInElement(const CStandInElement&) = delete;
    CStandInElement& operator=(const CStandInElement&) = delete;
    CHtmlNode* Node() const { return m_node; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IDispatch (hosts use the vtable)
    LM_VTABLE_ONLY_DISPATCH
    // IHTMLElement: what hosts use
    STDMETHODIMP get_tagName(BSTR* p) override;
    STDMETHODIMP get_className(BSTR* p) override;
    STDMETHODIMP get_id(BSTR* p) override;
    STDMETHODIMP get_innerText(BSTR* p) override;
    STDMETHODIMP get_parentElement(IHTMLElement** p) override;
    // IHTMLBodyElement: the scroll attribute
    STDMETHODIMP put_scroll(BSTR v) override;
    STDMETHODIMP get_scroll(BSTR* p) override;
#include "element_unused.inc"

private:
    virtual ~CStandInElement();
    BSTR Attr(const wchar_t* name) const;

    LONG m_cRef = 1;
    CStandInDocument* m_document;
    CHtmlNode* m_node;
};

class CStandInEvent : public IHTMLEventObj {
public:
    // `type` without "on" ("mousedown"); the point in the view's client
    // coordinates and on the screen; `button` as the event model counts
    // (1 left, 2 right).
    CStandInEvent(CStandInElement* source, const wchar_t* type, POINT client, POINT screen, LONG button);
    CStandInEvent(const CStandInEvent&) = delete;
    CStandInEvent& operator=(const CStandInEvent&) = delete;
    // False when a handler set the return value to false.
    bool Allowed() const;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    LM_VTABLE_ONLY_DISPATCH
    STDMETHODIMP get_srcElement(IHTMLElement** p) override;
    STDMETHODIMP get_altKey(VARIANT_BOOL* p) override;
    STDMETHODIMP get_ctrlKey(VARIANT_BOOL* p) override;
    STDMETHODIMP get_shiftKey(VARIANT_BOOL* p) override;
    STDMETHODIMP put_returnValue(VARIANT v) override;
    STDMETHODIMP get_returnValue(VARIANT* p) override;
    STDMETHODIMP put_cancelBubble(VARIANT_BOOL v) override;
    STDMETHODIMP get_cancelBubble(VARIANT_BOOL* p) override;
    STDMETHODIMP get_type(BSTR* p) override;
    STDMETHODIMP get_button(LONG* p) override;
    STDMETHODIMP get_clientX(LONG* p) override;
    STDMETHODIMP get_clientY(LONG* p) override;
    STDMETHODIMP get_screenX(LONG* p) override;
    STDMETHODIMP get_screenY(LONG* p) override;
    STDMETHODIMP get_x(LONG* p) override;
    STDMETHODIMP get_y(LONG* p) override;
#include "event_unused.inc"

private:
    virtual ~CStandInEvent();

    LONG m_cRef = 1;
    CStandInElement* m_source;
    std::wstring m_type;
    POINT m_client, m_screen;
    LONG m_button;
    VARIANT m_returnValue;
    VARIANT_BOOL m_cancelBubble = VARIANT_FALSE;
};
