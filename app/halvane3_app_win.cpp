#include "app/halvane3_app_win.h"

#include <commctrl.h>
#include <dbghelp.h>
#include <gdiplus.h>
#include <ole2.h>
#include <wininet.h>

#include <memory>

#include "app/build_config.h"
#include "app/startup_trace.h"
#include "install/icon_update_win.h"
#include "install/install_win.h"
#include "mainwnd/flash_bk_win.h"
#include "mainwnd/main_dlg_win.h"
#include "settings/settings_win.h"
#include "skin/message_box_win.h"
#include "stats/stats_win.h"

// Defined before the application object so that its constructor finds them
// initialised.
wchar_t DisplayName[kDisplayNameCapacity] = L"Lumendor";
std::wstring GameUrl;
INT_PTR HallWindow = 0;
int RunMode = ModeFirstRun;

CHalvane3App theApp;

CHalvane3App::CHalvane3App() {
    STARTUP_MARK("process start: system libraries and runtime");
    // A name given by the portal's icon description replaces ours.
    const std::wstring iconName = ReadSetting(Keys::IconName);
    if (!iconName.empty()) ::lstrcpynW(DisplayName, iconName.c_str(), kDisplayNameCapacity);
    STARTUP_MARK("the application object and its name");
}

int ParseRunMode() {
    const RunModeDecision d = DecideRunMode(theApp.m_args, ExePath(), InstallDirPath());
    if (d.hasHallWindow) HallWindow = static_cast<INT_PTR>(d.hallWindow);
    if (d.hasGameUrl) GameUrl = d.gameUrl;
    return d.mode;
}

bool NetworkAvailable() {
    return ::InternetCheckConnectionW(LUMENDOR_NETCHECK_URL_W, FLAG_ICC_FORCE_CONNECTION, 0) != FALSE;
}

void CHalvane3App::WaitBeaconDone(bool reset) {
    // Without the event every beacon has been sent on this thread already.
    if (!m_hDoneEvent) return;
    ::WaitForSingleObject(m_hDoneEvent, INFINITE);
    if (reset) ::ResetEvent(m_hDoneEvent);
}

BOOL CHalvane3App::InitInstance() {
    STARTUP_MARK("until the application starts");
    // Libraries loaded by name are never looked for in the current folder.
    ::SetDllDirectoryW(L"");
    PrepareCrashDumpSecurity();
    ::SetUnhandledExceptionFilter(&CrashFilter);

    INITCOMMONCONTROLSEX icc{8, 0xFF};
    ::InitCommonControlsEx(&icc);

    EnableControlContainer();
    STARTUP_MARK("common controls and control hosting");

    if (!NetworkAvailable()) {
        ShowMessage(0, kNoNetworkMessage, nullptr);
        return FALSE;
    }
    STARTUP_MARK("network check");

    RunMode = ParseRunMode();

    CreateBeaconEvents();

    if (RunMode == ModeUninstall) {
        RunUninstall();
        return FALSE;
    }

    Gdiplus::GdiplusStartupInput gdiplusInput;  // version 1, nothing suppressed
    if (Gdiplus::GdiplusStartup(&m_gdiplusToken, &gdiplusInput, nullptr) != Gdiplus::Ok) m_gdiplusToken = 0;
    STARTUP_MARK("run mode, events and GDI+");

    switch (RunMode) {
    case ModeFirstRun:
        RunFirstRun();
        return FALSE;
    case ModeShortcut:
    case ModeInstalled:
        RunOrdinaryStart();
        break;
    default:
        break;
    }
    RunCommonTail();
    return FALSE;
}

void CHalvane3App::RunUninstall() {
    wchar_t question[128];
    ::lstrcpynW(question, UninstallQuestion(DisplayName).c_str(), 128);
    if (ShowMessage(4, question, nullptr) != IDYES) return;

    SendUnionBeacon(L"_xz.gif");
    WaitBeaconDone();
    SendRegEvent(L"107", L"卸载");
    WaitBeaconDone();
    UninstallClient(*this);
    WaitBeaconDone(false);
}

void CHalvane3App::RunFirstRun() {
    // A folder another user made or filled is no place for a program that
    // every user runs: nothing is installed, and nothing is reported.
    if (!PrepareInstallDir()) {
        ShowMessage(0, kUnsafeInstallDirMessage, nullptr);
        return;
    }
    WriteInstallTag();
    InstallClient();
    SendUnionBeacon(L"_az.gif");
    WaitBeaconDone();
    SendRegEvent(L"106", L"安装");
    WaitBeaconDone();
    SendInstallStats();
    WaitBeaconDone(false);
}

