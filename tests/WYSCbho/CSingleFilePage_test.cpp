#include "WYSCbho/CSingleFilePage.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/mime/MimeCodec.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempHome.h"

namespace wys::capture {
namespace {

using wys::test::HttpReply;
using wys::test::ReadFile;

HttpReply Reply(std::string body, std::string type)
{
    HttpReply reply;
    reply.body = std::move(body);
    reply.contentType = std::move(type);
    return reply;
}

// The decoded body of the archive part whose Content-Location is `location`.
std::string PartBody(const std::string& archive, const std::string& location)
{
    std::size_t header = archive.find("Content-Location: " + location + "\r\n");
    if (header == std::string::npos)
        return {};
    std::size_t start = archive.find("\r\n\r\n", header);
    std::size_t end = archive.find("\r\n------", start);
    std::string body = archive.substr(start + 4, end - start - 4);
    std::size_t headersStart = archive.rfind("\r\n\r\n", header);
    std::string headers = archive.substr(headersStart, header - headersStart);
    if (headers.find("quoted-printable") != std::string::npos)
        return QuotedPrintableDecode(body);
    return body;
}

class CSingleFilePageTest : public wys::test::TempHomeTest {
protected:
    void SetUp() override { ASSERT_TRUE(m_layout.CreateDayFolder()); }
    std::string Archive() const { return m_layout.ArchiveFile(); }

