#include "mainwnd/sound_mute_win.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "app/halvane3_app_win.h"
#include "mainwnd/detour_win.h"

volatile LONG g_bSoundMuted = 0;
WaveOutWriteFn g_pRealWaveOutWrite = nullptr;
MidiStreamOutFn g_pRealMidiStreamOut = nullptr;
DirectSoundCreateFn g_pRealDirectSoundCreate = nullptr;
CSlotPatch g_CreateSoundBufferSlot;
CSlotPatch g_BufferUnlockSlot;

namespace {

// The mixer structures as the system expects them (Unicode forms).
constexpr DWORD kMixerLineSize = 280;
constexpr DWORD kLineControlsSize = 24;
constexpr DWORD kMixerControlSize = 228;
constexpr DWORD kControlDetailsSize = 24;
static_assert(sizeof(MIXERLINEW) == kMixerLineSize);
static_assert(sizeof(MIXERLINECONTROLSW) == kLineControlsSize);
static_assert(sizeof(MIXERCONTROLW) == kMixerControlSize);
static_assert(sizeof(MIXERCONTROLDETAILS) == kControlDetailsSize);
static_assert(sizeof(MIXERCONTROLDETAILS_BOOLEAN) == 4);

// Loads a library from the system folder only, never from the program's
// own folder.
HMODULE LoadSystemLibrary(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n + 1 + std::wcslen(name) >= MAX_PATH) return nullptr;
    path[n] = L'\\';
    std::wcscpy(path + n + 1, name);
    return ::LoadLibraryW(path);
}

void Silence(void* p, DWORD size) {
    if (p && size) std::memset(p, 0, size);
}

// The three replacements, installed by the first ApplyMuteByHooks and
// removed at process exit.
class CSoundHook {
public:
    CSoundHook() {
        // The libraries stay loaded: the interceptions live inside them.
        if (HMODULE winmm = LoadSystemLibrary(L"winmm.dll")) {
            g_pRealWaveOutWrite = reinterpret_cast<WaveOutWriteFn>(::GetProcAddress(winmm, "waveOutWrite"));
            g_pRealMidiStreamOut = reinterpret_cast<MidiStreamOutFn>(::GetProcAddress(winmm, "midiStreamOut"));
        }
        if (HMODULE dsound = LoadSystemLibrary(L"dsound.dll"))
            g_pRealDirectSoundCreate = reinterpret_cast<DirectSoundCreateFn>(::GetProcAddress(dsound, "DirectSoundCreate"));

        DetourRestoreAfterWith();
        if (DetourTransactionBegin() != NO_ERROR) return;
        DetourUpdateThread(::GetCurrentThread());
        Each([](PVOID* real, PVOID detour) { DetourAttach(real, detour); });
        m_bInstalled = DetourTransactionCommit() == NO_ERROR;
    }

    ~CSoundHook() {
        if (!m_bInstalled || DetourTransactionBegin() != NO_ERROR) return;
        DetourUpdateThread(::GetCurrentThread());
        Each([](PVOID* real, PVOID detour) { DetourDetach(real, detour); });
        DetourTransactionCommit();
    }

    CSoundHook(const CSoundHook&) = delete;
    CSoundHook& operator=(const CSoundHook&) = delete;

    bool m_bInstalled = false;

private:
    // Calls `step` for each function present on this system.
    template <class Step>
    static void Each(Step step) {
        if (g_pRealWaveOutWrite)
            step(reinterpret_cast<PVOID*>(&g_pRealWaveOutWrite), reinterpret_cast<PVOID>(&MuteWaveOutWrite));
        if (g_pRealMidiStreamOut)
            step(reinterpret_cast<PVOID*>(&g_pRealMidiStreamOut), reinterpret_cast<PVOID>(&MuteMidiStreamOut));
        if (g_pRealDirectSoundCreate)
            step(reinterpret_cast<PVOID*>(&g_pRealDirectSoundCreate), reinterpret_cast<PVOID>(&MuteDirectSoundCreate));
    }
};

}  // namespace

