// The mute: the intercepted waveOut and MIDI output, the DirectSound table
// patches on objects of our own, the mixer without a sound device, and the
// choice between the two ways by system version.
#include <gtest/gtest.h>

#include <regex>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/halvane3_app_win.h"
#include "mainwnd/detour_win.h"
#include "mainwnd/sound_mute_win.h"
#include "test_util.h"

namespace {

const auto kNotOpen = reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(0x1234));
const auto kNoStream = reinterpret_cast<HMIDISTRM>(static_cast<UINT_PTR>(0x1234));

bool JumpsTo(const void* entry, const void* to) {
    const auto* p = static_cast<const BYTE*>(entry);
    if (p[0] != 0xE9) return false;
    int32_t rel = 0;
    std::memcpy(&rel, p + 1, 4);
    return p + 5 + rel == to;
}

PVOID Export(const wchar_t* dll, const char* name) {
    return DetourCodeFromPointer(reinterpret_cast<PVOID>(::GetProcAddress(::LoadLibraryW(dll), name)));
}

std::vector<char> Pattern(size_t n) {
    std::vector<char> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<char>(0x41 + i % 26);
    return v;
}

bool AllZero(const std::vector<char>& v) {
    for (char c : v)
        if (c) return false;
    return true;
}

TEST(SoundMuteHooks, WaveOutAndMidiBuffersAreSilencedOnlyWhileMuted) {
    // The first call installs the replacements and silences nothing.
    ASSERT_TRUE(ApplyMuteByHooks(FALSE));
    EXPECT_EQ(g_bSoundMuted, 0);
    EXPECT_TRUE(JumpsTo(Export(L"winmm.dll", "waveOutWrite"), reinterpret_cast<void*>(&MuteWaveOutWrite)));
    EXPECT_TRUE(JumpsTo(Export(L"winmm.dll", "midiStreamOut"), reinterpret_cast<void*>(&MuteMidiStreamOut)));
    EXPECT_TRUE(JumpsTo(Export(L"dsound.dll", "DirectSoundCreate"), reinterpret_cast<void*>(&MuteDirectSoundCreate)));
    const auto trampoline = g_pRealWaveOutWrite;
    ASSERT_NE(reinterpret_cast<PVOID>(trampoline), Export(L"winmm.dll", "waveOutWrite"));

    // What the real function answers for a device that is not open, asked
    // through the trampoline.
    std::vector<char> data = Pattern(64);
    WAVEHDR wave = {};
    wave.lpData = data.data();
    wave.dwBufferLength = static_cast<DWORD>(data.size());
    const MMRESULT waveAnswer = g_pRealWaveOutWrite(kNotOpen, &wave, sizeof wave);
    ASSERT_NE(waveAnswer, MMSYSERR_NOERROR);
    std::vector<char> midiData = Pattern(48);
    MIDIHDR midi = {};
    midi.lpData = midiData.data();
    midi.dwBufferLength = static_cast<DWORD>(midiData.size());
    const MMRESULT midiAnswer = g_pRealMidiStreamOut(kNoStream, &midi, sizeof midi);
    ASSERT_NE(midiAnswer, MMSYSERR_NOERROR);

    // Sound on: the buffers pass untouched, the real answer comes back.
    EXPECT_EQ(::waveOutWrite(kNotOpen, &wave, sizeof wave), waveAnswer);
    EXPECT_EQ(data, Pattern(64));
    EXPECT_EQ(::midiStreamOut(kNoStream, &midi, sizeof midi), midiAnswer);
    EXPECT_EQ(midiData, Pattern(48));

    // Muted: the same calls reach the real functions with silent buffers of
    // unchanged length.
    ASSERT_TRUE(ApplyMuteByHooks(TRUE));
    EXPECT_EQ(g_bSoundMuted, 1);
    EXPECT_EQ(g_pRealWaveOutWrite, trampoline);  // installed once
    EXPECT_EQ(::waveOutWrite(kNotOpen, &wave, sizeof wave), waveAnswer);
    EXPECT_TRUE(AllZero(data));
    EXPECT_EQ(wave.dwBufferLength, 64u);
    EXPECT_EQ(wave.lpData, data.data());
    EXPECT_EQ(::midiStreamOut(kNoStream, &midi, sizeof midi), midiAnswer);
    EXPECT_TRUE(AllZero(midiData));
    EXPECT_EQ(midi.dwBufferLength, 48u);

    // A missing header or buffer is the real function's business.
    EXPECT_EQ(::waveOutWrite(kNotOpen, nullptr, sizeof wave), g_pRealWaveOutWrite(kNotOpen, nullptr, sizeof wave));
    WAVEHDR empty = {};
    empty.dwBufferLength = 100;
    EXPECT_EQ(::waveOutWrite(kNotOpen, &empty, sizeof empty), g_pRealWaveOutWrite(kNotOpen, &empty, sizeof empty));

    // And back to sound.
    ASSERT_TRUE(ApplyMuteByHooks(FALSE));
    data = Pattern(64);
    EXPECT_EQ(::waveOutWrite(kNotOpen, &wave, sizeof wave), waveAnswer);
    EXPECT_EQ(data, Pattern(64));
}

