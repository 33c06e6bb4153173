// Element-event tables of the HTML dialogs: which entry an event of a page
// element selects. Portable.
#pragma once
#include <string_view>

struct ElementSelector {
    long dispid;           // the element event's dispatch id
    const wchar_t* text;   // class text (exact) or tag name (any case)
    bool byClass;
};

// The first entry, in table order, whose event id matches and whose
// selector matches the source element; -1 when none does. Only the source
// element is looked at, never its ancestors.
int MatchElementEvent(const ElementSelector* table, int count, long dispid, std::wstring_view className,
                      std::wstring_view tagName);
