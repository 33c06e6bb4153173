// The Flash host and the desktop-icon splash under Wine, where the Flash
// control is not installed: creating it fails cleanly, the container answers
// its site calls, a stand-in control registered in this process goes through
// the whole life of a control (activation, events, painting, release), and
// the splash writes its movie, ends at once beside another splash, ends at
// its first tick without an icon, and follows a stand-in desktop's icon.
#include <gtest/gtest.h>

#include "test_util.h"

#include <commctrl.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fake_flash.h"
#include "install/desktop_icon_win.h"
#include "mainwnd/flash_bk_win.h"
#include "mainwnd/flash_logic.h"
#include "mainwnd/flash_wnd_win.h"
#include "res/resource.h"
#include "settings/settings_win.h"

namespace {

class CProbeContainer : public COleContainerWnd<IShockwaveFlash> {
public:
    int m_classNotReg = 0;
    int m_draws = 0;
    bool m_countOnly = false;  // count Draw calls without painting
    void OnErrorClassNotReg() override { ++m_classNotReg; }
    void Draw(HDC dc, const RECT* area) override {
        ++m_draws;
        if (!m_countOnly) COleContainerWnd::Draw(dc, area);
    }
    LONG Refs() {
        AddRef();
        return static_cast<LONG>(Release());
    }
    void DropControl() { ReleaseControl(); }
};

// The player with a look at its own reference count.
class CProbeFlash : public CFlashWnd {
public:
    LONG Refs() {
        AddRef();
        return static_cast<LONG>(Release());
    }
    void DropControl() { ReleaseControl(); }
};

std::wstring ClassOf(HWND h) {
    wchar_t name[64] = {};
    ::GetClassNameW(h, name, 64);
    return name;
}

std::wstring TitleOf(HWND h) {
    wchar_t text[64] = {};
    ::GetWindowTextW(h, text, 64);
    return text;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// A plain top-level window to own the host.
HWND MakeParent(int x, int y, int cx, int cy) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"FlashHostTestParent";
        ::RegisterClassW(&wc);
        registered = true;
    }
    return ::CreateWindowExW(0, L"FlashHostTestParent", L"", WS_POPUP | WS_VISIBLE, x, y, cx, cy, nullptr, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

class FlashHost : public ::testing::Test {
protected:
    void SetUp() override {
        ::OleInitialize(nullptr);
        g_fakeOptions = FakeFlashOptions{};
        g_fake = FakeFlashRecord{};
        static CFakeFlashFactory factory;
        ASSERT_EQ(::CoRegisterClassObject(kFakeFlashClsid, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                          &m_cookie),
                  S_OK);
        m_liveBefore = OleContainerLiveCount();
        m_parent = MakeParent(100, 120, 90, 30);
        ASSERT_NE(m_parent, nullptr);
    }
    void TearDown() override {
        ::DestroyWindow(m_parent);
        ::CoRevokeClassObject(m_cookie);
        EXPECT_EQ(OleContainerLiveCount(), m_liveBefore);
        EXPECT_EQ(g_fakeLive, 0);
        ::OleUninitialize();
    }
    DWORD m_cookie = 0;
    long m_liveBefore = 0;
    HWND m_parent = nullptr;
};

// ---------------------------------------------------------------------------
// The site as the control sees it

TEST_F(FlashHost, SiteAnswersItsInterfacesAsOneObject) {
    CProbeContainer site;
    IUnknown* self = nullptr;
    ASSERT_EQ(site.QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&self)), S_OK);
    const struct {
        const char* name;
        const IID* iid;
        bool answered;
    } cases[] = {
        {"IOleClientSite", &IID_IOleClientSite, true},
        {"IOleWindow", &IID_IOleWindow, true},
        {"IOleInPlaceSite", &IID_IOleInPlaceSite, true},
        {"IOleInPlaceSiteEx", &IID_IOleInPlaceSiteEx, true},
        {"IOleInPlaceSiteWindowless", &IID_IOleInPlaceSiteWindowless, true},
        {"IOleInPlaceUIWindow", &IID_IOleInPlaceUIWindow, true},
        {"IOleInPlaceFrame", &IID_IOleInPlaceFrame, true},
        {"IStorage", &IID_IStorage, true},
        {"IDispatch (no ambient properties)", &IID_IDispatch, false},
        {"IOleContainer", &IID_IOleContainer, false},
        {"IOleControlSite", &IID_IOleControlSite, false},
        {"IServiceProvider", &IID_IServiceProvider, false},
        {"IOleObject", &IID_IOleObject, false},
        {"IStream", &IID_IStream, false},
        {"the Flash events", &DIID_ShockwaveFlashEvents, false},
    };
    for (const auto& c : cases) {
        void* p = reinterpret_cast<void*>(1);
        const HRESULT hr = site.QueryInterface(*c.iid, &p);
        if (!c.answered) {
            EXPECT_EQ(hr, E_NOINTERFACE) << c.name;
            EXPECT_EQ(p, nullptr) << c.name;
            continue;
        }
        ASSERT_EQ(hr, S_OK) << c.name;
        IUnknown* back = nullptr;
        static_cast<IUnknown*>(p)->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back));
        EXPECT_EQ(back, self) << c.name << ": the same object";
        back->Release();
        static_cast<IUnknown*>(p)->Release();
    }
    self->Release();
    EXPECT_EQ(site.Refs(), 1);  // every reference handed out came back
    EXPECT_EQ(site.QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(FlashHost, SiteCallsAnswerAsTheHostPromises) {
    CProbeContainer site;
    site.m_countOnly = true;
    IOleClientSite* client = nullptr;
    IOleInPlaceSiteWindowless* inPlace = nullptr;
    IOleInPlaceFrame* frame = nullptr;
    IStorage* storage = nullptr;
    site.QueryInterface(IID_IOleClientSite, reinterpret_cast<void**>(&client));
    site.QueryInterface(IID_IOleInPlaceSiteWindowless, reinterpret_cast<void**>(&inPlace));
    site.QueryInterface(IID_IOleInPlaceFrame, reinterpret_cast<void**>(&frame));
    site.QueryInterface(IID_IStorage, reinterpret_cast<void**>(&storage));
    ASSERT_TRUE(client && inPlace && frame && storage);

    IOleContainer* container = reinterpret_cast<IOleContainer*>(1);
    HDC dc = reinterpret_cast<HDC>(1);
    IStream* stream = reinterpret_cast<IStream*>(1);
    LRESULT defResult = 5;
    RECT r{1, 2, 3, 4};
    const struct {
        const char* name;
        std::function<HRESULT()> call;
        HRESULT expected;
    } cases[] = {
        // client site
        {"GetContainer", [&] { return client->GetContainer(&container); }, E_NOINTERFACE},
        {"ShowObject", [&] { return client->ShowObject(); }, S_OK},
        {"SaveObject", [&] { return client->SaveObject(); }, E_NOTIMPL},
        {"OnShowWindow", [&] { return client->OnShowWindow(TRUE); }, E_NOTIMPL},
        {"RequestNewObjectLayout", [&] { return client->RequestNewObjectLayout(); }, E_NOTIMPL},
        // in-place site
        {"CanInPlaceActivate", [&] { return inPlace->CanInPlaceActivate(); }, S_OK},
        {"OnInPlaceActivate", [&] { return inPlace->OnInPlaceActivate(); }, S_OK},
        {"OnUIActivate", [&] { return inPlace->OnUIActivate(); }, S_OK},
        {"OnUIDeactivate", [&] { return inPlace->OnUIDeactivate(FALSE); }, S_OK},
        {"OnInPlaceDeactivate", [&] { return inPlace->OnInPlaceDeactivate(); }, S_OK},
        {"OnPosRectChange", [&] { return inPlace->OnPosRectChange(&r); }, S_OK},
        {"Scroll", [&] { return inPlace->Scroll(SIZE{1, 1}); }, E_NOTIMPL},
        {"DiscardUndoState", [&] { return inPlace->DiscardUndoState(); }, E_NOTIMPL},
        {"DeactivateAndUndo", [&] { return inPlace->DeactivateAndUndo(); }, E_NOTIMPL},
        {"ContextSensitiveHelp", [&] { return inPlace->ContextSensitiveHelp(TRUE); }, E_NOTIMPL},
        // extended in-place site
        {"OnInPlaceDeactivateEx", [&] { return inPlace->OnInPlaceDeactivateEx(TRUE); }, S_FALSE},
        {"RequestUIActivate", [&] { return inPlace->RequestUIActivate(); }, S_FALSE},
        // windowless site
        {"CanWindowlessActivate", [&] { return inPlace->CanWindowlessActivate(); }, S_OK},
        {"GetFocus", [&] { return inPlace->GetFocus(); }, S_OK},
        {"SetFocus", [&] { return inPlace->SetFocus(TRUE); }, S_OK},
        {"InvalidateRgn", [&] { return inPlace->InvalidateRgn(nullptr, TRUE); }, S_OK},
        {"GetCapture", [&] { return inPlace->GetCapture(); }, S_FALSE},
        {"SetCapture", [&] { return inPlace->SetCapture(TRUE); }, S_FALSE},
        {"GetDC", [&] { return inPlace->GetDC(&r, 0, &dc); }, S_FALSE},
        {"ReleaseDC", [&] { return inPlace->ReleaseDC(nullptr); }, S_FALSE},
        {"AdjustRect", [&] { return inPlace->AdjustRect(&r); }, S_FALSE},
        {"OnDefWindowMessage", [&] { return inPlace->OnDefWindowMessage(WM_MOUSEMOVE, 0, 0, &defResult); }, S_FALSE},
        {"ScrollRect", [&] { return inPlace->ScrollRect(1, 1, &r, &r); }, E_NOTIMPL},
        // frame
        {"SetActiveObject", [&] { return frame->SetActiveObject(nullptr, nullptr); }, S_OK},
        {"SetMenu", [&] { return frame->SetMenu(nullptr, nullptr, nullptr); }, S_OK},
        {"SetStatusText", [&] { return frame->SetStatusText(L"x"); }, S_OK},
        {"EnableModeless", [&] { return frame->EnableModeless(TRUE); }, S_OK},
        {"GetBorder", [&] { return frame->GetBorder(&r); }, E_NOTIMPL},
        {"InsertMenus", [&] { return frame->InsertMenus(nullptr, nullptr); }, E_NOTIMPL},
        {"RemoveMenus", [&] { return frame->RemoveMenus(nullptr); }, E_NOTIMPL},
        {"TranslateAccelerator", [&] { return frame->TranslateAccelerator(nullptr, 0); }, E_NOTIMPL},
        // storage
        {"SetClass", [&] { return storage->SetClass(CLSID_ShockwaveFlash); }, S_OK},
        {"CreateStream", [&] { return storage->CreateStream(L"s", 0, 0, 0, &stream); }, E_NOTIMPL},
        {"Commit", [&] { return storage->Commit(0); }, E_NOTIMPL},
        {"Stat", [&] { return storage->Stat(nullptr, 0); }, E_NOTIMPL},
    };
    for (const auto& c : cases) EXPECT_EQ(c.call(), c.expected) << c.name;
    // Out-parameters of refused calls are cleared.
    EXPECT_EQ(container, nullptr);
    EXPECT_EQ(dc, nullptr);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(defResult, 0);
    EXPECT_EQ(site.m_draws, 0);  // no call above paints

    BOOL noRedraw = TRUE;
    EXPECT_EQ(inPlace->OnInPlaceActivateEx(&noRedraw, ACTIVATE_WINDOWLESS), S_OK);
    EXPECT_FALSE(noRedraw);
    EXPECT_EQ(inPlace->InvalidateRect(&r, FALSE), S_OK);
    EXPECT_EQ(site.m_draws, 1);  // the site paints at once

    client->Release();
    inPlace->Release();
    frame->Release();
    storage->Release();
    EXPECT_EQ(site.Refs(), 1);
}

// ---------------------------------------------------------------------------
// Creating the control

TEST_F(FlashHost, MissingFlashFailsCleanlyAndLeavesAnEmptyLayeredHost) {
    auto* host = new CProbeContainer;
    EXPECT_FALSE(host->Create(CLSID_ShockwaveFlash, WS_EX_LAYERED, WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS, m_parent,
                              ::GetModuleHandleW(nullptr)));
    EXPECT_EQ(host->m_classNotReg, 1);
    EXPECT_EQ(host->GetControl(), nullptr);
    HWND h = host->GetHWND();
    ASSERT_TRUE(::IsWindow(h));
    EXPECT_EQ(ClassOf(h), L"FlashControl");
    EXPECT_EQ(TitleOf(h), L"FlashWindow");
    const LONG_PTR ex = ::GetWindowLongPtrW(h, GWL_EXSTYLE);
    EXPECT_EQ(ex & (WS_EX_LAYERED | WS_EX_TRANSPARENT), WS_EX_LAYERED | WS_EX_TRANSPARENT);
    EXPECT_EQ(::GetWindow(h, GW_OWNER), m_parent);
    RECT mine{}, parent{};
    ::GetWindowRect(h, &mine);
    ::GetWindowRect(m_parent, &parent);
    EXPECT_TRUE(SameRect(mine, parent));  // a pop-up takes its parent's window rectangle
    // Nothing to hit-test against and nothing to hand messages to.
    EXPECT_EQ(::SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(110, 130)), HTCLIENT);
    EXPECT_EQ(host->Refs(), 1);
    delete host;
    EXPECT_FALSE(::IsWindow(h));
}

