// Turns a syntax tree into the instruction program. Private to the matcher.
#pragma once

#include <cstdint>
#include <vector>

#include "Wayscribe/tools/matcher/CRegExp.h"
#include "Wayscribe/tools/matcher/RegExpSyntax.h"

class RegExpCompiler {
public:
    // Emits the whole program for `syntax` into `program` (cleared first) and
    // sets `memoryCount` to the memory slots it uses. OutOfMemory when the
    // program would pass CRegExp::kMaxInstructions or cannot be allocated.
    static RegExpParseError Compile(const RegExpSyntax& syntax, std::vector<RegExpInstruction>& program,
                                    std::uint32_t& memoryCount);
};
