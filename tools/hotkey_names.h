// The three hotkeys as the player sees and stores them: key names, the
// displayed text, the stored "modifier,vk" value, what each field of the
// settings dialog accepts and how its text is saved. Portable.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Modifier bits of a stored hotkey (the system's MOD_ALT, MOD_CONTROL,
// MOD_SHIFT).
inline constexpr int kModAlt = 1;
inline constexpr int kModCtrl = 2;
inline constexpr int kModShift = 4;

inline constexpr std::size_t kKeyNameCapacity = 16;  // terminator included
inline constexpr wchar_t kNoHotkeyText[] = L"无";
inline constexpr wchar_t kCtrlPrefix[] = L"Ctrl  +  ";
inline constexpr wchar_t kShiftPrefix[] = L"Shift  +  ";
inline constexpr wchar_t kAltPrefix[] = L"Alt  +  ";

// Writes the name of a virtual-key code into `buffer` (kKeyNameCapacity
// characters); codes without a name give the empty string. Returns buffer.
wchar_t* GetKeyName(wchar_t* buffer, int vk);
std::wstring KeyName(int vk);

// "无" for vk 0, else the prefixes of the held modifiers ("Ctrl", "Shift",
// "Alt" in that order) and the key's name.
std::wstring FormatHotkey(int vk, int modifier);

struct HotkeyValue {
    int modifier;
    int vk;
};
// The stored text split at its first comma; each side read as a decimal
// integer (junk reads as 0). Without a comma the number is the modifier
// and vk is 0.
HotkeyValue ParseHotkeyValue(std::wstring_view text);
// "modifier,vk" in decimal.
std::wstring FormatHotkeyValue(int modifier, int vk);

// The fields of the settings dialog, in the order of the hotkey table.
enum class HotkeyField { Boss = 0, Switch = 1, Sound = 2 };
inline constexpr int kHotkeyFieldCount = 3;

// Whether a key can become the field's key (F12 never; Tab only in the
// window-switch field).
bool IsAcceptedHotkeyKey(HotkeyField field, int vk);

// Which key messages the capture looks at: every key-down, and a system
// key-down only for F10 and Alt.
bool IsCaptureKeyMessage(bool keyDown, bool sysKeyDown, int vk);
// Escape and Enter are swallowed by the dialog.
bool IsSwallowedKey(int vk);

struct CaptureOutcome {
    std::wstring text;  // the field's new text
    bool takesKey;      // the field's vk becomes the pressed key
};
// What a key pressed in a field shows, with the modifiers held as read
// from the keyboard at that moment.
CaptureOutcome CaptureHotkeyKey(HotkeyField field, int vk, bool ctrl, bool shift, bool alt);

// True when two of the three texts are equal: a conflict.
bool HotkeyTextsConflict(std::wstring_view boss, std::wstring_view windowSwitch, std::wstring_view sound);

// What saving a field writes: nothing for an empty text or one ending in a
// space; else "modifier,vk" with the modifiers read back from the text and
// vk 0 when it says "无".
struct SavedHotkey {
    bool write;
    std::wstring value;
};
SavedHotkey SaveHotkeyField(std::wstring_view text, int fieldVk);
