#include "standin_script.h"

#include <dispex.h>
#include <wininet.h>

#include <cwctype>

#include "standin_browser.h"
#include "standin_record.h"

namespace {

// IActiveScriptParse (32-bit), not in the toolchain's uuid library.
const IID kIidActiveScriptParse = {0xbb1a2ae2, 0xa4f9, 0x11cf, {0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0, 0x64}};
const IID kIidDispatchEx = {0xa6ef9860, 0xc720, 0x11d0, {0x93, 0x37, 0x00, 0xa0, 0xc9, 0x0d, 0xca, 0xa9}};
const CLSID kClsidJScript = {0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};

// Member names and their ids, one table for every object.
std::vector<std::wstring>& Names() {
    static std::vector<std::wstring> names;
    return names;
}
constexpr DISPID kFirstName = 1000;

DISPID NameId(const std::wstring& name) {
    auto& names = Names();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return kFirstName + static_cast<DISPID>(i);
    names.push_back(name);
    return kFirstName + static_cast<DISPID>(names.size() - 1);
}

std::wstring Text(const VARIANT* v) {
    if (!v) return {};
    VARIANT s;
    ::VariantInit(&s);
    if (v->vt == VT_EMPTY || v->vt == VT_NULL) return {};
    if (FAILED(::VariantChangeType(&s, const_cast<VARIANT*>(v), VARIANT_ALPHABOOL, VT_BSTR))) return {};
    std::wstring out = s.bstrVal ? std::wstring(s.bstrVal, ::SysStringLen(s.bstrVal)) : std::wstring();
    ::VariantClear(&s);
    return out;
}

long Number(const VARIANT* v) {
    if (!v) return 0;
    VARIANT n;
    ::VariantInit(&n);
    if (FAILED(::VariantChangeType(&n, const_cast<VARIANT*>(v), 0, VT_I4))) return 0;
    return n.lVal;
}

bool Truth(const VARIANT* v) {
    if (!v) return false;
    VARIANT b;
    ::VariantInit(&b);
    if (FAILED(::VariantChangeType(&b, const_cast<VARIANT*>(v), 0, VT_BOOL))) return false;
    return b.boolVal != VARIANT_FALSE;
}

void SetText(VARIANT* out, const std::wstring& s) {
    if (!out) return;
    out->vt = VT_BSTR;
    out->bstrVal = ::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

void SetNumber(VARIANT* out, long n) {
    if (!out) return;
    out->vt = VT_I4;
    out->lVal = n;
}

void SetBool(VARIANT* out, bool b) {
    if (!out) return;
    out->vt = VT_BOOL;
    out->boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
}

void SetObject(VARIANT* out, IDispatch* d) {  // takes the reference
    if (!out) {
        if (d) d->Release();
        return;
    }
    if (!d) {
        out->vt = VT_NULL;
        return;
    }
    out->vt = VT_DISPATCH;
    out->pdispVal = d;
}

std::wstring Query(const std::wstring& url) {
    const std::size_t q = url.find(L'?');
    if (q == std::wstring::npos) return {};
    const std::size_t hash = url.find(L'#', q);
    return url.substr(q, hash == std::wstring::npos ? std::wstring::npos : hash - q);
}

class CStyle : public CScriptObject {
public:
    CStyle(CPageScript* page, CHtmlNode* node) : CScriptObject(page), m_node(node) {}

protected:
    bool Get(const std::wstring& name, VARIANT* out) override {
        if (name != L"display") return false;
        SetText(out, Display());
        return true;
    }
    bool Put(const std::wstring& name, const VARIANT& v) override {
        if (name != L"display" || !m_page) return false;
        std::wstring style = m_node->Attr(L"style") ? *m_node->Attr(L"style") : L"";
        const std::size_t at = style.find(L"display:");
        if (at != std::wstring::npos) style.erase(at, style.find(L';', at) == std::wstring::npos ? std::wstring::npos
                                                                                                  : style.find(L';', at) - at + 1);
        style += L"display:" + Text(&v) + L";";
        m_node->SetAttr(L"style", style);
        m_page->Browser()->PageChanged();
        return true;
    }

private:
    std::wstring Display() const {
        const std::wstring* style = m_node->Attr(L"style");
        if (!style) return {};
        const std::size_t at = style->find(L"display:");
        if (at == std::wstring::npos) return {};
        std::wstring v = style->substr(at + 8, style->find(L';', at) == std::wstring::npos ? std::wstring::npos
                                                                                           : style->find(L';', at) - at - 8);
        while (!v.empty() && std::iswspace(v.front())) v.erase(v.begin());
        while (!v.empty() && std::iswspace(v.back())) v.pop_back();
        return v;
    }
    CHtmlNode* m_node;
};

class COptions : public CScriptObject {
public:
    COptions(CPageScript* page, CHtmlNode* select) : CScriptObject(page), m_select(select) {}

protected:
    bool Get(const std::wstring& name, VARIANT* out) override {
        if (!m_page) return false;
        const std::vector<CHtmlNode*> options = FindAll(*m_select, L"option");
        if (name == L"length") {
            SetNumber(out, static_cast<long>(options.size()));
            return true;
        }
        if (name.empty() || !std::iswdigit(name[0])) return false;
        const std::size_t i = std::wcstoul(name.c_str(), nullptr, 10);
        SetObject(out, i < options.size() ? m_page->ElementObject(options[i]) : nullptr);
        return true;
    }
    bool Call(const std::wstring& name, const std::vector<VARIANT*>& args, VARIANT* out) override {
        if (name != L"item" || args.empty()) return false;
        return Get(std::to_wstring(Number(args[0])), out);
    }

private:
    CHtmlNode* m_select;
};

class CLocation : public CScriptObject {
public:
    using CScriptObject::CScriptObject;

protected:
    bool Get(const std::wstring& name, VARIANT* out) override {
        if (!m_page) return false;
        const std::wstring& url = m_page->Url();
        if (name == L"href") SetText(out, url);
        else if (name == L"search") SetText(out, Query(url));
        else if (name == L"hash") SetText(out, url.find(L'#') == std::wstring::npos ? L"" : url.substr(url.find(L'#')));
        else if (name == L"protocol") SetText(out, url.substr(0, url.find(L':') + 1));
        else if (name == L"host") {
            const std::size_t s = url.find(L"://");
            SetText(out, s == std::wstring::npos ? L"" : url.substr(s + 3, url.find(L'/', s + 3) - s - 3));
        } else
            return false;
        return true;
    }
    bool Put(const std::wstring& name, const VARIANT& v) override {
        if (name != L"href" || !m_page) return false;
        m_page->Browser()->NavigateFromPage(ResolveUrl(m_page->Url(), Text(&v)));
        return true;
    }
    bool Call(const std::wstring& name, const std::vector<VARIANT*>& args, VARIANT* out) override {
        if (!m_page) return false;
        if ((name == L"assign" || name == L"replace") && !args.empty()) {
            m_page->Browser()->NavigateFromPage(ResolveUrl(m_page->Url(), Text(args[0])));
            return true;
        }
        if (name == L"reload") {
            m_page->Browser()->Refresh();
            return true;
        }
        if (name == L"toString") {
            SetText(out, m_page->Url());
            return true;
        }
        return false;
    }
};

class CElement : public CScriptObject {
public:
    CElement(CPageScript* page, CHtmlNode* node) : CScriptObject(page), m_node(node) {}
    CHtmlNode* Node() const { return m_node; }

protected:
    bool Get(const std::wstring& name, VARIANT* out) override {
        if (!m_page) return false;
        if (name == L"id" || name == L"className" || name == L"name" || name == L"type" || name == L"href" ||
            name == L"title") {
            const std::wstring* v = m_node->Attr(name == L"className" ? L"class" : name);
            SetText(out, v ? *v : L"");
        } else if (name == L"tagName") {
            std::wstring tag = m_node->tag;
            for (wchar_t& c : tag) c = static_cast<wchar_t>(std::towupper(c));
            SetText(out, tag);
        } else if (name == L"value") {
            SetText(out, Value());
        } else if (name == L"checked" || name == L"disabled") {
            SetBool(out, m_node->Attr(name) != nullptr);
        } else if (name == L"innerHTML") {
            SetText(out, InnerHtml(*m_node));
        } else if (name == L"innerText" || name == L"textContent") {
            SetText(out, TextOf(*m_node));
        } else if (name == L"style") {
            SetObject(out, new CStyle(m_page, m_node));
        } else if (name == L"options" && m_node->tag == L"select") {
            SetObject(out, new COptions(m_page, m_node));
        } else if (name == L"selectedIndex" && m_node->tag == L"select") {
            SetNumber(out, SelectedIndex());
        } else if (name.rfind(L"on", 0) == 0) {
            if (!m_page->ElementHandler(m_node, name, out)) out->vt = VT_NULL;
        } else if (name == L"parentNode") {
            SetObject(out, m_node->parent && !m_node->parent->tag.empty() && m_node->parent->tag[0] != L'#'
                               ? m_page->ElementObject(m_node->parent)
                               : nullptr);
        } else {
            return false;
        }
        return true;
    }
    bool Put(const std::wstring& name, const VARIANT& v) override {
        if (!m_page) return false;
        if (name == L"value") {
            if (m_node->tag == L"textarea") m_node->text = Text(&v);
            else m_node->SetAttr(L"value", Text(&v));
        } else if (name == L"checked" || name == L"disabled") {
            if (Truth(&v)) m_node->SetAttr(name, L"");
            else m_node->RemoveAttr(name);
        } else if (name == L"innerHTML") {
            ReplaceChildren(*m_node, ParseFragment(Text(&v)));
        } else if (name == L"innerText" || name == L"textContent") {
            std::vector<std::unique_ptr<CHtmlNode>> text;
            text.push_back(std::make_unique<CHtmlNode>());
            text.back()->text = Text(&v);
            ReplaceChildren(*m_node, std::move(text));
        } else if (name == L"className" || name == L"title") {
            m_node->SetAttr(name == L"className" ? L"class" : name, Text(&v));
        } else if (name == L"selectedIndex" && m_node->tag == L"select") {
            const std::vector<CHtmlNode*> options = FindAll(*m_node, L"option");
            for (std::size_t i = 0; i < options.size(); ++i)
                if (static_cast<long>(i) == Number(&v)) options[i]->SetAttr(L"selected", L"");
                else options[i]->RemoveAttr(L"selected");
        } else if (name.rfind(L"on", 0) == 0) {
            m_page->SetElementHandler(m_node, name, v);
            return true;
        } else {
            return false;
        }
        m_page->Browser()->PageChanged();
        return true;
    }
    bool Call(const std::wstring& name, const std::vector<VARIANT*>& args, VARIANT* out) override {
        if (!m_page) return false;
        if (name == L"getAttribute" && !args.empty()) {
            const std::wstring* v = m_node->Attr(Text(args[0]));
            if (v) SetText(out, *v);
            else if (out) out->vt = VT_NULL;
            return true;
        }
        if (name == L"setAttribute" && args.size() >= 2) {
            m_node->SetAttr(Text(args[0]), Text(args[1]));
            m_page->Browser()->PageChanged();
            return true;
        }
        if (name == L"click") {
            m_page->Browser()->ClickNode(m_node);
            return true;
        }
        if (name == L"submit" && m_node->tag == L"form") {
            m_page->Browser()->SubmitForm(m_node);
            return true;
        }
        if (name == L"focus" || name == L"blur" || name == L"select") return true;
        return false;
    }

private:
    std::wstring Value() const {
        if (m_node->tag == L"textarea") return m_node->text;
        if (m_node->tag == L"select") {
            const std::vector<CHtmlNode*> options = FindAll(*m_node, L"option");
            const long i = SelectedIndex();
            return i >= 0 && i < static_cast<long>(options.size()) ? OptionValue(*options[static_cast<std::size_t>(i)]) : L"";
        }
        if (m_node->tag == L"option") return OptionValue(*m_node);
        const std::wstring* v = m_node->Attr(L"value");
        return v ? *v : L"";
    }
    static std::wstring OptionValue(const CHtmlNode& option) {
        const std::wstring* v = option.Attr(L"value");
        return v ? *v : TextOf(option);
    }
    long SelectedIndex() const {
        const std::vector<CHtmlNode*> options = FindAll(*m_node, L"option");
        for (std::size_t i = 0; i < options.size(); ++i)
            if (options[i]->Attr(L"selected")) return static_cast<long>(i);
        return options.empty() ? -1 : 0;
    }

    CHtmlNode* m_node;
};

class CDocumentObject : public CScriptObject {
public:
    using CScriptObject::CScriptObject;

protected:
    bool Get(const std::wstring& name, VARIANT* out) override {
        if (!m_page) return false;
        if (name == L"cookie") {
            SetText(out, m_page->Browser()->CookieFor(m_page->Url()));
        } else if (name == L"body") {
            SetObject(out, m_page->ElementObject(FindFirst(*m_page->Root(), L"body")));
        } else if (name == L"location") {
            SetObject(out, new CLocation(m_page));
        } else if (name == L"title") {
            CHtmlNode* title = FindFirst(*m_page->Root(), L"title");
            SetText(out, title ? title->text : L"");
        } else if (name == L"URL") {
            SetText(out, m_page->Url());
        } else {
            return false;
        }
        return true;
    }
    bool Put(const std::wstring& name, const VARIANT& v) override {
        if (name != L"cookie" || !m_page) return false;
        m_page->Browser()->SetCookieFor(m_page->Url(), Text(&v));
        return true;
    }
    bool Call(const std::wstring& name, const std::vector<VARIANT*>& args, VARIANT* out) override {
        if (!m_page) return false;
        if (name == L"getElementById" && !args.empty()) {
            CHtmlNode* node = FindById(*m_page->Root(), Text(args[0]));
            SetObject(out, node ? m_page->ElementObject(node) : nullptr);
            return true;
        }
        return false;
    }
};

class CRequest : public CScriptObject {
public:
    using CScriptObject::CScriptObject;

    void Complete(const LoadResult& r) {
        m_state = 4;
        m_status = r.error != S_OK ? 0 : static_cast<long>(r.status);
        const int n = ::MultiByteToWideChar(CP_UTF8, 0, r.body.data(), static_cast<int>(r.body.size()), nullptr, 0);
        m_response.assign(static_cast<std::size_t>(n), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, r.body.data(), static_cast<int>(r.body.size()), m_response.data(), n);
        Changed();
    }

protected:
    bool Get(const std::wstring& name, VARIANT* out) override {
        if (name == L"readyState") SetNumber(out, m_state);
        else if (name == L"status") SetNumber(out, m_status);
        else if (name == L"responseText") SetText(out, m_response);
        else return false;
        return true;
    }
    bool Call(const std::wstring& name, const std::vector<VARIANT*>& args, VARIANT*) override {
        if (!m_page) return false;
        if (name == L"open" && args.size() >= 2) {
            m_method = Text(args[0]);
            for (wchar_t& c : m_method) c = static_cast<wchar_t>(std::towupper(c));
            m_url = ResolveUrl(m_page->Url(), Text(args[1]));
            m_headers.clear();
            m_state = 1;
            Changed();
            return true;
        }
        if (name == L"setRequestHeader" && args.size() >= 2) {
            m_headers += Text(args[0]) + L": " + Text(args[1]) + L"\r\n";
            return true;
        }
        if (name == L"send") {
            const std::wstring body = args.empty() ? L"" : Text(args[0]);
            const int n = ::WideCharToMultiByte(CP_UTF8, 0, body.c_str(), static_cast<int>(body.size()), nullptr, 0,
                                                nullptr, nullptr);
            std::string bytes(static_cast<std::size_t>(n), '\0');
            ::WideCharToMultiByte(CP_UTF8, 0, body.c_str(), static_cast<int>(body.size()), bytes.data(), n, nullptr,
                                  nullptr);
            const UINT_PTR tag = m_page->AddRequest(this);
            if (!m_page->Browser()->StartRequest(tag, m_url, m_method, m_headers, bytes)) {
                LoadResult failed;
                failed.error = E_FAIL;
                Complete(failed);
            }
            return true;
        }
        if (name == L"abort") return true;
        return false;
    }

private:
    void Changed() {
        VARIANT handler;
        ::VariantInit(&handler);
        DISPID id = 0;
        LPOLESTR name = const_cast<LPOLESTR>(L"onreadystatechange");
        GetIDsOfNames(IID_NULL, &name, 1, 0, &id);
        DISPPARAMS none{};
        if (SUCCEEDED(Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &handler, nullptr, nullptr)) &&
            handler.vt == VT_DISPATCH && handler.pdispVal)
            handler.pdispVal->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
        ::VariantClear(&handler);
    }

    long m_state = 0, m_status = 0;
    std::wstring m_method = L"GET", m_url, m_headers, m_response;
};

// `XMLHttpRequest`: `new` makes a request object.
class CRequestMaker : public CScriptObject {
public:
    using CScriptObject::CScriptObject;

protected:
    bool Construct(const std::vector<VARIANT*>&, VARIANT* out) override {
        if (!m_page) return false;
        SetObject(out, new CRequest(m_page));
        return true;
    }
};

class CWindowObject : public CScriptObject {
public:
    using CScriptObject::CScriptObject;

protected:
    bool Get(const std::wstring& name, VARIANT* out) override {
        if (!m_page) return false;
        if (name == L"document") SetObject(out, new CDocumentObject(m_page));
        else if (name == L"location") SetObject(out, new CLocation(m_page));
        else if (name == L"window" || name == L"self" || name == L"top" || name == L"parent") SetObject(out, m_page->Window());
        else if (name == L"external") SetObject(out, m_page->Browser()->External());
        else if (name == L"XMLHttpRequest") SetObject(out, new CRequestMaker(m_page));
        else return false;
        return true;
    }
    bool Put(const std::wstring& name, const VARIANT& v) override {
        if (name != L"location" || !m_page) return false;
        m_page->Browser()->NavigateFromPage(ResolveUrl(m_page->Url(), Text(&v)));
        return true;
    }
    bool Call(const std::wstring& name, const std::vector<VARIANT*>& args, VARIANT* out) override {
        if (!m_page) return false;
        if (name == L"setTimeout" && !args.empty()) {
            SetNumber(out, static_cast<long>(m_page->SetTimeout(args[0], args.size() > 1 ? Number(args[1]) : 0)));
            return true;
        }
        if (name == L"clearTimeout" && !args.empty()) {
            m_page->ClearTimeout(static_cast<UINT_PTR>(Number(args[0])));
            return true;
        }
        if (name == L"alert") {
            m_page->Browser()->Alert(args.empty() ? L"" : Text(args[0]));
            return true;
        }
        if (name == L"navigate" && !args.empty()) {
            m_page->Browser()->NavigateFromPage(ResolveUrl(m_page->Url(), Text(args[0])));
            return true;
        }
        return false;
    }
};

}  // namespace

