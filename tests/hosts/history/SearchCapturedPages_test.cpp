// Searching what a person read, with the real pieces: loopback pages
// captured by wayscribe-capture and libWYSCbho.so on both routes (a
// single-file archive for the .html page, a page file with its resource
// folder for the .php one), recorded and indexed by the real WYSCHelper,
// and searched by wayscribe-history and by the search the pane runs.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "Wayscribe/tools/search/CSearchWorker.h"
#include "common/StringConvert.h"
#include "common/contentindex/CContentIndexFile.h"
#include "platform/browser/BrowserExtensions.h"
#include "platform/mime/MimeCodec.h"
#include "tests/server/ServerProcessTest.h"
#include "tests/support/LoopbackHttpServer.h"

namespace wys::test {
namespace {

const char kPhrase[] = "design and implement";

// The page in ISO-8859-1, as its server declares it: a phrase that the
// archive's quoted-printable lines split, a word with a letter outside
// ASCII, words that only a script or a style sheet holds, and a frame.
std::string PageBytes()
{
    const std::string head =
        "<html><head><title>Whetting Your Appetite</title>"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">"
        "<script src=\"app.js\"></script>"
        "<script>var inlineonly = \"prototypeonly\";</script>"
        "<style>p { font-family: styleonlyword; }</style></head><body>\r\n<p>";
    const std::string tail = std::string(" a whole new language for your application.</p>\r\n") +
                             "<p>Ein W\xF6rterbuch f&uuml;r alle &amp; jeden.</p>\r\n"
                             "<iframe src=\"frame.html\"></iframe></body></html>\r\n";
    // Padding that puts a soft line break of the archive inside the phrase.
    for (std::size_t pad = 0; pad < 160; ++pad) {
        std::string body = head + std::string(pad, 'x') + " Or maybe you don't want to " + kPhrase + tail;
        if (QuotedPrintableEncode(body).find(kPhrase) == std::string::npos)
            return body;
    }
    ADD_FAILURE() << "no padding splits the phrase";
    return {};
}

class SearchCapturedPages : public ServerProcessTest {
protected:
    void SetUp() override
    {
        ServerProcessTest::SetUp();
        void* library = ::dlopen(WYS_CAPTURE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << ::dlerror();
        auto registerServer = reinterpret_cast<HRESULT (*)()>(::dlsym(library, "DllRegisterServer"));
        ASSERT_EQ(registerServer(), S_OK);
        ASSERT_EQ(AddBrowserHelperObject(CLSID_WYSCSaver, "WYSCbho"), ERROR_SUCCESS);
        EnterApartment();
        m_history = CreateHistory();
        ASSERT_TRUE(m_history);
        ASSERT_EQ(m_history->put_TitledFileNames(VARIANT_FALSE), S_OK);

        const std::string page = PageBytes();
        for (const char* path : {"/docs/page.html", "/docs/page.php"})
            m_site.Handle(path, HttpReply{200, page, "text/html; charset=iso-8859-1", {}, {}});
        m_site.Handle(
            "/docs/frame.html",
            HttpReply{
                200, "<html><body><p>Inside the framedword frame.</p></body></html>", "text/html", {}, {}});
        m_site.Handle(
            "/docs/app.js",
            HttpReply{200, "function frobnicatescript() { return 1; }", "application/javascript", {}, {}});
    }
    void TearDown() override
    {
        m_history = nullptr;
        ServerProcessTest::TearDown();
    }

    struct Run {
        int status = -1;
        std::string out;
        std::string err;
    };
    Run Cli(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv{WYS_HISTORY_PROGRAM};
        argv.insert(argv.end(), args.begin(), args.end());
        Run run;
        run.status = RunProgram(argv, &run.out, &run.err, 60000);
        return run;
    }

    // The search the pane runs, on this thread over this test's connection.
    struct Found {
        std::vector<std::string> urls;
        SearchSummary summary;
    };
    Found Search(const std::string& expression)
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
        request.ResultSink = &sink;
        CSearchWorker::Search(m_history.Get(), request);
        std::sort(found.urls.begin(), found.urls.end());
        return found;
    }

