// Runs the mute the way the main window does, on whatever system version
// this process is shown, and prints what happened:
//   major=N first=R hooked=0|1 second=R muted=0|1 zeroed=0|1
// At exit, after the mute's own clean-up, it checks that waveOutWrite has
// its original first bytes again; if not, the exit code is 3.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/halvane3_app_win.h"
#include "mainwnd/detour_win.h"
#include "mainwnd/sound_mute_win.h"

namespace {

BYTE* g_pEntry = nullptr;
BYTE g_before[8] = {};

// Registered before the mute's clean-up, so it runs after it.
void CheckRestored() {
    if (std::memcmp(g_pEntry, g_before, sizeof g_before) != 0) std::_Exit(3);
}

bool JumpsTo(const BYTE* entry, const void* to) {
    if (entry[0] != 0xE9) return false;
    int32_t rel = 0;
    std::memcpy(&rel, entry + 1, 4);
    return entry + 5 + rel == to;
}

}  // namespace

int wmain() {
    g_pEntry = static_cast<BYTE*>(
        DetourCodeFromPointer(reinterpret_cast<PVOID>(::GetProcAddress(::LoadLibraryW(L"winmm.dll"), "waveOutWrite"))));
    std::memcpy(g_before, g_pEntry, sizeof g_before);
    std::atexit(CheckRestored);

    const BOOL first = ApplyMute(FALSE);  // the first tick applies "sound on"
    const bool hooked = JumpsTo(g_pEntry, reinterpret_cast<const void*>(&MuteWaveOutWrite));
    const BOOL second = ApplyMute(TRUE);

    char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    WAVEHDR header = {};
    header.lpData = data;
    header.dwBufferLength = sizeof data;
    ::waveOutWrite(reinterpret_cast<HWAVEOUT>(0x1234), &header, sizeof header);
    bool zeroed = header.dwBufferLength == sizeof data;
    for (char c : data) zeroed = zeroed && c == 0;

    std::printf("major=%lu first=%d hooked=%d second=%d muted=%ld zeroed=%d\n", SystemMajorVersion(), first,
                hooked ? 1 : 0, second, g_bSoundMuted, zeroed ? 1 : 0);
    std::fflush(stdout);
    return 0;
}