// --- the object base ---------------------------------------------------------------

CScriptObject::CScriptObject(CPageScript* page) : m_page(page) {
    if (m_page) m_page->Track(this);
}

CScriptObject::~CScriptObject() {
    if (m_page) m_page->Untrack(this);
    for (auto& [name, value] : m_expandos) ::VariantClear(&value);
}

STDMETHODIMP CScriptObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kIidDispatchEx) {
        *ppv = static_cast<IDispatchEx*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CScriptObject::Release() {
    const LONG r = ::InterlockedDecrement(&m_cRef);
    if (r == 0) delete this;
    return static_cast<ULONG>(r);
}

STDMETHODIMP CScriptObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    for (UINT i = 0; i < count; ++i) ids[i] = NameId(names[i] ? names[i] : L"");
    return S_OK;
}

STDMETHODIMP CScriptObject::GetDispID(BSTR name, DWORD, DISPID* id) {
    if (!id) return E_POINTER;
    *id = NameId(name ? std::wstring(name, ::SysStringLen(name)) : std::wstring());
    return S_OK;
}

STDMETHODIMP CScriptObject::GetMemberName(DISPID id, BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (id < kFirstName || id >= kFirstName + static_cast<DISPID>(Names().size())) return DISP_E_MEMBERNOTFOUND;
    *name = ::SysAllocString(Names()[static_cast<std::size_t>(id - kFirstName)].c_str());
    return S_OK;
}

