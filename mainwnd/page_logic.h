// The main window's arithmetic of game pages: titles, labels, the tab strip
// and the smallest size. Portable.
#pragma once
#include <string>
#include <string_view>

// A page title is "<server>服-<game>-<account>".
std::wstring ServerOfTitle(std::wstring_view title);   // before the first "服-"
std::wstring AccountOfTitle(std::wstring_view title);  // after the last "-"

// The account label: at most 11 characters as they are, else 8 + "...".
std::wstring AccountLabelText(std::wstring_view account);
// A tab's title: cut to 14 + "..." when it measures wider than 145 pixels.
std::wstring TabTitleText(std::wstring_view title, int measuredWidth);

inline constexpr int kTabLeft = 130;
inline constexpr int kTabWidth = 176;
inline constexpr int kMaxPages = 3;

struct TabBox {
    int left, top, right, bottom;
};
TabBox TabRect(int i);          // (130 + 176i, 3) - (306 + 176i, 25)
TabBox TabCloseRect(int i);     // (283 + 176i, 8) - (297 + 176i, 22)
TabBox TabTitleRect(int i);     // (151 + 176i, 8) - (283 + 176i, 22)
// The tab under a client point with n pages, or -1.
int TabAtPoint(int x, int y, int n);
// Close-box hover state of tab c: 1 over the box (2 while the left button
// is down), else 0.
int TabCloseHoverState(int x, int y, int c, bool leftButtonDown);
// A press that starts closing (9 <= y <= 21) and a release that closes
// (7 < y < 22) over tab c's box.
bool TabClosePress(int x, int y, int c);
bool TabCloseRelease(int x, int y, int c);

// The smallest window while pages are open.
struct MainSize {
    int cx, cy;
    bool raised;
};
MainSize ClampMainSize(int cx, int cy, int n);

// The new-page button's place for n pages: (n * 176 + 130, 5, 28, 16).
TabBox NewPageButtonRect(int n);
