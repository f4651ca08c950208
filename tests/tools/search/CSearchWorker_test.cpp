#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "Wayscribe/tools/search/CSavedPageContent.h"
#include "Wayscribe/tools/search/CSavedPageReader.h"
#include "Wayscribe/tools/search/CSearchWorker.h"
#include "tests/tools/dialogs/DialogTesting.h"

namespace wys::test {
namespace {

// Collects what a worker reports, from the worker's thread.
class CRecordingResults final : public ISearchResultSink {
public:
    void OnSearchProgress(int percent) override
    {
        std::lock_guard lock(m_mutex);
        m_progress.push_back(percent);
    }
    void OnSearchFound(CDataItem item) override
    {
        std::lock_guard lock(m_mutex);
        m_found.push_back(item.Url + (item.Provider == m_expectedProvider ? "" : " <other provider>"));
        if (m_onFound)
            m_onFound();
    }
    std::vector<std::string> Found()
    {
        std::lock_guard lock(m_mutex);
        return m_found;
    }
    void Clear()
    {
        std::lock_guard lock(m_mutex);
        m_found.clear();
        m_progress.clear();
    }
    std::vector<int> Progress()
    {
        std::lock_guard lock(m_mutex);
        return m_progress;
    }

    CQXServiceProvider* m_expectedProvider = nullptr;
    std::function<void()> m_onFound;

private:
    std::mutex m_mutex;
    std::vector<std::string> m_found;
    std::vector<int> m_progress;
};

class SearchWorker : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        if (HasFatalFailure())
            return;
        StartServer();
        m_server->Run([](IWYSCURLBase* base) { base->put_HistoricalRange(0); });
    }

    HRESULT Visit(int n, const std::string& url, const std::string& title, const std::string& page)
    {
        return m_server->AddVisit(1069718400 + n * 60, url, "2003/November/25/p" + std::to_string(n) + ".htm",
                                  title, page);
    }

    // Runs one search to its end on a worker thread.
    std::vector<std::string> Search(const std::string& expression, bool url, bool title, bool content)
    {
        auto request = std::make_unique<SearchRequest>();
        request->Expression = expression;
        request->Url = url;
        request->Title = title;
        request->Content = content;
        request->ResultSink = &m_results;
        request->StopEvent = &m_stop;
        request->BandContext = m_results.m_expectedProvider;
        CSearchWorker worker(std::move(request));
        worker.Wait();
        EXPECT_TRUE(worker.HasEnded());
        return m_results.Found();
    }

    using Found = std::vector<std::string>;
    CRecordingResults m_results;
    std::atomic<bool> m_stop{false};
};

TEST_F(SearchWorker, FieldsAreTestedInOrderAndEachVisitIsListedOnceFromTheLastRecordOn)
{
    ASSERT_EQ(Visit(0, "http://alpha.example/", "First Page", "<p>nothing here</p>"), S_OK);
    ASSERT_EQ(Visit(1, "http://beta.example/", "Alpha and beta", "<p>ALPHA in the body</p>"), S_OK);
    ASSERT_EQ(Visit(2, "http://gamma.example/", "Gamma", "<p>plain</p>"), S_OK);
    ASSERT_EQ(Visit(3, "http://delta.example/alpha", "Alpha", "<p>alpha</p>"), S_OK);

    EXPECT_EQ(Search("alpha", true, false, false),
              (Found{"http://delta.example/alpha", "http://alpha.example/"}));
    m_results.Clear();
    EXPECT_EQ(Search("ALPHA", false, true, false),
              (Found{"http://delta.example/alpha", "http://beta.example/"}))
        << "letter case does not matter";
    m_results.Clear();
    EXPECT_EQ(Search("alpha", true, true, true),
              (Found{"http://delta.example/alpha", "http://beta.example/", "http://alpha.example/"}))
        << "a visit matching in several fields is listed once";
    m_results.Clear();
    EXPECT_EQ(Search("", false, false, true), (Found{"http://delta.example/alpha", "http://gamma.example/",
                                                     "http://beta.example/", "http://alpha.example/"}))
        << "an empty expression lists every visit";
    EXPECT_EQ(m_results.Progress(), (std::vector<int>{0, 25, 50, 75}));
}

TEST_F(SearchWorker, ContentIsTheSavedPageUpToItsFirstNul)
{
    ASSERT_EQ(Visit(0, "http://nul.example/", "", std::string("<p>before</p>\0<p>after</p>", 26)), S_OK);
    ASSERT_EQ(Visit(1, "http://big.example/", "", std::string(3 << 20, 'x') + "needle"), S_OK);
    EXPECT_EQ(Search("before", false, false, true), Found{"http://nul.example/"});
    m_results.Clear();
    EXPECT_EQ(Search("after", false, false, true), Found{});
    m_results.Clear();
    EXPECT_EQ(Search("NEEDLE", false, false, true), Found{"http://big.example/"});
}

