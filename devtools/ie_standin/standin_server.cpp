// The stand-in browser control as an in-process COM server: the class
// factory for the WebBrowser class id, and the record export for tests in
// the same process. The test prefixes register this DLL under that class id;
// nothing in the client knows of it.
#include <windows.h>
#include <exdisp.h>

#include <new>

#include "standin_browser.h"
#include "standin_record.h"

namespace {

volatile LONG g_locks = 0;

class CFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // static object
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* browser = new (std::nothrow) CStandInBrowser;
        if (!browser) return E_OUTOFMEMORY;
        Record(L"created");
        const HRESULT hr = browser->QueryInterface(riid, ppv);
        browser->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) ::InterlockedIncrement(&g_locks);
        else ::InterlockedDecrement(&g_locks);
        return S_OK;
    }
};

CFactory g_factory;

}  // namespace

extern "C" {

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (clsid != CLSID_WebBrowser) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

// The window classes of the browser live in this DLL: it stays loaded.
HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

// Copies the record (lines ending in '\n') into `buffer`, cut to fit;
// returns the record's length in characters. Clears it when asked.
int WINAPI StandInRecord(wchar_t* buffer, int capacity, BOOL clear) {
    const std::wstring text = RecordText(clear != FALSE);
    if (buffer && capacity > 0) ::lstrcpynW(buffer, text.c_str(), capacity);
    return static_cast<int>(text.size());
}

long WINAPI StandInLiveCount() { return CStandInBrowser::LiveCount(); }

}  // extern "C"
