// Content search over a history of saved pages made from real documentation
// pages, with the content index the server keeps, measured against
// `grep -ril` and `rg -il` over the same saved files in the same run.
//
// Usage: content_search_bench [--pages N] [--runs R] [--word WORD] [--keep]
//                             [--reuse FOLDER]
//   --pages  visits in the history, each with a saved page of its own (10000)
//   --runs   timed runs of each search, after one warm-up run (3)
//   --word   the literal word searched for ("allocator", on a fifth of the
//            pages; "coroutine", on one in fifty, is searched as well)
//   --keep   leave the scratch folder (removed by default: it is large)
//   --reuse  search the scratch folder a run with --keep (and the same
//            --pages) left, instead of making and indexing the pages again;
//            the folder is kept
//
// The saved pages are copies of the Python and C++ reference HTML
// (/usr/share/doc/python3-doc/html, /usr/share/cppreference/doc/html), made
// distinct per visit by a paragraph naming the visit; every fourth is saved
// as a single-file archive (quoted-printable), the others as HTML files. The
// URL base runs in this process on a thread of its own, with its content
// indexer, as the server runs it. Each search is content only, letter case
// ignored, run two ways: by the pane's worker (its own apartment, every
// record read through a cross-apartment call) and on the URL base's own
// thread (the same search with direct calls: the search itself, without
// the transport). Reading the list alone is measured as the anchor of the
// first. The literal word is searched once more in URLs, titles and content
// together, as the command line does by default, which walks every visit.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "WYSCHelper/CContentIndexer.h"
#include "WYSCHelper/CFileSharer.h"
#include "WYSCHelper/CWYSCURLBase.h"
#include "Wayscribe/tools/search/CSearchWorker.h"
#include "common/contentindex/CContentIndexFile.h"
#include "platform/mime/MimeCodec.h"
#include "platform/registry/Registry.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "platform/rpc/MessageLoop.h"

namespace fs = std::filesystem;

namespace {

struct Options {
    int pages = 10000;
    int runs = 3;
    std::string word = "allocator";
    bool keep = false;
    std::string reuse;
};

double Milliseconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

std::vector<std::string> HtmlPages(const std::string& folder)
{
    std::vector<std::string> pages;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, fs::directory_options::follow_directory_symlink, error),
         end;
         it != end; it.increment(error)) {
        const auto extension = it->path().extension();
        if (it->is_regular_file(error) && (extension == ".html" || extension == ".htm") &&
            it->file_size(error) > 0)
            pages.push_back(it->path().string());
    }
    std::sort(pages.begin(), pages.end());
    return pages;
}

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The source page with a paragraph of its own for visit `n`.
std::string DistinctPage(const std::string& page, int n)
{
    const std::string mark =
        "<p>Visit " + std::to_string(n) + " of the history, page wysvisit" + std::to_string(n) + ".</p>";
    std::size_t body = page.find("<body");
    body = body == std::string::npos ? std::string::npos : page.find('>', body);
    if (body == std::string::npos)
        return mark + page;
    return page.substr(0, body + 1) + mark + page.substr(body + 1);
}

// A single-file archive of the page as the capture writes one.
std::string Archive(const std::string& page, const std::string& url)
{
    return "From: <Saved by Quillonix Pagestow 1.5>\r\nSubject: " + url +
           "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/related; type=\"text/html\"; "
           "boundary=\"----=_NextPart_000_BENCH\"\r\n\r\nThis is a multi-part message in MIME format.\r\n"
           "\r\n------=_NextPart_000_BENCH\r\nContent-Type: text/html; charset=utf-8\r\n"
           "Content-Transfer-Encoding: quoted-printable\r\nContent-Location: " +
           url + "\r\n\r\n" + QuotedPrintableEncode(page) + "\r\n------=_NextPart_000_BENCH--\r\n";
}