TEST_F(FlashHost, ChildHostTakesTheParentsClientArea) {
    CProbeContainer host;
    ASSERT_FALSE(host.Create(CLSID_ShockwaveFlash, 0, WS_CHILD | WS_VISIBLE, m_parent, ::GetModuleHandleW(nullptr)));
    RECT r{};
    ::GetClientRect(host.GetHWND(), &r);
    EXPECT_EQ(r.right, 90);
    EXPECT_EQ(r.bottom, 30);
    EXPECT_EQ(::GetParent(host.GetHWND()), m_parent);
}

TEST_F(FlashHost, OtherCreationFailuresAreNotReportedAsUnregistered) {
    const struct {
        const char* name;
        FakeFlashOptions options;
        bool created;
    } cases[] = {
        {"the class refuses to make one", {.createResult = E_OUTOFMEMORY}, false},
        {"no view object", {.viewObjectEx = false, .viewObject = false}, false},
        {"a plain view object is enough", {.viewObjectEx = false}, true},
    };
    for (const auto& c : cases) {
        g_fakeOptions = c.options;
        g_fake = FakeFlashRecord{};
        auto* host = new CProbeContainer;
        host->m_countOnly = true;
        EXPECT_EQ(host->Create(kFakeFlashClsid, WS_EX_LAYERED, WS_POPUP | WS_VISIBLE, m_parent,
                               ::GetModuleHandleW(nullptr)) != FALSE,
                  c.created)
            << c.name;
        EXPECT_EQ(host->m_classNotReg, 0) << c.name;
        if (!c.created) {
            EXPECT_EQ(host->GetControl(), nullptr) << c.name;
            EXPECT_EQ(g_fakeLive, 0) << c.name << ": a control that is not shown is let go at once";
        }
        delete host;
        EXPECT_EQ(g_fakeLive, 0) << c.name;
    }
}