STDMETHODIMP CScriptObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) {
    if (id == DISPID_VALUE && (flags & DISPATCH_CONSTRUCT)) {
        if (result) ::VariantInit(result);
        std::vector<VARIANT*> args;
        if (params)
            for (UINT i = params->cArgs; i > params->cNamedArgs; --i) args.push_back(&params->rgvarg[i - 1]);
        return Construct(args, result) ? S_OK : DISP_E_MEMBERNOTFOUND;
    }
    if (id < kFirstName || id >= kFirstName + static_cast<DISPID>(Names().size())) return DISP_E_MEMBERNOTFOUND;
    const std::wstring name = Names()[static_cast<std::size_t>(id - kFirstName)];
    if (result) ::VariantInit(result);
    AddRef();  // a member may drop the last outside reference
    HRESULT hr = S_OK;
    const UINT named = params ? params->cNamedArgs : 0;
    std::vector<VARIANT*> args;
    if (params)
        for (UINT i = params->cArgs; i > named; --i) {
            VARIANT* a = &params->rgvarg[i - 1];
            while (a->vt == (VT_BYREF | VT_VARIANT)) a = a->pvarVal;
            args.push_back(a);
        }
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        VARIANT* value = params && params->cArgs ? &params->rgvarg[0] : nullptr;
        while (value && value->vt == (VT_BYREF | VT_VARIANT)) value = value->pvarVal;
        if (!value) hr = DISP_E_PARAMNOTOPTIONAL;
        else if (!Put(name, *value)) {
            VARIANT& slot = m_expandos[name];
            ::VariantClear(&slot);
            ::VariantCopy(&slot, value);
        }
    } else if (flags & DISPATCH_CONSTRUCT) {
        hr = Construct(args, result) ? S_OK : DISP_E_MEMBERNOTFOUND;
    } else {
        VARIANT scratch;
        ::VariantInit(&scratch);
        VARIANT* out = result ? result : &scratch;
        bool done = false;
        if (flags & DISPATCH_METHOD) done = Call(name, args, out);
        if (!done && (flags & DISPATCH_PROPERTYGET)) done = Get(name, out);
        if (!done) {
            auto it = m_expandos.find(name);
            if (it != m_expandos.end()) {
                if ((flags & DISPATCH_METHOD) && !(flags & DISPATCH_PROPERTYGET) && it->second.vt == VT_DISPATCH) {
                    DISPPARAMS same = params ? *params : DISPPARAMS{};
                    hr = it->second.pdispVal->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &same, out, nullptr,
                                                     nullptr);
                } else {
                    ::VariantCopy(out, &it->second);
                }
            } else if (flags & DISPATCH_PROPERTYGET) {
                out->vt = VT_EMPTY;  // undefined
            } else {
                hr = DISP_E_MEMBERNOTFOUND;
            }
        }
        ::VariantClear(&scratch);
    }
    Release();
    return hr;
}

