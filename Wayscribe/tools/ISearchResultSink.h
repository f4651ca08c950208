// Where a search worker reports: its progress and each visit it finds.
#pragma once

#include "Wayscribe/CDataItem.h"

class ISearchResultSink {
public:
    // Both are called on the worker thread. The sink hands what it gets to
    // its own thread; it must not wait for that thread, which may itself be
    // waiting for the worker to end.
    //
    // How far the walk has come, 0 to 100; called when the figure changes.
    virtual void OnSearchProgress(int percent) = 0;
    // A matching visit, in the order found; each visit at most once.
    virtual void OnSearchFound(CDataItem item) = 0;

protected:
    ISearchResultSink() = default;
    ~ISearchResultSink() = default;
    ISearchResultSink(const ISearchResultSink&) = default;
    ISearchResultSink& operator=(const ISearchResultSink&) = default;
};
