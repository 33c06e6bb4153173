#pragma once
// Start-up steps timed for the benchmark's traced build (devtools/bench.sh).
// In every other build STARTUP_MARK is nothing at all.
#ifdef LUMENDOR_STARTUP_TRACE
// Notes the moment a step of the start-up ends. `step` is a literal.
void StartupMark(const char* step);
#define STARTUP_MARK(step) StartupMark(step)
#else
#define STARTUP_MARK(step) ((void)0)
#endif
