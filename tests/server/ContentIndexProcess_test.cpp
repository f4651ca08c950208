// The content index of the real history server: it survives the server
// being killed while it indexes, a file deleted, truncated, overwritten or
// of a future schema, a lock held by another process, and a place where it
// cannot be written; searches give the same answers throughout.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Wayscribe/tools/search/CSavedPageContent.h"
#include "Wayscribe/tools/search/CSearchWorker.h"
#include "common/StringConvert.h"
#include "common/contentindex/CContentIndexFile.h"
#include "tests/platform/rpc/support/ChildProcess.h"
#include "tests/server/ServerProcessTest.h"

namespace wys::test {
namespace {

using namespace std::chrono_literals;

class ContentIndexProcess : public ServerProcessTest {
protected:
    // A saved page with a word of its own and enough text that reading
    // many of them takes the indexer a while.
    HRESULT AddPage(IWYSCURLBase* history, int n, std::size_t filler = 200, std::string folder = {})
    {
        if (folder.empty())
            folder = History();
        const std::string path = "2024/March/1/p" + std::to_string(n) + ".htm";
        std::string page = "<html><head><title>Page " + std::to_string(n) +
                           "</title></head><body><p>pageword" + std::to_string(n) + "x</p>";
        for (std::size_t i = 0; i < filler; ++i)
            page +=
                "<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit " + std::to_string(i) + ".</p>";
        page += "</body></html>";
        std::filesystem::create_directories(folder + "/2024/March/1");
        std::ofstream(folder + "/" + path) << page;
        CComBSTR url("http://pages.example/" + std::to_string(n));
        CComBSTR bpath(path);
        CComBSTR title("Page " + std::to_string(n));
        return history->AddData(_URL_DATE_{1709251200 + n, url, bpath, title});
    }

    struct Found {
        std::vector<std::string> urls;
        SearchSummary summary;
    };
    static Found Search(IWYSCURLBase* history, const std::string& expression, bool url = false)
    {
        class CSink final : public ISearchResultSink {
        public:
            explicit CSink(Found& found) : m_found(found) {}
            void OnSearchProgress(int) override {}
            void OnSearchFound(CDataItem item) override { m_found.urls.push_back(item.Url); }
            void OnSearchEnded(const SearchSummary& summary) override { m_found.summary = summary; }

        private:
            Found& m_found;
        };
        Found found;
        CSink sink(found);
        SearchRequest request;
        request.Expression = expression;
        request.Content = true;
        request.Url = url;
        request.ResultSink = &sink;
        CSearchWorker::Search(history, request);
        std::sort(found.urls.begin(), found.urls.end());
        return found;
    }