void CHalvane3App::RunOrdinaryStart() {
    SendActivityStats();  // nobody waits for this one
    STARTUP_MARK("counters and activity beacon");
    UpdateDesktopIcon();
    STARTUP_MARK("icon description");
}

void CHalvane3App::RunCommonTail() {
    RaiseCacheLimit();
    STARTUP_MARK("browser cache limit");
    SendRegEvent(L"100", L"打开");
    WaitBeaconDone();
    STARTUP_MARK("event 100 and its wait");

    // The splash takes OLE for itself and gives it back when it goes; it
    // goes after the main window, whose browsers need OLE until then, so OLE
    // is released here no earlier than that and exactly once per start.
    std::unique_ptr<CFlashBK> splash;
    if (RunMode == ModeLogo) {
        splash = std::make_unique<CFlashBK>();
        m_pMainWnd = splash.get();
        splash->DoModal();
        m_pMainWnd = nullptr;
    }

    CHalvane3Dlg dlg;
    STARTUP_MARK("main window object");
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
}

void CHalvane3App::CreateBeaconEvents() {
    m_hCopiedEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_hDoneEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Both or neither: without them beacons go out on the calling thread.
    if (!m_hCopiedEvent || !m_hDoneEvent) CloseBeaconEvents();
}

void CHalvane3App::CloseBeaconEvents() {
    if (m_hCopiedEvent) ::CloseHandle(m_hCopiedEvent);
    if (m_hDoneEvent) ::CloseHandle(m_hDoneEvent);
    m_hCopiedEvent = m_hDoneEvent = nullptr;
}

int CHalvane3App::ExitInstance() {
    CloseBeaconEvents();
    if (m_gdiplusToken) Gdiplus::GdiplusShutdown(m_gdiplusToken);
    m_gdiplusToken = 0;
    return CWinApp::ExitInstance();
}

// ---------------------------------------------------------------------------
// Crash dumps

namespace {
volatile LONG g_bDumpWritten = 0;

// The dump holds the process's memory, the player's login token among it:
// only its own user may read it. Made before any crash, as the filter
// itself uses no heap.
struct DumpSecurity {
    SECURITY_DESCRIPTOR descriptor;
    alignas(DWORD) BYTE acl[sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE];
    alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    bool ready;
} g_dumpSecurity{};

// A dump requested without exception information: the breakpoint raised
// below is caught here, first in line, and execution goes on after it.
struct PendingDump {
    DWORD threadId;
    HANDLE file;
    bool written;
};
PendingDump* volatile g_pPendingDump = nullptr;

LONG CALLBACK BreakpointDumpHandler(EXCEPTION_POINTERS* ep) {
    PendingDump* pending = g_pPendingDump;
    if (!pending || pending->threadId != ::GetCurrentThreadId() ||
        ep->ExceptionRecord->ExceptionCode != EXCEPTION_BREAKPOINT)
        return EXCEPTION_CONTINUE_SEARCH;
    g_pPendingDump = nullptr;
    pending->written = WriteCrashDump(pending->file, ep);
    // The context stops at the breakpoint instruction: resume after it.
#if defined(__i386__)
    if (*reinterpret_cast<const BYTE*>(ep->ContextRecord->Eip) == 0xCC) ep->ContextRecord->Eip += 1;
#elif defined(__x86_64__)
    if (*reinterpret_cast<const BYTE*>(ep->ContextRecord->Rip) == 0xCC) ep->ContextRecord->Rip += 1;
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}
}  // namespace

