#include "mainwnd/x86_length.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string Hex(const Bytes& b) {
    std::string s;
    char buf[4];
    for (uint8_t v : b) {
        snprintf(buf, sizeof buf, "%02X ", v);
        s += buf;
    }
    return s;
}

struct LengthCase {
    Bytes code;
    int length;
    X86Branch branch = X86Branch::None;
    int32_t displacement = 0;
    bool endsFlow = false;
};

TEST(X86Decode, LengthsOfCommonInstructions) {
    const LengthCase cases[] = {
        // prologues
        {{0x8B, 0xFF}, 2},                                      // mov edi,edi
        {{0x55}, 1},                                            // push ebp
        {{0x8B, 0xEC}, 2},                                      // mov ebp,esp
        {{0x83, 0xEC, 0x10}, 3},                                // sub esp,10h
        {{0x81, 0xEC, 0x00, 0x01, 0x00, 0x00}, 6},              // sub esp,100h
        {{0x6A, 0x08}, 2},                                      // push 8
        {{0x68, 0x78, 0x56, 0x34, 0x12}, 5},                    // push imm32
        {{0x8B, 0x44, 0x24, 0x04}, 4},                          // mov eax,[esp+4]
        {{0x8B, 0x84, 0x24, 0x00, 0x01, 0x00, 0x00}, 7},        // mov eax,[esp+100h]
        {{0x8B, 0x45, 0x08}, 3},                                // mov eax,[ebp+8]
        {{0x8B, 0x05, 0x44, 0x33, 0x22, 0x11}, 6},              // mov eax,[abs]
        {{0x8B, 0x04, 0x85, 0x00, 0x10, 0x00, 0x00}, 7},        // mov eax,[eax*4+1000h]: SIB without base
        {{0x8B, 0x04, 0x24}, 3},                                // mov eax,[esp]
        {{0x8B, 0x44, 0x8D, 0x10}, 4},                          // mov eax,[ebp+ecx*4+10h]
        {{0x89, 0x85, 0x00, 0xFF, 0xFF, 0xFF}, 6},              // mov [ebp-100h],eax
        {{0x53}, 1},                                            // push ebx
        {{0x56}, 1},                                            // push esi
        {{0x33, 0xC0}, 2},                                      // xor eax,eax
        {{0x8D, 0x4C, 0x24, 0x10}, 4},                          // lea ecx,[esp+10h]
        {{0xC7, 0x44, 0x24, 0x04, 0x01, 0x00, 0x00, 0x00}, 8},  // mov dword [esp+4],1
        {{0xC7, 0x45, 0xFC, 0x00, 0x00, 0x00, 0x00}, 7},        // mov dword [ebp-4],0
        {{0xC6, 0x05, 0x00, 0x10, 0x00, 0x00, 0x01}, 7},        // mov byte [abs],1
        {{0x64, 0xA1, 0x00, 0x00, 0x00, 0x00}, 6},              // mov eax,fs:[0]
        {{0x64, 0x8B, 0x0D, 0x18, 0x00, 0x00, 0x00}, 7},        // mov ecx,fs:[18h]
        {{0xB8, 0x01, 0x00, 0x00, 0x00}, 5},                    // mov eax,1
        {{0xB1, 0x01}, 2},                                      // mov cl,1
        {{0x69, 0xC0, 0x10, 0x00, 0x00, 0x00}, 6},              // imul eax,eax,10h
        {{0x6B, 0xC0, 0x10}, 3},                                // imul eax,eax,10h (imm8)
        {{0xA9, 0x00, 0x00, 0x01, 0x00}, 5},                    // test eax,imm32
        {{0xC1, 0xE0, 0x04}, 3},                                // shl eax,4
        {{0xC8, 0x10, 0x00, 0x00}, 4},                          // enter 10h,0
        {{0xC9}, 1},                                            // leave
        {{0xCC}, 1},                                            // int3
        {{0xCD, 0x2E}, 2},                                      // int 2Eh
        {{0x9A, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00}, 7},        // call far ptr16:32
        // group 3: an immediate only with test
        {{0xF6, 0xC1, 0x01}, 3},                                // test cl,1
        {{0xF6, 0xD8}, 2},                                      // neg al
        {{0xF7, 0xC1, 0x00, 0x00, 0x01, 0x00}, 6},              // test ecx,imm32
        {{0xF7, 0xD8}, 2},                                      // neg eax
        {{0xF7, 0x44, 0x24, 0x04, 0x01, 0x00, 0x00, 0x00}, 8},  // test dword [esp+4],1
        // prefixes
        {{0x66, 0x89, 0x44, 0x24, 0x04}, 5},                    // mov [esp+4],ax
        {{0x66, 0xB8, 0x34, 0x12}, 4},                          // mov ax,1234h
        {{0x66, 0x81, 0xF9, 0x34, 0x12}, 5},                    // cmp cx,1234h
        {{0x66, 0xF7, 0xC1, 0x34, 0x12}, 5},                    // test cx,1234h
        {{0x67, 0x8B, 0x46, 0x02}, 4},                          // mov eax,[bp+2]
        {{0x67, 0x8B, 0x06, 0x34, 0x12}, 5},                    // mov eax,[1234h] (16-bit address)
        {{0x67, 0x8B, 0x04}, 3},                                // mov eax,[si]
        {{0x67, 0xA1, 0x34, 0x12}, 4},                          // mov eax,[moffs16]
        {{0xA1, 0x00, 0x10, 0x00, 0x00}, 5},                    // mov eax,[moffs32]
        {{0xF0, 0x0F, 0xB1, 0x0A}, 4},                          // lock cmpxchg [edx],ecx
        {{0xF3, 0xA5}, 2},                                      // rep movsd
        {{0x3E, 0xFF, 0xE0}, 3, X86Branch::None, 0, true},      // jmp eax with a ds prefix
        // two and three bytes
        {{0x0F, 0xB6, 0x44, 0x24, 0x04}, 5},                    // movzx eax,byte [esp+4]
        {{0x0F, 0x1F, 0x44, 0x00, 0x00}, 5},                    // nop dword [eax+eax]
        {{0x0F, 0x1F, 0x80, 0x00, 0x00, 0x00, 0x00}, 7},        // nop dword [eax+0]
        {{0x0F, 0xA2}, 2},                                      // cpuid
        {{0x0F, 0x31}, 2},                                      // rdtsc
        {{0x0F, 0xBA, 0xE0, 0x05}, 4},                          // bt eax,5
        {{0x0F, 0xC8}, 2},                                      // bswap eax
        {{0x66, 0x0F, 0x70, 0xC1, 0x1B}, 5},                    // pshufd xmm0,xmm1,1Bh
        {{0x66, 0x0F, 0x38, 0x00, 0xC1}, 5},                    // pshufb xmm0,xmm1
        {{0x66, 0x0F, 0x3A, 0x0F, 0xC1, 0x08}, 6},              // palignr xmm0,xmm1,8
        {{0xF3, 0x0F, 0x10, 0x44, 0x24, 0x04}, 6},              // movss xmm0,[esp+4]
        // x87
        {{0xD9, 0xEE}, 2},                                      // fldz
        {{0xDD, 0x44, 0x24, 0x04}, 4},                          // fld qword [esp+4]
        // control flow
        {{0xC3}, 1, X86Branch::None, 0, true},                              // ret
        {{0xC2, 0x08, 0x00}, 3, X86Branch::None, 0, true},                  // ret 8
        {{0xCB}, 1, X86Branch::None, 0, true},                              // retf
        {{0xCF}, 1, X86Branch::None, 0, true},                              // iret
        {{0xFF, 0x25, 0x00, 0x20, 0x40, 0x00}, 6, X86Branch::None, 0, true},  // jmp [abs]
        {{0xFF, 0xE0}, 2, X86Branch::None, 0, true},                        // jmp eax
        {{0xFF, 0x15, 0x00, 0x20, 0x40, 0x00}, 6},                          // call [abs]
        {{0xFF, 0xD0}, 2},                                                  // call eax
        {{0xFF, 0x74, 0x24, 0x04}, 4},                                      // push dword [esp+4]
        {{0xEA, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00}, 7, X86Branch::None, 0, true},  // jmp far
        {{0x74, 0x05}, 2, X86Branch::CondJump, 5},                          // jz +5
        {{0x7F, 0xFE}, 2, X86Branch::CondJump, -2},                         // jg $
        {{0x3E, 0x74, 0x05}, 3, X86Branch::CondJump, 5},                    // jz with a branch hint
        {{0xEB, 0xF9}, 2, X86Branch::Jump, -7, true},                       // jmp short back
        {{0xE8, 0x10, 0x00, 0x00, 0x00}, 5, X86Branch::Call, 0x10},         // call rel32
        {{0xE9, 0xFB, 0xFF, 0xFF, 0xFF}, 5, X86Branch::Jump, -5, true},     // jmp rel32
        {{0x0F, 0x84, 0x00, 0x01, 0x00, 0x00}, 6, X86Branch::CondJump, 0x100},  // jz rel32
        {{0xE2, 0xFE}, 2, X86Branch::Loop, -2},                             // loop $
        {{0xE3, 0x02}, 2, X86Branch::Loop, 2},                              // jecxz +2
    };
    for (const auto& c : cases) {
        X86Instruction insn;
        ASSERT_EQ(DecodeX86(c.code.data(), c.code.size(), insn), X86Status::Ok) << Hex(c.code);
        EXPECT_EQ(insn.length, c.length) << Hex(c.code);
        EXPECT_EQ(insn.branch, c.branch) << Hex(c.code);
        EXPECT_EQ(insn.displacement, c.displacement) << Hex(c.code);
        EXPECT_EQ(insn.endsFlow, c.endsFlow) << Hex(c.code);
    }
}

