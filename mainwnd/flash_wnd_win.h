// A small ActiveX container of our own for one control in a top-level
// layered window (COleContainerWnd), and the Flash movie player built on it
// (CFlashWnd).
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <ole2.h>

#include "mainwnd/flash_ocx.h"

// Container objects alive in this process (each one counted from
// construction to destruction).
long OleContainerLiveCount();

// One object is the control's client site, its in-place site (with
// windowless support), its in-place frame and a stub storage, and counts its
// own references. The owner creates it with one reference and deletes it;
// deleting releases the control first. TObj is the control's own interface.
template <class TObj>
class COleContainerWnd : public IOleClientSite,
                         public IOleInPlaceSiteWindowless,
                         public IOleInPlaceFrame,
                         public IStorage {
public:
    COleContainerWnd();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** ppmk) override;
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override;
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // The container's own operations.
    // Creates the host window and the control in it; TRUE when the control
    // runs.
    virtual BOOL Create(REFCLSID clsid, DWORD dwExStyle, DWORD dwStyle, HWND hWndParent, HINSTANCE hInstance);
    // Paints the control: into hdcDraw, or (with none) into the window's
    // own context or, when transparent, through the layered window.
    virtual void Draw(HDC hdcDraw, const RECT* rcDraw);
    virtual void OnErrorClassNotReg() {}
    virtual BOOL OnBeforeShowingContent() { return TRUE; }
    virtual BOOL OnAfterShowingContent() { return TRUE; }
    virtual ~COleContainerWnd();

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                  LPRECT lprcClipRect, LPOLEINPLACEFRAMEINFO lpFrameInfo) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceSiteEx
    STDMETHODIMP OnInPlaceActivateEx(BOOL* pfNoRedraw, DWORD dwFlags) override;
    STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override { return S_FALSE; }
    STDMETHODIMP RequestUIActivate() override { return S_FALSE; }

    // IOleInPlaceSiteWindowless
    STDMETHODIMP CanWindowlessActivate() override { return S_OK; }
    STDMETHODIMP GetCapture() override { return S_FALSE; }
    STDMETHODIMP SetCapture(BOOL) override { return S_FALSE; }
    STDMETHODIMP GetFocus() override { return S_OK; }
    STDMETHODIMP SetFocus(BOOL) override { return S_OK; }
    STDMETHODIMP GetDC(LPCRECT, DWORD, HDC* phDC) override;
    STDMETHODIMP ReleaseDC(HDC) override { return S_FALSE; }
    STDMETHODIMP InvalidateRect(LPCRECT pRect, BOOL fErase) override;
    STDMETHODIMP InvalidateRgn(HRGN, BOOL) override { return S_OK; }
    STDMETHODIMP ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
    STDMETHODIMP AdjustRect(LPRECT) override { return S_FALSE; }
    STDMETHODIMP OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT* plResult) override;

    // IOleInPlaceUIWindow / IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return E_NOTIMPL; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return E_NOTIMPL; }

    // IStorage: a stub; the control may only set its class.
    STDMETHODIMP CreateStream(LPCOLESTR, DWORD, DWORD, DWORD, IStream** ppstm) override;
    STDMETHODIMP OpenStream(LPCOLESTR, void*, DWORD, DWORD, IStream** ppstm) override;
    STDMETHODIMP CreateStorage(LPCOLESTR, DWORD, DWORD, DWORD, IStorage** ppstg) override;
    STDMETHODIMP OpenStorage(LPCOLESTR, IStorage*, DWORD, SNB, DWORD, IStorage** ppstg) override;
    STDMETHODIMP CopyTo(DWORD, const IID*, SNB, IStorage*) override { return E_NOTIMPL; }
    STDMETHODIMP MoveElementTo(LPCOLESTR, IStorage*, LPCOLESTR, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP EnumElements(DWORD, void*, DWORD, IEnumSTATSTG** ppenum) override;
    STDMETHODIMP DestroyElement(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP RenameElement(LPCOLESTR, LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP SetElementTimes(LPCOLESTR, const FILETIME*, const FILETIME*, const FILETIME*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP SetClass(REFCLSID) override { return S_OK; }
    STDMETHODIMP SetStateBits(DWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }

    HWND GetHWND() const { return m_hWnd; }
    TObj* GetControl() const { return m_lpControl; }
    bool IsTransparent() const { return m_bTransparent; }
    bool IsFlash8() const { return m_bFlash8; }
    // The picture last handed to the layered window (32-bit B, G, R, A,
    // top-down), with its size; null before the first transparent paint.
    const BYTE* PaintBits(SIZE* size) const;

protected:
    // Releases the control and everything taken from it; the container stays
    // usable as a site. Safe to call more than once.
    void ReleaseControl();

    static LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    bool MakeBuffers(int cx, int cy);
    void FreeBuffers();

    CLSID m_clsid{};
    DWORD m_dwExStyle = 0;
    DWORD m_dwStyle = 0;
    RECT m_rcWindow{};
    HWND m_hWndParent = nullptr;
    HINSTANCE m_hInstance = nullptr;

    TObj* m_lpControl = nullptr;
    IOleObject* m_lpO = nullptr;
    IViewObject* m_lpViewObject = nullptr;        // always set when a control runs
    IViewObjectEx* m_lpViewObjectEx = nullptr;    // when the control has it
    IOleInPlaceObject* m_lpInPlaceObj = nullptr;  // always set when a control runs
    IOleInPlaceObjectWindowless* m_lpInPlaceObjWindowless = nullptr;

    IConnectionPoint* m_lpConCont = nullptr;
    DWORD m_dwConCookie = 0;

    HWND m_hWnd = nullptr;

    bool m_bChild = false;
    bool m_bTransparent = false;
    bool m_bFlash8 = false;

    HDC m_hdcBack = nullptr;
    HBITMAP m_bmpBack = nullptr;
    BYTE* m_lpBitsOnly = nullptr;
    HDC m_hdcBack8 = nullptr;  // Flash 8 only: the same drawn over white
    HBITMAP m_bmpBack8 = nullptr;
    BYTE* m_lpBitsOnly8 = nullptr;
    RECT m_rcBuffers{};
    int m_iBPP = 0;

private:
    HGDIOBJ m_oldBack = nullptr;
    HGDIOBJ m_oldBack8 = nullptr;
    LONG m_cRef = 1;
};

// The Flash movie player: a container for the Shockwave Flash control that
// plays m_szMovie. The control's events are taken and ignored.
class CFlashWnd : public COleContainerWnd<IShockwaveFlash> {
public:
    CFlashWnd();
    ~CFlashWnd() override;

    BOOL OnBeforeShowingContent() override;
    BOOL OnAfterShowingContent() override;

    wchar_t m_szMovie[MAX_PATH] = {};

private:
    IDispatch* m_pEvents = nullptr;
};