// Hands out the one URL base object, as the server program does.
class CFactory final : public CComObjectRoot<CFactory, IClassFactory> {
public:
    explicit CFactory(ComPtr<IWYSCURLBase> base) : m_base(std::move(base)) {}
    HRESULT CreateInstance(IUnknown*, REFIID iid, void** object) override
    {
        return m_base->QueryInterface(iid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    ComPtr<IWYSCURLBase> m_base;
};

class CCountingSink final : public ISearchResultSink {
public:
    void OnSearchProgress(int) override {}
    void OnSearchFound(CDataItem) override { ++found; }
    void OnSearchEnded(const SearchSummary& ended) override { summary = ended; }
    std::atomic<int> found{0};
    SearchSummary summary;
};

// Runs a shell pipeline and reads the one number it prints.
int CountOf(const std::string& command)
{
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    int count = -1;
    if (std::fscanf(pipe, "%d", &count) != 1)
        count = -1;
    ::pclose(pipe);
    return count;
}

std::int64_t SqliteNumber(const std::string& file, const char* sql)
{
    sqlite3* db = nullptr;
    std::int64_t value = -1;
    if (::sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (::sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
            ::sqlite3_step(statement) == SQLITE_ROW)
            value = ::sqlite3_column_int64(statement, 0);
        ::sqlite3_finalize(statement);
    }
    ::sqlite3_close(db);
    return value;
}

struct Case {
    const char* what;
    std::string expression;  // ours
    std::string grep;        // grep -ril arguments (the pattern, with -F or -E)
    std::string rg;          // rg -il arguments
};

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--keep")
            options.keep = true;
        else if (i + 1 < argc && name == "--pages")
            options.pages = std::atoi(argv[++i]);
        else if (i + 1 < argc && name == "--runs")
            options.runs = std::max(1, std::atoi(argv[++i]));
        else if (i + 1 < argc && name == "--word")
            options.word = argv[++i];
        else if (i + 1 < argc && name == "--reuse")
            options.reuse = argv[++i];
    }
    std::vector<std::string> sources = HtmlPages("/usr/share/doc/python3-doc/html");
    for (std::string& page : HtmlPages("/usr/share/cppreference/doc/html"))
        sources.push_back(std::move(page));
    if (sources.empty()) {
        std::fprintf(stderr, "no documentation pages (install python3-doc and cppreference-doc-en-html)\n");
        return 1;
    }
    std::vector<std::string> contents;
    contents.reserve(sources.size());
    for (const std::string& source : sources)
        contents.push_back(Slurp(source));

    char scratch[] = "/tmp/wys-search-bench-XXXXXX";
    const bool reusing = !options.reuse.empty();
    if (reusing)
        options.keep = true;
    else if (!::mkdtemp(scratch))
        return 1;
    const std::string home = reusing ? options.reuse : std::string(scratch);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
    fs::create_directories(home + "/run");
    const std::string history = home + "/history";

    // The saved pages, in day folders.
    auto started = std::chrono::steady_clock::now();
    std::uintmax_t savedBytes = 0;
    std::vector<std::string> paths;
    for (int n = 0; n < options.pages; ++n) {
        const std::size_t source = static_cast<std::size_t>(n) % sources.size();
        const std::string url =
            "https://docs.example/" + std::to_string(n) + "/" + fs::path(sources[source]).filename().string();
        const bool archive = n % 4 == 3;
        const std::string relative = "2024/March/" + std::to_string(1 + n % 28) + "/" + std::to_string(n) +
                                     "_" + fs::path(sources[source]).stem().string() +
                                     (archive ? ".mht" : ".htm");
        paths.push_back(relative);
        if (reusing) {
            std::error_code error;
            const std::uintmax_t size = fs::file_size(history + "/" + relative, error);
            if (error) {
                std::fprintf(stderr, "%s: no saved page %s (made with other --pages?)\n", home.c_str(),
                             relative.c_str());
                return 1;
            }
            savedBytes += size;
            continue;
        }
        fs::create_directories(fs::path(history + "/" + relative).parent_path());
        const std::string page = DistinctPage(contents[source], n);
        const std::string bytes = archive ? Archive(page, url) : page;
        std::ofstream(history + "/" + relative, std::ios::binary) << bytes;
        savedBytes += bytes.size();
    }
    contents.clear();
    contents.shrink_to_fit();
    std::printf(
        "pages: %d saved pages (%d archives), %.1f MiB from %zu distinct documentation pages, %s in %.1f s\n",
        options.pages, options.pages / 4, static_cast<double>(savedBytes) / (1 << 20), sources.size(),
        reusing ? "found" : "made", Milliseconds(started) / 1000);
    std::fflush(stdout);

