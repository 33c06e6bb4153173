#include "mainwnd/page_logic.h"

std::wstring ServerOfTitle(std::wstring_view title) {
    const auto at = title.find(L"服-");
    return std::wstring(at == std::wstring_view::npos ? title : title.substr(0, at));
}

std::wstring AccountOfTitle(std::wstring_view title) {
    const auto at = title.rfind(L'-');
    return std::wstring(at == std::wstring_view::npos ? title : title.substr(at + 1));
}

std::wstring AccountLabelText(std::wstring_view account) {
    if (account.size() <= 11) return std::wstring(account);
    return std::wstring(account.substr(0, 8)) + L"...";
}

std::wstring TabTitleText(std::wstring_view title, int measuredWidth) {
    if (measuredWidth <= 145) return std::wstring(title);
    return std::wstring(title.substr(0, 14)) + L"...";
}

TabBox TabRect(int i) { return {kTabLeft + kTabWidth * i, 3, 306 + kTabWidth * i, 25}; }
TabBox TabCloseRect(int i) { return {283 + kTabWidth * i, 8, 297 + kTabWidth * i, 22}; }
TabBox TabTitleRect(int i) { return {151 + kTabWidth * i, 8, 283 + kTabWidth * i, 22}; }

int TabAtPoint(int x, int y, int n) {
    if (y < 3 || y > 24 || x <= kTabLeft || x >= kTabLeft + kTabWidth * n) return -1;
    return (x - kTabLeft) / kTabWidth;
}

namespace {
bool InCloseColumns(int x, int c) { return x >= 283 + kTabWidth * c && x < 297 + kTabWidth * c; }
}  // namespace

int TabCloseHoverState(int x, int y, int c, bool leftButtonDown) {
    if (InCloseColumns(x, c) && y >= 8 && y <= 21) return leftButtonDown ? 2 : 1;
    return 0;
}

bool TabClosePress(int x, int y, int c) { return InCloseColumns(x, c) && y >= 9 && y <= 21; }
bool TabCloseRelease(int x, int y, int c) { return InCloseColumns(x, c) && y > 7 && y < 22; }

MainSize ClampMainSize(int cx, int cy, int n) {
    const int minX = n * kTabWidth + 440, minY = 260;
    if (n <= 0 || (cx >= minX && cy >= minY)) return {cx, cy, false};
    return {cx < minX ? minX : cx, cy < minY ? minY : cy, true};
}

TabBox NewPageButtonRect(int n) { return {n * kTabWidth + kTabLeft, 5, n * kTabWidth + kTabLeft + 28, 21}; }