TEST(SoundMuteHooks, FailedDirectSoundCreationPatchesNothing) {
    ASSERT_TRUE(ApplyMuteByHooks(FALSE));
    ResetSoundSlotsForTest();
    using Fn = HRESULT(WINAPI*)(LPCGUID, LPDIRECTSOUND*, LPUNKNOWN);
    const auto create = reinterpret_cast<Fn>(::GetProcAddress(::LoadLibraryW(L"dsound.dll"), "DirectSoundCreate"));
    LPDIRECTSOUND real = nullptr, through = nullptr;
    const HRESULT answer = g_pRealDirectSoundCreate(nullptr, &real, nullptr);
    const HRESULT hr = create(nullptr, &through, nullptr);  // through the replacement
    EXPECT_EQ(hr, answer);
    if (FAILED(hr)) {
        // No sound device here: nothing created, nothing patched.
        EXPECT_EQ(through, nullptr);
        EXPECT_EQ(g_CreateSoundBufferSlot.m_nClaimed, 0);
    } else {
        EXPECT_EQ(g_CreateSoundBufferSlot.m_nClaimed, 1);
        EXPECT_EQ(g_CreateSoundBufferSlot.m_pSlot, reinterpret_cast<void**>(*reinterpret_cast<void***>(through)) + 3);
        through->Release();
    }
    if (real) real->Release();
    ResetSoundSlotsForTest();
}

// --- DirectSound objects of our own ---

struct CFakeObject {
    void** m_pVtbl;
};

constexpr HRESULT kUnlockAnswer = 7;  // a success code the real Unlock alone gives

CFakeObject g_sound{}, g_otherSound{};
CFakeObject g_buffers[4] = {};
int g_nNextBuffer = 0;
bool g_bFailCreate = false, g_bFailBuffer = false;
struct UnlockSeen {
    void* self = nullptr;
    std::vector<char> part1, part2;
    DWORD size1 = 0, size2 = 0;
    int calls = 0;
} g_unlock;

HRESULT WINAPI FakeDirectSoundCreate(LPCGUID, LPDIRECTSOUND* pp, LPUNKNOWN) {
    if (!pp) return DSERR_INVALIDPARAM;
    if (g_bFailCreate) return DSERR_NODRIVER;
    *pp = reinterpret_cast<LPDIRECTSOUND>(&g_sound);
    return DS_OK;
}

HRESULT STDMETHODCALLTYPE FakeCreateSoundBuffer(IDirectSound*, LPCDSBUFFERDESC, LPDIRECTSOUNDBUFFER* pp, LPUNKNOWN) {
    if (!pp) return E_POINTER;
    if (g_bFailBuffer) return DSERR_INVALIDPARAM;
    *pp = reinterpret_cast<LPDIRECTSOUNDBUFFER>(&g_buffers[g_nNextBuffer++]);
    return DS_OK;
}

HRESULT STDMETHODCALLTYPE FakeUnlock(IDirectSoundBuffer* self, LPVOID p1, DWORD n1, LPVOID p2, DWORD n2) {
    g_unlock.self = self;
    g_unlock.part1.assign(static_cast<char*>(p1), static_cast<char*>(p1) + n1);
    g_unlock.part2.assign(static_cast<char*>(p2), static_cast<char*>(p2) + n2);
    g_unlock.size1 = n1;
    g_unlock.size2 = n2;
    ++g_unlock.calls;
    return kUnlockAnswer;
}

