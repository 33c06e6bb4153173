// Imports of the compiler's runtime that the oldest systems we serve lack.
//
// The threads layer that the C++ library stands on asks the system for a
// 64-bit tick count for its timed waits, and Windows XP has no such
// function: an executable importing it does not even start there. The
// runtime's import pointer is defined here instead, so the linker never
// takes it from the system's import library. It leads to the system's own
// function where one exists, and elsewhere to the 32-bit count carried
// across its wrap every 49.7 days.
#include <windows.h>

#include "framework/tick_count.h"

namespace {

using TickCount64Fn = ULONGLONG(WINAPI*)();

TickCount64Fn g_pSystemTickCount64 = nullptr;
volatile LONG g_nLookedUp = 0;
CTickExtender g_ticks;

ULONGLONG WINAPI TickCount64() {
    if (!__atomic_load_n(&g_nLookedUp, __ATOMIC_ACQUIRE)) {
        HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
        const auto found = kernel ? reinterpret_cast<TickCount64Fn>(
                                        reinterpret_cast<void*>(::GetProcAddress(kernel, "GetTickCount64")))
                                  : nullptr;
        __atomic_store_n(&g_pSystemTickCount64, found, __ATOMIC_RELAXED);
        __atomic_store_n(&g_nLookedUp, 1, __ATOMIC_RELEASE);
    }
    if (TickCount64Fn system = __atomic_load_n(&g_pSystemTickCount64, __ATOMIC_RELAXED)) return system();
    return g_ticks.Extend([] { return static_cast<std::uint32_t>(::GetTickCount()); });
}

}  // namespace

extern "C" {
// The name the runtime's objects import the function by.
TickCount64Fn g_pRuntimeTickCount64 __asm__("__imp__GetTickCount64@0") = &TickCount64;
}
