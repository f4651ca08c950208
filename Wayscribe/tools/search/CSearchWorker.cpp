#include "Wayscribe/tools/search/CSearchWorker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Wayscribe/historymodel/HistoryWindow.h"
#include "Wayscribe/tools/matcher/CRegExp.h"
#include "Wayscribe/tools/search/CSavedPageContent.h"
#include "common/StringConvert.h"
#include "common/UrlBaseConnection.h"
#include "platform/rpc/Apartment.h"
#include "platform/rpc/CallPipeline.h"

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

// The Paths the content index does not hold, when it holds all others.
bool UnindexedPaths(IWYSCURLBase* base, std::vector<std::string>* paths)
{
    CComVariant answer;
    if (base->get_UnindexedPaths(&answer) != S_OK || answer.vt != (VT_ARRAY | VT_BSTR) || !answer.parray ||
        SafeArrayGetDim(answer.parray) != 1)
        return false;
    const auto* names = static_cast<const BSTR*>(answer.parray->pvData);
    for (ULONG k = 0; k < answer.parray->rgsabound[0].cElements; ++k)
        paths->push_back(wys::BstrToNarrow(names[k]));
    return true;
}

// Paths handed to FindPaths in one call: few enough that a call and its
// answer stay well within what one message may carry.
constexpr std::size_t kPathsPerCall = 4096;
constexpr std::size_t kPathBytesPerCall = 1u << 20;

using IndexedOutcome = CSavedPageContent::IndexedOutcome;

// A Path asked for, with what the index found of its page; null for a page
// the index does not hold, which is read from its file.
struct AskedPage {
    const std::string* Path;
    const IndexedOutcome* Outcome;
};

// A visit that carries one of the Paths asked for, and what was found of it.
struct FoundVisit {
    ULONG Index;
    CDataItem Item;
    const IndexedOutcome* Outcome;
};

// Adds the visits of one answer of FindPaths to `visits`; false when it is
// not the answer FindPaths gives to `asked`.
bool ReadFoundVisits(const VARIANT& answer, const std::vector<AskedPage>& asked, CQXServiceProvider* provider,
                     std::vector<FoundVisit>* visits)
{
    if (answer.vt != (VT_ARRAY | VT_VARIANT) || !answer.parray || SafeArrayGetDim(answer.parray) != 1 ||
        answer.parray->rgsabound[0].cElements != 5)
        return false;
    const auto* parts = static_cast<const VARIANT*>(answer.parray->pvData);
    const VARTYPE types[5] = {VT_UI4, VT_I8, VT_BSTR, VT_UI4, VT_BSTR};
    ULONG count = 0;
    for (int part = 0; part < 5; ++part) {
        const VARIANT& v = parts[part];
        if (v.vt != (VT_ARRAY | types[part]) || !v.parray || SafeArrayGetDim(v.parray) != 1 ||
            (part > 0 && v.parray->rgsabound[0].cElements != count))
            return false;
        count = v.parray->rgsabound[0].cElements;
    }
    const auto* indices = static_cast<const ULONG*>(parts[0].parray->pvData);
    const auto* times = static_cast<const LONGLONG*>(parts[1].parray->pvData);
    const auto* urls = static_cast<const BSTR*>(parts[2].parray->pvData);
    const auto* places = static_cast<const ULONG*>(parts[3].parray->pvData);
    const auto* titles = static_cast<const BSTR*>(parts[4].parray->pvData);
    for (ULONG k = 0; k < count; ++k) {
        if (places[k] >= asked.size())
            return false;
        const AskedPage& page = asked[places[k]];
        FoundVisit& visit = visits->emplace_back(FoundVisit{indices[k], {}, page.Outcome});
        visit.Item.Time = times[k];
        visit.Item.Url = wys::BstrToNarrow(urls[k]);
        visit.Item.Path = *page.Path;
        visit.Item.Provider = provider;
        visit.Item.Title = wys::BstrToNarrow(titles[k]);
    }
    return true;
}

// The visits whose Path is one of the Paths asked for, highest index first.
// Paths are asked for a part at a time as they become known, in pipelined
// calls, so that the URL base looks them up while the search goes on.
class CVisitFinder {
public:
    CVisitFinder(IWYSCURLBase* base, CQXServiceProvider* provider) : m_base(base), m_provider(provider) {}