// --- the page's script ----------------------------------------------------------------

CPageScript::CPageScript(CStandInBrowser* browser, HWND timerWindow, const std::wstring& url, CHtmlNode* root)
    : m_browser(browser), m_timerWindow(timerWindow), m_url(url), m_root(root) {
    m_window = new CWindowObject(this);
    if (FAILED(::CoCreateInstance(kClsidJScript, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                                  reinterpret_cast<void**>(&m_engine))) ||
        FAILED(m_engine->QueryInterface(kIidActiveScriptParse, reinterpret_cast<void**>(&m_parse)))) {
        Record(L"script engine missing");
        return;
    }
    m_engine->SetScriptSite(this);
    m_parse->InitNew();
    m_engine->AddNamedItem(L"window", SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS);
    m_engine->SetScriptState(SCRIPTSTATE_STARTED);
}

CPageScript::~CPageScript() { Close(); }

void CPageScript::Close() {
    for (auto& [id, timer] : m_timers) {
        ::KillTimer(m_timerWindow, id);
        if (timer.function) timer.function->Release();
    }
    m_timers.clear();
    for (auto& [tag, request] : m_requests) request->Release();
    m_requests.clear();
    for (auto& [node, handler] : m_handlers)
        for (auto& [name, value] : handler.byName) ::VariantClear(&value);
    m_handlers.clear();
    if (m_engine) {
        m_engine->Close();
        m_engine->Release();
        m_engine = nullptr;
    }
    if (m_parse) {
        m_parse->Release();
        m_parse = nullptr;
    }
    m_elements.clear();
    std::vector<CScriptObject*> objects;
    objects.swap(m_objects);
    for (CScriptObject* o : objects) o->Disconnect();
    if (m_window) {
        m_window->Release();
        m_window = nullptr;
    }
    m_browser = nullptr;
}