    HKEY key = nullptr;
    RegCreateKeyEx(HKEY_CURRENT_USER, CWYSCURLBase::kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                   &key, nullptr);
    RegSetValueEx(key, "BasePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(history.c_str()),
                  static_cast<DWORD>(history.size() + 1));
    RegCloseKey(key);

    // The URL base on its own apartment thread, the visits added one by one
    // as captures add them; the indexer reads each page as it comes.
    std::promise<DWORD> ready;
    std::promise<double> indexed;
    ComPtr<IWYSCURLBase> serverBase;  // used on the server thread only
    std::thread server([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CWYSCURLBase::Create(IWYSCURLBase::Iid, serverBase.PutVoid());
        serverBase->put_HistoricalRange(0);
        const auto start = std::chrono::steady_clock::now();
        ULONG recorded = 0;
        serverBase->get_DataCount(&recorded);
        for (int n = static_cast<int>(recorded); n < options.pages; ++n) {
            CComBSTR url("https://docs.example/" + std::to_string(n));
            CComBSTR path(paths[static_cast<std::size_t>(n)]);
            CComBSTR title("Page " + std::to_string(n));
            serverBase->AddData(_URL_DATE_{1709251200 + n * 60, url, path, title});
        }
        auto* base = static_cast<CWYSCURLBase*>(serverBase.Get());
        base->ContentIndexer()->WaitUntilIdle(std::chrono::hours(4));
        // The server's first walk of the folder, which counts what the saved
        // copies take, is over before anything is measured.
        if (base->FileSharer())
            base->FileSharer()->WaitUntilIdle(std::chrono::hours(1));
        indexed.set_value(Milliseconds(start));
        const CContentIndexer::Statistics statistics = base->ContentIndexer()->GetStatistics();
        std::printf("indexer: %llu pages read, %llu rebuilds, index %s\n",
                    static_cast<unsigned long long>(statistics.PagesIndexed),
                    static_cast<unsigned long long>(statistics.Rebuilds),
                    CContentIndexFile::StatusName(statistics.Status));
        ComPtr<CFactory> factory;
        factory.Attach(CreateComObject<CFactory>(serverBase));
        DWORD cookie = 0;
        CoRegisterClassObject(CLSID_WYSCURLBase, factory->GetUnknown(), CLSCTX_INPROC_SERVER,
                              REGCLS_MULTIPLEUSE, &cookie);
        ready.set_value(GetCurrentThreadId());
        RunMessageLoop();
        CoRevokeClassObject(cookie);
        factory = nullptr;
        serverBase = nullptr;
        CoUninitialize();
    });
    const double indexMs = indexed.get_future().get();
    const DWORD serverThread = ready.get_future().get();
    const std::string indexFile = CContentIndexFile::PathIn(history);
    const std::int64_t indexBytes = CContentIndexFile::FileBytes(history);
    const std::int64_t textBytes =
        SqliteNumber(indexFile, "SELECT sum(length(CAST(text AS BLOB))) FROM body");
    const std::int64_t indexedPages = SqliteNumber(indexFile, "SELECT count(*) FROM page");
    if (!reusing)
        std::printf("indexing: %lld pages in %.1f s, %.0f pages per second (added and read on the fly)\n",
                    static_cast<long long>(indexedPages), indexMs / 1000, indexedPages / (indexMs / 1000));
    else
        std::printf("indexing: %lld pages held, the index brought up to date in %.1f s\n",
                    static_cast<long long>(indexedPages), indexMs / 1000);
    std::printf(
        "sizes: saved pages %.1f MiB, their readable text %.1f MiB, index file %.1f MiB "
        "(%.2f times the text, %.2f times the saved pages)\n",
        static_cast<double>(savedBytes) / (1 << 20), static_cast<double>(textBytes) / (1 << 20),
        static_cast<double>(indexBytes) / (1 << 20), static_cast<double>(indexBytes) / textBytes,
        static_cast<double>(indexBytes) / static_cast<double>(savedBytes));
    std::fflush(stdout);

