// Linked into the coverage build only (LUMENDOR_COVERAGE): every program
// made of the client's code writes its line counts while it runs, not only
// at a normal exit, so that a process ended by force (a test's teardown, a
// crash, ExitProcess) still reports what it ran.
//
// With LUMENDOR_COVERAGE_DIR set (a Windows path), each process writes into
// a folder of its own below it, so that a process ended in the middle of a
// write damages only its own last counts; devtools/coverage_report.py merges the
// folders. Without it the counts go beside the objects at exit, as gcov's
// own.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

extern "C" void __gcov_dump(void);
extern "C" void __gcov_reset(void);

namespace {

constexpr DWORD kFlushPeriodMs = 1000;

// Held by a write of the counts; taken for good when the program exits, so
// that the loop never writes beside (or after) libgcov's own exit write.
CRITICAL_SECTION g_flushLock;

void StopFlushing() { ::EnterCriticalSection(&g_flushLock); }

DWORD WINAPI FlushLoop(LPVOID) {
    ::Sleep(kFlushPeriodMs);
    // Registered once the program runs, after the runtime registered the
    // destructors that write the counts at exit: handlers run in reverse,
    // so this one runs before them.
    std::atexit(StopFlushing);
    for (;;) {
        ::EnterCriticalSection(&g_flushLock);
        // Written counts are cleared, so each write adds only what ran since.
        __gcov_dump();
        __gcov_reset();
        ::LeaveCriticalSection(&g_flushLock);
        ::Sleep(kFlushPeriodMs);
    }
}

bool StartFlushing() {
    char base[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableA("LUMENDOR_COVERAGE_DIR", base, sizeof base);
    if (length == 0 || length >= sizeof base) return false;
    char prefix[MAX_PATH + 64];
    std::snprintf(prefix, sizeof prefix, "GCOV_PREFIX=%s/%lu-%lu", base,
                  static_cast<unsigned long>(::GetCurrentProcessId()), static_cast<unsigned long>(::GetTickCount()));
    if (_putenv(prefix) != 0) return false;
    ::InitializeCriticalSection(&g_flushLock);
    HANDLE thread = ::CreateThread(nullptr, 0, FlushLoop, nullptr, 0, nullptr);
    if (!thread) return false;
    ::CloseHandle(thread);
    return true;
}

const bool g_bFlushing = StartFlushing();

}  // namespace