void CPageScript::Parse(const std::wstring& code) {
    if (!m_parse) return;
    EXCEPINFO info{};
    m_parse->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE, nullptr, &info);
    ::SysFreeString(info.bstrSource);
    ::SysFreeString(info.bstrDescription);
    ::SysFreeString(info.bstrHelpFile);
}

void CPageScript::Run() {
    if (!m_engine) return;
    AddRef();
    for (CHtmlNode* script : FindAll(*m_root, L"script")) {
        const std::wstring* type = script->Attr(L"type");
        if (type && type->find(L"javascript") == std::wstring::npos && type->find(L"jscript") == std::wstring::npos)
            continue;
        Parse(script->text);
        if (!m_browser) break;  // the page navigated away
    }
    if (m_engine && m_browser) m_engine->SetScriptState(SCRIPTSTATE_CONNECTED);
    // window.onload, else the body's onload attribute.
    if (m_browser) {
        VARIANT onload;
        ::VariantInit(&onload);
        DISPID id = NameId(L"onload");
        DISPPARAMS none{};
        if (SUCCEEDED(m_window->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &onload, nullptr, nullptr)) &&
            onload.vt == VT_DISPATCH && onload.pdispVal) {
            onload.pdispVal->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
        } else if (CHtmlNode* body = FindFirst(*m_root, L"body"); body && body->Attr(L"onload")) {
            Execute(*body->Attr(L"onload"));
        }
        ::VariantClear(&onload);
    }
    Release();
}

