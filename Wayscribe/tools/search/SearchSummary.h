// How a search went, as its worker reports it once at the end.
#pragma once

#include <cstdint>
#include <string>

#include "Wayscribe/tools/matcher/CRegExp.h"

struct SearchSummary {
    // The expression's parse result; nothing was walked unless ParseOk.
    RegExpParseError ParseError = RegExpParseError::ParseOk;
    // The URL base answered.
    bool Reached = false;
    // Visits walked, and those that matched.
    std::uint32_t Visited = 0;
    std::uint32_t Found = 0;
    // Visits read from the URL base: every one walked, or only those the
    // content index named when it answered the search on its own.
    std::uint32_t Read = 0;
    // Visits whose saved page was not searched to its end (too long a test,
    // or a page too big to read whole) and did not match in what was.
    std::uint32_t Incomplete = 0;
    // The walk was stopped before its end.
    bool Stopped = false;
    // The content index answered for the pages it holds.
    bool UsedIndex = false;
};

// What the search pane says about it: "No visits found", "3 visits found",
// "Search stopped: 1 visit found", the parse error in words, and on a line
// of its own how many pages were not searched to the end.
std::string SearchSummaryText(const SearchSummary& summary);