// The container alone does not connect the Flash events: that is the player's.
TEST_F(FlashHost, PlayerActivatesConnectsAndPlaysInOrder) {
    auto* player = new CProbeFlash;
    ::lstrcpynW(player->m_szMovie, L"C:\\game\\Logo.swf", MAX_PATH);
    ASSERT_TRUE(player->Create(kFakeFlashClsid, WS_EX_LAYERED, WS_POPUP | WS_VISIBLE, m_parent,
                               ::GetModuleHandleW(nullptr)));
    EXPECT_TRUE(player->IsTransparent());
    EXPECT_FALSE(player->IsFlash8());
    EXPECT_TRUE(g_fake.eventsAnswerTheirInterface);

    std::vector<std::wstring> expected = {
        L"SetClientSite",    L"FlashVersion",        L"Advise",         L"WMode=transparent",
        L"Scale=showAll",    L"BackgroundColor=0",   L"EmbedMovie=0",   L"DoVerb(-1)",
        L"Draw(32)",         L"EmbedMovie=-1",       L"LoadMovie(0,C:\\game\\Logo.swf)", L"Play",
    };
    EXPECT_EQ(g_fake.calls, expected);

    // The control activated windowless through the site, over the host.
    EXPECT_EQ(g_fake.canWindowless, S_OK);
    EXPECT_FALSE(g_fake.noRedraw);
    EXPECT_EQ(g_fake.contextFrameWindow, player->GetHWND());
    EXPECT_TRUE(SameRect(g_fake.contextPos, RECT{0, 0, 90, 30}));

    // Letting go: events off, deactivated, closed, site cleared, every
    // reference returned.
    g_fake.calls.clear();
    player->DropControl();
    expected = {L"Unadvise", L"InPlaceDeactivate", L"Close", L"SetClientSite(null)"};
    EXPECT_EQ(g_fake.calls, expected);
    EXPECT_EQ(g_fakeLive, 0);
    EXPECT_EQ(player->Refs(), 1);
    delete player;
}

