// The mute switch: silences the client's sound without touching other
// programs. From Vista on it sets the mute controls of the audio mixer;
// on earlier Windows it intercepts the process's sound output (waveOut,
// MIDI streams, DirectSound buffers) and fills every buffer with silence
// while muted.
#pragma once
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

// Applies the state (0 sound on, 1 muted) by the way the system's version
// calls for. Non-zero on success.
BOOL ApplyMute(BOOL bMute);

// The two ways, chosen by ApplyMute: major version above 5, and the rest.
// By mixer: the wave-out source line, then the speakers; the speakers'
// result is returned.
BOOL ApplyMuteByMixer(BOOL bMute);
// By interception: the first call installs the replacement functions (they
// stay until process exit); every call sets g_bSoundMuted. TRUE when the
// replacements are in place.
BOOL ApplyMuteByHooks(BOOL bMute);

// Line kinds of MuteMixerLine.
enum : int {
    kMixerSpeakers = 0,     // the speakers destination line
    kMixerWaveOut = 1,      // the wave-out source line
    kMixerSynthesizer = 2,  // the synthesizer source line
};

// Sets the mute control of mixer 0's line of that kind; TRUE when it was
// set.
BOOL MuteMixerLine(int nKind, BOOL bMute);

// Read by the replacements on the system's sound threads; written by
// ApplyMuteByHooks. One aligned 32-bit value.
extern volatile LONG g_bSoundMuted;

// The real functions: the system's, and once intercepted, the trampolines
// that reach them.
using WaveOutWriteFn = MMRESULT(WINAPI*)(HWAVEOUT, LPWAVEHDR, UINT);
using MidiStreamOutFn = MMRESULT(WINAPI*)(HMIDISTRM, LPMIDIHDR, UINT);
using DirectSoundCreateFn = HRESULT(WINAPI*)(LPCGUID, LPDIRECTSOUND*, LPUNKNOWN);
extern WaveOutWriteFn g_pRealWaveOutWrite;
extern MidiStreamOutFn g_pRealMidiStreamOut;
extern DirectSoundCreateFn g_pRealDirectSoundCreate;

// The replacements.
MMRESULT WINAPI MuteWaveOutWrite(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh);
MMRESULT WINAPI MuteMidiStreamOut(HMIDISTRM hms, LPMIDIHDR pmh, UINT cbmh);
HRESULT WINAPI MuteDirectSoundCreate(LPCGUID pGuid, LPDIRECTSOUND* ppDS, LPUNKNOWN pOuter);
HRESULT STDMETHODCALLTYPE MuteCreateSoundBuffer(IDirectSound* pThis, LPCDSBUFFERDESC pDesc,
                                                LPDIRECTSOUNDBUFFER* ppBuffer, LPUNKNOWN pOuter);
HRESULT STDMETHODCALLTYPE MuteBufferUnlock(IDirectSoundBuffer* pThis, LPVOID pPart1, DWORD dwSize1, LPVOID pPart2,
                                           DWORD dwSize2);

// One slot of a shared interface table, replaced once for the process.
struct CSlotPatch {
    void** m_pSlot = nullptr;     // the patched entry
    void* m_pReal = nullptr;      // what it held before
    volatile LONG m_nClaimed = 0;  // set by the one thread that patches
};
inline constexpr int kCreateSoundBufferSlot = 3;  // IDirectSound: after the three IUnknown entries
inline constexpr int kBufferUnlockSlot = 19;      // IDirectSoundBuffer::Unlock, the twentieth entry
extern CSlotPatch g_CreateSoundBufferSlot;
extern CSlotPatch g_BufferUnlockSlot;

// Replaces entry `nIndex` of the object's interface table by `pReplacement`
// unless `patch` has been applied already. True when this call patched.
bool PatchInterfaceSlot(void* pObject, int nIndex, void* pReplacement, CSlotPatch& patch);

// Puts both interface slots back and forgets them (tests only).
void ResetSoundSlotsForTest();
