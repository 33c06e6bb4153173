// The browser host's plumbing on a system without an HTML engine: the
// control is created and activated, navigations raise BeforeNavigate2 and
// NavigateError (synchronously at first, later after Navigate returns),
// command URLs are cancelled and dispatched once, and teardown releases
// every reference. Script calls are tried against a fake dispatch object.
#include "../common/loopback_server.h"

#include <gtest/gtest.h>

#include "test_util.h"

#include <string>
#include <vector>

#include <exdispid.h>

#include "framework/event_sink_win.h"
#include "html/dhtml_dlg_ex_win.h"
#include "res/resource.h"

namespace {

class CProbeHtmlDlg : public CDHtmDlgEx {
public:
    CProbeHtmlDlg() : CDHtmDlgEx(IDD_BLANK) {}
    std::vector<std::wstring> m_seen;       // every navigation offered
    std::vector<std::wstring> m_cancelled;  // those this dialog cancelled
    int m_errors = 0;

    bool DispatchNavigation(IDispatch* pDisp, const std::wstring& url) override {
        m_seen.push_back(url);
        const bool cancel = CDHtmDlgEx::DispatchNavigation(pDisp, url);
        if (cancel) m_cancelled.push_back(url);
        return cancel;
    }
    void OnNavigateError(IDispatch* d, VARIANT* u, VARIANT* f, VARIANT* s, BOOL* cancel) override {
        ++m_errors;
        CDHtmDlgEx::OnNavigateError(d, u, f, s, cancel);
    }
};

class BrowserHost : public ::testing::Test {
protected:
    void SetUp() override { ::OleInitialize(nullptr); }
    void TearDown() override { ::OleUninitialize(); }
};

TEST_F(BrowserHost, CreatesTheControlAsChild102) {
    const long before = CBrowserControlSite::LiveCount(), sinksBefore = CEventSinkBase::LiveCount();
    {
        CProbeHtmlDlg dlg;
        ASSERT_TRUE(dlg.Create());
        ASSERT_NE(dlg.GetBrowser(), nullptr);
        HWND browser = ::GetDlgItem(dlg.m_hWnd, kBrowserControlId);
        ASSERT_NE(browser, nullptr);
        wchar_t cls[64] = {};
        ::GetClassNameW(browser, cls, 64);
        EXPECT_STREQ(cls, L"Shell Embedding");
        VARIANT_BOOL silent = VARIANT_FALSE;
        dlg.GetBrowser()->get_Silent(&silent);
        EXPECT_EQ(silent, VARIANT_TRUE);
        EXPECT_EQ(CBrowserControlSite::LiveCount(), before + 1);
        EXPECT_EQ(CEventSinkBase::LiveCount(), sinksBefore + 1);  // the browser's events
        IWebBrowser2* kept = dlg.GetBrowser();
        kept->AddRef();
        dlg.DestroyWindow();
        EXPECT_EQ(dlg.GetBrowser(), nullptr);
        EXPECT_EQ(kept->Release(), 0u);  // the dialog holds no reference to the browser any more
    }
    EXPECT_EQ(CBrowserControlSite::LiveCount(), before);  // every reference to the site released
    EXPECT_EQ(CEventSinkBase::LiveCount(), sinksBefore);  // and to the event sink
}

TEST_F(BrowserHost, CommandUrlsAreCancelledAndDispatchedOnce) {
    CProbeHtmlDlg dlg;
    ASSERT_TRUE(dlg.Create());
    // The first navigation's events arrive inside Navigate itself.
    ASSERT_TRUE(dlg.Navigate(L"app://loadgame|S12服-x-p|http://g/"));
    EXPECT_EQ(dlg.m_cancelled, (std::vector<std::wstring>{L"app://loadgame|S12服-x-p|http://g/"}));
    Pump(300);
    ASSERT_TRUE(dlg.Navigate(L"app://minimize"));
    Pump(500);
    EXPECT_EQ(dlg.m_cancelled,
              (std::vector<std::wstring>{L"app://loadgame|S12服-x-p|http://g/", L"app://minimize"}));
    EXPECT_EQ(dlg.m_errors, 0);  // nothing follows a cancelled navigation
    dlg.DestroyWindow();
}

TEST_F(BrowserHost, UpperCaseAppIsNotACommandAndErrorsAreCancelled) {
    CProbeHtmlDlg dlg;
    ASSERT_TRUE(dlg.Create());
    ASSERT_TRUE(dlg.Navigate(L"APP:xyz"));
    Pump(300);
    EXPECT_EQ(dlg.m_seen.at(0), L"APP:xyz");
    EXPECT_TRUE(dlg.m_cancelled.empty());

    // A page that cannot be had: the error is handled and cancelled.
    unsigned short port = 0;
    {
        CLoopbackServer gone;  // a port nothing listens on any more
        port = gone.Port();
    }
    const std::wstring page = L"http://127.0.0.1:" + std::to_wstring(port) + L"/lmdr/login.html";
    const std::size_t seenBefore = dlg.m_seen.size();
    const int errorsBefore = dlg.m_errors;
    ASSERT_TRUE(dlg.Navigate(page));
    for (int i = 0; i < 300 && dlg.m_errors == errorsBefore; ++i) Pump(50);
    EXPECT_EQ(std::vector<std::wstring>(dlg.m_seen.begin() + seenBefore, dlg.m_seen.end()),
              std::vector<std::wstring>{page});
    EXPECT_GT(dlg.m_errors, errorsBefore);

    // The events as the browser raises them, arguments last first: only the
    // Cancel argument of each changes, and to the answer expected.
    const struct {
        DISPID dispid;
        UINT count;  // arguments; Cancel is the last one
        const wchar_t* url;
        VARIANT_BOOL cancel;
    } events[] = {
        {DISPID_NAVIGATEERROR, 5, L"http://127.0.0.1:1/x", VARIANT_TRUE},
        {DISPID_BEFORENAVIGATE2, 7, L"app://minimize", VARIANT_TRUE},
        {DISPID_BEFORENAVIGATE2, 7, L"http://127.0.0.1:1/page", VARIANT_FALSE},
    };
    for (const auto& e : events) {
        VARIANT_BOOL cancel = VARIANT_FALSE;
        VARIANT_BOOL decoys[7] = {};
        std::vector<VARIANT> args(e.count);
        for (UINT i = 0; i < e.count; ++i) {
            VARIANT& v = args[e.count - 1 - i];  // argument i
            ::VariantInit(&v);
            v.vt = VT_BYREF | VT_BOOL;
            v.pboolVal = &decoys[i];
        }
        args[0].pboolVal = &cancel;
        BSTR url = ::SysAllocString(e.url);
        args[e.count - 2].vt = VT_BYREF | VT_BSTR;  // the URL, argument 1, as a reference
        args[e.count - 2].pbstrVal = &url;
        DISPPARAMS params{args.data(), nullptr, e.count, 0};
        dlg.DispatchBrowserEvent(e.dispid, &params);
        ::SysFreeString(url);
        EXPECT_EQ(cancel, e.cancel) << e.url;
        for (UINT i = 0; i + 1 < e.count; ++i) EXPECT_EQ(decoys[i], VARIANT_FALSE) << e.url << " argument " << i;
    }
    dlg.DestroyWindow();
}

TEST_F(BrowserHost, SiteAnswersForTheDocumentHost) {
    CProbeHtmlDlg dlg;
    ASSERT_TRUE(dlg.Create());
    CBrowserControlSite* site = dlg.GetSite();
    ASSERT_NE(site, nullptr);
    IDocHostUIHandler* handler = nullptr;
    ASSERT_EQ(site->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&handler)), S_OK);
    DOCHOSTUIINFO info{};
    info.cbSize = sizeof info;
    EXPECT_EQ(handler->GetHostInfo(&info), S_OK);
    EXPECT_EQ(info.dwFlags, 0xDu);
    POINT pt{10, 10};
    EXPECT_EQ(handler->ShowContextMenu(0, &pt, nullptr, nullptr), S_OK);  // no menu ever
    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(handler->GetExternal(&external), E_NOTIMPL);
    EXPECT_EQ(external, nullptr);
    handler->Release();

    const IID showUi = {0xC4D244B0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
    IDocHostShowUI* show = nullptr;
    ASSERT_EQ(site->QueryInterface(showUi, reinterpret_cast<void**>(&show)), S_OK);
    LRESULT result = 0;
    EXPECT_EQ(show->ShowMessage(nullptr, const_cast<LPOLESTR>(L"x"), nullptr, 0, nullptr, 0, &result), S_FALSE);
    show->Release();
    EXPECT_FALSE(dlg.CallScript("check_login", {}));  // no document: nothing happens

    // The control asking for another place gets it; the site is its frame too.
    const RECT asked{5, 6, 105, 86};
    EXPECT_EQ(site->OnPosRectChange(&asked), S_OK);
    RECT placed{};
    HWND browser = ::GetDlgItem(dlg.m_hWnd, kBrowserControlId);
    ::GetWindowRect(browser, &placed);
    ::MapWindowPoints(nullptr, dlg.m_hWnd, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(std::vector<LONG>({placed.left, placed.top, placed.right, placed.bottom}),
              std::vector<LONG>({5, 6, 105, 86}));
    IOleInPlaceFrame* frame = nullptr;
    ASSERT_EQ(site->QueryInterface(IID_IOleInPlaceFrame, reinterpret_cast<void**>(&frame)), S_OK);
    HWND frameWindow = nullptr;
    frame->GetWindow(&frameWindow);
    EXPECT_EQ(frameWindow, dlg.m_hWnd);
    frame->Release();
    dlg.DestroyWindow();
}

// A script object that knows one function and records its calls.
class CFakeScript : public IDispatch {
public:
    std::vector<std::wstring> m_lastArgs;  // as passed, last first
    std::wstring m_askedName;
    LCID m_lcid = 0;
    int m_calls = 0;
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID lcid, DISPID* id) override {
        m_askedName = names[0];
        m_lcid = lcid;
        if (m_askedName != L"postDataUrl") return DISP_E_UNKNOWNNAME;
        *id = 7;
        return S_OK;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp, VARIANT*, EXCEPINFO*, UINT*) override {
        ++m_calls;
        if (id != 7 || flags != DISPATCH_METHOD || dp->cNamedArgs != 0) return E_FAIL;
        m_lastArgs.clear();
        for (UINT i = 0; i < dp->cArgs; ++i) {
            if (dp->rgvarg[i].vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
            m_lastArgs.emplace_back(dp->rgvarg[i].bstrVal);
        }
        return S_OK;
    }
};

TEST(CallScript, StringArgumentsInReverseOrder) {
    CFakeScript script;
    EXPECT_TRUE(CallScriptOn(&script, "postDataUrl", {L"first", L"二", L"third"}));
    EXPECT_EQ(script.m_askedName, L"postDataUrl");
    EXPECT_EQ(script.m_lcid, 0x800u);
    EXPECT_EQ(script.m_lastArgs, (std::vector<std::wstring>{L"third", L"二", L"first"}));
    EXPECT_TRUE(CallScriptOn(&script, "postDataUrl", {}));
    EXPECT_TRUE(script.m_lastArgs.empty());
    EXPECT_FALSE(CallScriptOn(&script, "missing", {L"x"}));  // unknown: no call at all
    EXPECT_EQ(script.m_calls, 2);
    EXPECT_FALSE(CallScriptOn(nullptr, "postDataUrl", {}));
}

// An event sink answers its own interfaces only and offers no type
// information; the event parameters' text is read through references.
TEST(EventPlumbing, SinkInterfacesAndParameterText) {
    struct CSink : CEventSinkBase {
        CSink() : CEventSinkBase(DIID_DWebBrowserEvents2) {}
        STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
            return S_OK;
        }
    };
    auto* sink = new CSink;
    void* got = sink;
    for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &DIID_DWebBrowserEvents2}) {
        ASSERT_EQ(sink->QueryInterface(*iid, &got), S_OK);
        static_cast<IUnknown*>(got)->Release();
    }
    EXPECT_EQ(sink->QueryInterface(IID_IConnectionPointContainer, &got), E_NOINTERFACE);
    EXPECT_EQ(got, nullptr);
    UINT count = 7;
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"x");
    EXPECT_EQ(sink->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(sink->GetTypeInfo(0, 0, &info), E_NOTIMPL);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), E_NOTIMPL);
    EXPECT_EQ(sink->Release(), 0u);

    BSTR text = ::SysAllocString(L"http://a/登录");
    VARIANT plain{}, byRef{}, nested{}, number{};
    plain.vt = VT_BSTR;
    plain.bstrVal = text;
    byRef.vt = VT_BYREF | VT_BSTR;
    byRef.pbstrVal = &text;
    nested.vt = VT_BYREF | VT_VARIANT;
    nested.pvarVal = &byRef;
    number.vt = VT_I4;
    for (const VARIANT* v : {&plain, &byRef, &nested}) EXPECT_EQ(VariantText(v), L"http://a/登录");
    EXPECT_EQ(VariantText(&number), L"");
    EXPECT_EQ(VariantText(nullptr), L"");
    ::SysFreeString(text);
}

}  // namespace