TEST_F(FlashHost, PlayerWithoutItsEventConnectionIsNotShown) {
    g_fakeOptions.connectionPoints = false;
    auto* player = new CProbeFlash;
    EXPECT_FALSE(player->Create(kFakeFlashClsid, WS_EX_LAYERED, WS_POPUP | WS_VISIBLE, m_parent,
                                ::GetModuleHandleW(nullptr)));
    for (const auto& call : g_fake.calls) {
        EXPECT_NE(call.rfind(L"DoVerb", 0), 0u) << "activated all the same";
        EXPECT_NE(call.rfind(L"LoadMovie", 0), 0u);
    }
    EXPECT_EQ(g_fakeLive, 0);
    EXPECT_EQ(player->Refs(), 1);
    delete player;
}

TEST_F(FlashHost, OpaquePlayerPaintsTheContentAspectAndSetsNoWindowMode) {
    auto* player = new CProbeFlash;
    ASSERT_TRUE(player->Create(kFakeFlashClsid, 0, WS_POPUP | WS_VISIBLE, m_parent, ::GetModuleHandleW(nullptr)));
    EXPECT_FALSE(player->IsTransparent());
    for (const auto& call : g_fake.calls) EXPECT_NE(call.rfind(L"WMode", 0), 0u) << "no window mode when opaque";
    ASSERT_FALSE(g_fake.drawAspects.empty());
    EXPECT_EQ(g_fake.drawAspects.back(), static_cast<DWORD>(DVASPECT_CONTENT));

    // WM_PAINT paints the content too.
    const std::size_t before = g_fake.drawAspects.size();
    ::InvalidateRect(player->GetHWND(), nullptr, FALSE);
    ::UpdateWindow(player->GetHWND());
    ASSERT_GT(g_fake.drawAspects.size(), before);
    EXPECT_EQ(g_fake.drawAspects.back(), static_cast<DWORD>(DVASPECT_CONTENT));
    delete player;
}

