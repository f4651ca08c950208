// The thread of one search: it walks every visit of the URL base, last
// record first (a window of pipelined reads at a time), tests the chosen
// fields with the search expression (letter case ignored) and reports each
// matching visit to the request's sink, once, even when another client's
// removals move a visit already walked into the part still to come. The
// content test reads what a person reads on the saved page, through the
// content index where it can (CSavedPageContent).
//
// The worker makes its own connection to the URL base in an apartment of its
// own; it never touches the pane's windows or the band's connection. It ends
// by itself when the walk is done, when the stop event is raised (checked
// before every visit, and polled inside long matches), or at once, with no
// results, when the expression does not compile or the URL base cannot be
// reached. Whichever way it ends, its last report is the summary.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "Wayscribe/tools/search/SearchRequest.h"
#include "common/IWYSCURLBase.h"

class CSearchWorker {
public:
    // The matcher's stack starts with this many entries.
    static constexpr unsigned kInitialStackEntries = 256;

    // Starts the thread, which takes the request over. The request's sink and
    // stop event must outlive the worker.
    explicit CSearchWorker(std::unique_ptr<SearchRequest> request);
    // Waits for the thread, as Wait does.
    ~CSearchWorker();
    CSearchWorker(const CSearchWorker&) = delete;
    CSearchWorker& operator=(const CSearchWorker&) = delete;

    // Whether the thread has ended; never waits.
    bool HasEnded() const;
    // Waits until the thread has ended. While it waits, the calling thread's
    // apartment (if it is in one) keeps serving incoming calls, so a worker
    // whose URL base lives in that apartment can finish its call.
    void Wait();

    // The search itself, on the calling thread, which it puts into an
    // apartment of its own for the time of the search (it returns at once
    // when that fails) and in which it makes its own connection.
    static void Run(std::unique_ptr<SearchRequest> request);
    // The search over `base` (null: not reachable), on the calling thread,
    // which must be the apartment thread of `base`.
    static void Search(IWYSCURLBase* base, const SearchRequest& request);

private:
    std::atomic<bool> m_hasEnded{false};
    int m_ended = -1;  // eventfd, readable once the thread has ended (for waiting)
    std::thread m_thread;
};