HRESULT STDMETHODCALLTYPE FakeOther() { return E_NOTIMPL; }

// The interface tables on a read-only page, as the system's are.
class CFakeTables {
public:
    CFakeTables() {
        m_page = static_cast<void**>(::VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        for (int i = 0; i < 1024; ++i) m_page[i] = reinterpret_cast<void*>(&FakeOther);
        Sound()[3] = reinterpret_cast<void*>(&FakeCreateSoundBuffer);
        OtherSound()[3] = reinterpret_cast<void*>(&FakeCreateSoundBuffer);
        Buffer()[19] = reinterpret_cast<void*>(&FakeUnlock);
        DWORD old = 0;
        ::VirtualProtect(m_page, 4096, PAGE_READONLY, &old);
        g_sound.m_pVtbl = Sound();
        g_otherSound.m_pVtbl = OtherSound();
        for (auto& b : g_buffers) b.m_pVtbl = Buffer();
    }
    ~CFakeTables() { ::VirtualFree(m_page, 0, MEM_RELEASE); }
    CFakeTables(const CFakeTables&) = delete;
    CFakeTables& operator=(const CFakeTables&) = delete;

    void** Sound() const { return m_page; }
    void** OtherSound() const { return m_page + 16; }
    void** Buffer() const { return m_page + 64; }
    DWORD Protection() const {
        MEMORY_BASIC_INFORMATION mbi = {};
        ::VirtualQuery(m_page, &mbi, sizeof mbi);
        return mbi.Protect;
    }

private:
    void** m_page = nullptr;
};

class SoundMuteDirectSound : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSoundSlotsForTest();
        m_saved = g_pRealDirectSoundCreate;
        g_pRealDirectSoundCreate = &FakeDirectSoundCreate;
        m_muted = g_bSoundMuted;
        g_bSoundMuted = 0;
        g_nNextBuffer = 0;
        g_bFailCreate = g_bFailBuffer = false;
        g_unlock = {};
    }
    void TearDown() override {
        ResetSoundSlotsForTest();
        g_pRealDirectSoundCreate = m_saved;
        g_bSoundMuted = m_muted;
    }
    CFakeTables m_tables;
    DirectSoundCreateFn m_saved = nullptr;
    LONG m_muted = 0;
};