TEST_F(FlashHost, LayeredWithoutWindowlessSupportIsNotTransparent) {
    g_fakeOptions.windowless = false;
    auto* player = new CProbeFlash;
    ASSERT_TRUE(player->Create(kFakeFlashClsid, WS_EX_LAYERED, WS_POPUP | WS_VISIBLE, m_parent,
                               ::GetModuleHandleW(nullptr)));
    EXPECT_FALSE(player->IsTransparent());
    for (const auto& call : g_fake.calls) EXPECT_NE(call.rfind(L"WMode", 0), 0u);
    delete player;
}

// Three columns of the picture: opaque, half, nothing. A version 8 control
// draws no alpha, so the host finds it from the picture over black and white;
// later versions give their own.
TEST_F(FlashHost, TransparentPaintingGivesEveryPixelItsAlpha) {
    const struct {
        const char* name;
        long version;
        bool flash8;
    } cases[] = {{"Flash 8", 0x00080000, true}, {"Flash 10", 0x000A0000, false}, {"Flash 9", 0x00090073, false}};
    for (const auto& c : cases) {
        g_fakeOptions.version = c.version;
        g_fake = FakeFlashRecord{};
        auto* player = new CProbeFlash;
        ASSERT_TRUE(player->Create(kFakeFlashClsid, WS_EX_LAYERED, WS_POPUP | WS_VISIBLE, m_parent,
                                   ::GetModuleHandleW(nullptr)))
            << c.name;
        EXPECT_EQ(player->IsFlash8(), c.flash8) << c.name;
        SIZE size{};
        const BYTE* bits = player->PaintBits(&size);
        ASSERT_NE(bits, nullptr) << c.name;
        ASSERT_EQ(size.cx, 90);
        ASSERT_EQ(size.cy, 30);
        const struct {
            int x;
            BYTE alpha;
            BYTE red;
        } columns[] = {{0, 255, 255}, {29, 255, 255}, {30, 128, 127}, {59, 128, 127}, {60, 0, 0}, {89, 0, 0}};
        for (int y : {0, 15, 29}) {
            for (const auto& col : columns) {
                const BYTE* p = bits + (static_cast<std::size_t>(y) * size.cx + col.x) * 4;
                EXPECT_EQ(p[3], col.alpha) << c.name << " x=" << col.x << " y=" << y;
                EXPECT_EQ(p[2], col.red) << c.name << " x=" << col.x << " y=" << y;
            }
        }
        // Every paint of the transparent host goes through the transparent aspect.
        for (DWORD aspect : g_fake.drawAspects) EXPECT_EQ(aspect, static_cast<DWORD>(DVASPECT_TRANSPARENT));
        EXPECT_EQ(g_fake.drawAspects.size(), c.flash8 ? 2u : 1u) << c.name;

        // A new size gets new buffers at the next invalidation.
        ::SetWindowPos(player->GetHWND(), nullptr, 0, 0, 45, 12, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        IOleInPlaceSiteWindowless* site = nullptr;
        player->QueryInterface(IID_IOleInPlaceSiteWindowless, reinterpret_cast<void**>(&site));
        site->InvalidateRect(nullptr, FALSE);
        site->Release();
        player->PaintBits(&size);
        EXPECT_EQ(size.cx, 45) << c.name;
        EXPECT_EQ(size.cy, 12) << c.name;
        delete player;
    }
}

// A screen of fewer than 32 bits per pixel: the movie drawn over a copy of
// what lies below and the window updated opaque.
auto g_realGetDeviceCaps = &::GetDeviceCaps;
auto g_realUpdateLayeredWindow = &::UpdateLayeredWindow;
std::vector<DWORD> g_layeredFlags;
int WINAPI SixteenBitCaps(HDC dc, int index) { return index == BITSPIXEL ? 16 : g_realGetDeviceCaps(dc, index); }
BOOL WINAPI RecordingUpdateLayeredWindow(HWND h, HDC dst, POINT* at, SIZE* size, HDC src, POINT* from, COLORREF key,
                                         BLENDFUNCTION* blend, DWORD flags) {
    g_layeredFlags.push_back(flags);
    return g_realUpdateLayeredWindow(h, dst, at, size, src, from, key, blend, flags);
}

TEST_F(FlashHost, OnASixteenBitScreenTheMovieIsShownOpaqueOverWhatLiesBelow) {
    g_layeredFlags.clear();
    ASSERT_EQ(Intercept(true, {Replacing(g_realGetDeviceCaps, &SixteenBitCaps),
                               Replacing(g_realUpdateLayeredWindow, &RecordingUpdateLayeredWindow)}),
              NO_ERROR);
    auto* player = new CProbeFlash;
    const bool created =
        player->Create(kFakeFlashClsid, WS_EX_LAYERED, WS_POPUP | WS_VISIBLE, m_parent, ::GetModuleHandleW(nullptr));
    SIZE size{};
    const BYTE* bits = created ? player->PaintBits(&size) : nullptr;
    const BYTE red = bits ? bits[2] : 0;
    delete player;
    ASSERT_EQ(Intercept(false, {Replacing(g_realGetDeviceCaps, &SixteenBitCaps),
                                Replacing(g_realUpdateLayeredWindow, &RecordingUpdateLayeredWindow)}),
              NO_ERROR);
    ASSERT_TRUE(created && bits);
    EXPECT_EQ(red, 255);  // the movie's own opaque pixel
    EXPECT_EQ(g_fake.drawAspects, std::vector<DWORD>{DVASPECT_TRANSPARENT});
    ASSERT_FALSE(g_layeredFlags.empty());
    for (DWORD flags : g_layeredFlags) EXPECT_EQ(flags, static_cast<DWORD>(ULW_OPAQUE));
}

TEST_F(FlashHost, HostWindowPassesSizeHitsAndInputToTheControl) {
    auto* player = new CProbeFlash;
    ASSERT_TRUE(player->Create(kFakeFlashClsid, WS_EX_LAYERED, WS_POPUP | WS_VISIBLE, m_parent,
                               ::GetModuleHandleW(nullptr)));
    HWND h = player->GetHWND();

    ::SetWindowPos(h, nullptr, 200, 300, 60, 20, SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(SameRect(g_fake.objectRects, RECT{0, 0, 60, 20}));

    const struct {
        int x, y;
        LRESULT hit;
    } hits[] = {{205, 305, HTCLIENT}, {229, 310, HTCLIENT}, {230, 310, HTTRANSPARENT}, {259, 319, HTTRANSPARENT}};
    for (const auto& c : hits) EXPECT_EQ(::SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(c.x, c.y)), c.hit) << c.x;
    EXPECT_TRUE(SameRect(g_fake.hitBounds, RECT{200, 300, 260, 320}));  // the window's screen rectangle
    EXPECT_EQ(g_fake.hitTolerance, 1);

    const struct {
        UINT msg;
        LRESULT result;
        bool seen;
    } input[] = {
        {WM_MOUSEMOVE, 42, true},  // handled by the control: its result
        {WM_KEYDOWN, 0, true},     // not handled: default processing
        {WM_SETCURSOR, 0, true},
        {WM_TIMER, 0, false},      // not the control's
        {WM_SYSKEYDOWN, 0, false},
    };
    for (const auto& c : input) {
        g_fake.messages.clear();
        EXPECT_EQ(::SendMessageW(h, c.msg, 0, 0), c.result) << c.msg;
        EXPECT_EQ(!g_fake.messages.empty(), c.seen) << c.msg;
    }
    delete player;
}

// ---------------------------------------------------------------------------
// The splash

std::vector<BYTE> ReadAll(const std::wstring& path) {
    std::vector<BYTE> data;
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return data;
    BYTE buf[4096];
    DWORD got = 0;
    while (::ReadFile(f, buf, sizeof buf, &got, nullptr) && got) data.insert(data.end(), buf, buf + got);
    ::CloseHandle(f);
    return data;
}

void WriteAll(const std::wstring& path, const std::string& text) {
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(f);
}

std::vector<BYTE> MovieResource() {
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC info = ::FindResourceW(self, MAKEINTRESOURCEW(IDR_LOGO_MOVIE), L"FLASH");
    if (!info) return {};
    const BYTE* data = static_cast<const BYTE*>(::LockResource(::LoadResource(self, info)));
    return std::vector<BYTE>(data, data + ::SizeofResource(self, info));
}

TEST(SplashMovie, WrittenFromTheResourceOrNotAtAll) {
    const std::vector<BYTE> movie = MovieResource();
    ASSERT_GT(movie.size(), 8u);
    EXPECT_EQ(std::string(movie.begin(), movie.begin() + 3), "FWS");  // an uncompressed movie
    const DWORD declared = movie[4] | movie[5] << 8 | movie[6] << 16 | static_cast<DWORD>(movie[7]) << 24;
    EXPECT_EQ(declared, movie.size());

    const std::wstring path = TempFilePath(L"movie");
    const std::string stale(movie.size() * 2, 'x');  // longer than the movie: must not survive
    const struct {
        const char* name;
        HMODULE module;
        bool written;
    } cases[] = {
        {"our own module", ::GetModuleHandleW(nullptr), true},
        {"a module without the movie", ::GetModuleHandleW(L"kernel32.dll"), false},
    };
    for (const auto& c : cases) {
        WriteAll(path, stale);
        EXPECT_EQ(WriteMovieFile(c.module, path.c_str()), c.written) << c.name;
        if (c.written)
            EXPECT_EQ(ReadAll(path), movie) << c.name;
        else
            EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << c.name << ": old file gone";
    }
    ::DeleteFileW(path.c_str());
}

// The stand-in desktop of tests/win/fake_desktop.cpp, answering in the item
// layout of a 64-bit desktop (this test runs under WOW64).
class FakeDesktop {
public:
    FakeDesktop() {
        const std::wstring exe = TestFolder() + L"fake_desktop.exe";
        std::wstring cmd = L"\"" + exe + L"\" /x64";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi))
            m_pi = PROCESS_INFORMATION{};
    }
    ~FakeDesktop() {
        if (!m_pi.hProcess) return;
        ::TerminateProcess(m_pi.hProcess, 0);
        ::WaitForSingleObject(m_pi.hProcess, 5000);
        ::CloseHandle(m_pi.hProcess);
        ::CloseHandle(m_pi.hThread);
    }
    bool WaitForIcon(RECT* rect) {
        for (int i = 0; i < 200 && m_pi.hProcess; ++i) {
            if (FindDesktopIconRect(rect, true)) return true;
            ::Sleep(25);
        }
        return false;
    }
    static HWND List() {
        HWND view = ::FindWindowExW(::FindWindowW(L"Progman", nullptr), nullptr, L"SHELLDLL_DefView", nullptr);
        return ::FindWindowExW(view, nullptr, L"SysListView32", nullptr);
    }
    PROCESS_INFORMATION m_pi{};
};