MMRESULT WINAPI MuteWaveOutWrite(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    if (g_bSoundMuted && pwh) Silence(pwh->lpData, pwh->dwBufferLength);
    return g_pRealWaveOutWrite(hwo, pwh, cbwh);
}

MMRESULT WINAPI MuteMidiStreamOut(HMIDISTRM hms, LPMIDIHDR pmh, UINT cbmh) {
    if (g_bSoundMuted && pmh) Silence(pmh->lpData, pmh->dwBufferLength);
    return g_pRealMidiStreamOut(hms, pmh, cbmh);
}

HRESULT WINAPI MuteDirectSoundCreate(LPCGUID pGuid, LPDIRECTSOUND* ppDS, LPUNKNOWN pOuter) {
    // The caller's own out parameter goes to the real function, so a null
    // one is refused there instead of leaking the object.
    const HRESULT hr = g_pRealDirectSoundCreate(pGuid, ppDS, pOuter);
    if (SUCCEEDED(hr) && ppDS && *ppDS && !g_CreateSoundBufferSlot.m_nClaimed)
        PatchInterfaceSlot(*ppDS, kCreateSoundBufferSlot, reinterpret_cast<void*>(&MuteCreateSoundBuffer),
                           g_CreateSoundBufferSlot);
    return hr;
}

HRESULT STDMETHODCALLTYPE MuteCreateSoundBuffer(IDirectSound* pThis, LPCDSBUFFERDESC pDesc,
                                                LPDIRECTSOUNDBUFFER* ppBuffer, LPUNKNOWN pOuter) {
    using Fn = HRESULT(STDMETHODCALLTYPE*)(IDirectSound*, LPCDSBUFFERDESC, LPDIRECTSOUNDBUFFER*, LPUNKNOWN);
    const HRESULT hr = reinterpret_cast<Fn>(g_CreateSoundBufferSlot.m_pReal)(pThis, pDesc, ppBuffer, pOuter);
    if (SUCCEEDED(hr) && ppBuffer && *ppBuffer && !g_BufferUnlockSlot.m_nClaimed)
        PatchInterfaceSlot(*ppBuffer, kBufferUnlockSlot, reinterpret_cast<void*>(&MuteBufferUnlock), g_BufferUnlockSlot);
    return hr;
}

HRESULT STDMETHODCALLTYPE MuteBufferUnlock(IDirectSoundBuffer* pThis, LPVOID pPart1, DWORD dwSize1, LPVOID pPart2,
                                           DWORD dwSize2) {
    if (g_bSoundMuted) {
        Silence(pPart1, dwSize1);
        Silence(pPart2, dwSize2);
    }
    using Fn = HRESULT(STDMETHODCALLTYPE*)(IDirectSoundBuffer*, LPVOID, DWORD, LPVOID, DWORD);
    return reinterpret_cast<Fn>(g_BufferUnlockSlot.m_pReal)(pThis, pPart1, dwSize1, pPart2, dwSize2);
}

bool PatchInterfaceSlot(void* pObject, int nIndex, void* pReplacement, CSlotPatch& patch) {
    if (!pObject || nIndex < 0) return false;
    if (::InterlockedCompareExchange(&patch.m_nClaimed, 1, 0) != 0) return false;
    void** slot = *static_cast<void***>(pObject) + nIndex;
    DWORD old = 0;
    if (!::VirtualProtectEx(::GetCurrentProcess(), slot, sizeof(void*), PAGE_EXECUTE_READWRITE, &old)) {
        ::InterlockedExchange(&patch.m_nClaimed, 0);
        return false;
    }
    // The real entry is saved before the replacement can be reached. The
    // page stays writable: both tables may share it, and the other patch may
    // be under way on another thread.
    patch.m_pReal = *slot;
    patch.m_pSlot = slot;
    ::InterlockedExchangePointer(slot, pReplacement);
    return true;
}

