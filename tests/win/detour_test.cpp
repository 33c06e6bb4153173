// The function interception engine on functions of our own: compiled ones
// and hand-assembled ones whose first bytes hold the cases the prologue
// mover must relocate or follow.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "mainwnd/detour_win.h"

namespace {

using IntFn = int(__cdecl*)(int);

__attribute__((noinline, noclone)) int __cdecl Triple(int x) {
    asm volatile("" ::: "memory");
    return x * 3;
}

IntFn volatile g_pTriple = &Triple;  // calls through here are never inlined
IntFn g_pReal = nullptr;
IntFn g_pReal2 = nullptr;
int g_nDetourCalls = 0;

int __cdecl PlusThousand(int x) {
    ++g_nDetourCalls;
    return g_pReal(x) + 1000;
}

int __cdecl PlusHundredThousand(int x) { return g_pReal2(x) + 100000; }

// Executable memory holding hand-assembled functions.
class CCode {
public:
    CCode() {
        m_p = static_cast<uint8_t*>(
            ::VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
        std::memset(m_p, 0xCC, 4096);
    }
    ~CCode() { ::VirtualFree(m_p, 0, MEM_RELEASE); }
    CCode(const CCode&) = delete;
    CCode& operator=(const CCode&) = delete;

    uint8_t* At(size_t offset) const { return m_p + offset; }
    void Put(size_t offset, std::initializer_list<uint8_t> bytes) {
        std::memcpy(m_p + offset, bytes.begin(), bytes.size());
    }
    // A rel32 at `offset` aiming at `target`, measured from `offset + 4`.
    void Rel32(size_t offset, const void* target) {
        const auto rel = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(target) -
                                               reinterpret_cast<uintptr_t>(m_p + offset + 4));
        std::memcpy(m_p + offset, &rel, 4);
    }
    void Abs32(size_t offset, const void* value) { std::memcpy(m_p + offset, &value, 4); }
    IntFn Fn(size_t offset) const { return reinterpret_cast<IntFn>(m_p + offset); }

private:
    uint8_t* m_p = nullptr;
};

LONG Attach(PVOID* pp, PVOID detour) {
    if (LONG e = DetourTransactionBegin()) return e;
    DetourUpdateThread(::GetCurrentThread());
    DetourAttach(pp, detour);
    return DetourTransactionCommit();
}

LONG Detach(PVOID* pp, PVOID detour) {
    if (LONG e = DetourTransactionBegin()) return e;
    DetourUpdateThread(::GetCurrentThread());
    DetourDetach(pp, detour);
    return DetourTransactionCommit();
}

PVOID* Ptr(IntFn& f) { return reinterpret_cast<PVOID*>(&f); }
PVOID Fn(IntFn f) { return reinterpret_cast<PVOID>(f); }

std::vector<uint8_t> Bytes(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    return {b, b + n};
}

TEST(Detour, CompiledFunctionAttachDetach) {
    const std::vector<uint8_t> before = Bytes(reinterpret_cast<void*>(&Triple), 16);
    g_pReal = &Triple;
    g_nDetourCalls = 0;
    ASSERT_EQ(Attach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR);
    EXPECT_NE(g_pReal, &Triple);  // now the trampoline
    EXPECT_EQ(g_pTriple(5), 1015);
    EXPECT_EQ(g_nDetourCalls, 1);
    EXPECT_EQ(g_pReal(5), 15);  // the real function through the trampoline
    EXPECT_EQ(g_nDetourCalls, 1);

    ASSERT_EQ(Detach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR);
    EXPECT_EQ(g_pReal, &Triple);
    EXPECT_EQ(Bytes(reinterpret_cast<void*>(&Triple), 16), before);
    EXPECT_EQ(g_pTriple(5), 15);
    EXPECT_EQ(g_nDetourCalls, 1);

    // A second round on the same function.
    ASSERT_EQ(Attach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR);
    EXPECT_EQ(g_pTriple(7), 1021);
    ASSERT_EQ(Detach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR);
    EXPECT_EQ(g_pTriple(7), 21);
}

// The calling thread may be enlisted through a real handle of its own, not
// only the pseudo handle: the engine must know it and never suspend it.
TEST(Detour, EnlistingTheCallingThreadByARealHandle) {
    struct Run {
        static DWORD WINAPI Proc(void*) {
            HANDLE self = ::OpenThread(THREAD_ALL_ACCESS, FALSE, ::GetCurrentThreadId());
            g_pReal = &Triple;
            LONG r = DetourTransactionBegin();
            if (r == NO_ERROR) r = DetourUpdateThread(self);
            if (r == NO_ERROR) r = DetourAttach(Ptr(g_pReal), Fn(&PlusThousand));
            const LONG committed = DetourTransactionCommit();
            const int value = g_pTriple(2);
            Detach(Ptr(g_pReal), Fn(&PlusThousand));
            ::CloseHandle(self);
            return r == NO_ERROR && committed == NO_ERROR && value == 1006 ? 0 : 1;
        }
    };
    HANDLE worker = ::CreateThread(nullptr, 0, &Run::Proc, nullptr, 0, nullptr);
    ASSERT_TRUE(worker);
    const DWORD waited = ::WaitForSingleObject(worker, 10000);
    if (waited == WAIT_TIMEOUT) ::ResumeThread(worker);  // it suspended itself
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "the enlisting thread suspended itself";
    DWORD code = 1;
    ::WaitForSingleObject(worker, 5000);
    ::GetExitCodeThread(worker, &code);
    EXPECT_EQ(code, 0u);
    ::CloseHandle(worker);
}

TEST(Detour, AbortChangesNothing) {
    const std::vector<uint8_t> before = Bytes(reinterpret_cast<void*>(&Triple), 16);
    g_pReal = &Triple;
    ASSERT_EQ(DetourTransactionBegin(), NO_ERROR);
    ASSERT_EQ(DetourAttach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR);
    ASSERT_EQ(DetourTransactionAbort(), NO_ERROR);
    EXPECT_EQ(g_pReal, &Triple);
    EXPECT_EQ(Bytes(reinterpret_cast<void*>(&Triple), 16), before);
    EXPECT_EQ(g_pTriple(4), 12);
    // and the next transaction starts normally
    ASSERT_EQ(Attach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR);
    EXPECT_EQ(g_pTriple(4), 1012);
    ASSERT_EQ(Detach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR);
}

TEST(Detour, OneTransactionAtATimeOnItsOwnThread) {
    g_pReal = &Triple;
    EXPECT_EQ(DetourAttach(Ptr(g_pReal), Fn(&PlusThousand)), ERROR_INVALID_OPERATION);
    EXPECT_EQ(DetourTransactionCommit(), ERROR_INVALID_OPERATION);
    EXPECT_EQ(DetourTransactionAbort(), ERROR_INVALID_OPERATION);
    ASSERT_EQ(DetourTransactionBegin(), NO_ERROR);
    EXPECT_EQ(DetourTransactionBegin(), ERROR_INVALID_OPERATION);
    LONG other = NO_ERROR, otherAttach = NO_ERROR;
    std::thread([&] {
        other = DetourTransactionBegin();
        otherAttach = DetourAttach(Ptr(g_pReal), Fn(&PlusThousand));
    }).join();
    EXPECT_EQ(other, ERROR_INVALID_OPERATION);
    EXPECT_EQ(otherAttach, ERROR_INVALID_OPERATION);
    // The same function twice in one transaction is refused.
    IntFn second = &Triple;
    EXPECT_EQ(DetourAttach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR);
    EXPECT_EQ(DetourAttach(Ptr(second), Fn(&PlusHundredThousand)), ERROR_INVALID_OPERATION);
    EXPECT_EQ(DetourTransactionCommit(), ERROR_INVALID_OPERATION);  // the failure is remembered
    EXPECT_EQ(g_pReal, &Triple);
    EXPECT_EQ(g_pTriple(2), 6);
    EXPECT_EQ(DetourTransactionBegin(), NO_ERROR);  // ended by the failed commit
    EXPECT_EQ(DetourTransactionAbort(), NO_ERROR);
}

TEST(Detour, NullArgumentsAreRefused) {
    ASSERT_EQ(DetourTransactionBegin(), NO_ERROR);
    IntFn none = nullptr;
    g_pReal = &Triple;
    EXPECT_EQ(DetourAttach(nullptr, Fn(&PlusThousand)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(DetourAttach(Ptr(none), Fn(&PlusThousand)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(DetourAttach(Ptr(g_pReal), nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(DetourUpdateThread(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(DetourTransactionCommit(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(g_pTriple(2), 6);
}

TEST(Detour, FailedAttachLeavesEveryFunctionAlone) {
    CCode code;
    // A function too short for the jump: "xor eax,eax; ret" and then code.
    code.Put(0, {0x33, 0xC0, 0xC3, 0x55, 0x8B, 0xEC});
    // A good one: mov edi,edi; push ebp; mov ebp,esp; mov eax,[ebp+8]; add eax,eax; pop ebp; ret
    code.Put(0x40, {0x8B, 0xFF, 0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x01, 0xC0, 0x5D, 0xC3});
    const auto before = Bytes(code.At(0), 0x50);
    IntFn shortFn = code.Fn(0);
    g_pReal = code.Fn(0x40);
    ASSERT_EQ(DetourTransactionBegin(), NO_ERROR);
    EXPECT_EQ(DetourAttach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR);
    EXPECT_EQ(DetourAttach(Ptr(shortFn), Fn(&PlusHundredThousand)), ERROR_INVALID_BLOCK);
    EXPECT_EQ(DetourTransactionCommit(), ERROR_INVALID_BLOCK);
    EXPECT_EQ(g_pReal, code.Fn(0x40));
    EXPECT_EQ(shortFn, code.Fn(0));
    EXPECT_EQ(Bytes(code.At(0), 0x50), before);
    EXPECT_EQ(code.Fn(0x40)(21), 42);
}

// Hand-assembled functions: each returns twice its argument.
struct RelocationCase {
    const char* name;
    void (*build)(CCode&);  // the function at offset 0
    int expected;           // f(10)
};

const RelocationCase kRelocations[] = {
    {"hot-patch prologue",
     [](CCode& c) { c.Put(0, {0x8B, 0xFF, 0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x01, 0xC0, 0x5D, 0xC3}); }, 20},
    {"call rel32 at the entry",
     [](CCode& c) {
         c.Put(0, {0xE8, 0, 0, 0, 0, 0x01, 0xC0, 0xC3});  // call helper; add eax,eax; ret
         c.Rel32(1, c.At(0x100));
         c.Put(0x100, {0x8B, 0x44, 0x24, 0x08, 0xC3});  // helper: mov eax,[esp+8]; ret
     },
     20},
    {"short jz inside the moved bytes",
     [](CCode& c) {
         // xor ecx,ecx; jz +4; inc ecx x4; mov eax,[esp+4]; add eax,ecx; add eax,eax; ret
         c.Put(0, {0x31, 0xC9, 0x74, 0x04, 0x41, 0x41, 0x41, 0x41, 0x8B, 0x44, 0x24, 0x04, 0x01, 0xC8, 0x01, 0xC0,
                   0xC3});
     },
     20},
    {"sub esp and push imm32",
     [](CCode& c) {
         // sub esp,8; push 2; pop ecx; mov eax,[esp+12]; imul eax,ecx; add esp,8; ret
         c.Put(0, {0x83, 0xEC, 0x08, 0x68, 0x02, 0x00, 0x00, 0x00, 0x59, 0x8B, 0x44, 0x24, 0x0C, 0x0F, 0xAF, 0xC1,
                   0x83, 0xC4, 0x08, 0xC3});
     },
     20},
};

TEST(Detour, RelocatedPrologues) {
    for (const auto& rc : kRelocations) {
        CCode code;
        rc.build(code);
        const IntFn f = code.Fn(0);
        ASSERT_EQ(f(10), rc.expected) << rc.name;
        g_pReal = f;
        g_nDetourCalls = 0;
        ASSERT_EQ(Attach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR) << rc.name;
        EXPECT_EQ(f(10), rc.expected + 1000) << rc.name;
        EXPECT_EQ(g_pReal(10), rc.expected) << rc.name;
        EXPECT_EQ(g_nDetourCalls, 1) << rc.name;
        ASSERT_EQ(Detach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR) << rc.name;
        EXPECT_EQ(f(10), rc.expected) << rc.name;
    }
}

TEST(Detour, JumpsAtTheEntry) {
    CCode code;
    // The real function at 0x40: mov eax,[esp+4]; add eax,7; ret
    code.Put(0x40, {0x8B, 0x44, 0x24, 0x04, 0x83, 0xC0, 0x07, 0xC3});
    const IntFn real = code.Fn(0x40);

    // A long jump at the entry is moved as it is: the stub is intercepted,
    // the function it leads to is not.
    code.Put(0, {0xE9});
    code.Rel32(1, code.At(0x40));
    g_pReal = code.Fn(0);
    ASSERT_EQ(Attach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR);
    EXPECT_EQ(code.Fn(0)(1), 1008);
    EXPECT_EQ(real(1), 8);
    EXPECT_EQ(g_pReal(1), 8);
    ASSERT_EQ(Detach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR);
    EXPECT_EQ(code.Fn(0)(1), 8);

    // An import jump (jmp [slot]) is followed: the function itself is
    // intercepted, whoever calls it.
    code.Abs32(0x200, code.At(0x40));
    code.Put(0x10, {0xFF, 0x25});
    code.Abs32(0x12, code.At(0x200));
    EXPECT_EQ(DetourCodeFromPointer(code.At(0x10)), code.At(0x40));
    g_pReal = code.Fn(0x10);
    ASSERT_EQ(Attach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR);
    EXPECT_EQ(real(1), 1008);
    EXPECT_EQ(code.Fn(0x10)(1), 1008);
    EXPECT_EQ(g_pReal(1), 8);
    ASSERT_EQ(Detach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR);
    EXPECT_EQ(g_pReal, real);
    EXPECT_EQ(real(1), 8);

    // A short jump is followed, and a long jump where it lands too (a
    // hot-patched entry).
    code.Put(0x80, {0xE9});
    code.Rel32(0x81, code.At(0x40));
    code.Put(0x85, {0xEB, 0xF9});
    EXPECT_EQ(DetourCodeFromPointer(code.At(0x85)), code.At(0x40));
    code.Put(0x90, {0xEB, 0x10});
    EXPECT_EQ(DetourCodeFromPointer(code.At(0x90)), code.At(0xA2));
}

TEST(Detour, ChainedInterceptionsComeOffInReverse) {
    CCode code;
    code.Put(0, {0x8B, 0xFF, 0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x01, 0xC0, 0x5D, 0xC3});
    const IntFn f = code.Fn(0);
    g_pReal = f;
    ASSERT_EQ(Attach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR);
    g_pReal2 = f;
    ASSERT_EQ(Attach(Ptr(g_pReal2), Fn(&PlusHundredThousand)), NO_ERROR);
    EXPECT_EQ(f(5), 101010);
    // The first one is under the second: taking it off would cut the chain.
    EXPECT_EQ(Detach(Ptr(g_pReal), Fn(&PlusThousand)), ERROR_INVALID_BLOCK);
    EXPECT_EQ(f(5), 101010);
    // With the wrong replacement nothing is found.
    EXPECT_EQ(Detach(Ptr(g_pReal2), Fn(&PlusThousand)), ERROR_INVALID_BLOCK);
    ASSERT_EQ(Detach(Ptr(g_pReal2), Fn(&PlusHundredThousand)), NO_ERROR);
    EXPECT_EQ(f(5), 1010);
    ASSERT_EQ(Detach(Ptr(g_pReal), Fn(&PlusThousand)), NO_ERROR);
    EXPECT_EQ(f(5), 10);
}

// --- a thread standing inside the bytes that change ---

volatile LONG g_nSpin = 1;
DWORD WINAPI Spin(LPVOID) {
    while (g_nSpin) YieldProcessor();
    return 0;
}

// A thread whose next instruction is `eip`, with a stack on which it
// returns into a stub that ends the thread with the function's result.
struct CStrandedThread {
    HANDLE m_hThread = nullptr;
    uint8_t* m_pStack = nullptr;

    CStrandedThread(CCode& code, uint8_t* eip, DWORD argument) {
        // exit stub at 0x300: push eax; mov ecx, ExitThread; call ecx
        code.Put(0x300, {0x50, 0xB9, 0, 0, 0, 0, 0xFF, 0xD1});
        code.Abs32(0x302, reinterpret_cast<void*>(&::ExitThread));
        m_pStack = static_cast<uint8_t*>(::VirtualAlloc(nullptr, 65536, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        auto* top = reinterpret_cast<uint32_t*>(m_pStack + 65536 - 64);
        top[0] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(code.At(0x300)));
        top[1] = argument;
        m_hThread = ::CreateThread(nullptr, 0, Spin, nullptr, 0, nullptr);
        ::Sleep(20);
        ::SuspendThread(m_hThread);
        CONTEXT ctx = {};
        ctx.ContextFlags = CONTEXT_CONTROL;
        ::GetThreadContext(m_hThread, &ctx);
        ctx.Eip = static_cast<DWORD>(reinterpret_cast<uintptr_t>(eip));
        ctx.Esp = static_cast<DWORD>(reinterpret_cast<uintptr_t>(top));
        ::SetThreadContext(m_hThread, &ctx);
    }
    ~CStrandedThread() {
        if (::WaitForSingleObject(m_hThread, 0) != WAIT_OBJECT_0) ::TerminateThread(m_hThread, 99);
        ::CloseHandle(m_hThread);
        ::VirtualFree(m_pStack, 0, MEM_RELEASE);
    }
    uint8_t* Eip() const {
        CONTEXT ctx = {};
        ctx.ContextFlags = CONTEXT_CONTROL;
        ::GetThreadContext(m_hThread, &ctx);
        return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(ctx.Eip));
    }
    // Lets it run to its end; its exit code, or 0 on a time-out.
    DWORD Finish() const {
        ::ResumeThread(m_hThread);
        if (::WaitForSingleObject(m_hThread, 5000) != WAIT_OBJECT_0) return 0;
        DWORD code = 0;
        ::GetExitCodeThread(m_hThread, &code);
        return code;
    }
};

using ThreadFn = DWORD(WINAPI*)(LPVOID);
ThreadFn g_pRealThreadFn = nullptr;
DWORD WINAPI ThreadDetour(LPVOID p) { return g_pRealThreadFn(p) + 1000; }

// mov edi,edi; push ebp; mov ebp,esp; mov eax,[ebp+8]; add eax,eax; pop ebp; ret 4
void BuildDoubler(CCode& code) {
    code.Put(0, {0x8B, 0xFF, 0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x01, 0xC0, 0x5D, 0xC2, 0x04, 0x00});
}

TEST(Detour, EnlistedThreadInsideThePatchMovesToTheTrampoline) {
    CCode code;
    BuildDoubler(code);
    g_nSpin = 1;
    CStrandedThread t(code, code.At(2), 21);  // about to run "push ebp"
    ASSERT_EQ(t.Eip(), code.At(2));
    g_pRealThreadFn = reinterpret_cast<ThreadFn>(code.At(0));
    ASSERT_EQ(DetourTransactionBegin(), NO_ERROR);
    ASSERT_EQ(DetourUpdateThread(t.m_hThread), NO_ERROR);
    ASSERT_EQ(DetourAttach(reinterpret_cast<PVOID*>(&g_pRealThreadFn), reinterpret_cast<PVOID>(&ThreadDetour)),
              NO_ERROR);
    ASSERT_EQ(DetourTransactionCommit(), NO_ERROR);
    // The trampoline holds "mov edi,edi; push ebp; mov ebp,esp" unchanged.
    ASSERT_EQ(t.Eip(), reinterpret_cast<uint8_t*>(g_pRealThreadFn) + 2);
    EXPECT_EQ(t.Finish(), 42u);  // the commit resumed it once; it had been suspended before
    g_nSpin = 0;
    ASSERT_EQ(DetourTransactionBegin(), NO_ERROR);
    DetourDetach(reinterpret_cast<PVOID*>(&g_pRealThreadFn), reinterpret_cast<PVOID>(&ThreadDetour));
    ASSERT_EQ(DetourTransactionCommit(), NO_ERROR);
}

TEST(Detour, EnlistedThreadInsideTheTrampolineMovesBackOnDetach) {
    CCode code;
    BuildDoubler(code);
    g_pRealThreadFn = reinterpret_cast<ThreadFn>(code.At(0));
    ASSERT_EQ(DetourTransactionBegin(), NO_ERROR);
    ASSERT_EQ(DetourAttach(reinterpret_cast<PVOID*>(&g_pRealThreadFn), reinterpret_cast<PVOID>(&ThreadDetour)),
              NO_ERROR);
    ASSERT_EQ(DetourTransactionCommit(), NO_ERROR);
    auto* trampoline = reinterpret_cast<uint8_t*>(g_pRealThreadFn);
    g_nSpin = 1;
    {
        CStrandedThread t(code, trampoline + 5, 30);  // at the jump back
        ASSERT_EQ(DetourTransactionBegin(), NO_ERROR);
        ASSERT_EQ(DetourUpdateThread(t.m_hThread), NO_ERROR);
        ASSERT_EQ(DetourDetach(reinterpret_cast<PVOID*>(&g_pRealThreadFn), reinterpret_cast<PVOID>(&ThreadDetour)),
                  NO_ERROR);
        ASSERT_EQ(DetourTransactionCommit(), NO_ERROR);
        // Only the place is checked: this thread never ran the prologue, so
        // its frame is not one the function's epilogue could unwind.
        EXPECT_EQ(t.Eip(), code.At(5));
    }
    // A thread about to run "push ebp" in the trampoline goes to the same
    // instruction of the restored function and finishes it.
    ASSERT_EQ(DetourTransactionBegin(), NO_ERROR);
    ASSERT_EQ(DetourAttach(reinterpret_cast<PVOID*>(&g_pRealThreadFn), reinterpret_cast<PVOID>(&ThreadDetour)),
              NO_ERROR);
    ASSERT_EQ(DetourTransactionCommit(), NO_ERROR);
    trampoline = reinterpret_cast<uint8_t*>(g_pRealThreadFn);
    CStrandedThread t(code, trampoline + 2, 30);  // "push ebp" not yet run
    ASSERT_EQ(DetourTransactionBegin(), NO_ERROR);
    ASSERT_EQ(DetourUpdateThread(t.m_hThread), NO_ERROR);
    ASSERT_EQ(DetourDetach(reinterpret_cast<PVOID*>(&g_pRealThreadFn), reinterpret_cast<PVOID>(&ThreadDetour)),
              NO_ERROR);
    ASSERT_EQ(DetourTransactionCommit(), NO_ERROR);
    ASSERT_EQ(t.Eip(), code.At(2));
    EXPECT_EQ(t.Finish(), 60u);
    g_nSpin = 0;
}

}  // namespace
