#include "Wayscribe/tools/CSearchWorker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Wayscribe/HistoryWindow.h"
#include "Wayscribe/tools/CRegExp.h"
#include "Wayscribe/tools/CSavedPageContent.h"
#include "Wayscribe/tools/UrlBaseConnection.h"
#include "common/StringConvert.h"
#include "platform/rpc/Apartment.h"

namespace {

// Leaves the thread's apartment when the search ends, whichever way.
class CApartmentScope {
public:
    CApartmentScope() : m_entered(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~CApartmentScope()
    {
        if (m_entered)
            CoUninitialize();
    }
    CApartmentScope(const CApartmentScope&) = delete;
    CApartmentScope& operator=(const CApartmentScope&) = delete;
    bool Entered() const { return m_entered; }

private:
    bool m_entered;
};

bool Stopped(const std::atomic<bool>* stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

// The walk itself. Every interface it holds is released when it returns.
void Walk(IWYSCURLBase* base, const SearchRequest& request, const CRegExp& expression, SearchSummary& summary)
{
    ULONG count = 0;
    if (FAILED(base->get_DataCount(&count)))
        return;
    summary.Reached = true;
    // Without the history folder no saved page can be found, and a page
    // path must not be taken from the root of the file system instead.
    std::string historyFolder;
    bool searchContent = false;
    if (request.Content) {
        CComBSTR folder;
        if (SUCCEEDED(base->get_BaseDirectory(&folder))) {
            historyFolder = wys::BstrToNarrowZ(folder);
            searchContent = !historyFolder.empty();
        }
    }

    CRegExpMatch context(CSearchWorker::kInitialStackEntries);
    context.SetStopFlag(request.StopEvent);
    std::optional<CSavedPageContent> pages;
    if (searchContent) {
        pages.emplace(historyFolder, expression);
        pages->SetBudget(request.BaseBudget, request.BudgetPerByte);
        pages->SetStopFlag(request.StopEvent);
    }
    summary.UsedIndex = pages && pages->UsesIndex();

    ISearchResultSink* sink = request.ResultSink;
    int reported = -1;
    // The walk goes from the last record to the first, a window of pipelined
    // reads at a time. A removal by another client shifts only the records
    // above it down, onto places already read: nothing is skipped, but a
    // visit may come round twice, so each is reported once.
    std::set<std::pair<std::int64_t, std::string>> reportedVisits;
    std::vector<wys::CWindowVisit> window;
    ULONG walked = 0;
    for (ULONG top = count; top > 0 && !Stopped(request.StopEvent);) {
        const ULONG size = std::min(wys::kHistoryWindow, top);
        const HRESULT hr =
            wys::ReadHistoryWindow(base, top - size, size, wys::WindowOrder::Descending, request.BandContext, &window);
        for (wys::CWindowVisit& visit : window) {
            if (Stopped(request.StopEvent))
                break;
            const int percent = static_cast<int>(std::uint64_t{walked++} * 100 / count);
            if (percent != reported && sink) {
                sink->OnSearchProgress(percent);
                reported = percent;
            }
            if (FAILED(visit.result))
                continue;
            ++summary.Visited;
            CDataItem& item = visit.item;
            bool incomplete = false;
            const auto matches = [&](std::string_view text) {
                context.SetInstructionLimit(request.BaseBudget + request.BudgetPerByte * text.size());
                if (expression.Match(text, context))
                    return true;
                incomplete = incomplete || context.Outcome() == RegExpOutcome::LimitReached ||
                             context.Outcome() == RegExpOutcome::OutOfMemory;
                return false;
            };
            bool found = (request.Url && matches(item.Url)) || (request.Title && matches(item.Title));
            if (!found && searchContent && !Stopped(request.StopEvent)) {
                const CSavedPageContent::Result result = pages->Test(item.Path, context, &item.Excerpt);
                found = result == CSavedPageContent::Result::Match;
                incomplete = incomplete || result == CSavedPageContent::Result::Incomplete;
            }
            if (found) {
                if (!reportedVisits.emplace(item.Time, item.Url).second)
                    continue;  // came round again after a removal below it
                ++summary.Found;
                if (sink)
                    sink->OnSearchFound(std::move(item));
            } else if (incomplete) {
                ++summary.Incomplete;
            }
        }
        if (wys::IsConnectionLost(hr))
            break;  // what was found stays listed
        top -= size;
    }
    summary.Stopped = Stopped(request.StopEvent);
    summary.UsedIndex = summary.UsedIndex && pages->UsesIndex();
}

}  // namespace

void CSearchWorker::Search(IWYSCURLBase* base, const SearchRequest& request)
{
    SearchSummary summary;
    CRegExp expression;
    summary.ParseError = expression.Parse(request.Expression.c_str(), RegExpCase::Insensitive);
    if (summary.ParseError == RegExpParseError::ParseOk && base)
        Walk(base, request, expression, summary);
    if (request.ResultSink)
        request.ResultSink->OnSearchEnded(summary);
}

CSearchWorker::CSearchWorker(std::unique_ptr<SearchRequest> request) : m_ended(::eventfd(0, EFD_CLOEXEC))
{
    m_thread = std::thread([this, request = std::move(request)]() mutable {
        Run(std::move(request));
        m_hasEnded.store(true, std::memory_order_release);
        if (m_ended >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(m_ended, &one, sizeof one);
        }
    });
}

CSearchWorker::~CSearchWorker()
{
    Wait();
    if (m_ended >= 0)
        ::close(m_ended);
}

bool CSearchWorker::HasEnded() const
{
    return m_hasEnded.load(std::memory_order_acquire);
}

void CSearchWorker::Wait()
{
    if (!m_thread.joinable())
        return;
    DWORD index = 0;
    if (m_ended >= 0 && FAILED(CoWaitForMultipleHandles(0, INFINITE, 1, &m_ended, &index))) {
        pollfd ended{m_ended, POLLIN, 0};
        while (::poll(&ended, 1, -1) < 0 && errno == EINTR) {
        }
    }
    m_thread.join();
}

void CSearchWorker::Run(std::unique_ptr<SearchRequest> request)
{
    CApartmentScope apartment;
    if (!apartment.Entered())
        return;
    // The worker owns the request from here; it is freed when the walk ends.
    const SearchRequest search = std::move(*request);
    request.reset();
    ComPtr<IWYSCURLBase> base;
    // Without the URL base the search ends at once (its summary says so).
    (void)wys::ConnectUrlBase(&base);
    Search(base.Get(), search);
}