    std::atomic<bool> stop{false};
    const auto worker = [&](const std::string& expression, bool urlAndTitle, bool content,
                            SearchSummary* summary) {
        CCountingSink sink;
        auto request = std::make_unique<SearchRequest>();
        request->Expression = expression;
        request->Url = urlAndTitle;
        request->Title = urlAndTitle;
        request->Content = content;
        request->ResultSink = &sink;
        request->StopEvent = &stop;
        CSearchWorker search(std::move(request));
        search.Wait();
        if (summary)
            *summary = sink.summary;
        return sink.found.load();
    };
    // The same search on the URL base's own thread, with direct calls.
    const auto direct = [&](const std::string& expression) {
        std::promise<int> found;
        PostToApartment(serverThread, [&] {
            CCountingSink sink;
            SearchRequest request;
            request.Expression = expression;
            request.Content = true;
            request.ResultSink = &sink;
            CSearchWorker::Search(serverBase.Get(), request);
            found.set_value(sink.found.load());
        });
        return found.get_future().get();
    };
    const auto timed = [&](const std::function<int()>& run, int* found) {
        std::vector<double> samples;
        *found = run();  // warm-up: every file and the index in the page cache
        for (int r = 0; r < options.runs; ++r) {
            const auto start = std::chrono::steady_clock::now();
            *found = run();
            samples.push_back(Milliseconds(start));
        }
        return Median(samples);
    };

    int listed = 0;
    const double listMs = timed([&] { return worker("zyzzyvaquux", true, false, nullptr); }, &listed);
    std::printf("reading the list (URL and title search through the worker): %.1f ms for %d visits\n", listMs,
                options.pages);

    const std::vector<Case> cases = {
        {"literal word", options.word, "-F -- '" + options.word + "'", "-F -- '" + options.word + "'"},
        {"rarer literal word", "coroutine", "-F -- 'coroutine'", "-F -- 'coroutine'"},
        {"word that is nowhere", "zyzzyvaquux", "-F -- 'zyzzyvaquux'", "-F -- 'zyzzyvaquux'"},
        {"expression without a literal", "\\d\\d\\d\\d-\\d\\d-\\d\\d", "-E -- '[0-9]{4}-[0-9]{2}-[0-9]{2}'",
         "-- '[0-9]{4}-[0-9]{2}-[0-9]{2}'"},
    };
    double literalRatio = 0;
    for (const Case& c : cases) {
        int ours = 0, oursDirect = 0, grep = 0, rg = 0;
        SearchSummary summary;
        const double workerMs = timed([&] { return worker(c.expression, false, true, &summary); }, &ours);
        const double directMs = timed([&] { return direct(c.expression); }, &oursDirect);
        const double grepMs =
            timed([&] { return CountOf("grep -ril " + c.grep + " '" + history + "' | wc -l"); }, &grep);
        const double rgMs = timed(
            [&] { return CountOf("rg -il --no-messages -j2 " + c.rg + " '" + history + "' | wc -l"); }, &rg);
        std::printf("\n%s: \"%s\" (index %s)\n", c.what, c.expression.c_str(),
                    summary.UsedIndex ? "used" : "NOT used");
        std::printf(
            "  search, pane's worker:       %7d visits, median %8.1f ms over %d runs (%u visits read)\n",
            ours, workerMs, options.runs, summary.Read);
        std::printf("  search, on the server thread: %6d visits, median %8.1f ms\n", oursDirect, directMs);
        std::printf("  grep -ril %-20s %6d files,  median %8.1f ms\n", "", grep, grepMs);
        std::printf("  rg -il    %-20s %6d files,  median %8.1f ms\n", "", rg, rgMs);
        std::printf(
            "  worker: %.1f times faster than grep, %.1f times faster than rg; on the server thread: "
            "%.1f and %.1f\n",
            grepMs / workerMs, rgMs / workerMs, grepMs / directMs, rgMs / directMs);
        if (&c == &cases.front()) {
            literalRatio = workerMs / grepMs;
            // As the command line searches by default: the URLs and titles
            // too, which walks every visit.
            int all = 0;
            const double allMs = timed([&] { return worker(c.expression, true, true, nullptr); }, &all);
            std::printf(
                "  URL, title and content, pane's worker: %d visits, median %.1f ms (%.1f times faster "
                "than grep)\n",
                all, allMs, grepMs / allMs);
        }
        std::fflush(stdout);
    }
    std::printf(
        "\nratio: %.3f times grep (literal word, pane's worker; target: at most 0.05, 20 times faster)\n",
        literalRatio);

    PostThreadMessage(serverThread, WM_QUIT, 0, 0);
    server.join();
    if (!options.keep)
        fs::remove_all(home);
    else
        std::printf("kept: %s\n", home.c_str());
    return 0;
}
