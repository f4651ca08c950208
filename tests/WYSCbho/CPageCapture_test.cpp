#include "WYSCbho/CPageCapture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "WYSCHelper/CWYSCURLBase.h"
#include "common/StringConvert.h"
#include "tests/WYSCbho/CaptureSite.h"
#include "tests/WYSCbho/SavedPageCheck.h"
#include "tests/support/TempHome.h"

namespace wys::capture {
namespace {

using wys::test::FolderEntries;
using wys::test::ReadFile;

// 2003-11-27 14:05:03 UTC; the tests run with TZ=UTC.
constexpr std::int64_t kVisit = 1069941903;
const std::string kDay = "2003/November/27";

class PageCaptureTest : public wys::test::TempHomeTest {
protected:
    void SetUp() override
    {
        CUrlBaseOptions options;
        options.Now = [] { return kVisit + 60; };
        ASSERT_EQ(CWYSCURLBase::Create(IID_IWYSCURLBase, m_base.PutVoid(), options), S_OK);
        CComBSTR folder;
        ASSERT_EQ(m_base->get_BaseDirectory(&folder), S_OK);
        m_history = BstrToNarrowZ(folder);
        ASSERT_EQ(m_base->put_TitledFileNames(VARIANT_FALSE), S_OK);
    }

    CaptureOutcome Capture(const std::string& url, ComPtr<IHTMLDocument2> document,
                           CaptureStopRef stop = nullptr, std::int64_t time = kVisit)
    {
        CPageCapture capture(CaptureInput{url, time, "Shown title"}, m_base.Get(), document.Get(),
                             std::move(stop));
        return capture.Run();
    }
    CaptureOutcome CaptureSitePage(const std::string& path, CaptureStopRef stop = nullptr)
    {
        return Capture(m_site.Url(path), m_site.Document(path), std::move(stop));
    }

    // "time url path title" of every record.
    std::vector<std::string> Records()
    {
        std::vector<std::string> records;
        ULONG count = 0;
        EXPECT_EQ(m_base->get_DataCount(&count), S_OK);
        for (ULONG i = 0; i < count; ++i) {
            CUrlDateHolder data;
            EXPECT_EQ(m_base->GetData(data.Receive(), i), S_OK);
            records.push_back(std::to_string(data.Time) + " " + BstrToNarrow(data.Url) + " " +
                              BstrToNarrow(data.Path) + " " + BstrToNarrow(data.Title));
        }
        return records;
    }
    std::string Day() const { return m_history + "/" + kDay; }

