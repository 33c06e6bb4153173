#include "mainwnd/detour_win.h"

#include <cstring>
#include <vector>

#include "mainwnd/x86_length.h"

namespace {

// Trampolines live in slots of executable regions that stay for the
// process's life. A detached interception keeps its trampoline: a thread
// that took its address just before the detach, or that returns into it
// from a moved call, still reaches the real function. Only slots that were
// never published are reused.
constexpr size_t kSlotSize = 64;
constexpr size_t kRegionSize = 64 * 1024;
static_assert(kX86TrampolineCapacity <= kSlotSize);

// How many bytes are read at a function's entry: the longest moved range
// (four short instructions and a fifteen-byte one) with room to spare.
constexpr size_t kReadAhead = 32;

struct CHook {
    BYTE* m_pTarget = nullptr;      // where the jump is written
    PVOID m_pDetour = nullptr;      // where it leads
    BYTE* m_pTrampoline = nullptr;  // the moved instructions
    X86Trampoline m_plan;
    BYTE m_original[kReadAhead] = {};  // the overwritten bytes (m_plan.copied of them)
};

struct COperation {
    bool m_bAttach = false;
    PVOID* m_ppPointer = nullptr;
    CHook* m_pHook = nullptr;
    DWORD m_dwOldProtect = 0;
};

volatile LONG g_nTransactionThread = 0;  // id of the thread with the open transaction
LONG g_nPendingError = NO_ERROR;         // the first failure inside the transaction
std::vector<COperation> g_Operations;    // of the open transaction
std::vector<HANDLE> g_SuspendedThreads;  // enlisted and suspended
std::vector<CHook*> g_Hooks;             // committed interceptions
std::vector<BYTE*> g_FreeSlots;

bool OwnsTransaction() {
    return g_nTransactionThread != 0 && static_cast<DWORD>(g_nTransactionThread) == ::GetCurrentThreadId();
}

LONG Fail(LONG error) {
    if (g_nPendingError == NO_ERROR) g_nPendingError = error;
    return error;
}

BYTE* AllocSlot() {
    if (g_FreeSlots.empty()) {
        BYTE* region = static_cast<BYTE*>(
            ::VirtualAlloc(nullptr, kRegionSize, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
        if (!region) return nullptr;
        for (size_t off = kRegionSize; off >= kSlotSize; off -= kSlotSize) g_FreeSlots.push_back(region + off - kSlotSize);
    }
    BYTE* slot = g_FreeSlots.back();
    g_FreeSlots.pop_back();
    return slot;
}

void FreeSlot(BYTE* slot) {
    std::memset(slot, 0xCC, kSlotSize);
    g_FreeSlots.push_back(slot);
}

// Copies up to `want` bytes from `p`, stopping at the first unreadable one.
size_t ReadCode(const void* p, void* out, size_t want) {
    SIZE_T got = 0;
    if (::ReadProcessMemory(::GetCurrentProcess(), p, out, want, &got) && got == want) return want;
    size_t n = 0;
    for (; n < want; ++n) {
        if (!::ReadProcessMemory(::GetCurrentProcess(), static_cast<const BYTE*>(p) + n, static_cast<BYTE*>(out) + n, 1,
                                 &got))
            break;
    }
    return n;
}

uint32_t Address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(p)); }

// The id of the thread behind a handle. GetThreadId is newer than the
// systems the interception engine serves, so ask the native layer, which
// every NT system has.
DWORD ThreadIdOf(HANDLE hThread) {
    struct ThreadBasicInformation {
        LONG exitStatus;
        PVOID teb;
        struct {
            HANDLE process;
            HANDLE thread;
        } clientId;
        ULONG_PTR affinity;
        LONG priority;
        LONG basePriority;
    };
    using QueryFn = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    static const QueryFn query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    ThreadBasicInformation info{};
    if (!query || query(hThread, 0 /* basic information */, &info, sizeof info, nullptr) < 0) return 0;
    return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(info.clientId.thread));
}

bool IsCurrentThread(HANDLE hThread) {
    return hThread == ::GetCurrentThread() || ThreadIdOf(hThread) == ::GetCurrentThreadId();
}

// Where an enlisted thread standing at `eip` must go once `op` is written.
DWORD MovedEip(const COperation& op, DWORD eip) {
    const CHook& h = *op.m_pHook;
    const X86Trampoline& t = h.m_plan;
    if (op.m_bAttach) {
        const DWORD base = Address(h.m_pTarget);
        if (eip < base || eip >= base + t.copied) return eip;
        for (size_t i = 0; i < t.count; ++i)
            if (eip - base == t.from[i]) return Address(h.m_pTrampoline) + t.to[i];
        return eip;  // in padding after a ret: never executed
    }
    const DWORD base = Address(h.m_pTrampoline);
    if (eip < base || eip >= base + t.length) return eip;
    for (size_t i = 0; i < t.count; ++i)
        if (eip - base == t.to[i]) return Address(h.m_pTarget) + t.from[i];
    if (t.backJump && eip - base == t.backJump) return Address(h.m_pTarget) + static_cast<DWORD>(t.copied);
    return eip;
}