TEST_F(SoundMuteDirectSound, FailedCreationsPatchNothing) {
    LPDIRECTSOUND ds = nullptr;
    g_bFailCreate = true;
    EXPECT_EQ(MuteDirectSoundCreate(nullptr, &ds, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(ds, nullptr);
    g_bFailCreate = false;
    // A missing out parameter is refused by the real function, not written.
    EXPECT_EQ(MuteDirectSoundCreate(nullptr, nullptr, nullptr), DSERR_INVALIDPARAM);
    EXPECT_EQ(m_tables.Sound()[3], reinterpret_cast<void*>(&FakeCreateSoundBuffer));
    EXPECT_EQ(g_CreateSoundBufferSlot.m_nClaimed, 0);
    EXPECT_FALSE(PatchInterfaceSlot(nullptr, 3, reinterpret_cast<void*>(&FakeOther), g_CreateSoundBufferSlot));
    EXPECT_EQ(g_CreateSoundBufferSlot.m_nClaimed, 0);

    ASSERT_EQ(MuteDirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
    LPDIRECTSOUNDBUFFER buffer = nullptr;
    DSBUFFERDESC desc = {};
    g_bFailBuffer = true;
    EXPECT_EQ(ds->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_INVALIDPARAM);
    EXPECT_EQ(ds->CreateSoundBuffer(&desc, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(m_tables.Buffer()[19], reinterpret_cast<void*>(&FakeUnlock));
    EXPECT_EQ(g_BufferUnlockSlot.m_nClaimed, 0);
}

TEST_F(SoundMuteDirectSound, SharedSlotsArePatchedOnceAndSilenceEveryBuffer) {
    LPDIRECTSOUND ds = nullptr;
    ASSERT_EQ(MuteDirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
    ASSERT_EQ(ds, reinterpret_cast<LPDIRECTSOUND>(&g_sound));
    // CreateSoundBuffer, the fourth entry, now leads to the replacement; the
    // table's page was made writable for it.
    EXPECT_EQ(m_tables.Sound()[3], reinterpret_cast<void*>(&MuteCreateSoundBuffer));
    EXPECT_EQ(m_tables.Protection(), static_cast<DWORD>(PAGE_EXECUTE_READWRITE));

    // Two buffers, both created while the sound is on; the first creation
    // patches Unlock, the twentieth entry of the shared buffer table.
    DSBUFFERDESC desc = {};
    LPDIRECTSOUNDBUFFER early = nullptr, later = nullptr;
    ASSERT_EQ(ds->CreateSoundBuffer(&desc, &early, nullptr), DS_OK);
    EXPECT_EQ(m_tables.Buffer()[19], reinterpret_cast<void*>(&MuteBufferUnlock));
    ASSERT_EQ(ds->CreateSoundBuffer(&desc, &later, nullptr), DS_OK);
    EXPECT_NE(early, later);

    std::vector<char> a = Pattern(32), b = Pattern(10);
    EXPECT_EQ(early->Unlock(a.data(), 32, b.data(), 10), kUnlockAnswer);
    EXPECT_EQ(g_unlock.part1, Pattern(32));
    EXPECT_EQ(g_unlock.part2, Pattern(10));

    g_bSoundMuted = 1;
    for (LPDIRECTSOUNDBUFFER buffer : {early, later}) {
        a = Pattern(32);
        b = Pattern(10);
        EXPECT_EQ(buffer->Unlock(a.data(), 32, b.data(), 10), kUnlockAnswer);
        EXPECT_EQ(g_unlock.self, buffer);
        EXPECT_TRUE(AllZero(g_unlock.part1));
        EXPECT_TRUE(AllZero(g_unlock.part2));
        EXPECT_EQ(g_unlock.size1, 32u);
        EXPECT_EQ(g_unlock.size2, 10u);
    }
    // A wrapped lock has no second part.
    a = Pattern(32);
    EXPECT_EQ(early->Unlock(a.data(), 32, nullptr, 0), kUnlockAnswer);
    EXPECT_TRUE(AllZero(a));
    EXPECT_EQ(g_unlock.calls, 4);

    g_bSoundMuted = 0;
    a = Pattern(32);
    EXPECT_EQ(later->Unlock(a.data(), 32, nullptr, 0), kUnlockAnswer);
    EXPECT_EQ(a, Pattern(32));
}

TEST_F(SoundMuteDirectSound, OnlyTheFirstObjectsTableIsPatched) {
    LPDIRECTSOUND ds = nullptr;
    ASSERT_EQ(MuteDirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
    g_sound.m_pVtbl = m_tables.OtherSound();  // the next object comes with another table
    ASSERT_EQ(MuteDirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
    EXPECT_EQ(m_tables.OtherSound()[3], reinterpret_cast<void*>(&FakeCreateSoundBuffer));
    EXPECT_EQ(g_CreateSoundBufferSlot.m_pSlot, m_tables.Sound() + 3);
    EXPECT_EQ(g_CreateSoundBufferSlot.m_pReal, reinterpret_cast<void*>(&FakeCreateSoundBuffer));
    // and a patch already made is not made again, whatever the object
    EXPECT_FALSE(PatchInterfaceSlot(&g_otherSound, 3, reinterpret_cast<void*>(&FakeOther), g_CreateSoundBufferSlot));
    EXPECT_EQ(m_tables.OtherSound()[3], reinterpret_cast<void*>(&FakeCreateSoundBuffer));
}

// --- the mixer and the choice of way ---

TEST(SoundMuteMixer, WithoutASoundDeviceEveryLineFailsQuietly) {
    if (::mixerGetNumDevs() != 0) GTEST_SKIP() << "this machine has a mixer";
    for (int kind : {int{kMixerSpeakers}, int{kMixerWaveOut}, int{kMixerSynthesizer}, 3, -1}) {
        EXPECT_FALSE(MuteMixerLine(kind, TRUE)) << kind;
        EXPECT_FALSE(MuteMixerLine(kind, FALSE)) << kind;
    }
    EXPECT_FALSE(ApplyMuteByMixer(TRUE));
    EXPECT_FALSE(ApplyMuteByMixer(FALSE));
}

// A sound card's mixer, put in place of the system's (Wine here has none):
// a speakers destination and a wave-out source, each with a mute control
// of two items, and no synthesizer line. It records what it is asked.
struct FakeMixer {
    std::vector<DWORD> linesAsked;        // component types
    std::vector<DWORD> structSizes;       // cbStruct of line, controls, control (cbmxctrl), details
    std::vector<DWORD> controlsOfLine;    // dwLineID asked for its mute control
    std::vector<std::vector<BOOL>> set;   // the values written, per call
    int opened = 0, closed = 0;
    DWORD muteItems = 2;
} g_mixer;
const auto kFakeMixer = reinterpret_cast<HMIXER>(static_cast<ULONG_PTR>(0x4C4D8));

auto g_realMixerOpen = &::mixerOpen;
auto g_realMixerClose = &::mixerClose;
auto g_realLineInfo = &::mixerGetLineInfoW;
auto g_realLineControls = &::mixerGetLineControlsW;
auto g_realGetDetails = &::mixerGetControlDetailsW;
auto g_realSetDetails = &::mixerSetControlDetails;

MMRESULT WINAPI FakeMixerOpen(LPHMIXER mixer, UINT, DWORD_PTR, DWORD_PTR, DWORD) {
    ++g_mixer.opened;
    *mixer = kFakeMixer;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeMixerClose(HMIXER mixer) {
    if (mixer == kFakeMixer) ++g_mixer.closed;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeLineInfo(HMIXEROBJ, LPMIXERLINEW line, DWORD) {
    g_mixer.linesAsked.push_back(line->dwComponentType);
    g_mixer.structSizes.push_back(line->cbStruct);
    if (line->dwComponentType == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS) line->dwLineID = 0xFFFF0000;
    else if (line->dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT) line->dwLineID = 0x00010000;
    else return MIXERR_INVALLINE;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeLineControls(HMIXEROBJ, LPMIXERLINECONTROLSW controls, DWORD) {
    g_mixer.structSizes.push_back(controls->cbStruct);
    g_mixer.structSizes.push_back(controls->cbmxctrl);
    g_mixer.controlsOfLine.push_back(controls->dwLineID);
    if (controls->dwControlType != MIXERCONTROL_CONTROLTYPE_MUTE || controls->cControls != 1)
        return MMSYSERR_INVALPARAM;
    controls->pamxctrl->dwControlID = controls->dwLineID + 7;
    controls->pamxctrl->cMultipleItems = g_mixer.muteItems;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeGetDetails(HMIXEROBJ, LPMIXERCONTROLDETAILS details, DWORD) {
    g_mixer.structSizes.push_back(details->cbStruct);
    if (details->cbDetails != sizeof(MIXERCONTROLDETAILS_BOOLEAN) || details->cChannels != 1)
        return MMSYSERR_INVALPARAM;
    auto* values = static_cast<MIXERCONTROLDETAILS_BOOLEAN*>(details->paDetails);
    for (DWORD i = 0; i < std::max<DWORD>(details->cMultipleItems, 1); ++i) values[i].fValue = 0;  // one per item
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeSetDetails(HMIXEROBJ, LPMIXERCONTROLDETAILS details, DWORD) {
    const auto* values = static_cast<const MIXERCONTROLDETAILS_BOOLEAN*>(details->paDetails);
    std::vector<BOOL> written;
    for (DWORD i = 0; i < std::max<DWORD>(details->cMultipleItems, 1); ++i)
        written.push_back(static_cast<BOOL>(values[i].fValue));
    g_mixer.set.push_back(written);
    return MMSYSERR_NOERROR;
}

LONG InterceptMixer(bool on) {
    return Intercept(on, {Replacing(g_realMixerOpen, &FakeMixerOpen), Replacing(g_realMixerClose, &FakeMixerClose),
                          Replacing(g_realLineInfo, &FakeLineInfo), Replacing(g_realLineControls, &FakeLineControls),
                          Replacing(g_realGetDetails, &FakeGetDetails), Replacing(g_realSetDetails, &FakeSetDetails)});
}

TEST(SoundMuteMixer, MutesTheWaveOutAndSpeakerLinesEveryItemOfTheirMuteControl) {
    ASSERT_EQ(InterceptMixer(true), NO_ERROR);
    // The system's structures as documented, by their sizes.
    const std::vector<DWORD> sizes{280, 24, 228, 24};
    EXPECT_TRUE(ApplyMuteByMixer(TRUE));
    EXPECT_EQ(g_mixer.linesAsked, (std::vector<DWORD>{MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
                                                      MIXERLINE_COMPONENTTYPE_DST_SPEAKERS}));
    EXPECT_EQ(g_mixer.controlsOfLine, (std::vector<DWORD>{0x00010000, 0xFFFF0000}));
    EXPECT_EQ(g_mixer.set, (std::vector<std::vector<BOOL>>{{1, 1}, {1, 1}}));
    EXPECT_EQ(std::vector<DWORD>(g_mixer.structSizes.begin(), g_mixer.structSizes.begin() + 4), sizes);
    EXPECT_EQ(g_mixer.opened, 2);
    EXPECT_EQ(g_mixer.closed, 2);

    g_mixer = {};
    g_mixer.muteItems = 0;  // the usual mute control: one value
    EXPECT_TRUE(MuteMixerLine(kMixerSpeakers, FALSE));
    EXPECT_EQ(g_mixer.set, (std::vector<std::vector<BOOL>>{{0}}));
    // A line the card lacks: nothing is written, the mixer is closed.
    g_mixer = {};
    EXPECT_FALSE(MuteMixerLine(kMixerSynthesizer, TRUE));
    EXPECT_EQ(g_mixer.linesAsked, std::vector<DWORD>{MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER});
    EXPECT_TRUE(g_mixer.set.empty());
    EXPECT_EQ(g_mixer.closed, 1);
    EXPECT_EQ(InterceptMixer(false), NO_ERROR);
    g_mixer = {};
}

TEST(SoundMute, ApplyMuteChoosesTheWayByVersion) {
    const LONG before = g_bSoundMuted;
    g_bSoundMuted = 0;
    const BOOL result = ApplyMute(TRUE);
    if (SystemMajorVersion() > 5) {
        EXPECT_EQ(g_bSoundMuted, 0);  // the mixer way leaves the interceptions alone
        EXPECT_EQ(result, ApplyMuteByMixer(TRUE));
    } else {
        EXPECT_EQ(g_bSoundMuted, 1);
        EXPECT_TRUE(result);
    }
    g_bSoundMuted = before;
}

// --- a process of its own: the early-Windows way from start to exit ---

// The probe's one line of results, and its exit code.
ProgramRun RunSoundProbe() {
    ProgramRun run = RunProgram(L"sound_probe.exe");
    while (!run.output.empty() && run.output.back() == '\n') run.output.pop_back();
    return run;
}

// Shows the probe the given Windows version (Wine's per-program setting).
class CProbeVersion {
public:
    explicit CProbeVersion(const wchar_t* version) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &m_key, nullptr);
        ::RegSetValueExW(m_key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                         static_cast<DWORD>((std::wcslen(version) + 1) * sizeof(wchar_t)));
    }
    ~CProbeVersion() {
        ::RegCloseKey(m_key);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
    }
    CProbeVersion(const CProbeVersion&) = delete;
    CProbeVersion& operator=(const CProbeVersion&) = delete;

private:
    static constexpr wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\sound_probe.exe";
    HKEY m_key = nullptr;
};

TEST(SoundMuteProcess, EarlyWindowsInterceptsFromFirstTickToExit) {
    CProbeVersion xp(L"winxp");
    const ProgramRun run = RunSoundProbe();
    EXPECT_EQ(run.output, "major=5 first=1 hooked=1 second=1 muted=1 zeroed=1");
    EXPECT_EQ(run.exitCode, 0u) << "3: waveOutWrite was not restored at exit";
}

TEST(SoundMuteProcess, LaterWindowsUsesTheMixerAndInterceptsNothing) {
    CProbeVersion win7(L"win7");
    const ProgramRun run = RunSoundProbe();
    // The mixer's answers depend on the machine's sound devices; nothing is
    // intercepted, muted by interception or zeroed whatever they are.
    EXPECT_TRUE(std::regex_match(run.output, std::regex("major=6 first=[01] hooked=0 second=[01] muted=0 zeroed=0")))
        << run.output;
    EXPECT_EQ(run.exitCode, 0u);
}

}  // namespace
