#include "Wayscribe/tools/search/SearchSummary.h"

std::string SearchSummaryText(const SearchSummary& summary)
{
    if (summary.ParseError != RegExpParseError::ParseOk)
        return std::string("The expression cannot be used: ") + RegExpParseErrorText(summary.ParseError) +
               ".";
    if (!summary.Reached)
        return "The history cannot be reached";
    std::string text;
    if (summary.Stopped)
        text = "Search stopped: ";
    if (summary.Found == 0)
        text += summary.Stopped ? "no visits found" : "No visits found";
    else
        text += std::to_string(summary.Found) + (summary.Found == 1 ? " visit found" : " visits found");
    if (summary.Incomplete > 0)
        text += "\n" + std::to_string(summary.Incomplete) +
                (summary.Incomplete == 1 ? " page was not searched to the end"
                                         : " pages were not searched to the end");
    return text;
}
