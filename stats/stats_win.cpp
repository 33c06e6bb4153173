// Interim: the request helper and the beacon formats arrive with the
// statistics work. Until then every send finishes at once, so that start-up
// already runs its waits in their final order.
#include "stats/stats_win.h"

#include "app/halvane3_app_win.h"

namespace {
bool FinishAtOnce() {
    ::SetEvent(theApp.m_hDoneEvent);
    return true;
}
}  // namespace

bool SendUnionBeacon(const wchar_t*) { return FinishAtOnce(); }
bool SendRegEvent(const wchar_t*, const wchar_t*) { return FinishAtOnce(); }
bool SendInstallStats() { return FinishAtOnce(); }
bool SendActivityStats() { return FinishAtOnce(); }
