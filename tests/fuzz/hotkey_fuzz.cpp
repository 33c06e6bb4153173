// libFuzzer target over stored hotkey values and what the settings dialog
// makes of them: parsing, names, the hook's matching and saving a field.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mainwnd/hotkey_logic.h"
#include "tests/fuzz/fuzz_input.h"
#include "tools/hotkey_names.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = FuzzWide(data, size);
    const auto values = FuzzPieces(text, L'\n', 3);

    HotkeyEntry table[kHotkeyCount];
    for (int i = 0; i < kHotkeyCount; ++i) {
        const HotkeyValue v = ParseHotkeyValue(values[static_cast<std::size_t>(i)]);
        table[i] = HotkeyFromValue(values[static_cast<std::size_t>(i)]);
        // Whatever is stored, the name lookup stays inside its buffer.
        wchar_t name[kKeyNameCapacity];
        if (std::wstring(GetKeyName(name, v.vk)).size() >= kKeyNameCapacity) __builtin_trap();
        const std::wstring shown = FormatHotkey(v.vk, v.modifier);
        // What the dialog saves from its own text reads back as the same
        // key with modifiers it knows. (The modifiers are read back from the
        // text, so a modifier key's own name counts as held.)
        const SavedHotkey saved = SaveHotkeyField(shown, v.vk);
        if (saved.write) {
            const HotkeyValue again = ParseHotkeyValue(saved.value);
            if (again.vk != v.vk || again.modifier < 0 || again.modifier > 7) __builtin_trap();
        }
        (void)SaveHotkeyField(values[static_cast<std::size_t>(i)], v.vk);
    }

    const int vk = size > 0 ? data[0] : 0;
    const int mods = size > 1 ? data[1] & 7 : 0;
    const bool down = size > 2 && (data[2] & 1);
    const HookAction action = HookActionFor(table, size > 3 ? data[3] % 5 : 0, down, vk, mods);
    if (action != HookAction::None && (!down || (size > 3 && data[3] % 5 == 0))) __builtin_trap();
    (void)IsSwitchKeyMessage(table[kSwitchHotkey], down, size > 4 ? data[4] : 0, vk, mods);
    for (int field = 0; field < kHotkeyFieldCount; ++field)
        (void)CaptureHotkeyKey(static_cast<HotkeyField>(field), vk, mods & 2, mods & 4, mods & 1);
    (void)HotkeyTextsConflict(values[0], values[1], values[2]);
    return 0;
}