    // Asks for the visits of `pages`, without waiting for the answer; each
    // Path and outcome must stay in place until Finish.
    void Ask(const std::vector<AskedPage>& pages)
    {
        std::size_t next = 0;
        while (next < pages.size() && m_answered) {
            std::size_t end = next;
            std::size_t bytes = 0;
            while (end < pages.size() && end - next < kPathsPerCall &&
                   (bytes < kPathBytesPerCall || end == next))
                bytes += pages[end++].Path->size();
            Part& part = m_parts.emplace_back();
            part.pages.assign(pages.begin() + static_cast<std::ptrdiff_t>(next),
                              pages.begin() + static_cast<std::ptrdiff_t>(end));
            part.asked.vt = VT_ARRAY | VT_BSTR;
            part.asked.parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(end - next));
            void* data = nullptr;
            if (!part.asked.parray || FAILED(SafeArrayAccessData(part.asked.parray, &data))) {
                m_answered = false;
                return;
            }
            auto* names = static_cast<BSTR*>(data);
            for (std::size_t k = 0; k < part.pages.size(); ++k)
                names[k] = wys::NarrowToBstr(*part.pages[k].Path);
            SafeArrayUnaccessData(part.asked.parray);
            if (m_pipeline.Full())
                FinishOldest();
            m_pipeline.Begin([&] { return m_base->FindPaths(part.asked, &part.answer); });
            next = end;
        }
        // Answers read as the search goes on do not pile up.
        while (m_pipeline.Size() > kCallsInFlight)
            FinishOldest();
    }

    // Every visit asked for; false when the URL base could not answer.
    bool Finish(std::vector<FoundVisit>* visits)
    {
        while (!m_pipeline.Empty())
            FinishOldest();
        if (!m_answered)
            return false;
        // Each answer is in order; together they are put in order once.
        std::stable_sort(m_visits.begin(), m_visits.end(),
                         [](const FoundVisit& a, const FoundVisit& b) { return a.Index > b.Index; });
        *visits = std::move(m_visits);
        return true;
    }

private:
    static constexpr std::size_t kCallsInFlight = 2;

    struct Part {
        std::vector<AskedPage> pages;
        CComVariant asked;
        CComVariant answer;
    };

    void FinishOldest()
    {
        const HRESULT result = m_pipeline.Finish();
        Part& part = m_parts.front();
        m_answered =
            m_answered && result == S_OK && ReadFoundVisits(part.answer, part.pages, m_provider, &m_visits);
        m_parts.pop_front();
    }

    IWYSCURLBase* m_base;
    CQXServiceProvider* m_provider;
    std::deque<Part> m_parts;  // of the calls in flight, oldest first; each stays in place meanwhile
    std::vector<FoundVisit> m_visits;
    bool m_answered = true;
    wys::rpc::CCallPipeline m_pipeline;  // last: destroyed first, while the parts it writes are still there
};

// The content test answered by the content index for every page at once:
// the pages that match (and those it could not search to the end), and
// those it does not hold, which are read from their files. Every other
// page does not match.
class CIndexAnswers {
public:
    // False when the index cannot answer; then every page is tested alone.
    // `finder`, when given, is asked for the visits of each Path as soon as
    // it is known. `unindexed` must outlive the object.
    bool Make(CSavedPageContent& pages, CRegExpMatch& context, const std::vector<std::string>& unindexed,
              CVisitFinder* finder)
    {
        m_unindexed = &unindexed;
        // A page both held and not held (indexed since the URL base was
        // asked) is read from its file. There are seldom any.
        std::unordered_set<std::string_view> unheld;
        std::vector<AskedPage> fresh;
        for (const std::string& path : unindexed) {
            if (unheld.insert(path).second)
                fresh.push_back({&path, nullptr});
        }
        if (finder)
            finder->Ask(fresh);
        const auto add = [&](const std::vector<IndexedOutcome>& part) {
            fresh.clear();
            for (const IndexedOutcome& outcome : part) {
                if (unheld.empty() || !unheld.count(outcome.Path))
                    fresh.push_back({&outcome.Path, &outcome});
            }
            if (finder)
                finder->Ask(fresh);
        };
        return pages.TestIndexed(context, &m_outcomes, add);
    }
    // The content test of the page with Path `path`.
    CSavedPageContent::Result Test(CSavedPageContent& pages, const std::string& path, CRegExpMatch& context,
                                   std::string* excerpt)
    {
        if (!m_ofMade)
            MakeOf();
        const auto known = m_of.find(path);
        if (known == m_of.end())
            return CSavedPageContent::Result::NoMatch;
        return Of(pages, known->second, path, context, excerpt);
    }
    // The content test of a page whose outcome is `outcome` (null: read
    // from its file).
    static CSavedPageContent::Result Of(CSavedPageContent& pages, const IndexedOutcome* outcome,
                                        const std::string& path, CRegExpMatch& context, std::string* excerpt)
    {
        if (!outcome)
            return pages.TestSavedFile(path, context, excerpt);
        *excerpt = outcome->Excerpt;
        return outcome->Outcome;
    }

private:
    // Only a walk over every visit looks pages up by Path.
    void MakeOf()
    {
        m_ofMade = true;
        for (const std::string& path : *m_unindexed)
            m_of.emplace(path, nullptr);
        for (const std::vector<IndexedOutcome>& part : m_outcomes) {
            for (const IndexedOutcome& outcome : part)
                m_of.emplace(outcome.Path, &outcome);
        }
    }

