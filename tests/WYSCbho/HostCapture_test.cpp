// The whole road of a visit with the real pieces: wayscribe-capture loads
// loopback pages in headless windows, the registered libWYSCbho.so captures
// each completed page, and the real WYSCHelper server records the visits.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "WYSCHelper/CIndexFile.h"
#include "WYSCbho/CSavedPageLayout.h"
#include "common/StringConvert.h"
#include "platform/browser/BrowserExtensions.h"
#include "tests/WYSCbho/CaptureSite.h"
#include "tests/WYSCbho/FidelitySite.h"
#include "tests/WYSCbho/SavedPageCheck.h"
#include "tests/platform/rpc/support/ChildProcess.h"
#include "tests/platform/rpc/support/EventSink.h"
#include "tests/server/ServerProcessTest.h"

namespace wys::test {
namespace {

class HostCaptureTest : public ServerProcessTest {
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
    }
    void TearDown() override
    {
        m_history = nullptr;
        ServerProcessTest::TearDown();
    }

    // Runs the host on the pages; its exit code. *output gets its report.
    int Capture(const std::vector<std::string>& urls, std::string* output)
    {
        std::vector<std::string> argv = {WYS_CAPTURE_HOST, "--timeout", "60"};
        argv.insert(argv.end(), urls.begin(), urls.end());
        std::string errors;
        int status = RunProgram(argv, output, &errors, 240000);
        EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
        return status;
    }
    // Url -> Path of every record.
    std::map<std::string, std::string> Records()
    {
        std::map<std::string, std::string> records;
        ULONG count = CountOf(m_history.Get());
        for (ULONG i = 0; i < count && count != kNoRecord; ++i) {
            CUrlDateHolder data;
            EXPECT_EQ(m_history->GetData(data.Receive(), i), S_OK);
            std::string expectedDay = wys::capture::CSavedPageLayout::DayFolder(data.Time);
            std::string path = BstrToNarrow(data.Path);
            EXPECT_TRUE(path.starts_with(expectedDay + "/")) << path;
            records[BstrToNarrow(data.Url)] = path;
        }
        return records;
    }