void ResetSoundSlotsForTest() {
    for (CSlotPatch* p : {&g_CreateSoundBufferSlot, &g_BufferUnlockSlot}) {
        if (p->m_pSlot) {
            DWORD old = 0;
            if (::VirtualProtectEx(::GetCurrentProcess(), p->m_pSlot, sizeof(void*), PAGE_EXECUTE_READWRITE, &old)) {
                *p->m_pSlot = p->m_pReal;
                ::VirtualProtectEx(::GetCurrentProcess(), p->m_pSlot, sizeof(void*), old, &old);
            }
        }
        p->m_pSlot = nullptr;
        p->m_pReal = nullptr;
        p->m_nClaimed = 0;
    }
}

BOOL MuteMixerLine(int nKind, BOOL bMute) {
    static const DWORD kComponentTypes[] = {MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
                                            MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER};
    if (nKind < 0 || nKind > 2) return FALSE;
    ::mixerGetNumDevs();
    HMIXER hMixer = nullptr;
    if (::mixerOpen(&hMixer, 0, 0, 0, MIXER_OBJECTF_HMIXER) != MMSYSERR_NOERROR) return FALSE;
    const auto obj = reinterpret_cast<HMIXEROBJ>(hMixer);

    MIXERLINEW line = {};
    line.cbStruct = kMixerLineSize;
    line.dwComponentType = kComponentTypes[nKind];
    bool ok = ::mixerGetLineInfoW(obj, &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE) ==
              MMSYSERR_NOERROR;

    MIXERCONTROLW control = {};
    if (ok) {
        MIXERLINECONTROLSW controls = {};
        controls.cbStruct = kLineControlsSize;
        controls.dwLineID = line.dwLineID;
        controls.dwControlType = MIXERCONTROL_CONTROLTYPE_MUTE;
        controls.cControls = 1;
        controls.cbmxctrl = kMixerControlSize;
        controls.pamxctrl = &control;
        ok = ::mixerGetLineControlsW(obj, &controls, MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE) ==
             MMSYSERR_NOERROR;
    }
    if (ok) {
        // A mute control normally has no multiple items; if a driver says
        // otherwise it writes one value per item, so there is room for all.
        std::vector<MIXERCONTROLDETAILS_BOOLEAN> values(control.cMultipleItems > 1 ? control.cMultipleItems : 1);
        MIXERCONTROLDETAILS details = {};
        details.cbStruct = kControlDetailsSize;
        details.dwControlID = control.dwControlID;
        details.cChannels = 1;
        details.cMultipleItems = control.cMultipleItems;
        details.cbDetails = sizeof(MIXERCONTROLDETAILS_BOOLEAN);
        details.paDetails = values.data();
        ok = ::mixerGetControlDetailsW(obj, &details, MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) ==
             MMSYSERR_NOERROR;
        if (ok) {
            for (auto& v : values) v.fValue = bMute ? 1 : 0;
            ok = ::mixerSetControlDetails(obj, &details, MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE) ==
                 MMSYSERR_NOERROR;
        }
    }
    ::mixerClose(hMixer);
    return ok ? TRUE : FALSE;
}

BOOL ApplyMuteByMixer(BOOL bMute) {
    MuteMixerLine(kMixerWaveOut, bMute);
    return MuteMixerLine(kMixerSpeakers, bMute);
}

BOOL ApplyMuteByHooks(BOOL bMute) {
    static CSoundHook s_hook;
    ::InterlockedExchange(&g_bSoundMuted, bMute ? 1 : 0);
    return s_hook.m_bInstalled ? TRUE : FALSE;
}

BOOL ApplyMute(BOOL bMute) {
    if (SystemMajorVersion() > 5) return ApplyMuteByMixer(bMute);
    return ApplyMuteByHooks(bMute);
}
