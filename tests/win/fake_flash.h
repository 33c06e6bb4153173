// A stand-in for the Shockwave Flash control, registered in this process
// under a class id of its own: it logs what its container asks of it,
// activates windowless through the container's site, and paints three
// columns (opaque red, half red, nothing) into whatever it is given.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <ole2.h>
#include <olectl.h>

#include <cstring>
#include <string>
#include <vector>

#include "mainwnd/flash_ocx.h"

// {6B1C3E52-7A09-4D6E-9C1B-5A0F3D2E8B41}
inline constexpr CLSID kFakeFlashClsid = {0x6B1C3E52, 0x7A09, 0x4D6E, {0x9C, 0x1B, 0x5A, 0x0F, 0x3D, 0x2E, 0x8B, 0x41}};

struct FakeFlashOptions {
    long version = 0x000A0000;
    bool viewObjectEx = true;
    bool viewObject = true;
    bool windowless = true;
    bool connectionPoints = true;
    HRESULT createResult = S_OK;  // what the class factory answers
};

struct FakeFlashRecord {
    std::vector<std::wstring> calls;
    std::vector<UINT> messages;          // seen by OnWindowMessage
    std::vector<DWORD> drawAspects;
    RECT objectRects{};                  // last SetObjectRects position
    RECT hitBounds{};
    LONG hitTolerance = -1;
    HRESULT canWindowless = E_FAIL;
    BOOL noRedraw = TRUE;
    RECT contextPos{};
    HWND contextFrameWindow = nullptr;
    bool eventsAnswerTheirInterface = false;
};

inline FakeFlashOptions g_fakeOptions;
inline FakeFlashRecord g_fake;
inline volatile LONG g_fakeLive = 0;

