// The window layer of our small application framework: a window object bound
// to its handle, message maps, dialogs on .rc templates with our own modal
// loop, and control subclassing.
#pragma once
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

class CWnd;

// A handler in a message map. The signature tag tells how to call it.
using AFX_PMSG = void (CWnd::*)();

enum MsgSig : UINT {
    SigLwl = 1,   // LRESULT (WPARAM, LPARAM)
    SigVv = 2,    // void () : command handlers
};

struct MsgMapEntry {
    UINT nMessage;  // 0 ends the table
    UINT nCode;     // WM_COMMAND notification code
    UINT nID;       // first control id (WM_COMMAND), 0 for plain messages
    UINT nLastID;   // last control id of a range
    UINT nSig;
    AFX_PMSG pfn;
};

struct MsgMap {
    const MsgMap* (*pfnGetBaseMap)();
    const MsgMapEntry* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                  \
protected:                                     \
    static const MsgMap* GetThisMessageMap();  \
    const MsgMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                          \
    const MsgMap* theClass::GetMessageMap() const { return GetThisMessageMap(); }       \
    const MsgMap* theClass::GetThisMessageMap() {                                       \
        using ThisClass = theClass;                                                     \
        using TheBaseClass = baseClass;                                                 \
        static_assert(sizeof(ThisClass*) == sizeof(TheBaseClass*));                     \
        static const MsgMapEntry _entries[] = {
#define END_MESSAGE_MAP()                                                               \
            {0, 0, 0, 0, 0, nullptr}};                                                  \
        static const MsgMap _map = {&TheBaseClass::GetThisMessageMap, _entries};        \
        return &_map;                                                                   \
    }

// LRESULT Handler(WPARAM, LPARAM)
#define ON_MESSAGE(msg, fn)                                                             \
    {msg, 0, 0, 0, SigLwl,                                                              \
     reinterpret_cast<AFX_PMSG>(static_cast<LRESULT (CWnd::*)(WPARAM, LPARAM)>(         \
         static_cast<LRESULT (ThisClass::*)(WPARAM, LPARAM)>(&ThisClass::fn)))},
// void Handler()
#define ON_COMMAND(id, fn)                                                              \
    {WM_COMMAND, 0, static_cast<UINT>(id), static_cast<UINT>(id), SigVv,                \
     static_cast<AFX_PMSG>(static_cast<void (ThisClass::*)()>(&ThisClass::fn))},
#define ON_CONTROL(code, id, fn)                                                        \
    {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id), \
     SigVv, static_cast<AFX_PMSG>(static_cast<void (ThisClass::*)()>(&ThisClass::fn))},

class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The object bound to a handle by this framework, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);

    // Binds an existing window (a control from a template, say) to this
    // object and routes its messages through our message map first.
    bool SubclassWindow(HWND hWnd);
    bool SubclassDlgItem(UINT nID, CWnd* pParent);
    HWND UnsubclassWindow();

    virtual BOOL PreTranslateMessage(MSG* pMsg);
    BOOL DestroyWindow();

    // Creates a child control of a system class and binds it to this object.
    bool CreateControl(const wchar_t* className, const wchar_t* text, DWORD style, const RECT& rect, HWND parent,
                       UINT id, DWORD exStyle = 0);

    // Messages a parent passes back to the control they concern
    // (WM_DRAWITEM); true when handled.
    virtual bool OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    // The window procedure of bound windows.
    static LRESULT CALLBACK StdWndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

    // Parent for children, owner for top-level windows.
    static HWND ParentOrOwner(HWND hWnd);

protected:
    static const MsgMap* GetThisMessageMap();
    virtual const MsgMap* GetMessageMap() const;

    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // Looks the message up in the map chain; true when a handler ran.
    virtual bool OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // Called after WM_NCDESTROY, once the handle is gone.
    virtual void PostNcDestroy() {}
    // Called when a window is bound by SubclassWindow, before its procedure
    // is replaced.
    virtual void PreSubclassWindow() {}

    void Attach(HWND hWnd);
    HWND Detach();

    WNDPROC m_pfnSuper = nullptr;
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    // Runs the dialog modally in our own loop; returns the code given to
    // EndDialog, or -1 when the loop ended on WM_QUIT (which is posted again
    // so that outer loops end too).
    virtual INT_PTR DoModal();
    // Creates the dialog modeless.
    virtual BOOL Create(UINT nIDTemplate = 0, CWnd* pParentWnd = nullptr);
    void EndDialog(int nResult);

    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    BOOL PreTranslateMessage(MSG* pMsg) override;

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    HWND m_hWndOwner = nullptr;  // an owner that is not one of our objects
    bool m_bModal = false;
    bool m_bCenterOnInit = true;

protected:
    void OnOKCommand() { OnOK(); }
    void OnCancelCommand() { OnCancel(); }
    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK StaticDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND CreateFromTemplate(HWND hOwner);
    INT_PTR m_nModalResult = -1;
    bool m_bEndModal = false;
};

// Runs one message through PreTranslateMessage of every window of ours on the
// parent/owner chain of its target; true when one of them handled it.
bool WalkPreTranslate(MSG* pMsg);