TEST(X86Decode, ReadsOnlyTheInstruction) {
    // Bytes after the instruction do not change its length.
    const Bytes code = {0x8B, 0x44, 0x24, 0x04, 0xE8, 0xE8, 0xE8};
    X86Instruction insn;
    ASSERT_EQ(DecodeX86(code.data(), code.size(), insn), X86Status::Ok);
    EXPECT_EQ(insn.length, 4);
}

TEST(X86Decode, Refusals) {
    const struct {
        Bytes code;
        X86Status status;
    } cases[] = {
        {{}, X86Status::Truncated},
        {{0x8B}, X86Status::Truncated},                          // ModRM missing
        {{0x8B, 0x84, 0x24, 0x00}, X86Status::Truncated},        // displacement cut
        {{0x8B, 0x04}, X86Status::Truncated},                    // SIB missing
        {{0xE8, 0x00, 0x00}, X86Status::Truncated},
        {{0x66}, X86Status::Truncated},
        {{0x0F}, X86Status::Truncated},
        {{0x0F, 0x3A, 0x0F, 0xC1}, X86Status::Truncated},        // imm8 missing
        {{0x0F, 0x04}, X86Status::UnknownOpcode},
        {{0x0F, 0x0F, 0xC1, 0xB4}, X86Status::UnknownOpcode},   // 3DNow!
        {{0x0F, 0x24, 0xC0}, X86Status::UnknownOpcode},
        {{0x0F, 0x39}, X86Status::UnknownOpcode},
        {{0xFF, 0xF8}, X86Status::UnknownOpcode},                // FF /7
        {{0xFE, 0xD0}, X86Status::UnknownOpcode},                // FE /2
        {{0xC5, 0xF8, 0x77}, X86Status::Unsupported},            // vzeroupper (VEX)
        {{0xC4, 0xE2, 0x79, 0x18, 0x00}, X86Status::Unsupported},  // VEX three bytes
        {{0x62, 0xF1, 0x7C, 0x48, 0x10, 0x00}, X86Status::Unsupported},  // EVEX
        {{0x8F, 0xE8, 0x78, 0xC0, 0xC1, 0x00}, X86Status::Unsupported},  // XOP
        {{0x66, 0xE8, 0x00, 0x00}, X86Status::Unsupported},      // call rel16
        {{0x66, 0x0F, 0x84, 0x00, 0x00}, X86Status::Unsupported},  // jz rel16
        // fifteen prefixes leave no room for the opcode
        {{0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x90},
         X86Status::Unsupported},
        // fourteen prefixes and an instruction of two bytes: sixteen
        {{0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x33, 0xC0},
         X86Status::Unsupported},
    };
    for (const auto& c : cases) {
        X86Instruction insn;
        EXPECT_EQ(DecodeX86(c.code.data(), c.code.size(), insn), c.status) << Hex(c.code);
    }
    // Still valid: fourteen prefixes and a one-byte instruction.
    const Bytes nop14 = {0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x90};
    X86Instruction insn;
    ASSERT_EQ(DecodeX86(nop14.data(), nop14.size(), insn), X86Status::Ok);
    EXPECT_EQ(insn.length, 15);
    // les / lds / bound / pop with a memory operand are themselves.
    for (const Bytes& b : {Bytes{0xC4, 0x06}, Bytes{0xC5, 0x45, 0x08}, Bytes{0x62, 0x00}, Bytes{0x8F, 0x45, 0xFC}}) {
        EXPECT_EQ(DecodeX86(b.data(), b.size(), insn), X86Status::Ok) << Hex(b);
        EXPECT_EQ(insn.length, b.size()) << Hex(b);
    }
}