void EndTransaction() {
    for (HANDLE h : g_SuspendedThreads) ::ResumeThread(h);
    g_SuspendedThreads.clear();
    g_Operations.clear();
    g_nPendingError = NO_ERROR;
    ::InterlockedExchange(&g_nTransactionThread, 0);
}

void DropPendingAttaches() {
    for (COperation& op : g_Operations) {
        if (!op.m_bAttach) continue;
        FreeSlot(op.m_pHook->m_pTrampoline);
        delete op.m_pHook;
        op.m_pHook = nullptr;
    }
}

void RestoreProtections(size_t count) {
    // Backwards, so that two ranges on one page end with the first one's
    // original protection.
    for (size_t i = count; i-- > 0;) {
        const COperation& op = g_Operations[i];
        DWORD ignored = 0;
        ::VirtualProtect(op.m_pHook->m_pTarget, op.m_pHook->m_plan.copied, op.m_dwOldProtect, &ignored);
    }
}

bool PendingOnTarget(const BYTE* target) {
    for (const COperation& op : g_Operations)
        if (op.m_pHook->m_pTarget == target) return true;
    return false;
}

}  // namespace

BOOL DetourRestoreAfterWith() {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
}

PVOID DetourCodeFromPointer(PVOID pFunction) {
    BYTE* p = static_cast<BYTE*>(pFunction);
    for (int hop = 0; p && hop < 8; ++hop) {
        BYTE b[6] = {};
        const size_t n = ReadCode(p, b, sizeof b);
        if (n >= 6 && b[0] == 0xFF && b[1] == 0x25) {
            // jmp [slot]: an import jump; go where the slot points.
            BYTE* slot = nullptr;
            std::memcpy(&slot, b + 2, 4);
            BYTE* next = nullptr;
            if (ReadCode(slot, &next, sizeof next) != sizeof next || !next) break;
            p = next;
        } else if (n >= 2 && b[0] == 0xEB) {
            // jmp short: a hot-patch jump into the padding before the
            // function, or a stub; a long jump found there is followed too.
            p = p + 2 + static_cast<signed char>(b[1]);
            BYTE j[5] = {};
            if (ReadCode(p, j, sizeof j) == sizeof j && j[0] == 0xE9) {
                int32_t rel = 0;
                std::memcpy(&rel, j + 1, 4);
                p = p + 5 + rel;
            }
        } else {
            break;
        }
    }
    return p;
}

LONG DetourTransactionBegin() {
    const LONG self = static_cast<LONG>(::GetCurrentThreadId());
    if (::InterlockedCompareExchange(&g_nTransactionThread, self, 0) != 0) return ERROR_INVALID_OPERATION;
    g_nPendingError = NO_ERROR;
    g_Operations.clear();
    g_SuspendedThreads.clear();
    return NO_ERROR;
}

LONG DetourUpdateThread(HANDLE hThread) {
    if (!OwnsTransaction()) return ERROR_INVALID_OPERATION;
    if (!hThread) return Fail(ERROR_INVALID_HANDLE);
    if (IsCurrentThread(hThread)) return NO_ERROR;  // it is running this code, not the changed bytes
    if (::SuspendThread(hThread) == static_cast<DWORD>(-1)) return Fail(static_cast<LONG>(::GetLastError()));
    g_SuspendedThreads.push_back(hThread);
    return NO_ERROR;
}

LONG DetourAttach(PVOID* ppPointer, PVOID pDetour) {
    if (!OwnsTransaction()) return ERROR_INVALID_OPERATION;
    if (!ppPointer || !*ppPointer || !pDetour) return Fail(ERROR_INVALID_HANDLE);
    BYTE* target = static_cast<BYTE*>(DetourCodeFromPointer(*ppPointer));
    if (PendingOnTarget(target)) return Fail(ERROR_INVALID_OPERATION);

    BYTE code[kReadAhead] = {};
    const size_t available = ReadCode(target, code, sizeof code);
    BYTE* slot = AllocSlot();
    if (!slot) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    auto* hook = new CHook;
    hook->m_pTarget = target;
    hook->m_pDetour = pDetour;
    hook->m_pTrampoline = slot;
    if (BuildX86Trampoline(code, available, Address(target), Address(slot), hook->m_plan) != X86Status::Ok) {
        FreeSlot(slot);
        delete hook;
        return Fail(ERROR_INVALID_BLOCK);
    }
    std::memcpy(hook->m_original, code, hook->m_plan.copied);
    std::memcpy(slot, hook->m_plan.code, hook->m_plan.length);
    g_Operations.push_back({true, ppPointer, hook, 0});
    return NO_ERROR;
}