    wys::test::CaptureSite m_site;
    ComPtr<IWYSCURLBase> m_base;
    std::string m_history;
};

TEST(CPageCaptureRoute, OnlyPlainHttpPagesTryTheArchive)
{
    struct Case {
        const char* url;
        bool singleFile;
    };
    const Case cases[] = {
        {"http://h/page.html", true},   {"HTTP://h/", true},          {"http://h/a.php?x=1", true},
        {"http://h/a.php", false},      {"http://h/a.PHP", false},    {"http://h/a.Php", false},
        {"https://h/page.html", false}, {"ftp://h/page.html", false}, {"file:///tmp/page.html", false},
        {"about:blank", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CPageCapture::TakesSingleFileRoute(c.url), c.singleFile) << c.url;
}

TEST_F(PageCaptureTest, HttpPageIsSavedAsOneArchiveWithEveryResource)
{
    ASSERT_EQ(CaptureSitePage("/site/page.html"), CaptureOutcome::Archive);
    EXPECT_EQ(Records(),
              std::vector<std::string>{std::to_string(kVisit) + " " + m_site.Url("/site/page.html") + " " +
                                       kDay + "/14h 5m 3s.mht Shown title"});
    EXPECT_EQ(FolderEntries(Day()), std::set<std::string>{"14h 5m 3s.mht"});

    const std::string archive = ReadFile(Day() + "/14h 5m 3s.mht");
    for (const char* path :
         {"/site/css/site.css", "/site/js/app.js", "/site/img/logo.png", "/site/other/logo.png",
          "/site/img/photo.jpg?size=big", "/site/img/go.gif", "/site/media/intro.swf", "/site/frame.html"})
        EXPECT_NE(archive.find("Content-Location: " + m_site.Url(path)), std::string::npos) << path;
    // Relative references in double quotes now name the parts' locations.
    EXPECT_NE(archive.find("\"" + m_site.Url("/site/other/logo.png") + "\""), std::string::npos);
    EXPECT_EQ(archive.find("\"other/logo.png\""), std::string::npos);
}

TEST_F(PageCaptureTest, PhpPageIsSavedAsHtmlReferringOnlyToItsResourceFolder)
{
    ASSERT_EQ(CaptureSitePage("/site/page.php"), CaptureOutcome::Page);
    EXPECT_EQ(Records(),
              std::vector<std::string>{std::to_string(kVisit) + " " + m_site.Url("/site/page.php") + " " +
                                       kDay + "/14h 5m 3s.htm Shown title"});
    EXPECT_EQ(FolderEntries(Day()), (std::set<std::string>{"14h 5m 3s.htm", "14h 5m 3s_files"}));
    const std::string files = Day() + "/14h 5m 3s_files";
    EXPECT_EQ(FolderEntries(files), wys::test::CaptureSite::PageResourceNames());
    EXPECT_EQ(ReadFile(files + "/logo.png"), "PNG-LOGO-A");
    EXPECT_EQ(ReadFile(files + "/logo1.png"), "PNG-LOGO-B");
    EXPECT_EQ(m_site.Server().RequestCount("/site/img/"), 0);

    // The reference ending in a slash names nothing saved and stays.
    std::set<std::string> expected = {Day() + "/img/"};
    for (const std::string& name : wys::test::CaptureSite::PageResourceNames())
        expected.insert(files + "/" + name);
    EXPECT_EQ(wys::test::SavedPageReferences(Day() + "/14h 5m 3s.htm"), expected);
    // The frame's own copy points at the resource saved beside it.
    EXPECT_EQ(wys::test::SavedPageReferences(files + "/frame.html"),
              std::set<std::string>{files + "/logo.png"});
    EXPECT_NE(ReadFile(Day() + "/14h 5m 3s.htm").find("<meta charset=\"utf-8\">"), std::string::npos);
}

TEST_F(PageCaptureTest, FramesetPagesOnBothRoutes)
{
    ASSERT_EQ(CaptureSitePage("/site/frames.html"), CaptureOutcome::Archive);
    const std::string archive = ReadFile(Day() + "/14h 5m 3s.mht");
    EXPECT_NE(archive.find("Content-Location: " + m_site.Url("/site/left.html")), std::string::npos);
    EXPECT_NE(archive.find("Content-Location: " + m_site.Url("/site/right.html")), std::string::npos);

    ASSERT_EQ(
        Capture(m_site.Url("/site/frames.php"), m_site.Document("/site/frames.php"), nullptr, kVisit + 1),
        CaptureOutcome::Page);
    const std::string files = Day() + "/14h 5m 4s_files";
    EXPECT_EQ(FolderEntries(files), wys::test::CaptureSite::FramesetNames());
    EXPECT_EQ(wys::test::SavedPageReferences(Day() + "/14h 5m 4s.htm"),
              (std::set<std::string>{files + "/left.html", files + "/right.html"}));
    EXPECT_EQ(Records().size(), 2u);
}

TEST_F(PageCaptureTest, TitledFileNamesUseTheDocumentTitle)
{
    ASSERT_EQ(m_base->put_TitledFileNames(VARIANT_TRUE), S_OK);
    ASSERT_EQ(CaptureSitePage("/site/page.php"), CaptureOutcome::Page);
    EXPECT_TRUE(std::filesystem::exists(Day() + "/Test  page 14h 5m 3s.htm"));
    EXPECT_TRUE(std::filesystem::is_directory(Day() + "/Test  page 14h 5m 3s_files"));
}

TEST_F(PageCaptureTest, FilePageCopiesItsLocalFiles)
{
    const std::string site = m_home.Path() + "/local";
    wys::test::WriteFileSite(site);
    const std::string url = "file://" + site + "/page.html";
    ASSERT_EQ(Capture(url, wys::test::BuildPageAt(ReadFile(site + "/page.html"), url)), CaptureOutcome::Page);
    const std::string files = Day() + "/14h 5m 3s_files";
    EXPECT_EQ(ReadFile(files + "/pic.png"), "PNG-PIC");
    EXPECT_EQ(wys::test::SavedPageReferences(Day() + "/14h 5m 3s.htm"),
              std::set<std::string>{files + "/pic.png"});
    EXPECT_EQ(Records().size(), 1u);
}

TEST_F(PageCaptureTest, NetworkPageNeverCopiesLocalFiles)
{
    const std::string secret = m_home.Path() + "/secret.txt";
    wys::test::WriteFile(secret, "SECRET");
    const std::string url = m_site.Url("/site/steal.php");
    ASSERT_EQ(Capture(url, wys::test::BuildPageAt("<img src=\"file://" + secret + "\">", url)),
              CaptureOutcome::Page);
    EXPECT_TRUE(FolderEntries(Day() + "/14h 5m 3s_files").empty());
}

TEST_F(PageCaptureTest, PagesCapturedInOneSecondKeepTheirOwnCopies)
{
    ASSERT_EQ(CaptureSitePage("/site/page.html"), CaptureOutcome::Archive);
    ASSERT_EQ(CaptureSitePage("/site/frames.html"), CaptureOutcome::Archive);
    ASSERT_EQ(CaptureSitePage("/site/page.php"), CaptureOutcome::Page);
    ASSERT_EQ(CaptureSitePage("/site/frames.php"), CaptureOutcome::Page);
    const std::string at = std::to_string(kVisit) + " ";
    EXPECT_EQ(Records(),
              (std::vector<std::string>{
                  at + m_site.Url("/site/page.html") + " " + kDay + "/14h 5m 3s.mht Shown title",
                  at + m_site.Url("/site/frames.html") + " " + kDay + "/14h 5m 3s (2).mht Shown title",
                  at + m_site.Url("/site/page.php") + " " + kDay + "/14h 5m 3s.htm Shown title",
                  at + m_site.Url("/site/frames.php") + " " + kDay + "/14h 5m 3s (2).htm Shown title",
              }));
    EXPECT_NE(ReadFile(Day() + "/14h 5m 3s.mht").find("Subject: " + m_site.Url("/site/page.html")),
              std::string::npos);
    EXPECT_EQ(FolderEntries(Day() + "/14h 5m 3s_files"), wys::test::CaptureSite::PageResourceNames());
    EXPECT_EQ(FolderEntries(Day() + "/14h 5m 3s (2)_files"), wys::test::CaptureSite::FramesetNames());
}

TEST_F(PageCaptureTest, AVisitAlreadyRecordedEndsTheSecondCapture)
{
    ASSERT_EQ(CaptureSitePage("/site/page.php"), CaptureOutcome::Page);
    EXPECT_THROW(CaptureSitePage("/site/page.php"), ComError);
    EXPECT_EQ(Records().size(), 1u);
}

TEST_F(PageCaptureTest, PagesWithoutAnHtmlDocumentOrWithATinyArchiveAreNotRecorded)
{
    EXPECT_EQ(Capture(m_site.Url("/site/page.php"), nullptr), CaptureOutcome::NoDocument);
    EXPECT_EQ(Capture(m_site.Url("/site/img/photo.jpg"), nullptr), CaptureOutcome::NoDocument);
    EXPECT_FALSE(std::filesystem::exists(Day() + "/14h 5m 3s_files"));

    m_site.Server().Handle("/tiny.html", wys::test::HttpReply{});
    EXPECT_EQ(Capture(m_site.Url("/tiny.html"), wys::test::BuildPageAt("", m_site.Url("/tiny.html"))),
              CaptureOutcome::ArchiveTooSmall);
    EXPECT_TRUE(Records().empty());
    EXPECT_TRUE(FolderEntries(Day()).empty());
}

TEST_F(PageCaptureTest, AStoppedCaptureKeepsItsFilesButRecordsNothing)
{
    auto stop = std::make_shared<CCaptureStop>();
    m_site.Server().Handle("/site/other/logo.png", [&](const wys::test::HttpRequest&) {
        // Fetches run ahead of the saves: the stop comes once an earlier
        // resource is on disk.
        const std::string earlier = Day() + "/14h 5m 3s_files/logo.png";
        for (int i = 0; i < 200 && !std::filesystem::exists(earlier); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        stop->RequestStop();
        wys::test::HttpReply reply;
        reply.body = "PNG-LOGO-B";
        return reply;
    });
    try {
        CaptureSitePage("/site/page.php", stop);
        FAIL() << "the capture went on after the stop";
    } catch (const ComError& error) {
        EXPECT_EQ(error.Error(), E_ABORT);
    }
    EXPECT_TRUE(Records().empty());
    EXPECT_TRUE(std::filesystem::exists(Day() + "/14h 5m 3s_files/logo.png"));
    EXPECT_FALSE(std::filesystem::exists(Day() + "/14h 5m 3s.htm"));
}

}  // namespace
}  // namespace wys::capture
