// The settings dialog: the player presses the wanted boss key, window-switch
// key and sound key into three fields; OK stores them and tells every game
// window to reload its hotkeys.
#pragma once
#include <string>

#include "skin/dlg_ex_win.h"
#include "tools/hotkey_names.h"

class CSettingDlg : public CDlgEx {
public:
    explicit CSettingDlg(CWnd* pParent = nullptr);
    ~CSettingDlg() override;

    BOOL OnInitDialog() override;
    // Key capture into the focused field; Escape and Enter are swallowed.
    BOOL PreTranslateMessage(MSG* pMsg) override;
    // Saves, unless two fields conflict.
    void OnOK() override;

    CBtnEx m_btnOK, m_btnCancel;
    CStaticEx m_stcBossPrompt, m_stcBossExample, m_stcSwitchPrompt, m_stcSwitchExample, m_stcSoundPrompt,
        m_stcSoundExample;
    // The current key of each field: boss, window switch, sound.
    int m_nKeyVk[kHotkeyFieldCount] = {121, 9, 83};
    // The settings file the fields are read from and saved to.
    std::wstring m_strIniPath;

protected:
    LRESULT OnEraseBkgndSetting(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()

private:
    // The field whose edit is `hWnd`, or -1.
    int FieldOfWindow(HWND hWnd) const;
    void DrawGroupFrames(HDC dc);

    HBITMAP m_hbmButton = nullptr;
};

// The settings dialog while it is open from the main window; null otherwise.
extern CSettingDlg* g_pSettingDlg;

// Runs the settings dialog modally over `owner`, published in g_pSettingDlg
// meanwhile. Returns the dialog's result.
INT_PTR RunSettingDlg(CWnd* owner);

// Posts the hotkey reload to every top-level dialog titled with the game's
// display name (at most 10); returns how many were told.
int BroadcastHotkeysChanged();
