// Where a match can begin, worked out once from the syntax tree, and the
// per-text search that uses it. Private to the matcher.
//
// An attempt that the plan skips would have failed, and without leaving
// anything behind: it fails at its first consuming instruction, or (for the
// required literal) the expression has no negation holding a capture group,
// the only thing whose effect outlives a failed attempt. So skipping it
// changes no answer and no position.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "Wayscribe/tools/matcher/RegExpByteSearch.h"
#include "Wayscribe/tools/matcher/RegExpSyntax.h"

struct RegExpScanPlan {
    bool fold = false;      // case is ignored: the text is compared folded
    bool anchored = false;  // one attempt only, at the beginning
    // Every match begins with these bytes.
    RegExpLiteralFinder prefix;
    // Failing a prefix, every match begins with one of these bytes.
    bool useFirstBytes = false;
    RegExpByteSetFinder firstBytes;
    // Every match holds these bytes somewhere at or after its start, so
    // attempts past their last occurrence can be dropped.
    RegExpLiteralFinder required;

    static std::unique_ptr<RegExpScanPlan> Build(const RegExpSyntax& syntax, bool fold);
};

inline constexpr std::uint32_t kRegExpNoStart = 0xFFFFFFFFu;

// Hands the machine the start of each attempt worth making in one text.
class RegExpStartFinder {
public:
    // `plan` and `text` must outlive the finder.
    RegExpStartFinder(const RegExpScanPlan& plan, const unsigned char* text, std::uint32_t length)
        : m_plan(plan), m_text(text), m_length(length)
    {
    }

    // The first attempt; kRegExpNoStart when no match is possible at all.
    std::uint32_t First();
    // The next attempt at or after `from`; kRegExpNoStart when none is left.
    std::uint32_t Next(std::uint32_t from);

private:
    bool RequiredFrom(std::uint32_t from);

    const RegExpScanPlan& m_plan;
    const unsigned char* m_text;
    std::uint32_t m_length;
    // Last known occurrence of the required literal; kRegExpNoStart before the first search.
    std::uint32_t m_required = kRegExpNoStart;
};