LONG DetourDetach(PVOID* ppPointer, PVOID pDetour) {
    if (!OwnsTransaction()) return ERROR_INVALID_OPERATION;
    if (!ppPointer || !*ppPointer || !pDetour) return Fail(ERROR_INVALID_HANDLE);
    CHook* hook = nullptr;
    for (CHook* h : g_Hooks)
        if (h->m_pTrampoline == *ppPointer && h->m_pDetour == pDetour) hook = h;
    if (!hook) return Fail(ERROR_INVALID_BLOCK);
    if (PendingOnTarget(hook->m_pTarget)) return Fail(ERROR_INVALID_OPERATION);
    // Only our own jump is taken away: when something else has been
    // written over it since, restoring the old bytes would break that.
    BYTE expected[kX86JumpLength], current[kX86JumpLength];
    WriteX86Jump(expected, Address(hook->m_pTarget), Address(pDetour));
    if (ReadCode(hook->m_pTarget, current, sizeof current) != sizeof current ||
        std::memcmp(expected, current, sizeof current) != 0)
        return Fail(ERROR_INVALID_BLOCK);
    g_Operations.push_back({false, ppPointer, hook, 0});
    return NO_ERROR;
}

LONG DetourTransactionAbort() {
    if (!OwnsTransaction()) return ERROR_INVALID_OPERATION;
    DropPendingAttaches();
    EndTransaction();
    return NO_ERROR;
}

LONG DetourTransactionCommit() {
    if (!OwnsTransaction()) return ERROR_INVALID_OPERATION;
    LONG error = g_nPendingError;
    size_t writable = 0;
    if (error == NO_ERROR) {
        for (; writable < g_Operations.size(); ++writable) {
            COperation& op = g_Operations[writable];
            if (!::VirtualProtect(op.m_pHook->m_pTarget, op.m_pHook->m_plan.copied, PAGE_EXECUTE_READWRITE,
                                  &op.m_dwOldProtect)) {
                error = static_cast<LONG>(::GetLastError());
                break;
            }
        }
    }
    if (error == NO_ERROR) {
        // The bytes moved at attach time must still be the ones there.
        for (const COperation& op : g_Operations) {
            if (op.m_bAttach && std::memcmp(op.m_pHook->m_pTarget, op.m_pHook->m_original, op.m_pHook->m_plan.copied))
                error = ERROR_INVALID_BLOCK;
        }
    }
    if (error != NO_ERROR) {
        RestoreProtections(writable);
        DropPendingAttaches();
        EndTransaction();
        return error;
    }

    // A replacement calls the real function through its pointer: the pointer
    // leads to the finished trampoline before the jump is written, so a
    // thread that arrives in between never finds the function leading back
    // to the replacement.
    for (const COperation& op : g_Operations) {
        if (!op.m_bAttach) continue;
        ::FlushInstructionCache(::GetCurrentProcess(), op.m_pHook->m_pTrampoline, op.m_pHook->m_plan.length);
        *op.m_ppPointer = op.m_pHook->m_pTrampoline;
    }
    for (const COperation& op : g_Operations) {
        CHook& h = *op.m_pHook;
        if (op.m_bAttach) {
            WriteX86Jump(h.m_pTarget, Address(h.m_pTarget), Address(h.m_pDetour));
            std::memset(h.m_pTarget + kX86JumpLength, 0xCC, h.m_plan.copied - kX86JumpLength);
        } else {
            std::memcpy(h.m_pTarget, h.m_original, h.m_plan.copied);
        }
    }
    for (HANDLE thread : g_SuspendedThreads) {
        CONTEXT ctx = {};
        ctx.ContextFlags = CONTEXT_CONTROL;
        if (!::GetThreadContext(thread, &ctx)) continue;
        const DWORD before = ctx.Eip;
        for (const COperation& op : g_Operations) ctx.Eip = MovedEip(op, ctx.Eip);
        if (ctx.Eip != before) ::SetThreadContext(thread, &ctx);
    }
    RestoreProtections(g_Operations.size());
    for (const COperation& op : g_Operations) {
        CHook* h = op.m_pHook;
        ::FlushInstructionCache(::GetCurrentProcess(), h->m_pTarget, h->m_plan.copied);
        if (op.m_bAttach) {
            g_Hooks.push_back(h);
        } else {
            *op.m_ppPointer = h->m_pTarget;
            for (size_t i = 0; i < g_Hooks.size(); ++i) {
                if (g_Hooks[i] == h) {
                    g_Hooks.erase(g_Hooks.begin() + static_cast<std::ptrdiff_t>(i));
                    break;
                }
            }
            delete h;
        }
    }
    EndTransaction();
    return NO_ERROR;
}
