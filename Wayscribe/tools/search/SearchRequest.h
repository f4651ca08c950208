// What the search pane hands to its worker thread when a search starts.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "Wayscribe/tools/search/CSavedPageContent.h"
#include "Wayscribe/tools/search/ISearchResultSink.h"

class CQXServiceProvider;

struct SearchRequest {
    // Matched without regard to the case of the letters A to Z.
    std::string Expression;
    // Not owned; outlives the worker.
    ISearchResultSink* ResultSink = nullptr;
    // The fields to test, in this order; a visit matches on the first.
    bool Url = false;
    bool Title = false;
    bool Content = false;
    // Raised by the pane to end the walk; not owned, outlives the worker.
    const std::atomic<bool>* StopEvent = nullptr;
    // Copied into every visit found, as into every visit of the History tab.
    CQXServiceProvider* BandContext = nullptr;
    // Instructions the test of one text may take: the base and as many more
    // per byte of the text. A test that takes more counts its visit as not
    // searched to the end (SearchSummary::Incomplete).
    std::uint64_t BaseBudget = CSavedPageContent::kBaseBudget;
    std::uint64_t BudgetPerByte = CSavedPageContent::kBudgetPerByte;
};
