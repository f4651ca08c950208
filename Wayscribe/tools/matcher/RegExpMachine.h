// The backtracking machine that runs a compiled program over one text.
// Private to the matcher.
#pragma once

#include <cstdint>

#include "Wayscribe/tools/matcher/CRegExpMatch.h"
#include "Wayscribe/tools/matcher/RegExpInstruction.h"

class RegExpStartFinder;

class RegExpMachine {
public:
    // Tries every start position in turn, as Advance describes, on `text`
    // as given (already lower-cased when case is ignored).
    static RegExpOutcome RunPlain(const RegExpInstruction* program, const unsigned char* text,
                                  std::uint32_t length, CRegExpMatch& context);
    // Makes attempts only where `starts` says a match can begin, beginning at
    // `first`; with `fold`, reads the text through the case fold instead of a copy.
    static RegExpOutcome RunFast(const RegExpInstruction* program, const unsigned char* text,
                                 std::uint32_t length, std::uint32_t first, bool fold,
                                 RegExpStartFinder& starts, CRegExpMatch& context);

private:
    template <bool Fold, class Starts>
    static RegExpOutcome Run(const RegExpInstruction* program, const unsigned char* text,
                             std::uint32_t length, std::uint32_t first, Starts& starts,
                             CRegExpMatch& context);
};