IDispatch* CPageScript::ScriptDispatch() {
    IDispatch* disp = nullptr;
    if (m_engine) m_engine->GetScriptDispatch(nullptr, &disp);
    return disp;
}

void CPageScript::Execute(const std::wstring& code) { Parse(code); }

bool CPageScript::Fire(CHtmlNode* node, const std::wstring& handler) {
    VARIANT fn;
    ::VariantInit(&fn);
    bool allow = true;
    AddRef();
    if (ElementHandler(node, handler, &fn) && fn.vt == VT_DISPATCH && fn.pdispVal) {
        VARIANT result;
        ::VariantInit(&result);
        DISPPARAMS none{};
        fn.pdispVal->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
        allow = !(result.vt == VT_BOOL && result.boolVal == VARIANT_FALSE);
        ::VariantClear(&result);
    } else if (const std::wstring* code = node->Attr(handler)) {
        // The attribute's code as a function body, so that "return false" and
        // "this" mean what they mean in a page.
        static int serial = 0;
        const std::wstring name = L"__lmHandler" + std::to_wstring(++serial);
        Parse(L"function " + name + L"() {\n" + *code + L"\n}");
        IDispatch* global = ScriptDispatch();
        if (global) {
            DISPID id = 0;
            LPOLESTR n = const_cast<LPOLESTR>(name.c_str());
            if (SUCCEEDED(global->GetIDsOfNames(IID_NULL, &n, 1, 0, &id))) {
                VARIANT self;
                ::VariantInit(&self);
                self.vt = VT_DISPATCH;
                self.pdispVal = ElementObject(node);
                DISPID thisId = DISPID_THIS;
                DISPPARAMS args{&self, &thisId, 1, 1};
                VARIANT result;
                ::VariantInit(&result);
                global->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &args, &result, nullptr, nullptr);
                allow = !(result.vt == VT_BOOL && result.boolVal == VARIANT_FALSE);
                ::VariantClear(&result);
                ::VariantClear(&self);
            }
            global->Release();
        }
    }
    ::VariantClear(&fn);
    Release();
    return allow;
}

