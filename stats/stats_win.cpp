#include "stats/stats_win.h"

#include <windows.h>
#include <process.h>

#include <ctime>
#include <cwchar>

#include "app/build_config.h"
#include "app/halvane3_app_win.h"
#include "net/http_get_win.h"
#include "settings/settings_win.h"
#include "stats/beacons.h"
#include "stats/identity_win.h"

namespace {

struct BeaconStart {
    const wchar_t* address;
    // The worker's own handles of the application's two events, closed by
    // the worker: the application may close its handles at exit while a
    // worker still runs, and a worker must never signal a handle value that
    // something else has taken over since.
    HANDLE copied;
    HANDLE done;
};

unsigned __stdcall BeaconWorker(void* param) {
    auto* start = static_cast<BeaconStart*>(param);
    HANDLE done = start->done;
    wchar_t address[kBeaconAddressCapacity];
    // An address too long for the buffer is not sent at all rather than cut.
    const bool fits = std::wcslen(start->address) < kBeaconAddressCapacity;
    ::lstrcpynW(address, fits ? start->address : L"", kBeaconAddressCapacity);
    ::SetEvent(start->copied);  // the sender may reuse its buffer now
    ::CloseHandle(start->copied);
    if (fits) HttpGet(address);
    ::SetEvent(done);
    ::CloseHandle(done);
    return 0;
}

HANDLE DuplicateForWorker(HANDLE event) {
    HANDLE copy = nullptr;
    if (!event || !::DuplicateHandle(::GetCurrentProcess(), event, ::GetCurrentProcess(), &copy, 0, FALSE,
                                     DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

unsigned __stdcall DetachedWorker(void* param) {
    auto* address = static_cast<wchar_t*>(param);
    HttpGet(address);
    delete[] address;
    return 0;
}

// The last-start date as stored before this process first looked.
const wchar_t* CachedLastStart() {
    static wchar_t cache[16] = L"0";
    static bool filled = false;
    if (!filled) {
        ::lstrcpynW(cache, ReadSetting(Keys::LstTime).c_str(), 16);
        filled = true;
    }
    return cache;
}

void WriteToday() { WriteSetting(Keys::LstTime, FormatLocalDate(std::time(nullptr))); }

}  // namespace

bool SendBeacon(const wchar_t* address) {
    if (!address) address = L"";
    BeaconStart start{address, DuplicateForWorker(theApp.m_hCopiedEvent), DuplicateForWorker(theApp.m_hDoneEvent)};
    if (!start.copied || !start.done) {
        // Without the events nobody could learn when a worker has finished:
        // the request goes out here, so that every beacon sent later still
        // follows this one.
        if (start.copied) ::CloseHandle(start.copied);
        if (start.done) ::CloseHandle(start.done);
        if (std::wcslen(address) < kBeaconAddressCapacity) HttpGet(address);
        if (theApp.m_hDoneEvent) ::SetEvent(theApp.m_hDoneEvent);
        return true;
    }
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &BeaconWorker, &start, 0, nullptr));
    if (!thread) {
        // No worker: send here, so that whoever waits for the request is
        // not left waiting for ever.
        BeaconWorker(&start);
    } else {
        ::CloseHandle(thread);
        ::WaitForSingleObject(theApp.m_hCopiedEvent, INFINITE);
    }
    ::ResetEvent(theApp.m_hCopiedEvent);
    return true;
}

bool RunUrlWorker(const std::wstring& address, std::size_t capacityChars) {
    if (capacityChars == 0) return false;
    auto* copy = new wchar_t[capacityChars];
    ::lstrcpynW(copy, address.c_str(), static_cast<int>(capacityChars));
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &DetachedWorker, copy, 0, nullptr));
    if (!thread) {
        delete[] copy;
        return false;
    }
    ::CloseHandle(thread);
    return true;
}

int SendDirect(const wchar_t* address) { return HttpGet(address); }

std::wstring FormatRegEvent(const wchar_t* event, const wchar_t* eventName) {
    std::wstring mac;
    GetMacString(mac);
    return FormatRegEventUrl(LUMENDOR_EVENT_HOST_W, LUMENDOR_PORTAL_HOST_W, event, eventName, mac);
}

std::wstring LoginStatsUrl(const std::wstring& uid, int index) {
    return FormatLoginStatsUrl(LUMENDOR_STATS_HOST_W, uid, index);
}

std::wstring OnlineRecordUrl(const std::wstring& game, const std::wstring& server, long length) {
    return FormatOnlineRecordUrl(LUMENDOR_ONLINE_HOST_W, game, server, length);
}

int DayGap() { return DayGapAt(CachedLastStart(), std::time(nullptr)); }

std::uint32_t UpdateStatCounter(int kind) {
    switch (kind) {
    case 1: return IncrementCounter(Keys::Inst);
    case 2: return IncrementCounter(Keys::UnInst);
    case 3: return IncrementCounter(Keys::Game);
    case 4: {
        const int gap = DayGap();
        WriteToday();
        return static_cast<std::uint32_t>(ApartDays(gap));
    }
    case 5: {
        const int gap = DayGap();
        WriteToday();
        const std::uint32_t keep = NextKeepDays(ReadCounter(Keys::KeepDays), gap);
        WriteSetting(Keys::KeepDays, FormatCounter(keep));
        return keep;
    }
    case 6: {
        const std::uint32_t mask = NextWeekdaysMask(ReadWeekdays(), DayGap());
        WriteSetting(Keys::Weekdays, std::to_wstring(static_cast<int>(mask)));
        return static_cast<std::uint32_t>(CountWeekdays(mask));
    }
    default: return 0;
    }
}

bool SendUnionBeacon(const wchar_t* gifName) {
    const std::wstring query = BuildIdentityQuery(kBeaconAddressCapacity - 29);
    return SendBeacon(FormatUnionUrl(LUMENDOR_UNION_HOST_W, gifName, query).c_str());
}

bool SendRegEvent(const wchar_t* event, const wchar_t* eventName) {
    return SendBeacon(FormatRegEvent(event, eventName).c_str());
}

bool SendInstallStats() {
    const std::uint32_t count = UpdateStatCounter(1);
    return SendBeacon(FormatInstallUrl(LUMENDOR_STATS_HOST_W, count).c_str());
}

bool SendUninstallStats() {
    const std::uint32_t count = UpdateStatCounter(2);
    return SendBeacon(FormatUninstallUrl(LUMENDOR_STATS_HOST_W, count).c_str());
}

bool SendActivityStats() {
    const int weekdays = static_cast<int>(UpdateStatCounter(6));
    const int keepdays = static_cast<int>(UpdateStatCounter(5));
    const int apartdays = static_cast<int>(UpdateStatCounter(4));
    const std::uint32_t count = UpdateStatCounter(3);
    return SendBeacon(FormatActiveUrl(LUMENDOR_STATS_HOST_W, count, apartdays, keepdays, weekdays).c_str());
}