void PrepareCrashDumpSecurity() {
    DumpSecurity& s = g_dumpSecurity;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    DWORD size = 0;
    const bool user = ::GetTokenInformation(token, TokenUser, s.user, sizeof s.user, &size) != FALSE;
    ::CloseHandle(token);
    if (!user) return;
    PSID sid = reinterpret_cast<TOKEN_USER*>(s.user)->User.Sid;
    auto* acl = reinterpret_cast<ACL*>(s.acl);
    s.ready = ::InitializeSecurityDescriptor(&s.descriptor, SECURITY_DESCRIPTOR_REVISION) &&
              ::InitializeAcl(acl, sizeof s.acl, ACL_REVISION) && ::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) &&
              ::SetSecurityDescriptorDacl(&s.descriptor, TRUE, acl, FALSE) &&
              ::SetSecurityDescriptorControl(&s.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

PSECURITY_DESCRIPTOR CrashDumpSecurity() { return g_dumpSecurity.ready ? &g_dumpSecurity.descriptor : nullptr; }

bool WriteCrashDump(HANDLE hFile, EXCEPTION_POINTERS* pExceptionInfo) {
    if (!pExceptionInfo) {
        PendingDump pending{::GetCurrentThreadId(), hFile, false};
        PVOID handler = ::AddVectoredExceptionHandler(1, &BreakpointDumpHandler);
        if (!handler) return false;
        g_pPendingDump = &pending;
        __asm__ volatile("int3");
        g_pPendingDump = nullptr;
        ::RemoveVectoredExceptionHandler(handler);
        return pending.written;
    }
    // From the system's folder by its full path: a library of that name put
    // beside the executable, or in the current folder, is never loaded.
    wchar_t library[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(library, MAX_PATH);
    if (length == 0 || length + 14 > MAX_PATH) return false;
    ::lstrcpyW(library + length, L"\\DbgHelp.dll");
    HMODULE dbghelp = ::LoadLibraryW(library);
    if (!dbghelp) return false;
    using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                              PMINIDUMP_EXCEPTION_INFORMATION, PMINIDUMP_USER_STREAM_INFORMATION,
                                              PMINIDUMP_CALLBACK_INFORMATION);
    auto write = reinterpret_cast<MiniDumpWriteDumpFn>(
        reinterpret_cast<void*>(::GetProcAddress(dbghelp, "MiniDumpWriteDump")));
    bool ok = false;
    if (write) {
        MINIDUMP_EXCEPTION_INFORMATION info{};
        info.ThreadId = ::GetCurrentThreadId();
        info.ExceptionPointers = pExceptionInfo;
        info.ClientPointers = TRUE;
        const DWORD types[] = {0x1A25, 0x225, 0};
        for (DWORD type : types) {
            if (write(::GetCurrentProcess(), ::GetCurrentProcessId(), hFile, static_cast<MINIDUMP_TYPE>(type),
                      &info, nullptr, nullptr)) {
                ok = true;
                break;
            }
        }
    }
    ::FreeLibrary(dbghelp);
    return ok;
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* pExceptionInfo) {
    if (g_bDumpWritten) return EXCEPTION_EXECUTE_HANDLER;
    // No heap from here on: the crash may come from a broken heap, or strike
    // while another thread holds the heap's lock.
    wchar_t dumpPath[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, dumpPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !CrashDumpPathFor(dumpPath, MAX_PATH)) return EXCEPTION_CONTINUE_SEARCH;
    // A new file, readable by this user alone: an older dump (or a link some
    // other user left in its place) goes first, never written through.
    if (!g_dumpSecurity.ready) return EXCEPTION_CONTINUE_SEARCH;
    ::DeleteFileW(dumpPath);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &g_dumpSecurity.descriptor, FALSE};
    HANDLE file = ::CreateFileW(dumpPath, GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        WriteCrashDump(file, pExceptionInfo);
        ::CloseHandle(file);
    }
    g_bDumpWritten = 1;
    return EXCEPTION_CONTINUE_SEARCH;
}

// ---------------------------------------------------------------------------

DWORD SystemMajorVersion() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ::GetVersionExW(&version);
#pragma GCC diagnostic pop
    return version.dwMajorVersion;
}

bool IsWindows10OrLater() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    static RtlGetVersionFn fn = [] {
        HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        return ntdll ? reinterpret_cast<RtlGetVersionFn>(
                           reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")))
                     : nullptr;
    }();
    if (!fn) return false;
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = 284;
    return fn(&info) == 0 && info.dwMajorVersion >= 10;
}

bool LaunchProcess(const wchar_t* path) {
    std::wstring target = (path && *path) ? path : ExePath();
    // Quoted, so that a path with blanks starts the right program.
    std::wstring commandLine = L"\"" + target + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(target.c_str(), commandLine.data(), nullptr, nullptr, FALSE, IDLE_PRIORITY_CLASS, nullptr,
                          nullptr, &si, &pi))
        return false;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}
