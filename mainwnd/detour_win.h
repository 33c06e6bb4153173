// In-process function interception for 32-bit code. A function's first
// instructions are moved to a trampoline (which then jumps back into the
// function) and replaced by a jump to the replacement; the caller's pointer
// to the function becomes the trampoline, so the real function stays
// callable through it.
//
// Changes are grouped in transactions, one thread at a time:
//   DetourTransactionBegin();
//   DetourUpdateThread(GetCurrentThread());
//   DetourAttach(&(PVOID&)pReal, MyReplacement);
//   DetourTransactionCommit();
// An attach or detach that fails is remembered: the commit then changes
// nothing and returns that error. Threads enlisted with DetourUpdateThread
// stay suspended until the commit or abort, and one standing inside bytes
// that change is moved to the same instruction in their new place.
//
// Results: NO_ERROR; ERROR_INVALID_OPERATION (no transaction of this
// thread, or another thread's transaction is open, or the function is
// already being changed in this transaction); ERROR_INVALID_HANDLE (a null
// pointer); ERROR_INVALID_BLOCK (the function's first instructions cannot
// be moved, or a detach finds no interception of ours there);
// ERROR_NOT_ENOUGH_MEMORY; or the system's error of a failed call.
#pragma once
#include <windows.h>

// Restores the import table of a process started with an injection payload.
// This engine never starts processes that way, so there is no payload to
// restore: always FALSE.
BOOL DetourRestoreAfterWith();

LONG DetourTransactionBegin();
LONG DetourTransactionAbort();
LONG DetourTransactionCommit();
LONG DetourUpdateThread(HANDLE hThread);
LONG DetourAttach(PVOID* ppPointer, PVOID pDetour);
LONG DetourDetach(PVOID* ppPointer, PVOID pDetour);

// Where an interception of `pFunction` would be written: `pFunction`
// itself, or where its import jump or short patch jump leads.
PVOID DetourCodeFromPointer(PVOID pFunction);
