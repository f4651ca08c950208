#include "hosts/history/CHistoryClient.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <limits>

#include "Wayscribe/tools/search/CSearchWorker.h"
#include "common/CImportedVisitCounter.h"
#include "common/DiskUsageText.h"
#include "common/FileStamp.h"
#include "common/HistoryFileVisits.h"
#include "common/IWYSCDiskUsage.h"
#include "common/StringConvert.h"
#include "hosts/history/CHistoryEventSink.h"
#include "hosts/history/HistoryText.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/Variant.h"
#include "platform/rpc/Apartment.h"

namespace wys::history {

namespace {

// What the server answers a change asked for while it delivers the events
// of another change.
constexpr HRESULT kChangeInProgress = MakeHResult(0x80010001u);
constexpr int kChangeAttempts = 200;
constexpr auto kChangeRetryDelay = std::chrono::milliseconds(25);

// How long `settings` waits for a server that is still counting its files.
constexpr auto kDiskUsageWait = std::chrono::seconds(3);
constexpr auto kDiskUsageRetryDelay = std::chrono::milliseconds(50);

// The widest span one call can carry.
constexpr std::uint64_t kLongestSpan = std::numeric_limits<std::int64_t>::max();

// to - from for from <= to: it always fits unsigned, not always signed.
std::uint64_t Seconds(std::int64_t from, std::int64_t to)
{
    return static_cast<std::uint64_t>(to) - static_cast<std::uint64_t>(from);
}

template <class Call>
HRESULT Change(Call call)
{
    HRESULT hr = call();
    for (int attempt = 1; hr == kChangeInProgress && attempt < kChangeAttempts; ++attempt) {
        // Waits dispatching: our own sinks must not hold up the change under way.
        DWORD index = 0;
        CoWaitForMultipleHandles(0, static_cast<DWORD>(kChangeRetryDelay.count()), 0, nullptr, &index);
        hr = call();
    }
    return hr;
}

std::string Absolute(const std::string& path)
{
    std::error_code error;
    auto absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

// A sink advised on the history for the scope's life.
class CAdvisedSink {
public:
    CAdvisedSink(IWYSCURLBase* history, std::ostream* out)
    {
        m_sink.Attach(CreateComObject<CHistoryEventSink>(history, out));
        ComPtr<IConnectionPointContainer> container;
        if (SUCCEEDED(history->QueryInterface(IConnectionPointContainer::Iid, container.PutVoid())))
            m_result = m_connection.Advise(container.Get(), DIID_IWYSCURLBaseEvents, m_sink->GetUnknown());
        else
            m_result = E_NOINTERFACE;
    }
    CAdvisedSink(const CAdvisedSink&) = delete;
    CAdvisedSink& operator=(const CAdvisedSink&) = delete;

    HRESULT Result() const { return m_result; }
    const CHistoryEventSink& Sink() const { return *m_sink.Get(); }

private:
    ComPtr<CHistoryEventSink> m_sink;
    CAdvisedConnection m_connection;
    HRESULT m_result = S_OK;
};

// Keeps what a search finds and how it ended.
class CCollectingResults final : public ISearchResultSink {
public:
    void OnSearchProgress(int) override {}
    void OnSearchFound(CDataItem item) override { found.push_back(std::move(item)); }
    void OnSearchEnded(const SearchSummary& ended) override { summary = ended; }

    std::vector<CDataItem> found;
    SearchSummary summary;
};

const char* Plural(ULONG n)
{
    return n == 1 ? "" : "s";
}

const char* OnOff(VARIANT_BOOL value)
{
    return value == VARIANT_FALSE ? "off" : "on";
}

}  // namespace

bool IsUnreachable(HRESULT hr)
{
    return hr == RPC_E_DISCONNECTED || hr == RPC_E_SERVER_DIED || hr == CO_E_OBJNOTCONNECTED ||
           hr == CO_E_SERVER_EXEC_FAILURE || hr == REGDB_E_CLASSNOTREG;
}

int CHistoryClient::Failed(const char* what, HRESULT hr)
{
    if (IsUnreachable(hr)) {
        m_err << "wayscribe-history: the history server cannot be reached (" << HResultText(hr) << ")\n";
        return kExitUnreachable;
    }
    m_err << "wayscribe-history: " << what << " failed: " << HResultText(hr) << "\n";
    return kExitRefused;
}

int CHistoryClient::Run(const HistoryCommand& command)
{
    switch (command.verb) {
        case HistoryVerb::List:
            return List(command);
        case HistoryVerb::Count:
            return Count();
        case HistoryVerb::Find:
            return Find(command);
        case HistoryVerb::Remove:
            return Remove(command);
        case HistoryVerb::RemoveRange:
            return RemoveRange(command);
        case HistoryVerb::Export:
        case HistoryVerb::ExportRange:
        case HistoryVerb::ExportPaths:
            return Export(command);
        case HistoryVerb::Import:
            return Import(command);
        case HistoryVerb::Settings:
            return Settings();
        case HistoryVerb::Set:
            return Set(command);
        case HistoryVerb::Search:
            return Search(command);
        case HistoryVerb::Help:
        case HistoryVerb::Watch:
            break;
    }
    m_err << "wayscribe-history: this command is not run here\n";
    return kExitUsage;
}

int CHistoryClient::List(const HistoryCommand& c)
{
    ULONG count = 0;
    if (HRESULT hr = m_history->get_DataCount(&count); FAILED(hr))
        return Failed("reading the number of visits", hr);
    for (ULONG i = 0; i < count; ++i) {
        CUrlDateHolder visit;
        HRESULT hr = m_history->GetData(visit.Receive(), i);
        if (hr == E_INVALIDARG)
            break;  // another client removed visits meanwhile
        if (FAILED(hr))
            return Failed("reading a visit", hr);
        if ((c.from && visit.Time < *c.from) || (c.to && visit.Time >= *c.to))
            continue;
        m_out << VisitLine(visit) << '\n';
    }
    m_out.flush();
    return kExitDone;
}

int CHistoryClient::Count()
{
    ULONG count = 0;
    if (HRESULT hr = m_history->get_DataCount(&count); FAILED(hr))
        return Failed("reading the number of visits", hr);
    m_out << count << std::endl;
    return kExitDone;
}

int CHistoryClient::Find(const HistoryCommand& c)
{
    CComBSTR url(*c.url);
    ULONG index = kNoRecord;
    if (HRESULT hr = m_history->Find(*c.from, url, &index); FAILED(hr))
        return Failed("finding the visit", hr);
    CUrlDateHolder visit;
    if (index == kNoRecord || m_history->GetData(visit.Receive(), index) == E_INVALIDARG) {
        m_err << "wayscribe-history: no visit of " << *c.url << " at " << FormatTime(*c.from) << "\n";
        return kExitRefused;
    }
    m_out << VisitLine(visit) << std::endl;
    return kExitDone;
}

int CHistoryClient::Remove(const HistoryCommand& c)
{
    CComBSTR url(*c.url);
    ULONG index = kNoRecord;
    if (HRESULT hr = m_history->Find(*c.from, url, &index); FAILED(hr))
        return Failed("finding the visit", hr);
    if (index == kNoRecord) {
        m_err << "wayscribe-history: no visit of " << *c.url << " at " << FormatTime(*c.from) << "\n";
        return kExitRefused;
    }
    return RemoveSeconds(*c.from, 1, c.url);
}

int CHistoryClient::RemoveRange(const HistoryCommand& c)
{
    return RemoveSeconds(*c.from, Seconds(*c.from, *c.to), c.url);
}

int CHistoryClient::RemoveSeconds(std::int64_t from, std::uint64_t seconds,
                                  const std::optional<std::string>& url)
{
    CAdvisedSink counter(m_history, nullptr);
    if (FAILED(counter.Result()))
        return Failed("listening to the history", counter.Result());
    CComBSTR only;
    if (url)
        only = CComBSTR(*url);
    // An empty range is asked for too: the server saves its index on
    // every RemoveRange.
    std::int64_t start = from;
    std::uint64_t left = seconds;
    do {
        auto span = static_cast<std::int64_t>(std::min(left, kLongestSpan));
        HRESULT hr = Change([&] { return m_history->RemoveRange(start, span, only); });
        if (FAILED(hr))
            return Failed("removing", hr);
        left -= static_cast<std::uint64_t>(span);
        if (left > 0)
            start += span;  // still below `from` + `seconds`
    } while (left > 0);
    ULONG removed = counter.Sink().Removing();
    m_out << "removed " << removed << " visit" << Plural(removed) << std::endl;
    return kExitDone;
}

int CHistoryClient::Export(const HistoryCommand& c)
{
    std::string file = Absolute(c.file);
    CComBSTR path(file);
    const FileStamp before = FileStamp::Of(file);
    HRESULT hr = E_UNEXPECTED;
    if (c.verb == HistoryVerb::Export) {
        hr = m_history->Export(path);
    } else if (c.verb == HistoryVerb::ExportRange) {
        CComBSTR url;
        if (c.url)
            url = CComBSTR(*c.url);
        std::int64_t from = *c.from;
        std::int64_t span = 0;
        int status = kExitDone;
        if (!ExportSpan(&from, *c.to, &span, &status))
            return status;
        hr = m_history->ExportRange(path, from, span, url);
    } else {
        SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(c.paths.size()));
        if (!array)
            return Failed("exporting", E_OUTOFMEMORY);
        for (LONG i = 0; i < static_cast<LONG>(c.paths.size()); ++i) {
            CComBSTR one(c.paths[static_cast<std::size_t>(i)]);
            SafeArrayPutElement(array, &i, static_cast<BSTR>(one));
        }
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_ARRAY | VT_BSTR;
        v.parray = array;
        hr = m_history->ExportRange2(path, v);
        VariantClear(&v);
    }
    if (FAILED(hr))
        return Failed("exporting", hr);
    if (FileStamp::Of(file) == before) {
        m_err
            << "wayscribe-history: nothing was exported: no visit was selected, or the saved pages could not "
               "be copied\n";
        return kExitRefused;
    }
    m_out << "exported to " << file << std::endl;
    return kExitDone;
}

bool CHistoryClient::ExportSpan(std::int64_t* from, std::int64_t to, std::int64_t* span, int* status)
{
    if (Seconds(*from, to) <= kLongestSpan) {
        *span = static_cast<std::int64_t>(Seconds(*from, to));
        return true;
    }
    // One export file comes from one call: the range shrinks to the visits
    // it holds, which is all the call needs to select.
    ULONG count = 0;
    if (HRESULT hr = m_history->get_DataCount(&count); FAILED(hr)) {
        *status = Failed("reading the number of visits", hr);
        return false;
    }
    std::optional<std::int64_t> first;
    std::optional<std::int64_t> last;
    for (ULONG i = 0; i < count; ++i) {
        CUrlDateHolder visit;
        HRESULT hr = m_history->GetData(visit.Receive(), i);
        if (hr == E_INVALIDARG)
            break;  // another client removed visits meanwhile
        if (FAILED(hr)) {
            *status = Failed("reading a visit", hr);
            return false;
        }
        if (visit.Time < *from || visit.Time >= to)
            continue;
        first = std::min(first.value_or(visit.Time), visit.Time);
        last = std::max(last.value_or(visit.Time), visit.Time);
    }
    if (!first) {
        m_err << "wayscribe-history: nothing was exported: no visit was selected\n";
        *status = kExitRefused;
        return false;
    }
    if (Seconds(*first, *last) >= kLongestSpan) {
        m_err << "wayscribe-history: the visits from " << *first << " to " << *last
              << " lie too far apart for one export file\n";
        *status = kExitRefused;
        return false;
    }
    *from = *first;
    *span = static_cast<std::int64_t>(Seconds(*first, *last)) + 1;
    return true;
}

int CHistoryClient::Import(const HistoryCommand& c)
{
    std::string file = Absolute(c.file);
    if (!FileStamp::Of(file).exists) {
        m_err << "wayscribe-history: no such file: " << file << "\n";
        return kExitRefused;
    }
    // What the file holds, counted before the server reads it.
    const unsigned long visits = CountHistoryFileVisits(file).value_or(0);
    CImportedVisitCounter counter(m_history);
    if (FAILED(counter.Result()))
        return Failed("listening to the history", counter.Result());
    CComBSTR path(file);
    HRESULT hr = Change([&] { return m_history->Import(path); });
    if (FAILED(hr))
        return Failed("importing", hr);
    const unsigned long added = counter.Added();
    const unsigned long skipped = visits > added ? visits - added : 0;
    m_out << "imported " << added << " visit" << Plural(static_cast<ULONG>(added)) << ", skipped " << skipped
          << std::endl;
    if (added == 0) {
        m_err << "wayscribe-history: nothing was imported: the history holds the file's visits already, "
                 "they are older than it keeps, or their pages are missing\n";
        return kExitRefused;
    }
    return kExitDone;
}

int CHistoryClient::Search(const HistoryCommand& c)
{
    CCollectingResults results;
    SearchRequest request;
    request.Expression = c.expression;
    request.Url = c.searchUrl;
    request.Title = c.searchTitle;
    request.Content = c.searchContent;
    request.ResultSink = &results;
    CSearchWorker::Search(m_history, request);
    const SearchSummary& summary = results.summary;
    if (summary.ParseError != RegExpParseError::ParseOk) {
        m_err << "wayscribe-history: the expression cannot be used: "
              << RegExpParseErrorText(summary.ParseError) << "\n";
        return kExitUsage;
    }
    if (!summary.Reached)
        return Failed("searching", RPC_E_DISCONNECTED);
    // The walk goes from the last record to the first; imports put older
    // visits last, so the order comes from the times.
    std::stable_sort(results.found.begin(), results.found.end(),
                     [](const CDataItem& a, const CDataItem& b) { return a.Time > b.Time; });
    for (const CDataItem& visit : results.found) {
        m_out << FormatTime(visit.Time) << '\t' << Field(visit.Url) << '\t' << Field(visit.Title) << '\t'
              << Field(visit.Path);
        if (!visit.Excerpt.empty())
            m_out << '\t' << Field(visit.Excerpt);
        m_out << '\n';
    }
    m_out.flush();
    if (summary.Incomplete > 0)
        m_err << "wayscribe-history: " << summary.Incomplete << " page" << Plural(summary.Incomplete)
              << " not searched to the end (a test that took too long, or a page too big to read whole)\n";
    return results.found.empty() ? kExitRefused : kExitDone;
}

int CHistoryClient::Settings()
{
    CComBSTR folder;
    VARIANT_BOOL collect = VARIANT_FALSE;
    VARIANT_BOOL titled = VARIANT_FALSE;
    LONGLONG range = 0;
    HRESULT hr = m_history->get_BaseDirectory(&folder);
    if (SUCCEEDED(hr))
        hr = m_history->get_CollectHistory(&collect);
    if (SUCCEEDED(hr))
        hr = m_history->get_TitledFileNames(&titled);
    if (SUCCEEDED(hr))
        hr = m_history->get_HistoricalRange(&range);
    if (FAILED(hr))
        return Failed("reading the settings", hr);
    ULONG visits = 0;
    hr = m_history->get_DataCount(&visits);
    if (FAILED(hr))
        return Failed("counting the visits", hr);
    m_out << "base-directory\t" << Field(folder.ToUtf8()) << "\n"
          << "collect-history\t" << OnOff(collect) << "\n"
          << "titled-file-names\t" << OnOff(titled) << "\n"
          << "history-range\t" << range << "\n"
          << "visits\t" << visits << "\n";
    // A server that keeps no count (an older one) shows the four settings.
    ComPtr<IWYSCDiskUsage> usage;
    ULONGLONG onDisk = 0;
    ULONGLONG withoutSharing = 0;
    if (SUCCEEDED(m_history->QueryInterface(IWYSCDiskUsage::Iid, usage.PutVoid())) && usage) {
        hr = usage->GetDiskUsage(&onDisk, &withoutSharing);
        // Just after a start the server is still going through the files.
        const auto deadline = std::chrono::steady_clock::now() + kDiskUsageWait;
        while (hr == S_FALSE && std::chrono::steady_clock::now() < deadline) {
            DWORD index = 0;
            CoWaitForMultipleHandles(0, static_cast<DWORD>(kDiskUsageRetryDelay.count()), 0, nullptr, &index);
            hr = usage->GetDiskUsage(&onDisk, &withoutSharing);
        }
        if (SUCCEEDED(hr)) {
            m_out << "bytes-on-disk\t" << onDisk << "\n"
                  << "bytes-without-sharing\t" << withoutSharing << "\n"
                  << "disk-use\t" << DiskUsageText(visits, onDisk, withoutSharing)
                  << (hr == S_FALSE ? " (still counting)" : "") << "\n";
        }
    }
    m_out << std::flush;
    return kExitDone;
}

int CHistoryClient::Set(const HistoryCommand& c)
{
    HRESULT hr = E_UNEXPECTED;
    VARIANT_BOOL flag = c.flag ? VARIANT_TRUE : VARIANT_FALSE;
    switch (c.setting) {
        case HistorySetting::BaseDirectory: {
            CComBSTR folder(Absolute(c.folder));
            hr = Change([&] { return m_history->put_BaseDirectory(folder); });
            break;
        }
        case HistorySetting::CollectHistory:
            hr = m_history->put_CollectHistory(flag);
            break;
        case HistorySetting::TitledFileNames:
            hr = m_history->put_TitledFileNames(flag);
            break;
        case HistorySetting::HistoryRange:
            hr = Change([&] { return m_history->put_HistoricalRange(c.seconds); });
            break;
    }
    if (FAILED(hr))
        return Failed("changing the setting", hr);
    return kExitDone;
}

int CHistoryClient::Watch(int stopFd, std::chrono::milliseconds checkEvery)
{
    CAdvisedSink printer(m_history, &m_out);
    if (FAILED(printer.Result()))
        return Failed("listening to the history", printer.Result());
    m_err << "wayscribe-history: watching the history; interrupt to stop" << std::endl;
    for (;;) {
        DWORD index = 0;
        HRESULT hr = CoWaitForMultipleHandles(0, static_cast<DWORD>(checkEvery.count()), 1, &stopFd, &index);
        if (hr == S_OK)
            return kExitDone;
        if (hr != RPC_S_CALLPENDING)
            return Failed("waiting for events", hr);
        ULONG count = 0;
        if (HRESULT alive = m_history->get_DataCount(&count); FAILED(alive))
            return Failed("watching", alive);
    }
}

}  // namespace wys::history
