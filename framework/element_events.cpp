#include "framework/element_events.h"

namespace {
bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x + 32);
        if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y + 32);
        if (x != y) return false;
    }
    return true;
}
}  // namespace

int MatchElementEvent(const ElementSelector* table, int count, long dispid, std::wstring_view className,
                      std::wstring_view tagName) {
    for (int i = 0; i < count; ++i) {
        const ElementSelector& e = table[i];
        if (e.dispid != dispid || !e.text) continue;
        if (e.byClass ? className == e.text : EqualsIgnoringAsciiCase(tagName, e.text)) return i;
    }
    return -1;
}
