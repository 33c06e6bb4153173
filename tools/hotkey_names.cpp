#include "tools/hotkey_names.h"

#include <climits>
#include <cwchar>

namespace {

struct NamedKey {
    int vk;
    const wchar_t* name;
};

constexpr NamedKey kNamedKeys[] = {
    {8, L"Back"},        {9, L"Tab"},           {13, L"Enter"},        {16, L"Shift"},   {17, L"Ctrl"},
    {18, L"Alt"},        {19, L"Pause Break"},  {20, L"Caps"},         {27, L"Esc"},     {33, L"Page Up"},
    {34, L"Page Down"},  {35, L"End"},          {36, L"Home"},         {37, L"Left"},    {38, L"Up"},
    {39, L"Right"},      {40, L"Down"},         {45, L"Insert"},       {46, L"Del"},     {91, L"LWin"},
    {92, L"RWin"},       {106, L"Num *"},       {107, L"Num +"},       {109, L"Num -"},  {110, L"Num Del"},
    {111, L"Num /"},     {144, L"Num Lock"},    {145, L"Scroll Lock"}, {186, L";"},      {187, L"+"},
    {188, L","},         {189, L"-"},           {190, L"."},           {191, L"/"},      {192, L"`"},
    {219, L"["},         {220, L"\\"},          {221, L"]"},           {222, L"'"},
};

void CopyBounded(wchar_t* buffer, std::wstring_view text) {
    const std::size_t n = text.size() < kKeyNameCapacity - 1 ? text.size() : kKeyNameCapacity - 1;
    for (std::size_t i = 0; i < n; ++i) buffer[i] = text[i];
    buffer[n] = L'\0';
}

// A decimal integer like the C library's conversion: blanks, a sign,
// digits; anything else ends it. Out-of-range values saturate.
int ParseInt(std::wstring_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

bool InRange(int vk, int first, int last) { return vk >= first && vk <= last; }

}  // namespace

wchar_t* GetKeyName(wchar_t* buffer, int vk) {
    if (!buffer) return buffer;
    buffer[0] = L'\0';
    if (InRange(vk, '0', '9') || InRange(vk, 'A', 'Z')) {
        const wchar_t one[] = {static_cast<wchar_t>(vk), L'\0'};
        CopyBounded(buffer, one);
    } else if (InRange(vk, 96, 105)) {
        wchar_t text[kKeyNameCapacity] = {};
        std::swprintf(text, kKeyNameCapacity, L"Num %d", vk - 96);
        CopyBounded(buffer, text);
    } else if (InRange(vk, 112, 123)) {
        wchar_t text[kKeyNameCapacity] = {};
        std::swprintf(text, kKeyNameCapacity, L"F%d", vk - 111);
        CopyBounded(buffer, text);
    } else {
        for (const NamedKey& k : kNamedKeys)
            if (k.vk == vk) CopyBounded(buffer, k.name);
    }
    return buffer;
}

std::wstring KeyName(int vk) {
    wchar_t buffer[kKeyNameCapacity] = {};
    return GetKeyName(buffer, vk);
}

std::wstring FormatHotkey(int vk, int modifier) {
    if (vk == 0) return kNoHotkeyText;
    std::wstring text;
    if (modifier & kModCtrl) text += kCtrlPrefix;
    if (modifier & kModShift) text += kShiftPrefix;
    if (modifier & kModAlt) text += kAltPrefix;
    return text + KeyName(vk);
}

HotkeyValue ParseHotkeyValue(std::wstring_view text) {
    const auto comma = text.find(L',');
    if (comma == std::wstring_view::npos) return {ParseInt(text), 0};
    return {ParseInt(text.substr(0, comma)), ParseInt(text.substr(comma + 1))};
}

std::wstring FormatHotkeyValue(int modifier, int vk) { return std::to_wstring(modifier) + L"," + std::to_wstring(vk); }

bool IsAcceptedHotkeyKey(HotkeyField field, int vk) {
    if (field == HotkeyField::Switch && vk == 9) return true;
    return InRange(vk, 112, 122) || InRange(vk, 48, 57) || InRange(vk, 65, 90) || InRange(vk, 33, 40) || vk == 45 ||
           vk == 20 || InRange(vk, 186, 192) || InRange(vk, 219, 222) || vk == 144 || InRange(vk, 96, 107) ||
           InRange(vk, 109, 111);
}

bool IsCaptureKeyMessage(bool keyDown, bool sysKeyDown, int vk) {
    return keyDown || (sysKeyDown && (vk == 121 || vk == 18));
}

bool IsSwallowedKey(int vk) { return vk == 27 || vk == 13; }

CaptureOutcome CaptureHotkeyKey(HotkeyField field, int vk, bool ctrl, bool shift, bool alt) {
    const bool clears = vk == 8 || vk == 46 || vk == 91 || vk == 92 || (vk == 123 && field != HotkeyField::Switch);
    if (clears) return {kNoHotkeyText, false};
    CaptureOutcome out{L"", IsAcceptedHotkeyKey(field, vk)};
    if (ctrl) out.text += kCtrlPrefix;
    if (shift) out.text += kShiftPrefix;
    if (alt) out.text += kAltPrefix;
    if (out.takesKey) out.text += KeyName(vk);
    return out;
}

bool HotkeyTextsConflict(std::wstring_view boss, std::wstring_view windowSwitch, std::wstring_view sound) {
    return boss == windowSwitch || boss == sound || windowSwitch == sound;
}

SavedHotkey SaveHotkeyField(std::wstring_view text, int fieldVk) {
    if (text.empty() || text.back() == L' ') return {false, L""};
    const int vk = text.find(kNoHotkeyText) != std::wstring_view::npos ? 0 : fieldVk;
    int modifier = 0;
    if (text.find(L"Ctrl") != std::wstring_view::npos) modifier += kModCtrl;
    if (text.find(L"Shift") != std::wstring_view::npos) modifier += kModShift;
    if (text.find(L"Alt") != std::wstring_view::npos) modifier += kModAlt;
    return {true, FormatHotkeyValue(modifier, vk)};
}
