#include "standin_document.h"

#include <cwctype>

namespace {

// HTMLDocumentEvents2 (mshtml's uuid library does not carry it).
const IID kDiidDocumentEvents2 = {0x3050f613, 0x98b5, 0x11cf, {0xbb, 0x82, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x0b}};

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

// The text between <tag ...> and </tag>, from `from`; npos when absent.
std::size_t FindTag(const std::wstring& lower, const wchar_t* tag, std::size_t from = 0) {
    const std::wstring open = std::wstring(L"<") + tag;
    for (std::size_t at = lower.find(open, from); at != std::wstring::npos; at = lower.find(open, at + 1)) {
        const wchar_t next = at + open.size() < lower.size() ? lower[at + open.size()] : L'>';
        if (next == L'>' || std::iswspace(next) || next == L'/') return at;
    }
    return std::wstring::npos;
}

std::wstring DecodeEntities(const std::wstring& s) {
    static const struct {
        const wchar_t* name;
        wchar_t ch;
    } kEntities[] = {{L"&amp;", L'&'}, {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&quot;", L'"'}, {L"&#39;", L'\''},
                     {L"&nbsp;", L' '}};
    std::wstring out;
    for (std::size_t i = 0; i < s.size();) {
        bool hit = false;
        if (s[i] == L'&')
            for (const auto& e : kEntities)
                if (s.compare(i, std::wcslen(e.name), e.name) == 0) {
                    out += e.ch;
                    i += std::wcslen(e.name);
                    hit = true;
                    break;
                }
        if (!hit) out += s[i++];
    }
    return out;
}

// The page's visible text: tags, scripts and styles removed, blanks folded.
std::wstring VisibleText(const std::wstring& html) {
    const std::wstring lower = Lower(html);
    std::wstring out;
    bool blank = false;
    for (std::size_t i = 0; i < html.size();) {
        if (html[i] == L'<') {
            for (const wchar_t* skip : {L"script", L"style", L"title"})
                if (FindTag(lower, skip, i) == i) {
                    const std::size_t end = lower.find(std::wstring(L"</") + skip, i);
                    i = end == std::wstring::npos ? html.size() : end;
                    break;
                }
            const std::size_t close = html.find(L'>', i);
            const std::wstring tag = lower.substr(i, close == std::wstring::npos ? 0 : close - i);
            if (!out.empty() && (tag.rfind(L"<br", 0) == 0 || tag.rfind(L"<p", 0) == 0 || tag.rfind(L"<div", 0) == 0 ||
                                 tag.rfind(L"</p", 0) == 0 || tag.rfind(L"</div", 0) == 0 || tag.rfind(L"<h", 0) == 0)) {
                if (out.back() != L'\n') out += L'\n';
                blank = false;
            }
            i = close == std::wstring::npos ? html.size() : close + 1;
            continue;
        }
        if (std::iswspace(html[i])) {
            blank = !out.empty() && out.back() != L'\n';
        } else {
            if (blank) out += L' ';
            blank = false;
            out += html[i];
        }
        ++i;
    }
    return DecodeEntities(out);
}

BSTR Bstr(const std::wstring& s) { return ::SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

}  // namespace

CStandInDocument::CStandInDocument()
    : m_events(static_cast<IHTMLDocument2*>(this), this, kDiidDocumentEvents2) {}

CStandInDocument::~CStandInDocument() = default;

void CStandInDocument::Load(const std::wstring& url, const std::wstring& html) {
    m_url = url;
    const std::wstring lower = Lower(html);
    m_title.clear();
    const std::size_t title = FindTag(lower, L"title");
    if (title != std::wstring::npos) {
        const std::size_t start = lower.find(L'>', title);
        const std::size_t end = lower.find(L"</title", title);
        if (start != std::wstring::npos && end != std::wstring::npos && end > start)
            m_title = DecodeEntities(html.substr(start + 1, end - start - 1));
    }
    m_text = VisibleText(html);
    m_readyState = L"loading";
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
    // The page's script engine is not part of this document yet.
    if (p) *p = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CStandInDocument::get_title(BSTR* p) {
    if (!p) return E_POINTER;
    *p = Bstr(m_title);
    return S_OK;
}

STDMETHODIMP CStandInDocument::put_title(BSTR v) {
    m_title = v ? std::wstring(v, ::SysStringLen(v)) : std::wstring();
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
    if (p) *p = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CStandInDocument::FindConnectionPoint(REFIID riid, IConnectionPoint** cp) {
    if (!cp) return E_POINTER;
    *cp = nullptr;
    if (riid != kDiidDocumentEvents2) return CONNECT_E_NOCONNECTION;
    *cp = &m_events;
    m_events.AddRef();
    return S_OK;
}