// --- trampolines ---

constexpr uint32_t kCode = 0x00401000;
constexpr uint32_t kTramp = 0x7FFE0000;

Bytes Le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct TrampolineCase {
    const char* name;
    Bytes code;
    X86Status status;
    Bytes expected;  // trampoline code
    size_t copied;
    Bytes from, to;  // instruction starts
};

TEST(X86Trampoline, MovesWholeInstructionsAndRelocatesBranches) {
    // Each expected jump back aims at kCode + copied from its own place.
    auto back = [](size_t at, size_t copied) {
        return Cat({{0xE9}, Le32(kCode + static_cast<uint32_t>(copied) - (kTramp + static_cast<uint32_t>(at) + 5))});
    };
    const TrampolineCase cases[] = {
        {"hot-patch prologue",
         {0x8B, 0xFF, 0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x10},
         X86Status::Ok,
         Cat({{0x8B, 0xFF, 0x55, 0x8B, 0xEC}, back(5, 5)}),
         5,
         {0, 2, 3},
         {0, 2, 3}},
        {"a long instruction straddles the fifth byte",
         {0x55, 0x8B, 0x84, 0x24, 0x00, 0x01, 0x00, 0x00, 0xC3},
         X86Status::Ok,
         Cat({{0x55, 0x8B, 0x84, 0x24, 0x00, 0x01, 0x00, 0x00}, back(8, 8)}),
         8,
         {0, 1},
         {0, 1}},
        {"push imm32 alone",
         {0x68, 0x78, 0x56, 0x34, 0x12, 0xCC},
         X86Status::Ok,
         Cat({{0x68, 0x78, 0x56, 0x34, 0x12}, back(5, 5)}),
         5,
         {0},
         {0}},
        {"call rel32 at the entry",
         Cat({{0xE8}, Le32(0x100), {0x01, 0xC0, 0xC3}}),
         X86Status::Ok,
         Cat({{0xE8}, Le32(kCode + 5 + 0x100 - (kTramp + 5)), back(5, 5)}),
         5,
         {0},
         {0}},
        {"jmp rel32 at the entry: relocated, nothing to come back to",
         Cat({{0xE9}, Le32(static_cast<uint32_t>(-0x2000))}),
         X86Status::Ok,
         Cat({{0xE9}, Le32(kCode + 5 - 0x2000 - (kTramp + 5))}),
         5,
         {0},
         {0}},
        {"short jcc widened",
         {0x31, 0xC9, 0x74, 0x04, 0x41, 0x41, 0x41, 0x41, 0x8B, 0x44, 0x24, 0x04},
         X86Status::Ok,
         Cat({{0x31, 0xC9, 0x0F, 0x84}, Le32(kCode + 8 - (kTramp + 8)), {0x41}, back(9, 5)}),
         5,
         {0, 2, 4},
         {0, 2, 8}},
        {"jcc rel32 keeps its condition",
         Cat({{0x85, 0xC0, 0x0F, 0x8E}, Le32(0x40), {0xC3}}),
         X86Status::Ok,
         Cat({{0x85, 0xC0, 0x0F, 0x8E}, Le32(kCode + 8 + 0x40 - (kTramp + 8)), back(8, 8)}),
         8,
         {0, 2},
         {0, 2}},
        {"short jmp widened and ends the copy",
         {0x33, 0xC0, 0xEB, 0x10, 0xCC},
         X86Status::Ok,
         Cat({{0x33, 0xC0, 0xE9}, Le32(kCode + 4 + 0x10 - (kTramp + 7))}),
         5,
         {0, 2},
         {0, 2}},
        {"branch hint dropped from a short jcc",
         {0x90, 0x3E, 0x75, 0x20, 0x90, 0x90},
         X86Status::Ok,
         Cat({{0x90, 0x0F, 0x85}, Le32(kCode + 4 + 0x20 - (kTramp + 7)), {0x90}, back(8, 5)}),
         5,
         {0, 1, 4},
         {0, 1, 7}},
        {"tiny function with int3 padding",
         {0x33, 0xC0, 0xC3, 0xCC, 0xCC, 0x55},
         X86Status::Ok,
         {0x33, 0xC0, 0xC3},
         5,
         {0, 2},
         {0, 2}},
        {"ret and nop padding",
         {0xC3, 0x90, 0x90, 0x90, 0x90},
         X86Status::Ok,
         {0xC3},
         5,
         {0},
         {0}},
        {"recursive call of the entry",
         Cat({{0xE8}, Le32(static_cast<uint32_t>(-5))}),
         X86Status::Ok,
         Cat({{0xE8}, Le32(kCode - (kTramp + 5)), back(5, 5)}),
         5,
         {0},
         {0}},
        {"a function ending inside the jump's bytes", {0x33, 0xC0, 0xC3, 0x55, 0x8B, 0xEC}, X86Status::TooShort, {},
         0, {}, {}},
        {"only three bytes readable", {0x55, 0x8B, 0xEC}, X86Status::Truncated, {}, 0, {}, {}},
        {"padding cut off", {0xC3, 0xCC}, X86Status::Truncated, {}, 0, {}, {}},
        {"loop in the prologue", {0x90, 0xE2, 0x10, 0x90, 0x90, 0x90}, X86Status::Unsupported, {}, 0, {}, {}},
        {"unknown opcode in the prologue", {0x55, 0x0F, 0x04, 0x90, 0x90}, X86Status::UnknownOpcode, {}, 0, {}, {}},
        {"jump onto itself", {0x90, 0x90, 0xEB, 0xFE, 0x90, 0x90}, X86Status::BranchIntoPatch, {}, 0, {}, {}},
        {"jcc back to the entry", {0x85, 0xC0, 0x75, 0xFC, 0x90, 0x90}, X86Status::BranchIntoPatch, {}, 0, {}, {}},
        {"jcc into the moved bytes", {0x85, 0xC0, 0x74, 0x00, 0x41, 0x90}, X86Status::BranchIntoPatch, {}, 0, {}, {}},
    };
    for (const auto& c : cases) {
        X86Trampoline t;
        const X86Status st = BuildX86Trampoline(c.code.data(), c.code.size(), kCode, kTramp, t);
        ASSERT_EQ(st, c.status) << c.name;
        if (st != X86Status::Ok) continue;
        EXPECT_EQ(Hex(Bytes(t.code, t.code + t.length)), Hex(c.expected)) << c.name;
        EXPECT_EQ(t.copied, c.copied) << c.name;
        EXPECT_EQ(Bytes(t.from, t.from + t.count), c.from) << c.name;
        EXPECT_EQ(Bytes(t.to, t.to + t.count), c.to) << c.name;
        // The jump back, when there is one, is the last five bytes.
        const bool back = c.expected.size() >= 5 && c.expected[c.expected.size() - 5] == 0xE9 &&
                          Bytes(c.expected.end() - 5, c.expected.end()) == [&] {
                              uint8_t j[5];
                              WriteX86Jump(j, kTramp + static_cast<uint32_t>(c.expected.size() - 5),
                                           kCode + static_cast<uint32_t>(c.copied));
                              return Bytes(j, j + 5);
                          }();
        EXPECT_EQ(t.backJump, back ? c.expected.size() - 5 : 0u) << c.name;
    }
}

