// The application's process services seen through interception of the
// system calls they make: a crash dump asks for less and less detail until
// the system's writer takes the request; a program is started at idle
// priority under its quoted path.
#include <windows.h>
#include <dbghelp.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/halvane3_app_win.h"
#include "test_util.h"

namespace {

// --- the dump writer ------------------------------------------------------------

using WriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                  PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);
WriteDumpFn g_realWriteDump = nullptr;
struct DumpCall {
    HANDLE process, file;
    DWORD pid, type, thread;
    EXCEPTION_POINTERS* pointers;
    BOOL clientPointers;
};
std::vector<DumpCall> g_dumpCalls;
int g_dumpRefusals = 0;  // how many requests the writer refuses before it takes one

BOOL WINAPI RecordingWriteDump(HANDLE process, DWORD pid, HANDLE file, MINIDUMP_TYPE type,
                               PMINIDUMP_EXCEPTION_INFORMATION info, PMINIDUMP_USER_STREAM_INFORMATION,
                               PMINIDUMP_CALLBACK_INFORMATION) {
    g_dumpCalls.push_back({process, file, pid, static_cast<DWORD>(type), info ? info->ThreadId : 0,
                           info ? info->ExceptionPointers : nullptr, info ? info->ClientPointers : FALSE});
    if (static_cast<int>(g_dumpCalls.size()) <= g_dumpRefusals) {
        ::SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return TRUE;
}

TEST(CrashDump, AsksForLessDetailUntilTheWriterTakesIt) {
    HMODULE dbghelp = ::LoadLibraryW(L"DbgHelp.dll");  // held, so the interception stays in place
    ASSERT_TRUE(dbghelp);
    g_realWriteDump =
        reinterpret_cast<WriteDumpFn>(reinterpret_cast<void*>(::GetProcAddress(dbghelp, "MiniDumpWriteDump")));
    ASSERT_TRUE(g_realWriteDump);
    ASSERT_EQ(
        Intercept(true, {Replacing(g_realWriteDump, &RecordingWriteDump)}),
        NO_ERROR);
    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    const HANDLE file = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x4C4D4));
    // With data segments, handle data, indirect memory, thread and module
    // information; then the middle way; then the plainest dump.
    const struct {
        int refusals;
        std::vector<DWORD> types;
        bool written;
    } cases[] = {{0, {0x1A25}, true},
                 {1, {0x1A25, 0x225}, true},
                 {2, {0x1A25, 0x225, 0}, true},
                 {3, {0x1A25, 0x225, 0}, false}};
    for (const auto& c : cases) {
        g_dumpCalls.clear();
        g_dumpRefusals = c.refusals;
        EXPECT_EQ(WriteCrashDump(file, &pointers), c.written) << c.refusals;
        std::vector<DWORD> types;
        for (const DumpCall& call : g_dumpCalls) {
            types.push_back(call.type);
            EXPECT_EQ(call.process, ::GetCurrentProcess());
            EXPECT_EQ(call.pid, ::GetCurrentProcessId());
            EXPECT_EQ(call.file, file);
            EXPECT_EQ(call.thread, ::GetCurrentThreadId());
            EXPECT_EQ(call.pointers, &pointers);
            EXPECT_EQ(call.clientPointers, TRUE);
        }
        EXPECT_EQ(types, c.types) << c.refusals;
    }
    EXPECT_EQ(
        Intercept(false, {Replacing(g_realWriteDump, &RecordingWriteDump)}),
        NO_ERROR);
    ::FreeLibrary(dbghelp);
}

// --- starting a program ---------------------------------------------------------

auto g_realCreateProcess = &::CreateProcessW;
struct Started {
    std::wstring application, commandLine;
    DWORD flags = 0, startFlags = 0;
    WORD show = 0;
    BOOL inherit = TRUE;
} g_started;
bool g_startFails = false;

BOOL WINAPI RecordingCreateProcess(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                                   LPSECURITY_ATTRIBUTES, BOOL inherit, DWORD flags, LPVOID, LPCWSTR,
                                   LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info) {
    g_started = {application ? application : L"", commandLine ? commandLine : L"", flags,
                 startup ? startup->dwFlags : 0, startup ? startup->wShowWindow : WORD(0), inherit};
    if (g_startFails) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    // Handles the caller closes, as a started program's would be.
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &info->hProcess, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &info->hThread, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    info->dwProcessId = 1;
    info->dwThreadId = 2;
    return TRUE;
}

TEST(LaunchProcess, StartsTheProgramAtIdlePriorityUnderItsQuotedPath) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_EQ(Intercept(true, {Replacing(g_realCreateProcess, &RecordingCreateProcess)}),
              NO_ERROR);
    const struct {
        const wchar_t* path;  // null: this program
        bool fails;
    } cases[] = {{L"C:\\Program Files\\4286 游戏\\Lumendor.exe", false}, {nullptr, false}, {L"", false},
                 {L"C:\\gone\\Lumendor.exe", true}};
    for (const auto& c : cases) {
        g_startFails = c.fails;
        g_started = {};
        const std::wstring target = c.path && *c.path ? c.path : self;
        EXPECT_EQ(LaunchProcess(c.path), !c.fails) << target;
        EXPECT_EQ(g_started.application, target);
        EXPECT_EQ(g_started.commandLine, L"\"" + target + L"\"");
        EXPECT_EQ(g_started.flags, static_cast<DWORD>(IDLE_PRIORITY_CLASS));
        EXPECT_EQ(g_started.startFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
        EXPECT_EQ(g_started.show, SW_SHOWNORMAL);
        EXPECT_EQ(g_started.inherit, FALSE);
    }
    EXPECT_EQ(Intercept(false, {Replacing(g_realCreateProcess, &RecordingCreateProcess)}),
              NO_ERROR);
}

}  // namespace