    wys::test::LoopbackHttpServer m_server;
    CSavedPageLayout m_layout{m_home.Path(), "day", "page"};
};

TEST_F(CSingleFilePageTest, ArchiveHoldsEveryResourceWithQuotedSpellingsFixedUp)
{
    const std::string padding(1200, 'x');
    m_server.Handle("/site/page.html", Reply(R"(<html><body><img src="img/a.png"><img src='img/b.png'>)"
                                             R"(<embed src="movie.swf"><p>)" +
                                                 padding + "</body></html>",
                                             "text/html"));
    m_server.Handle("/site/img/a.png", Reply("PNG-A", "image/png"));
    m_server.Handle("/site/img/b.png", Reply("PNG-B", "image/png"));
    m_server.Handle("/site/movie.swf", Reply("SWF", "application/x-shockwave-flash"));
    m_server.Handle("/site/extra.js", Reply("var x;", "text/javascript"));

    const std::string page = m_server.Url("/site/page.html");
    const SpellingMap spellings = {
        {m_server.Url("/site/img/a.png"), {"img/a.png"}}, {m_server.Url("/site/img/b.png"), {"img/b.png"}},
        {m_server.Url("/site/extra.js"), {"extra.js"}},   {"javascript:void(0)", {"javascript:void(0)"}},
        {"file:///etc/passwd", {"file:///etc/passwd"}},
    };
    CSingleFilePage single(nullptr);
    single.Build(page, spellings);
    ASSERT_TRUE(single.Save(m_layout, spellings));

    const std::string archive = ReadFile(Archive());
    EXPECT_NE(archive.find("From: " + std::string(CSingleFilePage::kMarker)), std::string::npos);
    EXPECT_NE(archive.find("Subject: " + page), std::string::npos);
    for (const char* path : {"/site/img/a.png", "/site/img/b.png", "/site/movie.swf", "/site/extra.js"})
        EXPECT_NE(archive.find("Content-Location: " + m_server.Url(path)), std::string::npos) << path;
    EXPECT_EQ(archive.find("file:///etc/passwd"), std::string::npos);

    const std::string html = PartBody(archive, page);
    EXPECT_NE(html.find("<img src=\"" + m_server.Url("/site/img/a.png") + "\">"), std::string::npos) << html;
    // Single quotes are left as the page wrote them.
    EXPECT_NE(html.find("<img src='img/b.png'>"), std::string::npos) << html;
}

TEST_F(CSingleFilePageTest, SmallArchivesAreNotSaved)
{
    m_server.Handle("/tiny.html", Reply("<p>hi", "text/html"));
    CSingleFilePage single(nullptr);
    single.Build(m_server.Url("/tiny.html"), {});
    EXPECT_FALSE(single.Save(m_layout, {}));
    EXPECT_FALSE(std::filesystem::exists(Archive()));
    EXPECT_TRUE(std::filesystem::is_empty(m_home.Path() + "/day"));
}

TEST_F(CSingleFilePageTest, ArchivesAbove1000BytesAreSaved)
{
    // Grow the page one byte at a time until the archive passes 1000 bytes:
    // the archive just below (at most 1000) is refused, the first above saved.
    ADO_LONGPTR previous = 0;
    for (int padding = 300; padding < 1200; ++padding) {
        m_server.Handle("/grow.html", Reply("<p>" + std::string(padding, 'y'), "text/html"));
        CSingleFilePage single(nullptr);
        single.Build(m_server.Url("/grow.html"), {});
        ComPtr<_Stream> stream;
        ASSERT_EQ(single.Message()->GetStream(stream.ReleaseAndGetAddressOf()), S_OK);
        ADO_LONGPTR size = 0;
        ASSERT_EQ(stream->get_Size(&size), S_OK);
        bool saved = single.Save(m_layout, {});
        EXPECT_EQ(saved, size > CSingleFilePage::kMinimumArchiveSize) << size;
        if (size > CSingleFilePage::kMinimumArchiveSize) {
            // The archive grows a byte at a time here, so the refused one had exactly 1000.
            EXPECT_EQ(previous, CSingleFilePage::kMinimumArchiveSize);
            EXPECT_EQ(static_cast<ADO_LONGPTR>(ReadFile(Archive()).size()), size);
            return;
        }
        previous = size;
    }
    FAIL() << "the archive never grew past 1000 bytes";
}

TEST_F(CSingleFilePageTest, AnUnreachablePageOrResourceFailsTheRoute)
{
    CSingleFilePage unreachable(nullptr);
    EXPECT_THROW(unreachable.Build("http://127.0.0.1:1/page.html", {}), ComError);

    m_server.Handle("/page.html", Reply("<p>page", "text/html"));
    CSingleFilePage refused(nullptr);
    EXPECT_THROW(refused.Build(m_server.Url("/page.html"), {{"http://127.0.0.1:1/a.png", {"a.png"}}}),
                 ComError);
}

TEST_F(CSingleFilePageTest, AStoppedCaptureEndsTheBuild)
{
    auto stop = std::make_shared<CCaptureStop>();
    stop->RequestStop();
    m_server.Handle("/page.html", Reply("<p>page", "text/html"));
    CSingleFilePage single(stop);
    EXPECT_THROW(single.Build(m_server.Url("/page.html"), {}), ComError);
}

TEST(CSingleFilePageText, FixUpWritesReferencesInQuotedPrintableForm)
{
    const SpellingMap spellings = {
        {"http://s.test/a.php?id=1&x=ab", {"a.php?id=1&x=ab", "./a.php?id=1&x=ab"}},
        {"http://s.test/b.png", {"b.png", "http://s.test/b.png"}},
    };
    const std::string text =
        "src=3D\"a.php?id=3D1&x=3Dab\" href=3D\"./a.php?id=3D1&x=3Dab\" "
        "x=3D\"b.png\" y=3D'b.png' z=3Db.png";
    EXPECT_EQ(CSingleFilePage::FixUpText(text, spellings),
              "src=3D\"http://s.test/a.php?id=3D1&x=3Dab\" href=3D\"http://s.test/a.php?id=3D1&x=3Dab\" "
              "x=3D\"http://s.test/b.png\" y=3D'b.png' z=3Db.png");
    // Values side by side, one of them unknown.
    EXPECT_EQ(CSingleFilePage::FixUpText("\"b.png\"\"b.png\"\"c\"\"b.png\"", spellings),
              "\"http://s.test/b.png\"\"http://s.test/b.png\"\"c\"\"http://s.test/b.png\"");
    EXPECT_TRUE(CSingleFilePage::IsFetchedResource("HTTP://h/a"));
    EXPECT_TRUE(CSingleFilePage::IsFetchedResource("data:image/png;base64,AAAA"));
    EXPECT_TRUE(CSingleFilePage::IsFetchedResource("ftp://h/a"));
    EXPECT_FALSE(CSingleFilePage::IsFetchedResource("file:///etc/passwd"));
    EXPECT_FALSE(CSingleFilePage::IsFetchedResource("javascript:go()"));
    EXPECT_FALSE(CSingleFilePage::IsFetchedResource("img/a.png"));
}

}  // namespace
}  // namespace wys::capture
