// Crashes on purpose with the client's crash filter installed, so that a
// test can look at the dump it leaves beside this executable.
//   crash_probe crash   : an access violation, left to the filter
//   crash_probe twice   : calls the filter twice, prints both answers
//   crash_probe direct  : writes a dump without exception information
//   crash_probe locked  : crashes while another thread holds the C runtime's
//                         heap locked (exit code 3: the lock does not stop
//                         malloc here, so the case proves nothing)
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "app/halvane3_app_win.h"

namespace {
HANDLE g_locked = nullptr, g_allocated = nullptr;

DWORD WINAPI HoldHeap(void*) {
    ::HeapLock(reinterpret_cast<HANDLE>(_get_heap_handle()));
    ::SetEvent(g_locked);
    ::Sleep(INFINITE);
    return 0;
}

DWORD WINAPI Allocate(void*) {
    void* volatile block = std::malloc(64);
    ::SetEvent(g_allocated);
    std::free(block);
    return 0;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    PrepareCrashDumpSecurity();  // as the client does at start
    const wchar_t* what = argc > 1 ? argv[1] : L"crash";
    if (std::wcscmp(what, L"twice") == 0) {
        EXCEPTION_RECORD record{};
        record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
        CONTEXT context{};
        context.ContextFlags = CONTEXT_FULL;
        ::RtlCaptureContext(&context);
        EXCEPTION_POINTERS pointers{&record, &context};
        const LONG first = CrashFilter(&pointers);
        const LONG second = CrashFilter(&pointers);
        std::printf("%ld %ld\n", first, second);
        return 0;
    }
    if (std::wcscmp(what, L"direct") == 0) {
        HANDLE file = ::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        const bool ok = WriteCrashDump(file, nullptr);
        ::CloseHandle(file);
        std::printf("%d after\n", ok ? 1 : 0);
        return 0;
    }
    if (std::wcscmp(what, L"locked") == 0) {
        g_locked = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        g_allocated = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ::CloseHandle(::CreateThread(nullptr, 0, &HoldHeap, nullptr, 0, nullptr));
        ::WaitForSingleObject(g_locked, INFINITE);
        ::CloseHandle(::CreateThread(nullptr, 0, &Allocate, nullptr, 0, nullptr));
        if (::WaitForSingleObject(g_allocated, 300) == WAIT_OBJECT_0) return 3;
    }
    ::SetUnhandledExceptionFilter(&CrashFilter);
    ::SetErrorMode(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS);
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
}
