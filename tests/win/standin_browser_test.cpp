// The stand-in browser control, hosted by the framework's HTML dialog as the
// client hosts the system's control: the calls it makes on its host and the
// events it fires, in order and with their arguments, checked against the
// system control's documented sequences; pages come from a loopback server.
// The stand-in is made the WebBrowser class for this process only.
#include "../common/loopback_server.h"

#include <gtest/gtest.h>

#include "test_util.h"

#include <wininet.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/build_config.h"
#include "framework/event_sink_win.h"
#include "html/dhtml_dlg_ex_win.h"
#include "mainwnd/game_wnd_win.h"
#include "res/resource.h"

namespace {

using RecordFn = int(WINAPI*)(wchar_t*, int, BOOL);
using LiveFn = long(WINAPI*)();

class CHost : public CDHtmDlgEx {
public:
    CHost() : CDHtmDlgEx(IDD_BLANK) {}
    std::vector<std::wstring> m_completed;  // DocumentComplete addresses
    std::vector<std::wstring> m_pressed;    // "TAG class" of each element a mouse-down reached
    std::vector<bool> m_completedTop;       // whether each came from the top browser
    void OnDocumentComplete(IDispatch* disp, const std::wstring& url) override {
        m_completed.push_back(url);
        m_completedTop.push_back(IsTopBrowser(disp));
    }
    const ElementEventEntry* GetElementEvents(int& count) const override {
        static const ElementEventEntry table[] = {
            {{-605, L"hot", true}, static_cast<ElementEventHandler>(&CHost::OnPress)},
            {{-605, L"p", false}, static_cast<ElementEventHandler>(&CHost::OnPress)},
            {{-605, L"body", false}, static_cast<ElementEventHandler>(&CHost::OnPress)}};
        count = 3;
        return table;
    }
    HRESULT OnPress(IHTMLElement* e) {
        BSTR tag = nullptr, cls = nullptr;
        e->get_tagName(&tag);
        e->get_className(&cls);
        m_pressed.push_back(std::wstring(tag ? tag : L"") + L" " + (cls ? cls : L""));
        ::SysFreeString(tag);
        ::SysFreeString(cls);
        return S_FALSE;
    }
};

class StandInBrowser : public ::testing::Test {
protected:
    void SetUp() override {
        ::OleInitialize(nullptr);
        m_dll = ::LoadLibraryW((TestFolder() + L"..\\lmstandin.dll").c_str());
        ASSERT_TRUE(m_dll);
        auto getClass = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
            ::GetProcAddress(m_dll, "DllGetClassObject"));
        m_record = reinterpret_cast<RecordFn>(::GetProcAddress(m_dll, "StandInRecord"));
        m_live = reinterpret_cast<LiveFn>(::GetProcAddress(m_dll, "StandInLiveCount"));
        ASSERT_TRUE(getClass && m_record && m_live);
        IClassFactory* factory = nullptr;
        ASSERT_EQ(getClass(CLSID_WebBrowser, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        ASSERT_EQ(::CoRegisterClassObject(CLSID_WebBrowser, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                          &m_cookie),
                  S_OK);
        factory->Release();
        Take();
    }
    void TearDown() override {
        if (m_cookie) ::CoRevokeClassObject(m_cookie);
        ::OleUninitialize();
    }
    // The record's lines since the last look.
    std::vector<std::wstring> Take() {
        const int n = m_record(nullptr, 0, FALSE);
        std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
        m_record(text.data(), n + 1, TRUE);
        text.resize(static_cast<std::size_t>(n));
        std::vector<std::wstring> lines;
        for (std::size_t at = 0, nl; (nl = text.find(L'\n', at)) != std::wstring::npos; at = nl + 1)
            lines.push_back(text.substr(at, nl - at));
        return lines;
    }
    // Runs messages until the record shows `line` (or the time is up); the
    // lines seen meanwhile.
    std::vector<std::wstring> PumpUntil(const std::wstring& line, int ms = 10000) {
        std::vector<std::wstring> lines;
        for (int waited = 0; waited < ms; waited += 20) {
            Pump(20);
            for (std::wstring& l : Take()) lines.push_back(std::move(l));
            for (const std::wstring& l : lines)
                if (l == line) return lines;
        }
        return lines;
    }

    HMODULE m_dll = nullptr;
    RecordFn m_record = nullptr;
    LiveFn m_live = nullptr;
    DWORD m_cookie = 0;
};

using Lines = std::vector<std::wstring>;

TEST_F(StandInBrowser, AHostSeesTheSystemControlsSequences) {
    CLoopbackServer server([](const std::string& head) {
        if (head.rfind("GET /moved ", 0) == 0)
            return std::string("HTTP/1.1 302 Found\r\nLocation: /page\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        if (head.rfind("GET /missing ", 0) == 0)
            return std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        const std::string body = "<html><head><title>Log in</title></head><body><p>Welcome</p>"
                                 "<div class=\"hot\" style=\"position:absolute;left:100px;top:100px;width:50px;"
                                 "height:30px\">x</div></body></html>";
        return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nSet-Cookie: Pauth=tok1; path=/\r\n"
               "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    });
    const std::wstring base = L"http://127.0.0.1:" + std::to_wstring(server.Port());
    const long sitesBefore = CBrowserControlSite::LiveCount(), sinksBefore = CEventSinkBase::LiveCount();
    {
        CHost host;
        ASSERT_TRUE(host.Create());
        // Creation, the site, in-place activation (calls 1-7 of the verb),
        // the host's event connection: cookies start at 1.
        EXPECT_EQ(Take(), (Lines{L"created", L"SetClientSite", L"host GetContainer", L"host GetWindow", L"DoVerb -5",
                                 L"host CanInPlaceActivate", L"host GetWindow", L"host OnInPlaceActivate",
                                 L"host GetWindowContext", L"host ShowObject", L"host GetContainer",
                                 L"host Frame::GetWindow", L"connect 1", L"put_Silent 1"}));
        HWND browser = ::GetDlgItem(host.m_hWnd, kBrowserControlId);
        wchar_t cls[64] = {};
        ::GetClassNameW(browser, cls, 64);
        EXPECT_STREQ(cls, L"Shell Embedding");
        RECT client{}, inner{};
        ::GetClientRect(host.m_hWnd, &client);
        ::GetClientRect(browser, &inner);
        EXPECT_EQ(inner.right, client.right);
        EXPECT_EQ(inner.bottom, client.bottom);
        HWND server = ::FindWindowExW(::FindWindowExW(browser, nullptr, L"Shell DocObject View", nullptr), nullptr,
                                      L"Internet Explorer_Server", nullptr);
        EXPECT_TRUE(server);

        IDispatch* doc = reinterpret_cast<IDispatch*>(1);
        EXPECT_EQ(host.GetBrowser()->get_Document(&doc), S_FALSE);  // nothing loaded yet
        EXPECT_EQ(doc, nullptr);
        BSTR location = nullptr;
        EXPECT_EQ(host.GetBrowser()->get_LocationURL(&location), S_FALSE);
        ::SysFreeString(location);
        READYSTATE state = READYSTATE_COMPLETE;
        host.GetBrowser()->get_ReadyState(&state);
        EXPECT_EQ(state, READYSTATE_UNINITIALIZED);

        // A page: BeforeNavigate2 and the start of the download inside
        // Navigate, the rest from the message loop; the host gets the
        // document at NavigateComplete2. The server's redirect raises no
        // BeforeNavigate2 of its own, and the final address is reported.
        ASSERT_TRUE(host.Navigate(base + L"/moved"));
        EXPECT_EQ(Take(), (Lines{L"Navigate GET " + base + L"/moved", L"event BeforeNavigate2 " + base + L"/moved",
                                 L"event DownloadBegin", L"host GetHostInfo 0x0000000D",
                                 L"host GetOptionKeyPath 0x80004001", L"event CommandStateChange 2 0",
                                 L"event CommandStateChange 1 0"}));
        host.GetBrowser()->get_ReadyState(&state);
        EXPECT_EQ(state, READYSTATE_LOADING);
        EXPECT_EQ(PumpUntil(L"event DocumentComplete " + base + L"/page"),
                  (Lines{L"event DownloadComplete", L"event TitleChange Log in",
                         L"event NavigateComplete2 " + base + L"/page", L"connect 1", L"host body scroll auto",
                         L"host GetDropTarget 0x80004001", L"event DocumentComplete " + base + L"/page",
                         L"host UpdateUI"}));
        EXPECT_EQ(host.m_completed, Lines{base + L"/page"});
        ASSERT_TRUE(host.GetDocument());
        BSTR title = nullptr;
        host.GetDocument()->get_title(&title);
        EXPECT_STREQ(title, L"Log in");
        ::SysFreeString(title);
        host.GetBrowser()->get_LocationURL(&location);
        EXPECT_EQ(std::wstring(location), base + L"/page");
        ::SysFreeString(location);
        host.GetBrowser()->get_ReadyState(&state);
        EXPECT_EQ(state, READYSTATE_COMPLETE);
        // The page's cookie is the process's: the client reads it so.
        wchar_t cookie[256] = {};
        DWORD size = 256;
        EXPECT_TRUE(::InternetGetCookieW((base + L"/").c_str(), L"Pauth", cookie, &size));
        EXPECT_NE(std::wstring(cookie).find(L"tok1"), std::wstring::npos);

        // The mouse on the page: the document's events name the element under
        // the pointer (the paragraph, a positioned box by its class, the body
        // around them); a right click asks the host, which shows no menu.
        for (const POINT pt : {POINT{20, 24}, POINT{120, 110}, POINT{300, 200}}) {
            ::SendMessageW(server, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
            ::SendMessageW(server, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
        }
        ::SendMessageW(server, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(300, 200));
        ::SendMessageW(server, WM_RBUTTONUP, 0, MAKELPARAM(300, 200));
        EXPECT_EQ(host.m_pressed, (Lines{L"P ", L"DIV hot", L"BODY ", L"BODY "}));
        // The first click activates the page (the host's frame takes it).
        EXPECT_EQ(Take(), (Lines{L"host OnUIActivate", L"host ShowUI 0x00000001", L"host Frame::SetActiveObject item",
                                 L"host Frame::SetMenu",
                                 L"event mousedown p", L"event mouseup p", L"event mousedown div",
                                 L"event mouseup div", L"event mousedown body", L"event mouseup body",
                                 L"event mousedown body", L"event mouseup body", L"host ShowContextMenu 0x00000000"}));

        // Pages that do not come: NavigateError with the HTTP status or the
        // internet library's error; the host cancels it and nothing follows.
        unsigned short gone = 0;
        {
            CLoopbackServer closed;
            gone = closed.Port();
        }
        const std::wstring unreachable = L"http://127.0.0.1:" + std::to_wstring(gone) + L"/login";
        const struct {
            std::wstring url;
            std::wstring error;
        } errors[] = {{base + L"/missing", L"404"}, {unreachable, L"0x800C0002"}, {L"APP:xyz", L"0x800C000D"}};
        for (const auto& e : errors) {
            ASSERT_TRUE(host.Navigate(e.url));
            const std::wstring cancelled = L"cancelled error " + e.url;
            const Lines lines = PumpUntil(cancelled);
            ASSERT_FALSE(lines.empty()) << e.url;
            EXPECT_EQ(lines.back(), cancelled);
            EXPECT_EQ(lines[lines.size() - 2], L"event NavigateError " + e.error + L" " + e.url);
            Pump(200);
            EXPECT_EQ(Take(), Lines{}) << e.url;  // the old page stays
        }
        // A command address is cancelled in BeforeNavigate2: nothing more.
        ASSERT_TRUE(host.Navigate(L"app:minimize"));
        Pump(300);
        EXPECT_EQ(Take(), (Lines{L"Navigate GET app:minimize", L"event BeforeNavigate2 app:minimize",
                                 L"cancelled app:minimize"}));
        EXPECT_EQ(host.m_completed.size(), 1u);

        // Teardown as the host does it: events disconnected, the control
        // stopped, deactivated, closed and its site dropped.
        host.DestroyWindow();
        // A site dropped after a download hears the back and forward
        // commands go off (to nobody now).
        EXPECT_EQ(Take(), (Lines{L"disconnect 1", L"disconnect 1", L"Stop", L"host HideUI",
                                 L"host Frame::SetActiveObject null",
                                 L"host OnUIDeactivate", L"host OnInPlaceDeactivate", L"Close",
                                 L"SetClientSite null", L"event CommandStateChange 2 0",
                                 L"event CommandStateChange 1 0"}));
    }
    EXPECT_EQ(m_live(), 0);
    EXPECT_EQ(CBrowserControlSite::LiveCount(), sitesBefore);
    EXPECT_EQ(CEventSinkBase::LiveCount(), sinksBefore);
}

// The page's script on the system's engine: its functions reached through
// the document's script object as the client calls them, its own
// navigations (timers, links, forms) seen as BeforeNavigate2 the host
// cancels or lets go, the page's cookie through document.cookie.
TEST_F(StandInBrowser, PageScriptsRunAndTalkToTheHostByNavigating) {
    CLoopbackServer server([](const std::string& head) {
        if (head.rfind("GET /submitted", 0) == 0)
            return std::string("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        const std::string body = R"PAGE(<html><head><title>Script</title>
<script type="text/javascript">
  var loads = 0;
  function report(text) { window.location.href = "app://" + text; }
  function echo(a, b) { report("echo|" + a + "|" + b + "|" + document.getElementById("name").value); }
  function fill(text) { document.getElementById("out").innerHTML = "<b>" + text + "</b>";
                        document.getElementById("name").value = text; }
  function follow() { document.getElementById("link").click(); }
  function send() { document.getElementById("go").click(); }
  window.onload = function () {
    loads++;
    setTimeout(function () { report("loaded" + loads + "|" + (document.cookie.indexOf("Pauth=tok2") >= 0)); }, 10);
  };
</script></head>
<body><form action="/submitted" method="get" onsubmit="return document.getElementById('name').value != 'stop';">
<input id="name" name="user" value="Ann"><select name="server"><option value="12">12</option>
<option value="7" selected>7</option></select><input id="go" type="submit" value="Go"></form>
<div id="out">old</div>
<a id="link" href="javascript:report('link|' + document.getElementById('out').innerHTML)">x</a>
</body></html>)PAGE";
        return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nSet-Cookie: Pauth=tok2; path=/\r\n"
               "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    });
    const std::wstring page = L"http://127.0.0.1:" + std::to_wstring(server.Port()) + L"/page";
    CHost host;
    ASSERT_TRUE(host.Create());
    ASSERT_TRUE(host.Navigate(page));
    // Navigations the page starts, as the host's cancellations show them.
    auto commands = [&](const std::wstring& last) {
        Lines seen;
        for (const std::wstring& line : PumpUntil(L"cancelled app://" + last))
            if (line.rfind(L"cancelled app://", 0) == 0) seen.push_back(line.substr(16));
        return seen;
    };
    EXPECT_EQ(commands(L"loaded1|true"), Lines{L"loaded1|true"});  // onload, then its timer
    EXPECT_TRUE(host.CallScript("echo", {L"1", L"二"}));
    EXPECT_EQ(commands(L"echo|1|二|Ann"), Lines{L"echo|1|二|Ann"});  // arguments in their order
    EXPECT_FALSE(host.CallScript("missing", {}));
    EXPECT_TRUE(host.CallScript("fill", {L"Bo"}));
    EXPECT_TRUE(host.CallScript("follow", {}));
    EXPECT_EQ(commands(L"link|<b>Bo</b>"), Lines{L"link|<b>Bo</b>"});
    // A form whose onsubmit says no sends nothing; one that says yes goes to
    // its action with its fields.
    EXPECT_TRUE(host.CallScript("fill", {L"stop"}));
    EXPECT_TRUE(host.CallScript("send", {}));
    EXPECT_TRUE(host.CallScript("fill", {L"Bo Li"}));
    EXPECT_TRUE(host.CallScript("send", {}));
    const std::wstring sent = page.substr(0, page.size() - 5) + L"/submitted?user=Bo+Li&server=7";
    const Lines lines = PumpUntil(L"event DocumentComplete " + sent);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"event BeforeNavigate2 " + sent), 1);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::wstring& l) { return l.rfind(L"event BeforeNavigate2", 0) == 0; }),
              1);
    const auto heads = server.Requests();
    ASSERT_EQ(heads.size(), 2u);
    EXPECT_EQ(heads[1].substr(0, heads[1].find("\r\n")), "GET /submitted?user=Bo+Li&server=7 HTTP/1.1");
    EXPECT_EQ(host.m_completed, (Lines{page, sent}));
    EXPECT_FALSE(host.CallScript("echo", {}));  // the new page has no such function
    host.DestroyWindow();
    EXPECT_EQ(m_live(), 0);
}

// A frame's page loads in a browser object of its own: its events reach the
// host with that object, its script's navigations too, and the page's own
// DocumentComplete comes after the frames' (a frame that never loads does
// not hold it back for ever: one refused by its host counts as done).
TEST_F(StandInBrowser, FramesRaiseTheirEventsWithTheirOwnBrowserBeforeThePageCompletes) {
    CLoopbackServer server([](const std::string& head) {
        std::string body = "<html><body>frame<script>window.onload = function () "
                           "{ window.location.href = 'app://framed'; };</script></body></html>";
        if (head.rfind("GET /page", 0) == 0)
            body = "<html><head><title>Top</title></head><body><iframe src=\"/frame\"></iframe>"
                   "<iframe src=\"app://refused\"></iframe><p>top</p></body></html>";
        return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
    });
    const std::wstring base = L"http://127.0.0.1:" + std::to_wstring(server.Port());
    CHost host;
    ASSERT_TRUE(host.Create());
    ASSERT_TRUE(host.Navigate(base + L"/page"));
    Lines events;
    for (const std::wstring& line : PumpUntil(L"event DocumentComplete " + base + L"/page"))
        if (line.find(L"event ") != std::wstring::npos || line.find(L"cancelled") != std::wstring::npos)
            events.push_back(line);
    const Lines expected = {
        L"event BeforeNavigate2 " + base + L"/page", L"event DownloadBegin", L"event CommandStateChange 2 0",
        L"event CommandStateChange 1 0", L"event DownloadComplete", L"event TitleChange Top",
        L"event NavigateComplete2 " + base + L"/page",
        L"frame event BeforeNavigate2 " + base + L"/frame",
        L"frame event BeforeNavigate2 app://refused", L"frame cancelled app://refused",
        L"frame event NavigateComplete2 " + base + L"/frame",
        L"frame event BeforeNavigate2 app://framed", L"frame cancelled app://framed",
        L"frame event DocumentComplete " + base + L"/frame", L"event DocumentComplete " + base + L"/page"};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(host.m_completed, (Lines{base + L"/frame", base + L"/page"}));
    EXPECT_EQ(host.m_completedTop, (std::vector<bool>{false, true}));
    EXPECT_EQ(host.TopDocumentUrl(), base + L"/page");
    host.DestroyWindow();
    EXPECT_EQ(m_live(), 0);
}

// The framework's dialog alone (no command handling of its own), on a
// control that is there, missing or refusing to be activated: the usual one
// navigates and tells the dialog of each navigation; the others leave a
// dialog without a page that says so, and hold nothing.
class CBareHost : public CDHtmlDialog {
public:
    enum Site { Usual, NoSite, Refusing };
    explicit CBareHost(Site site) : CDHtmlDialog(IDD_BLANK), m_kind(site) {}
    Lines m_before;  // BeforeNavigate2 addresses
    void OnBeforeNavigate(IDispatch*, const std::wstring& url) override { m_before.push_back(url); }

protected:
    class CRefusingSite : public CBrowserControlSite {
    public:
        using CBrowserControlSite::CBrowserControlSite;
        STDMETHODIMP CanInPlaceActivate() override { return S_FALSE; }
    };
    CBrowserControlSite* CreateControlSite() override {
        if (m_kind == NoSite) return nullptr;
        if (m_kind == Refusing) return new CRefusingSite(this);
        return CDHtmlDialog::CreateControlSite();
    }

private:
    Site m_kind;
};

// A class whose objects cannot be made, as on a system without the control.
class CNoControlFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = riid == IID_IUnknown || riid == IID_IClassFactory ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** ppv) override {
        *ppv = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

TEST_F(StandInBrowser, TheDialogWithAControlMissingOrRefusingHasNoPage) {
    const long sitesBefore = CBrowserControlSite::LiveCount(), sinksBefore = CEventSinkBase::LiveCount();
    {
        CBareHost usual(CBareHost::Usual);
        ASSERT_TRUE(usual.Create());
        ASSERT_TRUE(usual.Navigate(L"app:minimize"));
        EXPECT_EQ(usual.m_before, Lines{L"app:minimize"});
        usual.DestroyWindow();
    }
    CNoControlFactory missing;
    const struct {
        CBareHost::Site site;
        bool registered;  // the control's class is there
        const wchar_t* lastCall;
    } cases[] = {{CBareHost::NoSite, true, L"created"},
                 {CBareHost::Refusing, true, L"host CanInPlaceActivate"},
                 {CBareHost::Usual, false, nullptr}};
    for (const auto& c : cases) {
        DWORD cookie = 0;
        if (!c.registered) {
            ::CoRevokeClassObject(m_cookie);
            m_cookie = 0;
            ASSERT_EQ(::CoRegisterClassObject(CLSID_WebBrowser, &missing, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                              &cookie),
                      S_OK);
        }
        Take();
        CBareHost host(c.site);
        ASSERT_TRUE(host.Create()) << c.site;
        EXPECT_EQ(host.GetBrowser(), nullptr) << c.site;
        EXPECT_EQ(host.GetSite(), nullptr) << c.site;
        EXPECT_EQ(::GetDlgItem(host.m_hWnd, kBrowserControlId), nullptr) << c.site;
        EXPECT_FALSE(host.Navigate(L"http://127.0.0.1:1/login"));
        EXPECT_FALSE(host.CallScript("check_login", {}));
        const Lines record = Take();
        if (c.lastCall) {
            // Made, then released: the control's own last steps are its teardown.
            ASSERT_FALSE(record.empty()) << c.site;
            EXPECT_NE(std::find(record.begin(), record.end(), c.lastCall), record.end()) << c.site;
            EXPECT_EQ(std::count(record.begin(), record.end(), L"host OnInPlaceActivate"), 0) << c.site;
        } else {
            EXPECT_EQ(record, Lines{}) << c.site;
        }
        host.DestroyWindow();
        EXPECT_EQ(m_live(), 0) << c.site;
        EXPECT_EQ(CBrowserControlSite::LiveCount(), sitesBefore) << c.site;
        EXPECT_EQ(CEventSinkBase::LiveCount(), sinksBefore) << c.site;
        if (cookie) ::CoRevokeClassObject(cookie);
    }
}

// A game page that holds the focus itself hands Enter and Escape to the
// game's movie inside the page, which gets the key; F5 reloads the page.
std::vector<WPARAM> g_movieKeys;
LRESULT CALLBACK MovieProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_KEYDOWN) g_movieKeys.push_back(wp);
    return ::DefWindowProcW(h, msg, wp, lp);
}

TEST_F(StandInBrowser, AGamePageHandsEnterAndEscapeToTheMovieAndReloadsOnF5) {
    CLoopbackServer server([](const std::string&) {
        const std::string body = "<html><head><title>Game</title></head><body>game</body></html>";
        return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
    });
    const std::wstring page = L"http://127.0.0.1:" + std::to_wstring(server.Port()) + L"/game";
    WNDCLASSW wc{};
    wc.lpfnWndProc = MovieProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"MacromediaFlashPlayerActiveX";
    ::RegisterClassW(&wc);
    g_movieKeys.clear();

    // The host flags each page gets: the portal's game wrapper page flat
    // scroll bars, any other page no border and no scroll bars.
    const std::wstring wrapper = std::wstring(L"http://") + LUMENDOR_STATS_HOST_W + L"/webgame.htm?game=lmdr";
    for (const auto& [url, flags] : {std::pair{wrapper, L"0x00000080"}, std::pair{page, L"0x0000000C"}}) {
        CGameWnd probe(url);
        Take();
        ASSERT_TRUE(probe.Create(IDD_BLANK));
        const Lines made = Take();
        EXPECT_NE(std::find(made.begin(), made.end(), std::wstring(L"host GetHostInfo ") + flags), made.end()) << url;
        probe.DestroyWindow();
    }

    CGameWnd game(page);
    ASSERT_TRUE(game.Create(IDD_BLANK));
    ASSERT_FALSE(PumpUntil(L"event DocumentComplete " + page).empty());
    HWND view = ::GetDlgItem(game.m_hWnd, kBrowserControlId);
    for (const wchar_t* cls : {L"Shell DocObject View", L"Internet Explorer_Server"})
        view = view ? ::FindWindowExW(view, nullptr, cls, nullptr) : nullptr;
    ASSERT_TRUE(view);
    HWND movie = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 40, 30, view, nullptr,
                                   wc.hInstance, nullptr);
    ASSERT_TRUE(movie);
    ::ShowWindow(game.m_hWnd, SW_SHOW);
    HWND browser = ::GetDlgItem(game.m_hWnd, kBrowserControlId);
    for (const WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        // The focus on the page window itself (a dialog passes it on to its
        // first child that takes it: the control is held off meanwhile).
        ::EnableWindow(browser, FALSE);
        ::SetFocus(game.m_hWnd);
        ::EnableWindow(browser, TRUE);
        ASSERT_EQ(::GetFocus(), game.m_hWnd);
        MSG msg{game.m_hWnd, WM_KEYDOWN, key, 0x00010001, 0, {}};
        game.PreTranslateMessage(&msg);
        EXPECT_EQ(::GetFocus(), movie) << key;
    }
    EXPECT_EQ(g_movieKeys, (std::vector<WPARAM>{VK_RETURN, VK_ESCAPE}));
    Take();
    const std::size_t requests = server.Requests().size();
    MSG f5{movie, WM_KEYDOWN, VK_F5, 0x003F0001, 0, {}};
    game.PreTranslateMessage(&f5);
    const Lines reload = PumpUntil(L"event DownloadComplete", 5000);
    EXPECT_EQ(reload.empty() ? L"" : reload.front(), L"Refresh");
    EXPECT_GT(server.Requests().size(), requests);  // the page again, seen by the portal
    game.DestroyWindow();
    ::DestroyWindow(movie);
    ::UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

}  // namespace