    // Pages the index holds now; -1 when it cannot be read.
    long IndexedPages(std::string folder = {})
    {
        CContentIndexFile::Status status;
        auto index = CContentIndexFile::OpenForReading(folder.empty() ? History() : folder, &status);
        std::unordered_map<std::string, CContentIndexFile::Entry> entries;
        if (!index || !index->Entries(&entries))
            return -1;
        return static_cast<long>(entries.size());
    }
    bool WaitForIndexedPages(long pages, std::string folder = {}, std::chrono::seconds limit = 60s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (IndexedPages(folder) == pages)
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    // Ends the running server in order (it saves) and waits for it.
    void EndServer(ComPtr<IWYSCURLBase>& history)
    {
        const pid_t server = ServerPid();
        history = nullptr;
        ::kill(server, SIGTERM);
        ASSERT_TRUE(WaitForProcessEnd(server, 10000));
    }
};

TEST_F(ContentIndexProcess, KilledWhileIndexingTheNextServerCatchesUp)
{
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    ASSERT_EQ(history->put_HistoricalRange(0), S_OK);
    const pid_t first = ServerPid();
    constexpr int kPages = 300;
    for (int n = 0; n < kPages; ++n)
        ASSERT_EQ(AddPage(history.Get(), n, 400), S_OK);
    const long before = IndexedPages();
    ::kill(first, SIGKILL);
    ASSERT_TRUE(WaitForProcessEnd(first, 5000));
    EXPECT_LT(before, kPages) << "the server should still have been indexing";
    history = nullptr;

    history = CreateHistory();
    ASSERT_TRUE(history);
    // Every tenth change saved the list; the index comes to hold exactly
    // the pages of the visits that survived.
    const ULONG kept = CountOf(history.Get());
    EXPECT_EQ(kept, static_cast<ULONG>(kPages));
    ASSERT_TRUE(WaitForIndexedPages(static_cast<long>(kept)));
    const Found found = Search(history.Get(), "pageword299x");
    EXPECT_EQ(found.urls, std::vector<std::string>{"http://pages.example/299"});
    EXPECT_TRUE(found.summary.UsedIndex);
    EXPECT_EQ(Search(history.Get(), "pageword7x").urls, std::vector<std::string>{"http://pages.example/7"});
    EXPECT_EQ(Search(history.Get(), "pageword300x").urls, std::vector<std::string>{});
}

// The elements of a one-dimensional array of BSTR, as UTF-8.
std::vector<std::string> Strings(const VARIANT& array)
{
    std::vector<std::string> strings;
    if (array.vt != (VT_ARRAY | VT_BSTR) || !array.parray)
        return strings;
    const auto* elements = static_cast<const BSTR*>(array.parray->pvData);
    for (ULONG i = 0; i < array.parray->rgsabound[0].cElements; ++i)
        strings.push_back(BstrToNarrow(elements[i]));
    return strings;
}

CComVariant PathArray(const std::vector<std::string>& paths)
{
    CComVariant array;
    array.vt = VT_ARRAY | VT_BSTR;
    array.parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(paths.size()));
    auto* elements = static_cast<BSTR*>(array.parray->pvData);
    for (std::size_t i = 0; i < paths.size(); ++i)
        elements[i] = NarrowToBstr(paths[i]);
    return array;
}

// What FindPaths answers: index and Url of each visit, in its order.
std::vector<std::pair<ULONG, std::string>> VisitsWithPaths(IWYSCURLBase* history,
                                                           const std::vector<std::string>& paths)
{
    std::vector<std::pair<ULONG, std::string>> visits;
    CComVariant answer;
    if (history->FindPaths(PathArray(paths), &answer) != S_OK || answer.vt != (VT_ARRAY | VT_VARIANT))
        return visits;
    const auto* parts = static_cast<const VARIANT*>(answer.parray->pvData);
    const auto* indices = static_cast<const ULONG*>(parts[0].parray->pvData);
    const std::vector<std::string> urls = Strings(parts[2]);
    for (std::size_t i = 0; i < urls.size(); ++i)
        visits.emplace_back(indices[i], urls[i]);
    return visits;
}

TEST_F(ContentIndexProcess, ASearchTheIndexAnswersReadsOnlyTheVisitsItNamesAndMissesNone)
{
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    ASSERT_EQ(history->put_HistoricalRange(0), S_OK);
    constexpr int kPages = 40;
    for (int n = 0; n < kPages; ++n)
        ASSERT_EQ(AddPage(history.Get(), n, 20), S_OK);
    // One more page whose writer still holds it while the server would
    // index it: the index cannot hold it, and says so.
    const std::string locked = "2024/March/1/p" + std::to_string(kPages) + ".htm";
    std::filesystem::create_directories(History() + "/2024/March/1");
    std::ofstream(History() + "/" + locked) << "<html><body><p>pageword" << kPages << "x</p></body></html>";
    {
        const int writer = ::open((History() + "/" + locked).c_str(), O_RDONLY);
        ASSERT_GE(writer, 0);
        ASSERT_EQ(::flock(writer, LOCK_EX), 0);
        CComBSTR url("http://pages.example/" + std::to_string(kPages));
        ASSERT_EQ(
            history->AddData(_URL_DATE_{1709251200 + kPages, url, CComBSTR(locked), CComBSTR("Locked")}),
            S_OK);
        ASSERT_TRUE(WaitForIndexedPages(kPages));
        CComVariant unindexed;
        HRESULT hr = S_FALSE;
        for (int tries = 0; tries < 200 && hr != S_OK; ++tries) {
            unindexed.Clear();
            hr = history->get_UnindexedPaths(&unindexed);
            if (hr != S_OK)
                std::this_thread::sleep_for(25ms);
        }
        ASSERT_EQ(hr, S_OK);
        EXPECT_EQ(Strings(unindexed), std::vector<std::string>{locked});
        ::close(writer);
    }

    // A content search is answered by the index and reads only the visits
    // it names; the locked page, free now, is read from its file.
    Found found = Search(history.Get(), "pageword" + std::to_string(kPages) + "x");
    EXPECT_EQ(found.urls, std::vector<std::string>{"http://pages.example/" + std::to_string(kPages)});
    EXPECT_TRUE(found.summary.UsedIndex);
    EXPECT_EQ(found.summary.Visited, static_cast<std::uint32_t>(kPages + 1));
    EXPECT_EQ(found.summary.Read, 1u);
    found = Search(history.Get(), "pageword1\\dx");
    EXPECT_EQ(found.urls.size(), 10u);
    EXPECT_EQ(found.summary.Read, 11u) << "the ten found and the page the index could not read";
    // The same answers as a walk over every visit (the URL searched too,
    // where the word is not).
    const Found indexed = Search(history.Get(), "ipsum dolor");
    const Found walked = Search(history.Get(), "ipsum dolor", true);
    EXPECT_EQ(indexed.urls.size(), static_cast<std::size_t>(kPages));
    EXPECT_EQ(indexed.urls, walked.urls);
    EXPECT_EQ(walked.summary.Read, static_cast<std::uint32_t>(kPages + 1));
    // A page whose file someone holds under an exclusive lock is not listed
    // while the lock lasts, though the index holds its text.
    {
        const int writer = ::open((History() + "/2024/March/1/p7.htm").c_str(), O_RDONLY);
        ASSERT_GE(writer, 0);
        ASSERT_EQ(::flock(writer, LOCK_EX), 0);
        const Found locking = Search(history.Get(), "ipsum dolor");
        ::close(writer);
        EXPECT_EQ(locking.urls.size(), static_cast<std::size_t>(kPages - 1));
        EXPECT_EQ(std::count(locking.urls.begin(), locking.urls.end(), "http://pages.example/7"), 0);
        EXPECT_TRUE(locking.summary.UsedIndex);
        EXPECT_EQ(Search(history.Get(), "ipsum dolor").urls, indexed.urls);
    }

    // FindPaths names each visit once, the last first, and keeps up with
    // removals that move the others down.
    const std::vector<std::string> asked = {"2024/March/1/p3.htm", "2024/March/1/p7.htm",
                                            "2024/March/1/p3.htm", "2024/March/1/none.htm"};
    EXPECT_EQ(VisitsWithPaths(history.Get(), asked),
              (std::vector<std::pair<ULONG, std::string>>{{7, "http://pages.example/7"},
                                                          {3, "http://pages.example/3"}}));
    ASSERT_EQ(history->RemoveData(5), S_OK);
    EXPECT_EQ(VisitsWithPaths(history.Get(), asked),
              (std::vector<std::pair<ULONG, std::string>>{{6, "http://pages.example/7"},
                                                          {3, "http://pages.example/3"}}));
    ASSERT_EQ(AddPage(history.Get(), 100, 1), S_OK);
    EXPECT_EQ(VisitsWithPaths(history.Get(), {"2024/March/1/p100.htm"}),
              (std::vector<std::pair<ULONG, std::string>>{{kPages, "http://pages.example/100"}}));
    CComVariant answer;
    EXPECT_EQ(history->FindPaths(CComVariant(std::string_view("2024/March/1/p3.htm")), &answer),
              E_INVALIDARG);
}

TEST_F(ContentIndexProcess, AnIndexOfThousandsOfPagesIsSearchedOnTwoThreadsAndMissesNone)
{
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    ASSERT_EQ(history->put_HistoricalRange(0), S_OK);
    const int kPages = static_cast<int>(CSavedPageContent::kPagesForTwoThreads) + 500;
    for (int n = 0; n < kPages; ++n)
        ASSERT_EQ(AddPage(history.Get(), n, 2), S_OK);
    ASSERT_TRUE(WaitForIndexedPages(kPages, {}, 120s));

    // Every page matches: the outcomes come from both threads, in many
    // parts, and their visits in many calls.
    const Found all = Search(history.Get(), "ipsum dolor");
    EXPECT_TRUE(all.summary.UsedIndex);
    EXPECT_EQ(all.urls.size(), static_cast<std::size_t>(kPages));
    EXPECT_EQ(all.summary.Read, static_cast<std::uint32_t>(kPages));
    EXPECT_EQ(all.urls, Search(history.Get(), "ipsum dolor", true).urls);
    // Pages on both sides of where the threads divide the index.
    std::vector<std::string> expected;
    for (int n = 1000; n < 2000; ++n)
        expected.push_back("http://pages.example/" + std::to_string(n));
    std::sort(expected.begin(), expected.end());
    const Found some = Search(history.Get(), "pageword1\\d\\d\\dx");
    EXPECT_EQ(some.urls, expected);
    EXPECT_EQ(some.summary.Read, 1000u);
}

TEST_F(ContentIndexProcess, EachHistoryFolderHasAnIndexOfItsOwn)
{
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    ASSERT_EQ(history->put_HistoricalRange(0), S_OK);
    for (int n = 0; n < 3; ++n)
        ASSERT_EQ(AddPage(history.Get(), n), S_OK);
    ASSERT_TRUE(WaitForIndexedPages(3));

    const std::string other = m_home.Path() + "/other history";
    ASSERT_EQ(history->put_BaseDirectory(CComBSTR(other)), S_OK);
    ASSERT_EQ(AddPage(history.Get(), 10, 200, other), S_OK);
    ASSERT_TRUE(WaitForIndexedPages(1, other));
    Found found = Search(history.Get(), "pageword10x");
    EXPECT_EQ(found.urls, std::vector<std::string>{"http://pages.example/10"});
    EXPECT_TRUE(found.summary.UsedIndex);
    EXPECT_EQ(Search(history.Get(), "pageword1x").urls, std::vector<std::string>{});
    EXPECT_EQ(IndexedPages(), 3) << "the first folder's index is left as it was";

    // Back in the first folder, its index is in step with its list.
    ASSERT_EQ(history->put_BaseDirectory(CComBSTR(History())), S_OK);
    ASSERT_EQ(history->RemoveRange(1709251200, 1, nullptr), S_OK);  // page 0
    ASSERT_TRUE(WaitForIndexedPages(2));
    found = Search(history.Get(), "pageword");
    EXPECT_EQ(found.urls, (std::vector<std::string>{"http://pages.example/1", "http://pages.example/2"}));
    EXPECT_TRUE(found.summary.UsedIndex);
}

TEST_F(ContentIndexProcess, AFileThatCannotBeTrustedIsMadeAnew)
{
    enum class Damage { Deleted, Truncated, Garbage, FutureSchema, OlderSchema, Locked, Unwritable };
    for (Damage damage : {Damage::Deleted, Damage::Truncated, Damage::Garbage, Damage::FutureSchema,
                          Damage::OlderSchema, Damage::Locked, Damage::Unwritable}) {
        SCOPED_TRACE(static_cast<int>(damage));
        std::filesystem::remove_all(History());
        std::filesystem::create_directories(History());
        EnterApartment();
        auto history = CreateHistory();
        ASSERT_TRUE(history);
        ASSERT_EQ(history->put_HistoricalRange(0), S_OK);
        for (int n = 0; n < 3; ++n)
            ASSERT_EQ(AddPage(history.Get(), n, 2000), S_OK);
        ASSERT_TRUE(WaitForIndexedPages(3));
        EndServer(history);

        const std::string file = CContentIndexFile::PathIn(History());
        sqlite3* holder = nullptr;
        switch (damage) {
            case Damage::Deleted:
                ASSERT_TRUE(CContentIndexFile::Discard(History()));
                break;
            case Damage::Truncated:
                ASSERT_EQ(::truncate(file.c_str(), static_cast<off_t>(std::filesystem::file_size(file) / 2)),
                          0);
                break;
            case Damage::Garbage: {
                std::string noise(std::filesystem::file_size(file), '\0');
                for (std::size_t i = 0; i < noise.size(); ++i)
                    noise[i] = static_cast<char>((i * 7919 + 13) & 0xFF);
                std::ofstream(file, std::ios::binary | std::ios::trunc) << noise;
                break;
            }
            case Damage::FutureSchema:
                ASSERT_EQ(::sqlite3_open(file.c_str(), &holder), SQLITE_OK);
                ASSERT_EQ(::sqlite3_exec(holder, "PRAGMA user_version=99", nullptr, nullptr, nullptr),
                          SQLITE_OK);
                ::sqlite3_close(holder);
                holder = nullptr;
                break;
            case Damage::OlderSchema:
                // As the first schema, which kept positions, left it, with texts
                // that would hide every page if they were believed.
                ASSERT_EQ(::sqlite3_open(file.c_str(), &holder), SQLITE_OK);
                ASSERT_EQ(::sqlite3_exec(
                              holder,
                              "PRAGMA user_version=1; DROP TABLE page_text; UPDATE body SET text = 'stale';"
                              "CREATE VIRTUAL TABLE page_text USING fts5(text, content='body', "
                              "content_rowid='id', tokenize='trigram', columnsize=0);"
                              "INSERT INTO page_text(page_text) VALUES ('rebuild');",
                              nullptr, nullptr, nullptr),
                          SQLITE_OK);
                ::sqlite3_close(holder);
                holder = nullptr;
                break;
            case Damage::Locked:
                // Another process's connection holds the file for itself.
                ASSERT_EQ(::sqlite3_open(file.c_str(), &holder), SQLITE_OK);
                ASSERT_EQ(::sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;", nullptr,
                                         nullptr, nullptr),
                          SQLITE_OK);
                break;
            case Damage::Unwritable:
                // Something that is no file stands where the index would be.
                ASSERT_TRUE(CContentIndexFile::Discard(History()));
                std::filesystem::create_directories(file);
                break;
        }

        history = CreateHistory();
        ASSERT_TRUE(history);
        ASSERT_EQ(AddPage(history.Get(), 3, 20), S_OK);
        // The answers never depend on the state of the index.
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Search(history.Get(), "pageword1x").urls,
                  std::vector<std::string>{"http://pages.example/1"});
        EXPECT_EQ(Search(history.Get(), "pageword3x").urls,
                  std::vector<std::string>{"http://pages.example/3"});
        EXPECT_EQ(Search(history.Get(), "lorem ipsum").urls.size(), 4u);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        if (holder) {
            EXPECT_EQ(IndexedPages(), -1) << "the lock keeps readers out too";
            ::sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
            ::sqlite3_close(holder);
        }
        if (damage == Damage::Unwritable) {
            EXPECT_FALSE(Search(history.Get(), "pageword1x").summary.UsedIndex);
            EXPECT_TRUE(std::filesystem::is_directory(file)) << "what stood there is left alone";
        } else {
            ASSERT_TRUE(WaitForIndexedPages(4));
            const Found found = Search(history.Get(), "pageword2x");
            EXPECT_EQ(found.urls, std::vector<std::string>{"http://pages.example/2"});
            EXPECT_TRUE(found.summary.UsedIndex);
        }
        EndServer(history);
        LeaveApartment();
    }
}

}  // namespace
}  // namespace wys::test