class CFakeFlash final : public IOleObject,
                         public IViewObjectEx,
                         public IOleInPlaceObjectWindowless,
                         public IShockwaveFlash,
                         public IConnectionPointContainer,
                         public IConnectionPoint,
                         public IPersistStorage {
public:
    CFakeFlash() { InterlockedIncrement(&g_fakeLive); }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        const FakeFlashOptions& o = g_fakeOptions;
        if (riid == IID_IUnknown || riid == IID_IOleObject) *ppv = static_cast<IOleObject*>(this);
        else if (riid == IID_IViewObjectEx && o.viewObjectEx) *ppv = static_cast<IViewObjectEx*>(this);
        else if ((riid == IID_IViewObject || riid == IID_IViewObject2) && (o.viewObject || o.viewObjectEx))
            *ppv = static_cast<IViewObjectEx*>(this);
        else if (riid == IID_IOleInPlaceObjectWindowless && o.windowless)
            *ppv = static_cast<IOleInPlaceObjectWindowless*>(this);
        else if (riid == IID_IOleInPlaceObject || riid == IID_IOleWindow)
            *ppv = static_cast<IOleInPlaceObjectWindowless*>(this);
        else if (riid == IID_IShockwaveFlash || riid == IID_IDispatch) *ppv = static_cast<IShockwaveFlash*>(this);
        else if (riid == IID_IConnectionPointContainer && o.connectionPoints)
            *ppv = static_cast<IConnectionPointContainer*>(this);
        else if (riid == IID_IPersistStorage || riid == IID_IPersist)
            *ppv = static_cast<IPersistStorage*>(this);
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG r = InterlockedDecrement(&m_cRef);
        if (r == 0) delete this;
        return static_cast<ULONG>(r);
    }

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override {
        Log(site ? L"SetClientSite" : L"SetClientSite(null)");
        if (site) site->AddRef();
        if (m_site) m_site->Release();
        m_site = site;
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** pp) override {
        if (pp) *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP Close(DWORD) override {
        Log(L"Close");
        DropInPlaceSite();
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT) override {
        Log(L"DoVerb(" + std::to_wstring(verb) + L")");
        if (!site || m_ipSite) return S_OK;
        // Windowless activation through the site, as the real control does.
        if (FAILED(site->QueryInterface(IID_IOleInPlaceSiteWindowless, reinterpret_cast<void**>(&m_ipSite))))
            return E_FAIL;
        g_fake.canWindowless = m_ipSite->CanWindowlessActivate();
        BOOL noRedraw = TRUE;
        m_ipSite->OnInPlaceActivateEx(&noRedraw, ACTIVATE_WINDOWLESS);
        g_fake.noRedraw = noRedraw;
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* doc = nullptr;
        RECT pos{}, clip{};
        OLEINPLACEFRAMEINFO info{};
        info.cb = sizeof info;
        m_ipSite->GetWindowContext(&frame, &doc, &pos, &clip, &info);
        g_fake.contextPos = pos;
        g_fake.contextFrameWindow = info.hwndFrame;
        if (frame) frame->Release();
        if (doc) doc->Release();
        m_ipSite->InvalidateRect(nullptr, FALSE);  // first picture
        return S_OK;
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return E_NOTIMPL; }
    STDMETHODIMP IsUpToDate() override { return E_NOTIMPL; }
    STDMETHODIMP GetUserClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD cookie) override {
        // IConnectionPoint::Unadvise (the same slot name as IOleObject's).
        if (cookie != kCookie || !m_sink) return CONNECT_E_NOCONNECTION;
        Log(L"Unadvise");
        m_sink->Release();
        m_sink = nullptr;
        return S_OK;
    }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override {
        if (status) *status = 0;
        return S_OK;
    }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IViewObjectEx
    STDMETHODIMP Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC hdcDraw, LPCRECTL bounds, LPCRECTL,
                      BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override {
        g_fake.drawAspects.push_back(aspect);
        Log(L"Draw(" + std::to_wstring(aspect) + L")");
        PaintColumns(hdcDraw, bounds);
        return S_OK;
    }
    STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override { return E_NOTIMPL; }
    STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unfreeze(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SetAdvise(DWORD, DWORD, IAdviseSink*) override { return E_NOTIMPL; }
    STDMETHODIMP GetAdvise(DWORD*, DWORD*, IAdviseSink**) override { return E_NOTIMPL; }
    STDMETHODIMP GetExtent(DWORD, LONG, DVTARGETDEVICE*, LPSIZEL) override { return E_NOTIMPL; }
    STDMETHODIMP GetRect(DWORD, LPRECTL) override { return E_NOTIMPL; }
    STDMETHODIMP GetViewStatus(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryHitPoint(DWORD, LPCRECT bounds, POINT pt, LONG closeHint, DWORD* hit) override {
        g_fake.hitBounds = bounds ? *bounds : RECT{};
        g_fake.hitTolerance = closeHint;
        // The left half of the picture is content.
        *hit = bounds && pt.x < (bounds->left + bounds->right) / 2 ? HITRESULT_HIT : HITRESULT_OUTSIDE;
        return S_OK;
    }
    STDMETHODIMP QueryHitRect(DWORD, LPCRECT, LPCRECT, LONG, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetNaturalExtent(DWORD, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO*, LPSIZEL) override {
        return E_NOTIMPL;
    }

    // IOleInPlaceObjectWindowless
    STDMETHODIMP GetWindow(HWND* phwnd) override {
        if (phwnd) *phwnd = nullptr;
        return E_FAIL;  // windowless
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override {
        Log(L"InPlaceDeactivate");
        DropInPlaceSite();
        return S_OK;
    }
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT) override {
        if (pos) g_fake.objectRects = *pos;
        return S_OK;
    }
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnWindowMessage(UINT msg, WPARAM, LPARAM, LRESULT* result) override {
        g_fake.messages.push_back(msg);
        if (msg != WM_MOUSEMOVE) return S_FALSE;
        *result = 42;
        return S_OK;
    }
    STDMETHODIMP GetDropTarget(IDropTarget** pp) override {
        if (pp) *pp = nullptr;
        return E_NOTIMPL;
    }

    // IShockwaveFlash (IDispatch first)
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
#define FAKE_NOTIMPL(name, ...) \
    STDMETHODIMP name(__VA_ARGS__) override { return E_NOTIMPL; }
    FAKE_NOTIMPL(get_ReadyState, long*)
    FAKE_NOTIMPL(get_TotalFrames, long*)
    FAKE_NOTIMPL(get_Playing, VARIANT_BOOL*)
    FAKE_NOTIMPL(put_Playing, VARIANT_BOOL)
    FAKE_NOTIMPL(get_Quality, int*)
    FAKE_NOTIMPL(put_Quality, int)
    FAKE_NOTIMPL(get_ScaleMode, int*)
    FAKE_NOTIMPL(put_ScaleMode, int)
    FAKE_NOTIMPL(get_AlignMode, int*)
    FAKE_NOTIMPL(put_AlignMode, int)
    FAKE_NOTIMPL(get_BackgroundColor, long*)
    FAKE_NOTIMPL(get_Loop, VARIANT_BOOL*)
    FAKE_NOTIMPL(put_Loop, VARIANT_BOOL)
    FAKE_NOTIMPL(get_Movie, BSTR*)
    FAKE_NOTIMPL(put_Movie, BSTR)
    FAKE_NOTIMPL(get_FrameNum, long*)
    FAKE_NOTIMPL(put_FrameNum, long)
    FAKE_NOTIMPL(SetZoomRect, long, long, long, long)
    FAKE_NOTIMPL(Zoom, int)
    FAKE_NOTIMPL(Pan, long, long, int)
    FAKE_NOTIMPL(Stop)
    FAKE_NOTIMPL(Back)
    FAKE_NOTIMPL(Forward)
    FAKE_NOTIMPL(Rewind)
    FAKE_NOTIMPL(StopPlay)
    FAKE_NOTIMPL(GotoFrame, long)
    FAKE_NOTIMPL(CurrentFrame, long*)
    FAKE_NOTIMPL(IsPlaying, VARIANT_BOOL*)
    FAKE_NOTIMPL(PercentLoaded, long*)
    FAKE_NOTIMPL(FrameLoaded, long, VARIANT_BOOL*)
    FAKE_NOTIMPL(get_WMode, BSTR*)
    FAKE_NOTIMPL(get_SAlign, BSTR*)
    FAKE_NOTIMPL(put_SAlign, BSTR)
    FAKE_NOTIMPL(get_Menu, VARIANT_BOOL*)
    FAKE_NOTIMPL(put_Menu, VARIANT_BOOL)
    FAKE_NOTIMPL(get_Base, BSTR*)
    FAKE_NOTIMPL(put_Base, BSTR)
    FAKE_NOTIMPL(get_Scale, BSTR*)
    FAKE_NOTIMPL(get_DeviceFont, VARIANT_BOOL*)
    FAKE_NOTIMPL(put_DeviceFont, VARIANT_BOOL)
    FAKE_NOTIMPL(get_EmbedMovie, VARIANT_BOOL*)
    FAKE_NOTIMPL(get_BGColor, BSTR*)
    FAKE_NOTIMPL(put_BGColor, BSTR)
    FAKE_NOTIMPL(get_Quality2, BSTR*)
    FAKE_NOTIMPL(put_Quality2, BSTR)
#undef FAKE_NOTIMPL
    STDMETHODIMP FlashVersion(long* version) override {
        *version = g_fakeOptions.version;
        Log(L"FlashVersion");
        return S_OK;
    }
    STDMETHODIMP put_BackgroundColor(long colour) override {
        Log(L"BackgroundColor=" + std::to_wstring(colour));
        return S_OK;
    }
    STDMETHODIMP put_WMode(BSTR mode) override {
        Log(L"WMode=" + std::wstring(mode ? mode : L""));
        return S_OK;
    }
    STDMETHODIMP put_Scale(BSTR scale) override {
        Log(L"Scale=" + std::wstring(scale ? scale : L""));
        return S_OK;
    }
    STDMETHODIMP put_EmbedMovie(VARIANT_BOOL embed) override {
        Log(L"EmbedMovie=" + std::to_wstring(embed));
        return S_OK;
    }
    STDMETHODIMP LoadMovie(int layer, BSTR url) override {
        Log(L"LoadMovie(" + std::to_wstring(layer) + L"," + std::wstring(url ? url : L"") + L")");
        return S_OK;
    }
    STDMETHODIMP Play() override {
        Log(L"Play");
        return S_OK;
    }

    // IConnectionPointContainer / IConnectionPoint
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** pp) override {
        *pp = nullptr;
        if (riid != DIID_ShockwaveFlashEvents) return CONNECT_E_NOCONNECTION;
        *pp = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP GetConnectionInterface(IID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
        Log(L"Advise");
        IDispatch* events = nullptr;
        if (!sink || FAILED(sink->QueryInterface(DIID_ShockwaveFlashEvents, reinterpret_cast<void**>(&events))))
            return CONNECT_E_CANNOTCONNECT;
        g_fake.eventsAnswerTheirInterface = true;
        if (m_sink) m_sink->Release();
        m_sink = events;
        *cookie = kCookie;
        return S_OK;
    }
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    // IPersistStorage: a new control in the container's storage.
    STDMETHODIMP GetClassID(CLSID* clsid) override {
        *clsid = kFakeFlashClsid;
        return S_OK;
    }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP InitNew(IStorage*) override { return S_OK; }
    STDMETHODIMP Load(IStorage*) override { return E_NOTIMPL; }
    STDMETHODIMP Save(IStorage*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP SaveCompleted(IStorage*) override { return E_NOTIMPL; }
    STDMETHODIMP HandsOffStorage() override { return E_NOTIMPL; }

private:
    static constexpr DWORD kCookie = 7;

    ~CFakeFlash() {
        DropInPlaceSite();
        if (m_site) m_site->Release();
        if (m_sink) m_sink->Release();
        InterlockedDecrement(&g_fakeLive);
    }
    static void Log(const std::wstring& what) { g_fake.calls.push_back(what); }
    void DropInPlaceSite() {
        if (m_ipSite) m_ipSite->Release();
        m_ipSite = nullptr;
    }

    // Columns of a 32-bit picture: the first third opaque red, the second
    // red at one half over what is there, the last third untouched. A
    // version 8 control writes no alpha.
    static void PaintColumns(HDC dc, LPCRECTL bounds) {
        DIBSECTION dib{};
        HGDIOBJ bmp = ::GetCurrentObject(dc, OBJ_BITMAP);
        if (!bounds || !bmp || ::GetObjectW(bmp, sizeof dib, &dib) != sizeof dib || dib.dsBm.bmBitsPixel != 32 ||
            !dib.dsBm.bmBits)
            return;  // not one of the host's buffers: nothing to check there
        ::GdiFlush();
        const bool flash8 = ((g_fakeOptions.version >> 16) & 0xFF) == 8;
        const int w = dib.dsBm.bmWidth, h = dib.dsBm.bmHeight;
        auto* bits = static_cast<BYTE*>(dib.dsBm.bmBits);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                BYTE* p = bits + (static_cast<std::size_t>(y) * w + x) * 4;
                if (x < w / 3) {
                    p[0] = 0, p[1] = 0, p[2] = 255, p[3] = flash8 ? 0 : 255;
                } else if (x < 2 * w / 3) {
                    p[0] = static_cast<BYTE>(p[0] / 2), p[1] = static_cast<BYTE>(p[1] / 2),
                    p[2] = static_cast<BYTE>((p[2] + 255) / 2), p[3] = flash8 ? 0 : static_cast<BYTE>(p[3] / 2 + 128);
                }
            }
        }
    }

    LONG m_cRef = 1;
    IOleClientSite* m_site = nullptr;
    IOleInPlaceSiteWindowless* m_ipSite = nullptr;
    IDispatch* m_sink = nullptr;
};

class CFakeFlashFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // a static object
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (FAILED(g_fakeOptions.createResult)) return g_fakeOptions.createResult;
        auto* fake = new CFakeFlash;
        const HRESULT hr = fake->QueryInterface(riid, ppv);
        fake->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};
