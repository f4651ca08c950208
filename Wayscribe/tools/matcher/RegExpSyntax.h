// The syntax tree of a search expression, as the parser builds it and the
// compiler and the scan planner read it. Private to the matcher.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

enum class RegExpNodeKind : std::uint8_t {
    Symbol,  // `byte`; byte 0 is the end anchor (the text's terminating NUL)
    Any,
    Set,            // `value`: index into RegExpSyntax::sets
    NotSet,         // `value`: index into RegExpSyntax::sets
    Sequence,       // children: the elements, in order (none: the empty sequence)
    Alternation,    // children: two or more operands, tried in order
    Group,          // child: its Sequence; does not capture
    Capture,        // child: its Sequence; `value`: group number
    Negation,       // child: the negated atom; `value`: capture groups opened inside it
    BackReference,  // `value`: group number
    Repeat,         // child: the operand; `repeat`: the quantifier
};

enum class RegExpRepeat : std::uint8_t { Star, Plus, Optional, LazyStar, LazyPlus, LazyOptional };

inline constexpr std::uint32_t kNoNode = 0xFFFFFFFFu;

struct RegExpNode {
    RegExpNodeKind kind;
    RegExpRepeat repeat = RegExpRepeat::Star;
    std::uint8_t byte = 0;
    bool canBeEmpty = false;  // the rule that decides EmptyRepeat, not what matching can do
    std::uint32_t value = 0;
    std::uint32_t child = kNoNode;  // first child
    std::uint32_t next = kNoNode;   // next sibling under the same parent
};

using RegExpSet = std::array<std::uint8_t, 32>;  // bit b % 8 of byte b / 8: byte value b

struct RegExpSyntax {
    std::vector<RegExpNode> nodes;
    std::vector<RegExpSet> sets;
    std::uint32_t root = kNoNode;  // a Sequence
    bool anchored = false;         // the expression began with "^"
    // Some negation holds a capture group. A negation whose operand matches
    // fails without undoing that operand's captures, so such a negation is
    // the one thing a failed attempt can leave behind.
    bool negationCaptures = false;
    std::uint32_t groupCount = 0;

    const RegExpNode& operator[](std::uint32_t index) const { return nodes[index]; }
};

inline bool RegExpSetContains(const RegExpSet& set, unsigned char byte)
{
    return (set[byte >> 3] >> (byte & 7)) & 1;
}