    CaptureSite m_site;
    ComPtr<IWYSCURLBase> m_history;
};

std::string Extension(const std::string& path)
{
    return path.substr(path.rfind('.'));
}

TEST_F(HostCaptureTest, PagesOfEveryKindAreSavedAndRecordedOnce)
{
    const std::string local = m_home.Path() + "/local";
    WriteFileSite(local);
    const std::vector<std::string> urls = {
        m_site.Url("/site/page.html"),  m_site.Url("/site/page.php"),     m_site.Url("/site/frames.html"),
        m_site.Url("/site/frames.php"), "file://" + local + "/page.html",
    };
    std::string output;
    EXPECT_EQ(Capture(urls, &output), 0) << output;

    std::map<std::string, std::string> records = Records();
    ASSERT_EQ(records.size(), urls.size()) << output;
    EXPECT_EQ(Extension(records[urls[0]]), ".mht");
    EXPECT_EQ(Extension(records[urls[1]]), ".htm");
    EXPECT_EQ(Extension(records[urls[2]]), ".mht");
    EXPECT_EQ(Extension(records[urls[3]]), ".htm");
    EXPECT_EQ(Extension(records[urls[4]]), ".htm");

    // The HTML route: every saved resource under the page's own folder, and
    // the saved page refers to nothing else that was saved.
    const std::string page = History() + "/" + records[urls[1]];
    const std::string files = page.substr(0, page.size() - 4) + "_files";
    EXPECT_EQ(FolderEntries(files), CaptureSite::PageResourceNames());
    std::set<std::string> expected = {std::filesystem::path(page).parent_path().string() + "/img/"};
    for (const std::string& name : CaptureSite::PageResourceNames())
        expected.insert(files + "/" + name);
    EXPECT_EQ(SavedPageReferences(page), expected);

    // The archive: a part per resource, relative spellings made absolute.
    const std::string archive = ReadFile(History() + "/" + records[urls[0]]);
    for (const char* path :
         {"/site/css/site.css", "/site/js/app.js", "/site/img/logo.png", "/site/other/logo.png",
          "/site/img/photo.jpg?size=big", "/site/img/go.gif", "/site/media/intro.swf"})
        EXPECT_NE(archive.find("Content-Location: " + m_site.Url(path)), std::string::npos) << path;
    EXPECT_NE(archive.find("\"" + m_site.Url("/site/img/logo.png") + "\""), std::string::npos)
        << archive.substr(0, 3000);

    // The file page brought its local image along.
    const std::string filePage = History() + "/" + records[urls[4]];
    EXPECT_EQ(ReadFile(filePage.substr(0, filePage.size() - 4) + "_files/pic.png"), "PNG-PIC");
}

TEST_F(HostCaptureTest, SavedPagesKeepTheirStyleSheetsImportsFontsFramesAndDoctype)
{
    FidelitySite site;
    const std::vector<std::string> urls = {site.Url("/site/styled.php"), site.Url("/site/frames.php"),
                                           site.Url("/site/styled.html")};
    std::string output;
    EXPECT_EQ(Capture(urls, &output), 0) << output;
    std::map<std::string, std::string> records = Records();
    ASSERT_EQ(records.size(), urls.size()) << output;

    const std::string styled = History() + "/" + records[urls[0]];
    EXPECT_TRUE(ReadFile(styled).starts_with("<!DOCTYPE html>\n<html lang=\"en\" class=\"styled\">"))
        << ReadFile(styled).substr(0, 200);
    const std::string styledFiles = styled.substr(0, styled.size() - 4) + "_files";
    EXPECT_EQ(FolderEntries(styledFiles),
              (std::set<std::string>{"main.css", "layout.css", "colors.css", "test.ttf", "body.png",
                                     "box.png", "h1.png", "inline.png", "attr.png"}));
    EXPECT_EQ(UnresolvedStyleReferences(styled), std::set<std::string>{});
    EXPECT_EQ(ReadFile(styledFiles + "/test.ttf"),
              ReadFile("/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf"));

    // Frames at every depth bring what they show.
    const std::string frames = History() + "/" + records[urls[1]];
    const std::string frameFiles = frames.substr(0, frames.size() - 4) + "_files";
    EXPECT_EQ(FolderEntries(frameFiles),
              (std::set<std::string>{"frame-left.html", "frame-right.html", "frame-inner.html", "frame.css",
                                     "frame.png", "inner.png", "box.png", "h1.png"}));
    EXPECT_EQ(UnresolvedStyleReferences(frames), std::set<std::string>{});
    for (const char* frame : {"frame-left.html", "frame-inner.html"}) {
        for (const std::string& reference : SavedPageReferences(frameFiles + "/" + frame))
            EXPECT_TRUE(std::filesystem::is_regular_file(reference)) << frame << ": " << reference;
    }

    // The archive holds every sheet of the chain, the font and the images.
    const std::string archive = ReadFile(History() + "/" + records[urls[2]]);
    for (const char* path : {"/site/css/main.css", "/site/css/parts/layout.css", "/site/css/theme/colors.css",
                             "/site/fonts/test.ttf", "/site/img/box.png", "/site/img/h1.png",
                             "/site/img/inline.png", "/site/img/attr.png", "/site/img/body.png"})
        EXPECT_NE(archive.find("Content-Location: " + site.Url(path)), std::string::npos) << path;
}

TEST_F(HostCaptureTest, CookiesAPageLoadWasGivenGoWithItsCaptureAndIntoNoFile)
{
    FidelitySite site;
    const std::vector<std::string> urls = {site.Url("/site/members/welcome.php"),
                                           site.Url("/site/members/welcome.html")};
    std::string output;
    EXPECT_EQ(Capture(urls, &output), 0) << output;
    std::map<std::string, std::string> records = Records();
    ASSERT_EQ(records.size(), urls.size()) << output;
    EXPECT_EQ(site.RefusedRequests(), 0) << "a download went without the page's session cookie";

    const std::string page = History() + "/" + records[urls[0]];
    const std::string files = page.substr(0, page.size() - 4) + "_files";
    EXPECT_EQ(ReadFile(files + "/style.css").substr(0, 20), "body { background: #");
    const std::string archive = ReadFile(History() + "/" + records[urls[1]]);
    EXPECT_NE(archive.find("Content-Location: " + site.Url("/site/members/banner.png")), std::string::npos);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(History())) {
        if (!entry.is_regular_file())
            continue;
        EXPECT_EQ(ReadFile(entry.path().string()).find(FidelitySite::kCookieValue), std::string::npos)
            << entry.path();
    }
}

