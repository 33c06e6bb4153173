// Beacons: the ways a request leaves the client, the counters behind the
// activity beacon, and the beacons of start-up.
#pragma once
#include <cstdint>
#include <string>

// Starts a worker with the address and returns once the worker has its own
// copy; the application's m_hDoneEvent is set when the request has ended.
bool SendBeacon(const wchar_t* address);
// Detached send: the worker owns a heap copy of the address (at most
// capacityChars - 1 characters) and frees it.
bool RunUrlWorker(const std::wstring& address, std::size_t capacityChars);
// Direct send on the calling thread.
int SendDirect(const wchar_t* address);

// The registration-event address for an event number and name.
std::wstring FormatRegEvent(const wchar_t* event, const wchar_t* eventName);
// Login statistics and online record addresses of the main window.
std::wstring LoginStatsUrl(const std::wstring& uid, int index);
std::wstring OnlineRecordUrl(const std::wstring& game, const std::wstring& server, long length);

// Days since the last start stored before this process began.
int DayGap();
// One counter step (kinds 1 to 6); returns the value the beacon carries.
std::uint32_t UpdateStatCounter(int kind);

// Beacons of start-up, each sent with SendBeacon.
bool SendUnionBeacon(const wchar_t* gifName);  // "_az.gif" or "_xz.gif"
bool SendRegEvent(const wchar_t* event, const wchar_t* eventName);
bool SendInstallStats();    // Inst + 1
bool SendUninstallStats();  // UnInst + 1
bool SendActivityStats();   // weekdays, keepdays, apartdays, Game + 1