    // Waits until the content index holds `pages` pages.
    bool IndexHolds(std::size_t pages)
    {
        for (int attempt = 0; attempt < 300; ++attempt) {
            CContentIndexFile::Status status;
            if (auto index = CContentIndexFile::OpenForReading(History(), &status)) {
                std::unordered_map<std::string, CContentIndexFile::Entry> entries;
                if (index->Entries(&entries) && entries.size() == pages)
                    return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    LoopbackHttpServer m_site;
    ComPtr<IWYSCURLBase> m_history;
};

TEST_F(SearchCapturedPages, ContentIsTheTextOfTheSavedPageOnBothRoutes)
{
    const std::string archiveUrl = m_site.Url("/docs/page.html");
    const std::string pageUrl = m_site.Url("/docs/page.php");
    std::string output;
    ASSERT_EQ(
        RunProgram({WYS_CAPTURE_HOST, "--timeout", "60", archiveUrl, pageUrl}, &output, nullptr, 240000), 0)
        << output;
    ASSERT_EQ(CountOf(m_history.Get()), 2u);
    std::string archive;
    for (ULONG i = 0; i < 2; ++i) {
        CUrlDateHolder visit;
        ASSERT_EQ(m_history->GetData(visit.Receive(), i), S_OK);
        if (wys::BstrToNarrow(visit.Url) == archiveUrl)
            archive = ReadFile(History() + "/" + wys::BstrToNarrow(visit.Path));
    }
    // What an old search of the bytes on disk would have missed and found.
    ASSERT_NE(archive.find("Content-Transfer-Encoding: quoted-printable"), std::string::npos);
    ASSERT_EQ(archive.find(kPhrase), std::string::npos) << "a soft line break splits the phrase";
    ASSERT_EQ(archive.find("W\xF6rterbuch"), std::string::npos);
    ASSERT_NE(archive.find("frobnicatescript"), std::string::npos) << "the script is a part of the archive";

    std::vector<std::string> both = {archiveUrl, pageUrl};
    std::sort(both.begin(), both.end());
    const auto checkAll = [&](const char* when, bool indexed) {
        SCOPED_TRACE(when);
        for (const char* expression : {kPhrase, "w\xC3\xB6rterbuch", "framedword", "f\xC3\xBCr alle & jeden",
                                       "application\\.\\nein"}) {
            const Found found = Search(expression);
            EXPECT_EQ(found.urls, both) << expression;
            EXPECT_EQ(found.summary.UsedIndex, indexed) << expression;
        }
        for (const char* expression :
             {"prototypeonly", "frobnicatescript", "styleonlyword", "charset", "<p>"})
            EXPECT_EQ(Search(expression).urls, std::vector<std::string>{}) << expression;
        // "\\c" is an ASCII letter, which "\xC3\xB6" is not.
        EXPECT_EQ(Search("w\\crterbuch").urls, std::vector<std::string>{});
        // No literal to look for: matched over every page's text.
        EXPECT_EQ(Search("((app)|(fram))[a-z]+d").urls, both);
    };

    ASSERT_TRUE(IndexHolds(2));
    checkAll("from the index", true);

    // The command line: newest first, the text around the match last.
    Run run = Cli({"search", "--content", kPhrase});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = run.out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(run.out.substr(at, end - at));
    ASSERT_EQ(lines.size(), 2u) << run.out;
    for (const std::string& line : lines)
        EXPECT_NE(line.find(std::string("want to ") + kPhrase + " a whole new language"), std::string::npos)
            << line;
    EXPECT_GE(lines[0].substr(0, 19), lines[1].substr(0, 19));
    run = Cli({"search", "prototypeonly"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    run = Cli({"search", "--title", "appetite"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2);
    run = Cli({"search", "(design"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("a \"(\" is not closed by \")\""), std::string::npos) << run.err;

    // Without the index the pages themselves are read, with the same answers;
    // the server notices and makes the index anew.
    ASSERT_TRUE(CContentIndexFile::Discard(History()));
    checkAll("from the saved files", false);
    ASSERT_TRUE(IndexHolds(2));
    checkAll("from the rebuilt index", true);
}

}  // namespace
}  // namespace wys::test
