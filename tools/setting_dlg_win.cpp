#include "tools/setting_dlg_win.h"

#include "app/halvane3_app_win.h"
#include "mainwnd/main_dlg_win.h"
#include "res/resource.h"
#include "settings/settings_win.h"
#include "skin/message_box_win.h"
#include "skin/window_font_win.h"

CSettingDlg* g_pSettingDlg = nullptr;

namespace {

// Per field: its edit and its settings key.
constexpr UINT kFieldEdits[kHotkeyFieldCount] = {IDC_SET_BOSS_KEY, IDC_SET_SWITCH_KEY, IDC_SET_SOUND_KEY};
const SettingKey* const kFieldKeys[kHotkeyFieldCount] = {&Keys::ShortKey, &Keys::AltWndKey, &Keys::SndKey};

constexpr int kFieldTextCapacity = 64;

// The painted group frames: top, bottom, end of the title's gap; and the
// titles' places.
struct GroupFrame {
    int top, bottom, gapEnd;
    int titleX, titleY;
    const wchar_t* title;
};
constexpr GroupFrame kGroupFrames[] = {
    {50, 120, 80, 20, 43, L"老板键设置"},
    {153, 223, 105, 20, 146, L"窗口切换键设置"},
    {256, 326, 80, 20, 249, L"声音键设置"},
};

bool KeyDown(int vk) { return (::GetKeyState(vk) & 0x8000) != 0; }

}  // namespace

BEGIN_MESSAGE_MAP(CSettingDlg, CDlgEx)
    ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgndSetting)
END_MESSAGE_MAP()

CSettingDlg::CSettingDlg(CWnd* pParent) : CDlgEx(IDD_SETTING, pParent), m_strIniPath(StatIniPath()) {}

CSettingDlg::~CSettingDlg() {
    if (m_hbmButton) ::DeleteObject(m_hbmButton);
}

BOOL CSettingDlg::OnInitDialog() {
    CDlgEx::OnInitDialog();
    const HINSTANCE module = CWinApp::ResourceHandle();
    m_nCaptionHeight = 30;
    m_nBorder = 4;
    m_nButtonRightMargin = 0;
    m_nButtonTop = 1;
    SetTitle(L"设置");
    HBITMAP close = LoadSkinBitmap(module, IDB_SKIN_BOX_CLOSE);
    SetSkin(LoadSkinBitmap(module, IDB_SKIN_BOX), FALSE, TRUE, nullptr, nullptr, nullptr, close);
    if (close) ::DeleteObject(close);

    m_hbmButton = LoadSkinBitmap(module, IDB_SKIN_BOX_BUTTON);
    for (auto [button, id] : {std::pair{&m_btnOK, IDOK}, std::pair{&m_btnCancel, IDCANCEL}}) {
        button->SubclassDlgItem(static_cast<UINT>(id), this);
        button->SetImage(m_hbmButton, false);
    }

    for (int i = 0; i < kHotkeyFieldCount; ++i) {
        const HotkeyValue v = ParseHotkeyValue(ReadSetting(*kFieldKeys[i], m_strIniPath));
        m_nKeyVk[i] = v.vk;
        ::SetDlgItemTextW(m_hWnd, static_cast<int>(kFieldEdits[i]), FormatHotkey(v.vk, v.modifier).c_str());
    }

    const std::pair<CStaticEx*, UINT> statics[] = {
        {&m_stcBossPrompt, IDC_SET_BOSS_PROMPT},     {&m_stcBossExample, IDC_SET_BOSS_EXAMPLE},
        {&m_stcSwitchPrompt, IDC_SET_SWITCH_PROMPT}, {&m_stcSwitchExample, IDC_SET_SWITCH_EXAMPLE},
        {&m_stcSoundPrompt, IDC_SET_SOUND_PROMPT},   {&m_stcSoundExample, IDC_SET_SOUND_EXAMPLE},
    };
    for (const auto& [text, id] : statics) {
        text->SubclassDlgItem(id, this);
        text->m_clrNormal = RGB(153, 153, 153);
    }
    return TRUE;
}

int CSettingDlg::FieldOfWindow(HWND hWnd) const {
    if (!hWnd) return -1;
    for (int i = 0; i < kHotkeyFieldCount; ++i)
        if (::GetDlgItem(m_hWnd, static_cast<int>(kFieldEdits[i])) == hWnd) return i;
    return -1;
}