IDispatch* CPageScript::ElementObject(CHtmlNode* node) {
    if (!node) return nullptr;
    auto it = m_elements.find(node);
    if (it != m_elements.end()) {
        it->second->AddRef();
        return it->second;
    }
    auto* element = new CElement(this, node);
    m_elements[node] = element;
    return element;
}

IDispatch* CPageScript::Window() {
    if (!m_window) return nullptr;
    m_window->AddRef();
    return m_window;
}

void CPageScript::Untrack(CScriptObject* object) {
    for (auto it = m_elements.begin(); it != m_elements.end(); ++it)
        if (it->second == object) {
            m_elements.erase(it);
            break;
        }
    for (auto it = m_objects.begin(); it != m_objects.end(); ++it)
        if (*it == object) {
            m_objects.erase(it);
            break;
        }
}

UINT_PTR CPageScript::SetTimeout(VARIANT* what, UINT ms) {
    Timer timer;
    if (what->vt == VT_DISPATCH && what->pdispVal) {
        timer.function = what->pdispVal;
        timer.function->AddRef();
    } else {
        timer.code = Text(what);
    }
    const UINT_PTR id = m_nextTimer++;
    m_timers[id] = timer;
    ::SetTimer(m_timerWindow, id, ms ? ms : 1, nullptr);
    return id;
}

