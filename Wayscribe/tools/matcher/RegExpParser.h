// Reads a search expression into its syntax tree. Private to the matcher.
#pragma once

#include "Wayscribe/tools/matcher/CRegExp.h"
#include "Wayscribe/tools/matcher/RegExpSyntax.h"

class RegExpParser {
public:
    // Parses the NUL-terminated `expression` (already lower-cased when case is
    // ignored) into `syntax`, which must be empty. On any result but ParseOk
    // `syntax` holds a partial tree that must not be used.
    static RegExpParseError Parse(const char* expression, RegExpSyntax& syntax);
};
