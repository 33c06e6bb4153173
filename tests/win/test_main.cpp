// The Windows-side tests' entry point. Most cases need windows on a working
// desktop; when not even a plain pop-up can be made, no case runs and the
// process ends with 75 (EX_TEMPFAIL), which the runner under Wine takes for
// a display or desktop that did not come up rather than for failed cases.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

constexpr int kNoDesktop = 75;

bool CanCreateAWindow() {
    HWND probe = ::CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
    if (probe) {
        ::DestroyWindow(probe);
        return true;
    }
    const DWORD error = ::GetLastError();
    HWND desktop = ::GetDesktopWindow();
    RECT area{};
    if (desktop) ::GetWindowRect(desktop, &area);
    std::fprintf(stderr,
                 "no window can be created here (error %lu; desktop window %p, %ldx%ld): "
                 "the display or the desktop is not usable, no case was run\n",
                 error, static_cast<void*>(desktop), area.right - area.left, area.bottom - area.top);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!::testing::GTEST_FLAG(list_tests) && !CanCreateAWindow()) return kNoDesktop;
    return RUN_ALL_TESTS();
}
