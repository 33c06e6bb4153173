// The start-up benchmark's true floor: the least a program must do to show
// what the client's login window shows. A dialog of the login window's size
// (1208 x 668) creates the system's browser control, activates it in place
// with the smallest site the control accepts, navigates it to the address on
// the command line and is shown. No skin, no counters, no network check.
#include <windows.h>
#include <exdisp.h>
#include <ole2.h>

namespace {

// One object is the control's client site, its in-place site and its frame.
// IOleInPlaceSite and IOleInPlaceFrame both derive from IOleWindow: one
// GetWindow and one ContextSensitiveHelp serve both.
class CSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    explicit CSite(HWND hwnd) : m_hwnd(hwnd) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) *out = static_cast<IOleInPlaceSite*>(this);
        else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
            *out = static_cast<IOleInPlaceFrame*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --m_refs;
        if (!left) delete this;
        return left;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* out) override {
        *out = m_hwnd;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        AddRef();
        *frame = this;
        *doc = nullptr;
        ::GetClientRect(m_hwnd, pos);
        *clip = *pos;
        info->fMDIApp = FALSE;
        info->hwndFrame = m_hwnd;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow, IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    ~CSite() = default;
    HWND m_hwnd;
    ULONG m_refs = 1;
};

const wchar_t* g_url = L"about:blank";
IOleObject* g_browser = nullptr;

void ShowBrowser(HWND hwnd) {
    // The login window's size, centred as the client centres it.
    const int w = 1208, h = 668;
    ::SetWindowPos(hwnd, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - w) / 2, (::GetSystemMetrics(SM_CYSCREEN) - h) / 2,
                   w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowTextW(hwnd, L"Browser");
    if (FAILED(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  reinterpret_cast<void**>(&g_browser))))
        return;
    auto* site = new CSite(hwnd);
    g_browser->SetClientSite(site);
    RECT client{};
    ::GetClientRect(hwnd, &client);
    IWebBrowser2* web = nullptr;
    if (SUCCEEDED(g_browser->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, hwnd, &client)) &&
        SUCCEEDED(g_browser->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&web)))) {
        BSTR address = ::SysAllocString(g_url);
        VARIANT empty;
        ::VariantInit(&empty);
        web->Navigate(address, &empty, &empty, &empty, &empty);
        ::SysFreeString(address);
        web->Release();
    }
    site->Release();
}

void CloseBrowser() {
    if (!g_browser) return;
    g_browser->Close(OLECLOSE_NOSAVE);
    g_browser->SetClientSite(nullptr);
    g_browser->Release();
    g_browser = nullptr;
}

INT_PTR CALLBACK BrowserProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        ShowBrowser(hwnd);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL) return FALSE;
        [[fallthrough]];
    case WM_CLOSE:
        CloseBrowser();
        ::EndDialog(hwnd, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR cmdLine, int) {
    // The address, quoted or not.
    if (cmdLine && *cmdLine == L'"') {
        ++cmdLine;
        if (wchar_t* end = wcschr(cmdLine, L'"')) *end = 0;
    }
    if (cmdLine && *cmdLine) g_url = cmdLine;
    ::OleInitialize(nullptr);
    const INT_PTR r = ::DialogBoxParamW(instance, MAKEINTRESOURCEW(102), nullptr, &BrowserProc, 0);
    ::OleUninitialize();
    return static_cast<int>(r);
}