TEST(X86Trampoline, BranchTargetsSurviveAnyDistance) {
    // The code high and the trampoline low, and the other way round: the
    // relocated displacement still reaches the same absolute target.
    const Bytes code = Cat({{0xE8}, Le32(0x12345678), {0xC3}});
    for (auto [from, to] : {std::pair<uint32_t, uint32_t>{0xF0000000u, 0x00010000u}, {0x00010000u, 0xF0000000u}}) {
        X86Trampoline t;
        ASSERT_EQ(BuildX86Trampoline(code.data(), code.size(), from, to, t), X86Status::Ok);
        const uint32_t rel = t.code[1] | t.code[2] << 8 | t.code[3] << 16 | static_cast<uint32_t>(t.code[4]) << 24;
        EXPECT_EQ(to + 5 + rel, from + 5 + 0x12345678u);
        // and the jump back lands on the first byte not moved
        const uint32_t back = t.code[6] | t.code[7] << 8 | t.code[8] << 16 | static_cast<uint32_t>(t.code[9]) << 24;
        EXPECT_EQ(t.code[5], 0xE9);
        EXPECT_EQ(to + 10 + back, from + 5);
    }
}

TEST(X86Trampoline, JumpEncoding) {
    uint8_t j[5];
    WriteX86Jump(j, 0x1000, 0x2000);
    EXPECT_EQ(Hex(Bytes(j, j + 5)), Hex({0xE9, 0xFB, 0x0F, 0x00, 0x00}));
    WriteX86Jump(j, 0x2000, 0x1000);
    EXPECT_EQ(Hex(Bytes(j, j + 5)), Hex({0xE9, 0xFB, 0xEF, 0xFF, 0xFF}));
}

}  // namespace