TEST_F(HostCaptureTest, NothingIsCapturedWhileCollectionIsOff)
{
    ASSERT_EQ(m_history->put_CollectHistory(VARIANT_FALSE), S_OK);
    std::vector<std::string> argv = {WYS_CAPTURE_HOST, "--timeout", "3", m_site.Url("/site/page.php")};
    std::string output;
    EXPECT_NE(RunProgram(argv, &output, nullptr, 60000), 0);
    EXPECT_NE(output.find("not recorded"), std::string::npos) << output;
    EXPECT_EQ(CountOf(m_history.Get()), 0u);
}

// Starts the host on one page without waiting for it; its output goes to `log`.
pid_t StartCapture(const std::string& url, const std::string& log)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execl(WYS_CAPTURE_HOST, WYS_CAPTURE_HOST, "--timeout", "120", url.c_str(), nullptr);
        ::_exit(127);
    }
    return pid;
}

TEST_F(HostCaptureTest, CapturesFinishingDuringALargeImportAreAllRecordedOnTheirOwnRoute)
{
    // An export of 4000 visits of the last hour, with their pages.
    const int kImported = 4000;
    const std::string file = m_home.Path() + "/large.hef";
    CUrlRecordList exported;
    const std::int64_t start = Now() - 3600;
    for (int i = 0; i < kImported; ++i) {
        std::string path = "pages/" + std::to_string(i) + ".htm";
        WriteFile(m_home.Path() + "/large_files/" + path, "<html>" + std::to_string(i) + "</html>");
        CUrlRecord record;
        record.Time = start + i % 3000;
        record.AttachUrl(CComBSTR("http://imported/" + std::to_string(i)).Detach());
        record.AttachPath(CComBSTR(path).Detach());
        exported.Append(std::move(record));
    }
    ASSERT_TRUE(CIndexFile::Write(file, exported));

    // Six captures start with the import's first event and save their pages
    // while this sink holds the import's events back; the import goes on
    // once their saved copies are on disk and their records had time to
    // arrive.
    const int kCaptures = 6;
    std::vector<std::string> urls;
    for (int i = 0; i < kCaptures; ++i)
        urls.push_back(m_site.Url("/site/page.html?visit=" + std::to_string(i)));
    const std::string day = History() + "/" + wys::capture::CSavedPageLayout::DayFolder(Now());
    std::vector<pid_t> captures;
    auto sink = ComPtr<CEventSink>(new CEventSink());
    sink->onEvent = [&](DISPID, LONG) {
        if (!captures.empty())
            return S_OK;
        for (int i = 0; i < kCaptures; ++i)
            captures.push_back(
                StartCapture(urls[i], m_home.Path() + "/capture" + std::to_string(i) + ".log"));
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        auto archives = [&] {
            int n = 0;
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator(day, error))
                n += entry.path().extension() == ".mht" ? 1 : 0;
            return n;
        };
        while (archives() < kCaptures && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::seconds(2));
        return S_OK;
    };
    ASSERT_NE(AdviseSink(m_history.Get(), sink->GetUnknown()), 0u);
    CComBSTR path(file);
    ASSERT_EQ(m_history->Import(path), S_OK);
    for (int i = 0; i < kCaptures; ++i) {
        int status = -1;
        ::waitpid(captures[static_cast<std::size_t>(i)], &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << ReadFile(m_home.Path() + "/capture" + std::to_string(i) + ".log");
    }

    ULONG count = CountOf(m_history.Get());
    EXPECT_EQ(count, static_cast<ULONG>(kImported + kCaptures));
    std::map<std::string, std::string> records;
    for (ULONG i = kImported; i < count && count != kNoRecord; ++i) {
        CUrlDateHolder data;
        ASSERT_EQ(m_history->GetData(data.Receive(), i), S_OK);
        records[BstrToNarrow(data.Url)] = BstrToNarrow(data.Path);
    }
    for (const std::string& url : urls) {
        ASSERT_TRUE(records.count(url)) << url;
        EXPECT_EQ(Extension(records[url]), ".mht") << url << " went the HTML route";
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(day, error))
        EXPECT_NE(entry.path().extension(), ".htm") << "saved a second time: " << entry.path();
}

}  // namespace
}  // namespace wys::test
