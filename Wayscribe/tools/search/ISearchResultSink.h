// Where a search worker reports: its progress and each visit it finds.
#pragma once

#include "Wayscribe/historymodel/CDataItem.h"
#include "Wayscribe/tools/search/SearchSummary.h"

class ISearchResultSink {
public:
    // All are called on the worker thread. The sink hands what it gets to
    // its own thread; it must not wait for that thread, which may itself be
    // waiting for the worker to end.
    //
    // How far the walk has come, 0 to 100; called when the figure changes.
    virtual void OnSearchProgress(int percent) = 0;
    // A matching visit, in the order found; each visit at most once. A visit
    // found by its saved page carries the text around the match (Excerpt).
    virtual void OnSearchFound(CDataItem item) = 0;
    // The search is over, whichever way; the last call the sink gets.
    virtual void OnSearchEnded(const SearchSummary& /*summary*/) {}

protected:
    ISearchResultSink() = default;
    ~ISearchResultSink() = default;
    ISearchResultSink(const ISearchResultSink&) = default;
    ISearchResultSink& operator=(const ISearchResultSink&) = default;
};
