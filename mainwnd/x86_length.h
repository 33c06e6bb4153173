// Lengths of 32-bit x86 instructions and the relocated copy of a function's
// first instructions: what the function interception needs to move a
// prologue aside before it overwrites it with a jump. Works on bytes and
// 32-bit addresses only.
#pragma once
#include <cstddef>
#include <cstdint>

enum class X86Status : uint8_t {
    Ok,
    Truncated,        // the bytes end inside an instruction
    UnknownOpcode,    // an opcode the decoder does not know
    Unsupported,      // known, but not movable (16-bit branch, loop/jcxz, VEX/EVEX/XOP, over 15 bytes)
    TooShort,         // the code ends before the jump's length and no filler follows
    BranchIntoPatch,  // a branch in the moved bytes targets the bytes the jump overwrites
};

enum class X86Branch : uint8_t {
    None,
    Jump,      // jmp rel8 / rel32
    CondJump,  // jcc rel8 / rel32
    Call,      // call rel32
    Loop,      // loop, loope, loopne, jecxz (rel8 only)
};

struct X86Instruction {
    uint8_t length = 0;
    X86Branch branch = X86Branch::None;  // relative branches only
    uint8_t condition = 0;               // jcc: the low four bits of the opcode
    uint8_t relSize = 0;                 // size of the displacement: 0, 1 or 4
    int32_t displacement = 0;            // from the end of the instruction
    bool endsFlow = false;               // never falls through (ret, iret, jmp)
};

// Decodes the instruction at `code`; `available` bytes may be read.
X86Status DecodeX86(const uint8_t* code, size_t available, X86Instruction& out);

inline constexpr size_t kX86JumpLength = 5;            // jmp rel32
inline constexpr size_t kX86TrampolineCapacity = 48;  // moved code plus the jump back

// The first instructions of a function, moved to `trampolineAddress`:
// whole instructions covering at least kX86JumpLength bytes, relative
// branches re-aimed (short ones widened to rel32), then a jump back to the
// first byte not moved, unless the moved code never falls through.
struct X86Trampoline {
    uint8_t code[kX86TrampolineCapacity] = {};
    size_t length = 0;  // bytes of code, the jump back included
    size_t copied = 0;  // bytes of the original taken (overwritten by the jump)
    size_t backJump = 0;  // offset of the jump back; 0 when the moved code never falls through
    // Instruction starts: offset in the original, offset in the trampoline.
    size_t count = 0;
    uint8_t from[kX86JumpLength] = {};
    uint8_t to[kX86JumpLength] = {};
};

// Moves the instructions at `code` (at address `codeAddress`, `available`
// bytes readable). After a ret or jmp, the rest of the overwritten bytes
// must be int3 or nop filler.
X86Status BuildX86Trampoline(const uint8_t* code, size_t available, uint32_t codeAddress, uint32_t trampolineAddress,
                             X86Trampoline& out);

// Writes "jmp rel32" from `from` to `to` into out[0..4].
void WriteX86Jump(uint8_t* out, uint32_t from, uint32_t to);
