// Beacons of start-up. Each send starts a worker and returns once the worker
// has its own copy of the address; the application's m_hDoneEvent is set
// when the request has finished.
#pragma once

// Union beacon ("_az.gif" install, "_xz.gif" uninstall) with the identity query.
bool SendUnionBeacon(const wchar_t* gifName);
// Registration event: number and name.
bool SendRegEvent(const wchar_t* event, const wchar_t* eventName);
// Install counter step and the install statistics beacon.
bool SendInstallStats();
// Activity counters of an ordinary start and the activity beacon.
bool SendActivityStats();
