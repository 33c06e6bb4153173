// Crashes on purpose with the client's crash filter installed, so that a
// test can look at the dump it leaves beside this executable.
//   crash_probe crash   : an access violation, left to the filter
//   crash_probe twice   : calls the filter twice, prints both answers
//   crash_probe direct  : writes a dump without exception information
#include <cstdio>
#include <cwchar>

#include "app/halvane3_app_win.h"

int wmain(int argc, wchar_t** argv) {
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
    ::SetUnhandledExceptionFilter(&CrashFilter);
    ::SetErrorMode(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS);
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
}
