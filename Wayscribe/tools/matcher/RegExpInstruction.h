// One instruction of a compiled search expression, and its kinds.
//
// A program is an array of these. A set (after Range or NotRange) takes the
// set instruction itself plus the next `kRegExpSetWords` instructions, whose
// 32 bytes hold 256 bits: bit b % 8 of byte b / 8 stands for byte value b.
#pragma once

#include <cstdint>
#include <cstring>

enum class RegExpKind : std::uint32_t {
    Nop,
    Symbol,  // operand: the byte
    Any,
    Range,       // followed by the set words
    NotRange,    // followed by the set words
    GroupStart,  // operand: group
    GroupEnd,    // operand: group
    PushGroup,   // operand: group
    PopGroup,    // operand: group
    PushCharPos,
    PopCharPos,
    Call,  // operand: target index
    Jmp,   // operand: target index
    Return,
    PushMemory,     // operand: memory slot
    PopMemory,      // operand: memory slot
    StoreCharPos,   // operand: memory slot
    GetCharPos,     // operand: memory slot
    StoreStackPos,  // operand: memory slot
    GetStackPos,    // operand: memory slot
    RetNoMatch,     // operand: memory slot
    Previous,       // operand: group
    Fail,
    Advance,
    Match,
};

struct RegExpInstruction {
    RegExpKind kind;
    std::uint32_t operand;

    bool operator==(const RegExpInstruction&) const = default;
};
static_assert(sizeof(RegExpInstruction) == 8, "two 32-bit words per instruction");

// Instructions after a Range or NotRange that carry its 256-bit set.
inline constexpr std::uint32_t kRegExpSetWords = 4;
inline constexpr std::uint32_t kRegExpSetBytes = kRegExpSetWords * sizeof(RegExpInstruction);
static_assert(kRegExpSetBytes == 32, "a set holds 256 bits");

// The set bytes that follow the Range or NotRange at `setInstruction`.
inline const unsigned char* RegExpSetBits(const RegExpInstruction* setInstruction)
{
    return reinterpret_cast<const unsigned char*>(setInstruction + 1);
}

// Is `byte` in the set that follows the Range or NotRange at `setInstruction`?
// The membership bits are read, not the kind: NotRange's inversion is not applied.
inline bool RegExpSetHas(const RegExpInstruction* setInstruction, unsigned char byte)
{
    return (RegExpSetBits(setInstruction)[byte >> 3] >> (byte & 7)) & 1;
}

// Text name of a kind as the instruction table writes it ("Call", "RetNoMatch").
const char* RegExpKindName(RegExpKind kind);