TEST_F(SearchWorker, PagesThatCannotBeReadAreSkipped)
{
    const std::string history = History();
    // Pages of different bytes: identical ones may come to share one file,
    // and with it the lock and the mode given to one of them below.
    ASSERT_EQ(Visit(0, "http://missing.example/", "", "needle 0"), S_OK);
    ASSERT_EQ(Visit(1, "http://locked.example/", "", "needle 1"), S_OK);
    ASSERT_EQ(Visit(2, "http://fine.example/", "", "needle 2"), S_OK);
    ASSERT_EQ(Visit(3, "http://unreadable.example/", "", "needle 3"), S_OK);
    // A fifo where a page should be must not hold the search up.
    ASSERT_EQ(::mkfifo((history + "/2003/November/25/fifo.htm").c_str(), 0600), 0);
    ASSERT_EQ(m_server->AddRecord(1069718400 + 600, "http://fifo.example/", "2003/November/25/fifo.htm", ""),
              S_OK);
    // A folder where a page should be.
    ASSERT_EQ(m_server->AddRecord(1069718400 + 700, "http://folder.example/", "2003/November", ""), S_OK);

    ::unlink((history + "/2003/November/25/p0.htm").c_str());
    const int locked = ::open((history + "/2003/November/25/p1.htm").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(locked, 0);
    ASSERT_EQ(::flock(locked, LOCK_EX), 0);
    ::chmod((history + "/2003/November/25/p3.htm").c_str(), 0);
    const bool rootReads = ::access((history + "/2003/November/25/p3.htm").c_str(), R_OK) == 0;

    Found expected{"http://fine.example/"};
    if (rootReads)
        expected.insert(expected.begin(), "http://unreadable.example/");
    EXPECT_EQ(Search("needle", false, false, true), expected);
    ::close(locked);
}

TEST_F(SearchWorker, PathsFromTheOriginalPlatformUseBackslashes)
{
    WriteFile(History() + "/2003/November/25/old.htm", "needle");
    ASSERT_EQ(m_server->AddRecord(1069718400, "http://old.example/", "2003\\November\\25\\old.htm", ""),
              S_OK);
    EXPECT_EQ(Search("needle", false, false, true), Found{"http://old.example/"});
    EXPECT_EQ(CSavedPageReader::PagePath("/h", "a\\b/c.htm"), "/h/a/b/c.htm");
    EXPECT_EQ(CSavedPageReader::PagePath("/h", "a/../../x"), "");
    EXPECT_EQ(CSavedPageReader::PagePath("/h", "..\\x"), "");
    EXPECT_EQ(CSavedPageReader::PagePath("/h", "a/..b/x"), "/h/a/..b/x");
    // What the content index can look for: whole characters, three at least.
    EXPECT_EQ(CSavedPageContent::UsableLiterals("ab"), std::vector<std::string>{});
    EXPECT_EQ(CSavedPageContent::UsableLiterals("w\xC3\xB6r"), std::vector<std::string>{"w\xC3\xB6r"});
    EXPECT_EQ(CSavedPageContent::UsableLiterals("\xB6"
                                                "abc\xFF"
                                                "de\xC3"),
              std::vector<std::string>{"abc"});
    // The text around a match starts on a character and shows line breaks as spaces.
    EXPECT_EQ(CSavedPageContent::Excerpt(
                  std::string(40, 'x') + "\xC3\xB6" + std::string(59, 'y') + "match\nnext", 101, 106),
              "...\xC3\xB6" + std::string(59, 'y') + "match next");
}

TEST_F(SearchWorker, AnExpressionThatDoesNotCompileEndsTheSearchSilently)
{
    ASSERT_EQ(Visit(0, "http://a.example/", "", ""), S_OK);
    for (const char* bad : {"[]", "(a*)*", "{a", "(a", "[z-a]"})
        EXPECT_EQ(Search(bad, true, true, true), Found{}) << bad;
    EXPECT_TRUE(m_results.Progress().empty());
    EXPECT_EQ(m_boxes->Count(), 0u);
}

TEST_F(SearchWorker, WithoutTheUrlBaseTheSearchEndsSilently)
{
    ASSERT_EQ(Visit(0, "http://a.example/", "", ""), S_OK);
    m_server->Revoke();
    EXPECT_EQ(Search("", true, true, true), Found{});
    EXPECT_EQ(m_boxes->Count(), 0u);
}

TEST_F(SearchWorker, VisitsAddedDuringASearchAreNotVisited)
{
    ASSERT_EQ(Visit(0, "http://a.example/", "", ""), S_OK);
    ASSERT_EQ(Visit(1, "http://b.example/", "", ""), S_OK);
    bool added = false;
    m_results.m_onFound = [&] {
        if (!added) {
            added = true;
            EXPECT_EQ(Visit(2, "http://late.example/", "", ""), S_OK);
        }
    };
    EXPECT_EQ(Search("example", true, false, false), (Found{"http://b.example/", "http://a.example/"}));
    EXPECT_EQ(m_server->Count(), 3u);
}

TEST_F(SearchWorker, TheStopEventEndsALongMatchWithinAQuarterSecond)
{
    // Each page makes the matcher backtrack for far longer than a test runs.
    const std::string page = std::string(64, 'a') + "c";
    for (int n = 0; n < 3; ++n)
        ASSERT_EQ(Visit(n, "http://slow.example/" + std::to_string(n), "", page), S_OK);
    auto request = std::make_unique<SearchRequest>();
    request->Expression = "(a+)+$";
    request->Content = true;
    request->ResultSink = &m_results;
    request->StopEvent = &m_stop;
    // No budget ends these tests before the stop does.
    request->BaseBudget = std::uint64_t{1} << 50;
    CSearchWorker worker(std::move(request));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(worker.HasEnded()) << "the match should still be running";
    const auto raised = std::chrono::steady_clock::now();
    m_stop = true;
    while (!worker.HasEnded() && std::chrono::steady_clock::now() - raised < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto took = std::chrono::steady_clock::now() - raised;
    EXPECT_LT(took, std::chrono::milliseconds(250));
    EXPECT_TRUE(m_results.Found().empty());
    EXPECT_EQ(m_results.Progress(), std::vector<int>{0}) << "the walk ends before the next visit";
}

}  // namespace
}  // namespace wys::test
