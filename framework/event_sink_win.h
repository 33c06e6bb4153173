// The plumbing of a dispatch-only event sink: reference counting, the
// interfaces it answers (IUnknown, IDispatch and one event interface) and no
// type information. A sink derives from it and handles Invoke.
#pragma once
#include <windows.h>
#include <oaidl.h>

class CEventSinkBase : public IDispatch {
public:
    explicit CEventSinkBase(REFIID events) : m_events(events) { ::InterlockedIncrement(&LiveSinks()); }
    CEventSinkBase(const CEventSinkBase&) = delete;
    CEventSinkBase& operator=(const CEventSinkBase&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == m_events) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_cRef)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG r = ::InterlockedDecrement(&m_cRef);
        if (r == 0) delete this;
        return static_cast<ULONG>(r);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo) *pctinfo = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** pp) override {
        if (pp) *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

    // Sinks not yet destroyed, process-wide: a leaked connection shows here.
    static long LiveCount() { return LiveSinks(); }

protected:
    virtual ~CEventSinkBase() { ::InterlockedDecrement(&LiveSinks()); }

private:
    static LONG& LiveSinks() {
        static LONG live = 0;
        return live;
    }
    LONG m_cRef = 1;
    IID m_events;
};
