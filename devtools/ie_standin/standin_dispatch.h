// IDispatch for the stand-in's objects that hosts reach through their
// vtables only: no type information and no names to look up.
#pragma once
#include <windows.h>
#include <oaidl.h>

#define LM_VTABLE_ONLY_DISPATCH                                                                           \
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {                                                     \
        if (n) *n = 0;                                                                                    \
        return S_OK;                                                                                      \
    }                                                                                                     \
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }                      \
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; } \
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {  \
        return DISP_E_MEMBERNOTFOUND;                                                                     \
    }