void CPageScript::ClearTimeout(UINT_PTR id) {
    auto it = m_timers.find(id);
    if (it == m_timers.end()) return;
    ::KillTimer(m_timerWindow, id);
    if (it->second.function) it->second.function->Release();
    m_timers.erase(it);
}

void CPageScript::OnTimer(UINT_PTR id) {
    auto it = m_timers.find(id);
    ::KillTimer(m_timerWindow, id);
    if (it == m_timers.end()) return;
    Timer timer = it->second;
    m_timers.erase(it);
    AddRef();
    if (timer.function) {
        DISPPARAMS none{};
        timer.function->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
        timer.function->Release();
    } else {
        Parse(timer.code);
    }
    Release();
}

UINT_PTR CPageScript::AddRequest(CScriptObject* request) {
    request->AddRef();
    const UINT_PTR tag = m_nextTimer++;
    m_requests[tag] = request;
    return tag;
}

void CPageScript::OnRequestDone(UINT_PTR tag, LoadResult* result) {
    auto it = m_requests.find(tag);
    if (it == m_requests.end()) {
        delete result;
        return;
    }
    CScriptObject* request = it->second;
    m_requests.erase(it);
    AddRef();
    static_cast<CRequest*>(request)->Complete(*result);
    request->Release();
    delete result;
    Release();
}

bool CPageScript::ElementHandler(CHtmlNode* node, const std::wstring& name, VARIANT* out) {
    auto it = m_handlers.find(node);
    if (it == m_handlers.end()) return false;
    auto h = it->second.byName.find(name);
    if (h == it->second.byName.end()) return false;
    ::VariantCopy(out, &h->second);
    return true;
}

void CPageScript::SetElementHandler(CHtmlNode* node, const std::wstring& name, const VARIANT& value) {
    VARIANT& slot = m_handlers[node].byName[name];
    ::VariantClear(&slot);
    ::VariantCopy(&slot, const_cast<VARIANT*>(&value));
}

STDMETHODIMP CPageScript::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IActiveScriptSite) *ppv = static_cast<IActiveScriptSite*>(this);
    else if (riid == IID_IActiveScriptSiteWindow) *ppv = static_cast<IActiveScriptSiteWindow*>(this);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CPageScript::Release() {
    const LONG r = ::InterlockedDecrement(&m_cRef);
    if (r == 0) delete this;
    return static_cast<ULONG>(r);
}

STDMETHODIMP CPageScript::GetLCID(LCID* lcid) {
    if (!lcid) return E_POINTER;
    *lcid = ::GetUserDefaultLCID();
    return S_OK;
}

STDMETHODIMP CPageScript::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) {
    if (info) *info = nullptr;
    if (item) *item = nullptr;
    if (!name || std::wstring(name) != L"window" || !m_window) return TYPE_E_ELEMENTNOTFOUND;
    if ((mask & SCRIPTINFO_IUNKNOWN) && item) {
        *item = static_cast<IDispatch*>(m_window);
        m_window->AddRef();
    }
    return S_OK;
}

STDMETHODIMP CPageScript::GetDocVersionString(BSTR* version) {
    if (version) *version = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CPageScript::OnScriptError(IActiveScriptError* error) {
    EXCEPINFO info{};
    DWORD context = 0;
    ULONG line = 0;
    LONG column = 0;
    if (error) {
        error->GetExceptionInfo(&info);
        error->GetSourcePosition(&context, &line, &column);
    }
    Record(L"script error line " + std::to_wstring(line + 1) + L": " +
           (info.bstrDescription ? std::wstring(info.bstrDescription) : L"?"));
    ::SysFreeString(info.bstrSource);
    ::SysFreeString(info.bstrDescription);
    ::SysFreeString(info.bstrHelpFile);
    return S_OK;
}

STDMETHODIMP CPageScript::GetWindow(HWND* h) {
    if (!h) return E_POINTER;
    *h = m_timerWindow;
    return S_OK;
}
