// The client's application object: everything between process start and the
// first window.
#pragma once
#include "framework/app_win.h"

#include <string>

#include "app/client_info.h"
#include "app/run_mode.h"

// Process-wide values filled at start and read by the windows.
extern wchar_t DisplayName[kDisplayNameCapacity];  // the game's display name
extern std::wstring GameUrl;                       // the game page address
extern INT_PTR HallWindow;                         // the calling game hall's window
extern int RunMode;                                // kept by start-up only

class CHalvane3App : public CWinApp {
public:
    CHalvane3App();

    BOOL InitInstance() override;
    int ExitInstance() override;

    ULONG_PTR m_gdiplusToken = 0;
    HANDLE m_hCopiedEvent = nullptr;  // a beacon worker has copied its address
    HANDLE m_hDoneEvent = nullptr;    // a beacon worker has finished its request
    std::wstring m_strFavName;        // handed to the favourites dialog
    std::wstring m_strFavUrl;

    // Waits without time limit until a beacon has finished, then resets.
    void WaitBeaconDone(bool reset = true);
    // Creates both beacon events (leaves both null when one fails) and
    // closes them; a running worker keeps handles of its own.
    void CreateBeaconEvents();
    void CloseBeaconEvents();

private:
    void RunUninstall();
    void RunFirstRun();
    void RunOrdinaryStart();
    void RunCommonTail();
};

extern CHalvane3App theApp;

// Chooses the run mode from the command line and the executable's place;
// fills HallWindow (and GameUrl) for the game-hall modes.
int ParseRunMode();

// The process-wide unhandled-exception filter and the dump writer.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* pExceptionInfo);
// Readies the access list the crash dump is written with (its user only);
// called once at start, before the filter is installed.
void PrepareCrashDumpSecurity();
// That descriptor (null until it is ready).
PSECURITY_DESCRIPTOR CrashDumpSecurity();
bool WriteCrashDump(HANDLE hFile, EXCEPTION_POINTERS* pExceptionInfo);

// The major version GetVersionEx reports (what the client's checks of
// "a major version above 5" read).
DWORD SystemMajorVersion();

// True when the system's version routine reports major version 10 or more.
bool IsWindows10OrLater();

// Starts `path` (or this executable when null or empty) shown normally in
// the idle priority class.
bool LaunchProcess(const wchar_t* path = nullptr);

// The connectivity check against the build's check address.
bool NetworkAvailable();

inline constexpr wchar_t kNoNetworkMessage[] = L"当前网络不可用，请检查网络连接是否正常！";
inline constexpr wchar_t kUnsafeInstallDirMessage[] = L"安装目录已被其他用户占用，无法安装！";