    CSavedPageContent::IndexedParts m_outcomes;
    const std::vector<std::string>* m_unindexed = nullptr;
    std::unordered_map<std::string_view, const IndexedOutcome*> m_of;
    bool m_ofMade = false;
};

// A content-only search that the content index answers: the URL base names
// the visits that carry the pages the index found, and only these visits
// are read. False, with nothing reported, when it cannot answer; the caller
// then walks every visit.
bool IndexedWalk(const SearchRequest& request, CSavedPageContent& pages, CRegExpMatch& context,
                 CVisitFinder& finder, ULONG count, SearchSummary& summary)
{
    std::vector<FoundVisit> visits;
    if (!finder.Finish(&visits))
        return false;

    // Each Path was asked for once and a visit carries one Path, so each
    // visit comes once: none is reported twice.
    ISearchResultSink* sink = request.ResultSink;
    int reported = -1;
    std::size_t walked = 0;
    for (FoundVisit& visit : visits) {
        if (Stopped(request.StopEvent))
            break;
        const int percent = static_cast<int>(std::uint64_t{walked++} * 100 / visits.size());
        if (percent != reported && sink) {
            sink->OnSearchProgress(percent);
            reported = percent;
        }
        CDataItem& item = visit.Item;
        const CSavedPageContent::Result result =
            CIndexAnswers::Of(pages, visit.Outcome, item.Path, context, &item.Excerpt);
        if (result == CSavedPageContent::Result::Match) {
            ++summary.Found;
            if (sink)
                sink->OnSearchFound(std::move(item));
        } else if (result == CSavedPageContent::Result::Incomplete) {
            ++summary.Incomplete;
        }
    }
    // Every visit was taken into account, most of them by the index alone.
    summary.Visited = count;
    summary.Read = static_cast<std::uint32_t>(visits.size());
    summary.Stopped = Stopped(request.StopEvent);
    summary.UsedIndex = true;
    return true;
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
    // Asked before the index is opened, so that every page the URL base
    // counts as indexed is in what the search reads of the index.
    std::vector<std::string> unindexed;
    const bool indexInStep = searchContent && UnindexedPaths(base, &unindexed);
    std::optional<CSavedPageContent> pages;
    if (searchContent) {
        pages.emplace(historyFolder, expression);
        pages->SetBudget(request.BaseBudget, request.BudgetPerByte);
        pages->SetStopFlag(request.StopEvent);
    }
    // The index answers the content test of every page at once; a search of
    // the content alone then reads only the visits it names, and one of the
    // URLs or titles as well still walks every visit, for those.
    CIndexAnswers answers;
    const bool contentOnly = !request.Url && !request.Title;
    std::optional<CVisitFinder> finder;
    if (indexInStep && contentOnly)
        finder.emplace(base, request.BandContext);
    const bool answered =
        indexInStep && answers.Make(*pages, context, unindexed, finder ? &*finder : nullptr);
    if (answered && contentOnly && IndexedWalk(request, *pages, context, *finder, count, summary))
        return;
    finder.reset();
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
        const HRESULT hr = wys::ReadHistoryWindow(base, top - size, size, wys::WindowOrder::Descending,
                                                  request.BandContext, &window);
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
            ++summary.Read;
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
                const CSavedPageContent::Result result =
                    answered ? answers.Test(*pages, item.Path, context, &item.Excerpt)
                             : pages->Test(item.Path, context, &item.Excerpt);
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
