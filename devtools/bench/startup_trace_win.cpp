// The traced build's record of its start-up steps: the moment each step
// ended, by the performance counter (the clock the measuring program starts
// the client by), kept in memory and written once at exit to the file named
// by LUMENDOR_STARTUP_TRACE, one "step<TAB>milliseconds" line each.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "app/startup_trace.h"

namespace {

struct Mark {
    const char* step;
    LONGLONG counter;
};
constexpr int kMaxMarks = 256;
Mark g_marks[kMaxMarks];
int g_markCount = 0;

void WriteMarks() {
    wchar_t path[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"LUMENDOR_STARTUP_TRACE", path, MAX_PATH)) return;
    FILE* out = _wfopen(path, L"ab");
    if (!out) return;
    LARGE_INTEGER freq{};
    ::QueryPerformanceFrequency(&freq);
    for (int i = 0; i < g_markCount; ++i)
        std::fprintf(out, "%s\t%.3f\n", g_marks[i].step,
                     static_cast<double>(g_marks[i].counter) * 1000.0 / static_cast<double>(freq.QuadPart));
    std::fprintf(out, "\n");
    std::fclose(out);
}

}  // namespace

void StartupMark(const char* step) {
    if (g_markCount == 0) std::atexit(&WriteMarks);
    if (g_markCount >= kMaxMarks) return;
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    g_marks[g_markCount++] = {step, now.QuadPart};
}
