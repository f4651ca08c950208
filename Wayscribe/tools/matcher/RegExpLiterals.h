// The literal texts that every match of an expression contains, worked out
// once from the syntax tree. Private to the matcher.
#pragma once

#include <string>
#include <vector>

#include "Wayscribe/tools/matcher/RegExpSyntax.h"

class RegExpLiterals {
public:
    // Byte strings, none empty and each once, such that every text the
    // expression matches in contains all of them (as written in the
    // program: lower case when case is ignored). Empty when the expression
    // requires no literal at all ("\w+", "a|b", "x*").
    static std::vector<std::string> Required(const RegExpSyntax& syntax);
};
