// A plain layout of a page for the stand-in's view: the boxes its style
// sheet places (position, left, top, width, height, margin, background,
// colour, display), everything else in rows, block by block; text and
// inline elements from left to right, wrapping at the box's edge. Enough to
// draw the simulator's pages recognisably and to find the element under a
// point; nothing like a browser's layout. No Windows dependency.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "html_tree.h"

struct CStyleRule {
    std::vector<std::wstring> selector;  // simple selectors, outermost first ("#id", ".class", "tag")
    int specificity = 0;
    std::map<std::wstring, std::wstring> props;
};

std::vector<CStyleRule> ParseStyleSheet(const std::wstring& css);
// The properties that apply to an element: the sheet's rules by
// specificity and order, then its own style attribute.
std::map<std::wstring, std::wstring> StyleOf(const CHtmlNode& node, const std::vector<CStyleRule>& rules);
// "#rrggbb", "#rgb" or a few names as 0x00BBGGRR; -1 when not a colour.
long ParseColour(const std::wstring& value);

struct CLayoutRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool Contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
};

struct CLayoutItem {
    enum Kind { Box, Text, Field, Password, Select, Button, Checkbox };
    Kind kind = Box;
    CHtmlNode* node = nullptr;  // the element (for text: the element holding it)
    CLayoutRect rect;
    long background = -1;  // boxes: their own background, -1 for none
    long colour = 0;       // text: its colour
    std::wstring text;     // text: the words; buttons: their caption
    bool link = false;     // text inside a link
};

struct CPageLayout {
    std::vector<CLayoutItem> items;  // in drawing order (a box before what it holds)
    long background = 0xFFFFFF;      // the page's own (body, else html)
    // The innermost element whose box or text holds the point, else the body.
    CHtmlNode* ElementAt(int x, int y) const;
    // Where an element shows first (its box, control or first words); false
    // when it does not show.
    bool Find(const CHtmlNode* node, CLayoutRect& where) const;
    CHtmlNode* body = nullptr;
};

// `measure` gives a text's width in pixels in the view's font.
CPageLayout LayoutPage(CHtmlNode& root, int width, int height, const std::function<int(const std::wstring&)>& measure);
