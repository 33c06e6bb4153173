#include "mainwnd/x86_length.h"

#include <cstring>

namespace {

// What follows an opcode.
enum : uint16_t {
    M = 0x001,     // a ModRM byte (with SIB and displacement)
    I8 = 0x002,    // imm8
    I16 = 0x004,   // imm16
    IZ = 0x008,    // imm16 or imm32 by operand size
    MO = 0x010,    // moffs, 16 or 32 bits by address size
    R8 = 0x020,    // rel8
    RZ = 0x040,    // rel32 (a 16-bit form is refused)
    END = 0x080,   // never falls through
    FAR = 0x100,   // ptr16:32
    G3 = 0x200,    // F6/F7: an immediate only for /0 and /1 (test)
    X = 0x400,     // unknown or invalid
    ESC = 0x800,   // 0F: two-byte opcode
    T38 = 0x1000,  // 0F 38: three-byte opcode with ModRM
    T3A = 0x2000,  // 0F 3A: three-byte opcode with ModRM and imm8
};

// Prefix bytes (66, 67, F0, F2, F3 and the six segment overrides) are taken
// before the table is consulted; their entries are unused.
constexpr uint16_t P = 0;

constexpr uint16_t kOneByte[256] = {
    // 0x00
    M, M, M, M, I8, IZ, 0, 0, M, M, M, M, I8, IZ, 0, ESC,
    // 0x10
    M, M, M, M, I8, IZ, 0, 0, M, M, M, M, I8, IZ, 0, 0,
    // 0x20
    M, M, M, M, I8, IZ, P, 0, M, M, M, M, I8, IZ, P, 0,
    // 0x30
    M, M, M, M, I8, IZ, P, 0, M, M, M, M, I8, IZ, P, 0,
    // 0x40 inc/dec, 0x50 push/pop
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0x60 pusha popa bound arpl fs gs 66 67 push imul push imul ins outs
    0, 0, M, M, P, P, P, P, IZ, M | IZ, I8, M | I8, 0, 0, 0, 0,
    // 0x70 jcc rel8
    R8, R8, R8, R8, R8, R8, R8, R8, R8, R8, R8, R8, R8, R8, R8, R8,
    // 0x80 group 1, test, xchg, mov, lea, pop r/m
    M | I8, M | IZ, M | I8, M | I8, M, M, M, M, M, M, M, M, M, M, M, M,
    // 0x90 xchg, cbw, cwd, call far, wait, pushf, popf, sahf, lahf
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, FAR, 0, 0, 0, 0, 0,
    // 0xA0 mov moffs, string ops, test imm
    MO, MO, MO, MO, 0, 0, 0, 0, I8, IZ, 0, 0, 0, 0, 0, 0,
    // 0xB0 mov reg, imm
    I8, I8, I8, I8, I8, I8, I8, I8, IZ, IZ, IZ, IZ, IZ, IZ, IZ, IZ,
    // 0xC0 shifts, ret imm16, ret, les, lds, mov r/m imm, enter, leave, retf, int3, int, into, iret
    M | I8, M | I8, I16 | END, END, M, M, M | I8, M | IZ, I16 | I8, 0, I16 | END, END, 0, I8, 0, END,
    // 0xD0 shifts, aam, aad, salc, xlat, x87
    M, M, M, M, I8, I8, 0, 0, M, M, M, M, M, M, M, M,
    // 0xE0 loop/jecxz, in/out imm, call, jmp, jmp far, jmp short, in/out dx
    R8, R8, R8, R8, I8, I8, I8, I8, RZ, RZ | END, FAR | END, R8 | END, 0, 0, 0, 0,
    // 0xF0 lock, int1, repne, rep, hlt, cmc, group 3, clc..std, group 4, group 5
    P, 0, P, P, 0, 0, M | G3, M | G3, 0, 0, 0, 0, 0, 0, M, M,
};

constexpr uint16_t kTwoByte[256] = {
    // 0x00 sldt.., lgdt.., lar, lsl, -, syscall, clts, sysret, invd, wbinvd, -, ud2, -, prefetch, femms, 3dnow
    M, M, M, M, X, X, 0, X, 0, 0, X, 0, X, M, X, X,
    // 0x10 SSE moves, prefetch and hint nops
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    // 0x20 mov cr/dr, SSE
    M, M, M, M, X, X, X, X, M, M, M, M, M, M, M, M,
    // 0x30 wrmsr rdtsc rdmsr rdpmc sysenter sysexit - getsec, 38 -, 3A ...
    0, 0, 0, 0, 0, 0, X, 0, T38, X, T3A, X, X, X, X, X,
    // 0x40 cmovcc
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    // 0x50, 0x60 SSE / MMX
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    // 0x70 pshuf/shift imm, pcmpeq, emms, vmread, vmwrite, -, -, haddpd.., movd, movq
    M | I8, M | I8, M | I8, M | I8, M, M, M, 0, M, M, X, X, M, M, M, M,
    // 0x80 jcc rel32
    RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ,
    // 0x90 setcc
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    // 0xA0 push/pop fs, cpuid, bt, shld, -, -, push/pop gs, rsm, bts, shrd, fence group, imul
    0, 0, 0, M, M | I8, M, X, X, 0, 0, 0, M, M | I8, M, M, M,
    // 0xB0 cmpxchg, lss, btr, lfs, lgs, movzx, popcnt, ud1, group 8, btc, bsf, bsr, movsx
    M, M, M, M, M, M, M, M, M, M, M | I8, M, M, M, M, M,
    // 0xC0 xadd, cmpps, movnti, pinsrw, pextrw, shufps, group 9, bswap
    M, M, M | I8, M, M | I8, M | I8, M | I8, M, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xD0 .. 0xF0 MMX / SSE
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
};

bool IsPrefix(uint8_t b) {
    switch (b) {
        case 0x26: case 0x2E: case 0x36: case 0x3E: case 0x64: case 0x65:
        case 0x66: case 0x67: case 0xF0: case 0xF2: case 0xF3:
            return true;
        default:
            return false;
    }
}

constexpr size_t kMaxInstruction = 15;

int32_t ReadLE(const uint8_t* p, size_t size) {
    if (size == 1) return static_cast<int8_t>(p[0]);
    uint32_t v = 0;
    for (size_t i = 0; i < size; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return static_cast<int32_t>(v);
}

void WriteLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

X86Status DecodeX86(const uint8_t* code, size_t available, X86Instruction& out) {
    out = X86Instruction{};
    size_t i = 0;
    bool operand16 = false, address16 = false;
    for (;; ++i) {
        if (i >= available) return X86Status::Truncated;
        if (i >= kMaxInstruction) return X86Status::Unsupported;
        if (!IsPrefix(code[i])) break;
        if (code[i] == 0x66) operand16 = true;
        if (code[i] == 0x67) address16 = true;
    }
    const uint8_t op = code[i++];
    uint16_t flags = kOneByte[op];
    uint8_t op2 = 0;
    if (flags & ESC) {
        if (i >= available) return X86Status::Truncated;
        op2 = code[i++];
        flags = kTwoByte[op2];
        if (flags & (T38 | T3A)) {
            if (i >= available) return X86Status::Truncated;
            ++i;  // the third opcode byte
            flags = (flags & T3A) ? (M | I8) : M;
        }
    }
    if (flags & X) return X86Status::UnknownOpcode;

    // In 32-bit code C4/C5 (les/lds), 62 (bound) and 8F (pop) become VEX,
    // EVEX and XOP prefixes when the next byte could not be their ModRM.
    if (!(kOneByte[op] & ESC) && (op == 0xC4 || op == 0xC5 || op == 0x62 || op == 0x8F)) {
        if (i >= available) return X86Status::Truncated;
        const uint8_t next = code[i];
        if (op == 0x8F ? ((next >> 3) & 7) != 0 : (next >> 6) == 3) return X86Status::Unsupported;
    }

    uint8_t reg = 0;
    if (flags & M) {
        if (i >= available) return X86Status::Truncated;
        const uint8_t modrm = code[i++];
        const uint8_t mod = modrm >> 6, rm = modrm & 7;
        reg = (modrm >> 3) & 7;
        size_t disp = 0;
        if (mod != 3) {
            if (address16) {
                if ((mod == 0 && rm == 6) || mod == 2) disp = 2;
                else if (mod == 1) disp = 1;
            } else {
                if (rm == 4) {
                    if (i >= available) return X86Status::Truncated;
                    const uint8_t sib = code[i++];
                    if (mod == 0 && (sib & 7) == 5) disp = 4;
                }
                if ((mod == 0 && rm == 5) || mod == 2) disp = 4;
                else if (mod == 1) disp = 1;
            }
        }
        i += disp;
        if (!(kOneByte[op] & ESC)) {
            if (op == 0xFF && (reg == 4 || reg == 5)) out.endsFlow = true;  // jmp r/m, jmp far m
            if (op == 0xFF && reg == 7) return X86Status::UnknownOpcode;
            if (op == 0xFE && reg > 1) return X86Status::UnknownOpcode;
        }
    }

    const size_t z = operand16 ? 2 : 4;
    if (flags & I8) i += 1;
    if (flags & I16) i += 2;
    if (flags & IZ) i += z;
    if (flags & MO) i += address16 ? 2 : 4;
    if (flags & FAR) i += z + 2;
    if ((flags & G3) && reg <= 1) i += (op == 0xF6) ? 1 : z;
    if (flags & (R8 | RZ)) {
        const bool isEsc = (kOneByte[op] & ESC) != 0;
        if (flags & RZ) {
            if (operand16) return X86Status::Unsupported;  // a 16-bit branch truncates the address
            out.relSize = 4;
            out.branch = isEsc ? X86Branch::CondJump : (op == 0xE8 ? X86Branch::Call : X86Branch::Jump);
            if (isEsc) out.condition = op2 & 0x0F;
        } else {
            out.relSize = 1;
            if (op >= 0x70 && op <= 0x7F) {
                out.branch = X86Branch::CondJump;
                out.condition = op & 0x0F;
            } else if (op == 0xEB) {
                out.branch = X86Branch::Jump;
            } else {
                out.branch = X86Branch::Loop;
            }
        }
        i += out.relSize;
    }
    if (flags & END) out.endsFlow = true;

    if (i > kMaxInstruction) return X86Status::Unsupported;
    if (i > available) return X86Status::Truncated;
    out.length = static_cast<uint8_t>(i);
    if (out.relSize) out.displacement = ReadLE(code + i - out.relSize, out.relSize);
    return X86Status::Ok;
}

void WriteX86Jump(uint8_t* out, uint32_t from, uint32_t to) {
    out[0] = 0xE9;
    WriteLE32(out + 1, to - (from + static_cast<uint32_t>(kX86JumpLength)));
}

X86Status BuildX86Trampoline(const uint8_t* code, size_t available, uint32_t codeAddress, uint32_t trampolineAddress,
                             X86Trampoline& out) {
    out = X86Trampoline{};
    size_t pos = 0, emitted = 0;
    bool ended = false;
    // Branch targets, as offsets from the code: checked once the moved
    // range is known.
    uint32_t targets[kX86JumpLength] = {};
    bool isCall[kX86JumpLength] = {};
    size_t branches = 0;

    while (pos < kX86JumpLength) {
        if (ended) {
            // Only padding may follow the last instruction of a function.
            if (pos >= available) return X86Status::Truncated;
            if (code[pos] != 0xCC && code[pos] != 0x90) return X86Status::TooShort;
            ++pos;
            continue;
        }
        X86Instruction insn;
        const X86Status st = DecodeX86(code + pos, available - pos, insn);
        if (st != X86Status::Ok) return st;
        if (insn.branch == X86Branch::Loop) return X86Status::Unsupported;

        out.from[out.count] = static_cast<uint8_t>(pos);
        out.to[out.count] = static_cast<uint8_t>(emitted);
        ++out.count;

        if (insn.branch != X86Branch::None) {
            const uint32_t target =
                codeAddress + static_cast<uint32_t>(pos + insn.length) + static_cast<uint32_t>(insn.displacement);
            targets[branches] = target - codeAddress;
            isCall[branches] = insn.branch == X86Branch::Call;
            ++branches;
            uint8_t* p = out.code + emitted;
            size_t size = 5;
            if (insn.branch == X86Branch::CondJump) {
                p[0] = 0x0F;
                p[1] = static_cast<uint8_t>(0x80 | insn.condition);
                size = 6;
            } else {
                p[0] = insn.branch == X86Branch::Call ? 0xE8 : 0xE9;
            }
            const uint32_t end = trampolineAddress + static_cast<uint32_t>(emitted + size);
            WriteLE32(p + size - 4, target - end);
            emitted += size;
        } else {
            std::memcpy(out.code + emitted, code + pos, insn.length);
            emitted += insn.length;
        }
        pos += insn.length;
        if (insn.endsFlow) ended = true;
    }

    for (size_t b = 0; b < branches; ++b) {
        // A call of the function's own entry is a recursion through the
        // interception, which is right; anything else aimed into the
        // overwritten bytes would land on the jump.
        if (targets[b] < pos && !(targets[b] == 0 && isCall[b])) return X86Status::BranchIntoPatch;
    }
    if (!ended) {
        out.backJump = emitted;
        WriteX86Jump(out.code + emitted, trampolineAddress + static_cast<uint32_t>(emitted),
                     codeAddress + static_cast<uint32_t>(pos));
        emitted += kX86JumpLength;
    }
    out.length = emitted;
    out.copied = pos;
    return X86Status::Ok;
}