BOOL CSettingDlg::PreTranslateMessage(MSG* pMsg) {
    const int vk = static_cast<int>(pMsg->wParam);
    if (!IsCaptureKeyMessage(pMsg->message == WM_KEYDOWN, pMsg->message == WM_SYSKEYDOWN, vk))
        return CDlgEx::PreTranslateMessage(pMsg);
    if (IsSwallowedKey(vk)) return TRUE;
    const int field = FieldOfWindow(::GetFocus());
    if (field < 0) return CDlgEx::PreTranslateMessage(pMsg);

    const CaptureOutcome out = CaptureHotkeyKey(static_cast<HotkeyField>(field), vk, KeyDown(VK_CONTROL),
                                                KeyDown(VK_SHIFT), KeyDown(VK_MENU));
    if (out.takesKey) m_nKeyVk[field] = vk;
    HWND edit = ::GetDlgItem(m_hWnd, static_cast<int>(kFieldEdits[field]));
    ::SetWindowTextW(edit, out.text.c_str());
    const int length = ::GetWindowTextLengthW(edit);
    ::SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(length), -1);
    ::SendMessageW(edit, EM_SCROLLCARET, 0, 0);
    return TRUE;
}

void CSettingDlg::OnOK() {
    wchar_t texts[kHotkeyFieldCount][kFieldTextCapacity] = {};
    for (int i = 0; i < kHotkeyFieldCount; ++i)
        ::GetDlgItemTextW(m_hWnd, static_cast<int>(kFieldEdits[i]), texts[i], kFieldTextCapacity);
    if (HotkeyTextsConflict(texts[0], texts[1], texts[2])) {
        ShowMessage(0, L"热键冲突，请重新设置不同热键值", m_hWnd);
        return;
    }
    for (int i = 0; i < kHotkeyFieldCount; ++i) {
        const SavedHotkey saved = SaveHotkeyField(texts[i], m_nKeyVk[i]);
        if (saved.write) WriteSetting(*kFieldKeys[i], saved.value, m_strIniPath);
    }
    BroadcastHotkeysChanged();
    EndDialog(IDOK);
}

LRESULT CSettingDlg::OnEraseBkgndSetting(WPARAM wParam, LPARAM) {
    if (!m_bmpBackground) return 0;
    HDC target = reinterpret_cast<HDC>(wParam);
    RECT wr{};
    ::GetWindowRect(m_hWnd, &wr);
    const int W = wr.right - wr.left > 0 ? wr.right - wr.left : 1, H = wr.bottom - wr.top > 0 ? wr.bottom - wr.top : 1;
    PaintFramed(target, W, H, [this](HDC mem) { DrawGroupFrames(mem); });
    return 1;
}

void CSettingDlg::DrawGroupFrames(HDC dc) {
    HPEN pen = ::CreatePen(PS_SOLID, 2, RGB(255, 255, 255));
    HGDIOBJ oldPen = ::SelectObject(dc, pen);
    const LOGFONTW lf = WindowFontAt(m_hWnd, -12);
    HFONT font = ::CreateFontIndirectW(&lf);
    HGDIOBJ oldFont = ::SelectObject(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(255, 255, 255));
    for (const GroupFrame& g : kGroupFrames) {
        const POINT line[] = {{18, g.top},      {12, g.top},  {12, g.bottom},
                              {297, g.bottom},  {297, g.top}, {g.gapEnd, g.top}};
        ::Polyline(dc, line, static_cast<int>(std::size(line)));
        ::TextOutW(dc, g.titleX, g.titleY, g.title, lstrlenW(g.title));
    }
    ::SelectObject(dc, oldFont);
    ::DeleteObject(font);
    ::SelectObject(dc, oldPen);
    ::DeleteObject(pen);
}

INT_PTR RunSettingDlg(CWnd* owner) {
    // One at a time: the tray menu still works while the dialog is open.
    if (g_pSettingDlg) {
        if (g_pSettingDlg->m_hWnd) ::SetForegroundWindow(g_pSettingDlg->m_hWnd);
        return IDCANCEL;
    }
    CSettingDlg dlg(owner);
    g_pSettingDlg = &dlg;
    const INT_PTR result = dlg.DoModal();
    g_pSettingDlg = nullptr;
    return result;
}

int BroadcastHotkeysChanged() {
    int told = 0;
    HWND w = nullptr;
    while (told < 10 && (w = ::FindWindowExW(nullptr, w, L"#32770", DisplayName)) != nullptr) {
        ::PostMessageW(w, WM_HOTKEYSCHANGED, 0, 0);
        ++told;
    }
    return told;
}