class Splash : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(IsWow64());
        m_liveBefore = OleContainerLiveCount();
    }
    void TearDown() override {
        ReleaseSplashMutexForTest();
        ::DeleteFileW((TestFolder() + L"Logo.swf").c_str());
        EXPECT_EQ(OleContainerLiveCount(), m_liveBefore);  // the player went with the splash
        EXPECT_EQ(::FindWindowW(L"FlashControl", L"FlashWindow"), nullptr);
    }
    long m_liveBefore = 0;
};

TEST_F(Splash, ConstructionReplacesLogoSwfBesideTheProgram) {
    const std::wstring path = TestFolder() + L"Logo.swf";
    WriteAll(path, std::string(5000, 'x'));
    CFlashBK splash;
    EXPECT_EQ(std::wstring(splash.m_szMovie), path);
    EXPECT_EQ(ReadAll(path), MovieResource());
}

TEST_F(Splash, EndsAtOnceWhenAnotherSplashHoldsTheMutex) {
    FakeDesktop desktop;
    RECT icon{};
    ASSERT_TRUE(desktop.WaitForIcon(&icon));  // it would have something to follow
    HANDLE other = ::CreateMutexW(nullptr, TRUE, kSplashMutexName);
    ASSERT_NE(other, nullptr);
    // Should the splash stay, the icon goes after a while and it ends all the same.
    HANDLE stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread guard([&] {
        if (::WaitForSingleObject(stop, 3000) == WAIT_TIMEOUT)
            ::SendMessageW(FakeDesktop::List(), LVM_DELETEITEM, 2, 0);
    });
    const DWORD start = ::GetTickCount();
    INT_PTR result = 0;
    int side = -1;
    {
        CFlashBK splash;
        result = splash.DoModal();
        side = splash.m_nSide;
        // The player and its host go with the window, not later.
        EXPECT_EQ(splash.m_pFlash, nullptr);
        EXPECT_EQ(OleContainerLiveCount(), m_liveBefore);
    }
    const DWORD elapsed = ::GetTickCount() - start;
    ::SetEvent(stop);
    guard.join();
    ::CloseHandle(stop);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(side, 0) << "it went over the icon: it ran its timer";
    EXPECT_LT(elapsed, 2000u);
    // Only the first splash keeps the mutex: once that one lets go, a new
    // splash may take it.
    ::ReleaseMutex(other);
    ::CloseHandle(other);
    HANDLE again = ::CreateMutexW(nullptr, TRUE, kSplashMutexName);
    EXPECT_NE(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ::CloseHandle(again);
}

TEST_F(Splash, WithoutTheIconEndsAtTheFirstTick) {
    RECT none{};
    ASSERT_FALSE(FindDesktopIconRect(&none, true));  // no desktop list view here
    const DWORD start = ::GetTickCount();
    INT_PTR result = 0;
    {
        CFlashBK splash;
        result = splash.DoModal();
        EXPECT_EQ(splash.m_nSide, 0);  // never placed
    }
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_GE(elapsed, 250u);
    EXPECT_LT(elapsed, 1500u);
    // This splash owns the mutex now: a second one ends at once.
    HANDLE second = ::CreateMutexW(nullptr, TRUE, kSplashMutexName);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ::CloseHandle(second);
}

TEST_F(Splash, FollowsTheIconAndEndsWhenItGoes) {
    FakeDesktop desktop;
    RECT icon{};
    ASSERT_TRUE(desktop.WaitForIcon(&icon));
    HWND list = FakeDesktop::List();
    ASSERT_NE(list, nullptr);
    const SplashPlace first = SplashPlacement(IconRect{icon.left, icon.top, icon.right, icon.bottom});
    ASSERT_GT(first.side, 0);

    CFlashBK splash;
    struct Seen {
        bool placed = false, hostFollowed = false, moved = false, atBottom = false;
        LONG_PTR exStyle = 0;
        SplashPlace second{};
        DWORD movedAfter = 0, removedAt = 0;
    } seen;
    auto placedAt = [&](const SplashPlace& p) {
        RECT r{};
        return splash.m_hWnd && ::GetWindowRect(splash.m_hWnd, &r) &&
               SameRect(r, RECT{p.x, p.y, p.x + p.side, p.y + p.side});
    };
    auto waitFor = [&](const std::function<bool()>& done, DWORD ms) {
        const DWORD end = ::GetTickCount() + ms;
        while (!done()) {
            if (static_cast<LONG>(end - ::GetTickCount()) <= 0) return false;
            ::Sleep(10);
        }
        return true;
    };
    std::thread watcher([&] {
        seen.placed = waitFor([&] { return placedAt(first); }, 3000);
        if (seen.placed) {
            HWND host = ::FindWindowW(L"FlashControl", L"FlashWindow");
            seen.hostFollowed = waitFor(
                [&] {
                    RECT h{}, s{};
                    return host && ::GetWindowRect(host, &h) && ::GetWindowRect(splash.m_hWnd, &s) && SameRect(h, s);
                },
                1000);
            seen.exStyle = ::GetWindowLongPtrW(splash.m_hWnd, GWL_EXSTYLE);
            // At the bottom of the z-order: the window manager here may raise
            // the window when it first maps it, but every tick lowers it again.
            seen.atBottom = waitFor([&] { return ::GetWindow(splash.m_hWnd, GW_HWNDNEXT) == nullptr; }, 1500);

            // Move the icon: the splash follows within a tick.
            ::SendMessageW(list, LVM_SETITEMPOSITION, 2, MAKELPARAM(300, 150));
            RECT moved{};
            FindDesktopIconRect(&moved, true);
            seen.second = SplashPlacement(IconRect{moved.left, moved.top, moved.right, moved.bottom});
            const DWORD t = ::GetTickCount();
            seen.moved = waitFor([&] { return placedAt(seen.second); }, 2000);
            seen.movedAfter = ::GetTickCount() - t;
        }
        // Take the icon away: the splash ends at its next tick.
        seen.removedAt = ::GetTickCount();
        ::SendMessageW(list, LVM_DELETEITEM, 2, 0);
    });
    const INT_PTR result = splash.DoModal();
    const DWORD endedAfter = ::GetTickCount() - seen.removedAt;
    watcher.join();

    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(seen.placed) << "not placed over the icon at " << first.x << "," << first.y << " side " << first.side;
    EXPECT_TRUE(seen.hostFollowed) << "the Flash host did not follow the splash";
    EXPECT_EQ(seen.exStyle & (WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_LAYERED | WS_EX_APPWINDOW),
              WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_LAYERED);
    EXPECT_TRUE(seen.atBottom) << "not at the bottom of the z-order";
    EXPECT_TRUE(seen.moved) << "did not follow the icon to " << seen.second.x << "," << seen.second.y;
    EXPECT_LT(seen.movedAfter, 700u);
    EXPECT_LT(endedAfter, 700u);  // one tick of 300 ms, with room for a slow machine
    EXPECT_EQ(splash.m_nSide, seen.second.side);
    EXPECT_EQ(splash.m_pFlash, nullptr);
}

}  // namespace
