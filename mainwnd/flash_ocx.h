// The Shockwave Flash ActiveX control as the Flash host uses it: its class,
// its dual interface (the methods up to LoadMovie, in the control's own
// order; the later ones are not called here) and its event interface.
#pragma once
#include <ole2.h>
#include <oaidl.h>

// {D27CDB6E-AE6D-11CF-96B8-444553540000}
inline constexpr CLSID CLSID_ShockwaveFlash = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6C-AE6D-11CF-96B8-444553540000}
inline constexpr IID IID_IShockwaveFlash = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6D-AE6D-11CF-96B8-444553540000}: _IShockwaveFlashEvents
inline constexpr IID DIID_ShockwaveFlashEvents = {0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

struct IShockwaveFlash : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_ReadyState(long* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_TotalFrames(long* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Playing(VARIANT_BOOL* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Playing(VARIANT_BOOL val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Quality(int* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Quality(int val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ScaleMode(int* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ScaleMode(int val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AlignMode(int* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AlignMode(int val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BackgroundColor(long* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_BackgroundColor(long val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Loop(VARIANT_BOOL* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Loop(VARIANT_BOOL val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Movie(BSTR* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Movie(BSTR val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FrameNum(long* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_FrameNum(long val) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetZoomRect(long left, long top, long right, long bottom) = 0;
    virtual HRESULT STDMETHODCALLTYPE Zoom(int factor) = 0;
    virtual HRESULT STDMETHODCALLTYPE Pan(long x, long y, int mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE Play() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Back() = 0;
    virtual HRESULT STDMETHODCALLTYPE Forward() = 0;
    virtual HRESULT STDMETHODCALLTYPE Rewind() = 0;
    virtual HRESULT STDMETHODCALLTYPE StopPlay() = 0;
    virtual HRESULT STDMETHODCALLTYPE GotoFrame(long frame) = 0;
    virtual HRESULT STDMETHODCALLTYPE CurrentFrame(long* frame) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsPlaying(VARIANT_BOOL* playing) = 0;
    virtual HRESULT STDMETHODCALLTYPE PercentLoaded(long* percent) = 0;
    virtual HRESULT STDMETHODCALLTYPE FrameLoaded(long frame, VARIANT_BOOL* loaded) = 0;
    virtual HRESULT STDMETHODCALLTYPE FlashVersion(long* version) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_WMode(BSTR* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_WMode(BSTR val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SAlign(BSTR* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_SAlign(BSTR val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Menu(VARIANT_BOOL* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Menu(VARIANT_BOOL val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Base(BSTR* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Base(BSTR val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Scale(BSTR* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Scale(BSTR val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DeviceFont(VARIANT_BOOL* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DeviceFont(VARIANT_BOOL val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_EmbedMovie(VARIANT_BOOL* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_EmbedMovie(VARIANT_BOOL val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BGColor(BSTR* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_BGColor(BSTR val) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Quality2(BSTR* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Quality2(BSTR val) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadMovie(int layer, BSTR url) = 0;
};
__CRT_UUID_DECL(IShockwaveFlash, 0xD27CDB6C, 0xAE6D, 0x11CF, 0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00)
