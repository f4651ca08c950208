#include "WYSCbho/FrameSaver.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/WYSCbho/CaptureTesting.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempHome.h"

namespace wys::capture {
namespace {

using wys::test::ReadFile;

class FrameSaverTest : public wys::test::TempHomeTest {
protected:
    void SetUp() override { std::filesystem::create_directories(Folder()); }
    std::string Folder() const { return m_home.Path() + "/p_files"; }
};

TEST_F(FrameSaverTest, CollectsDocumentsAtEveryDepthAndWritesThemFromTheModel)
{
    wys::test::PageSet site = {
        {"http://s.test/index.html",
         R"(<!DOCTYPE html PUBLIC "-//W3C//DTD HTML 4.01 Frameset//EN" "http://www.w3.org/TR/html4/frameset.dtd">
<html lang="en"><head><title>T</title></head><frameset><frame src="left.html"><frame src="right.html"></frameset></html>)"},
        {"http://s.test/left.html", R"(<p>left<iframe src="inner.html"></iframe>)"},
        {"http://s.test/right.html", R"(<p>right)"},
        {"http://s.test/inner.html", R"(<p>inner &amp; more)"},
    };
    ComPtr<IHTMLDocument2> page = wys::test::BuildSite(site, "http://s.test/index.html");
    FrameSaver saver(Folder(), FileUrlCopy::Refused, nullptr);
    CollectDocuments(saver, page.Get());
    ASSERT_EQ(saver.Documents().size(), 4u);
    EXPECT_TRUE(saver.Documents().count("http://s.test/inner.html"));

    SaveAll(saver, {"http://s.test/left.html", "http://s.test/inner.html"});
    EXPECT_EQ(ReadFile(Folder() + "/inner.html"),
              R"(<html><head><meta charset="utf-8"></head><body><p>inner &amp; more</p></body></html>)");
    const std::string top = m_home.Path() + "/page.htm";
    ASSERT_TRUE(saver.SaveUrl("http://s.test/index.html", top));
    // The page keeps its type declaration, and so its layout mode, and its
    // root element's attributes.
    EXPECT_TRUE(ReadFile(top).starts_with(
        R"(<!DOCTYPE html PUBLIC "-//W3C//DTD HTML 4.01 Frameset//EN" "http://www.w3.org/TR/html4/frameset.dtd">)"
        "\n"
        R"(<html lang="en"><head><meta charset="utf-8"><title>T</title></head>)"))
        << ReadFile(top);
}

TEST_F(FrameSaverTest, OtherUrlsAreFetchedAsResources)
{
    wys::test::LoopbackHttpServer server;
    wys::test::HttpReply reply;
    reply.body = "<p>fetched";
    server.Handle("/frame.html", reply);
    FrameSaver saver(Folder(), FileUrlCopy::Refused, nullptr);
    SaveResource(saver, server.Url("/frame.html"));
    EXPECT_EQ(ReadFile(Folder() + "/frame.html"), "<p>fetched");
}

TEST_F(FrameSaverTest, EmptyDocumentsWriteNothing)
{
    class EmptyHtml final : public FrameSaver {
    public:
        using FrameSaver::FrameSaver;
        std::string GetDocumentHtml(IHTMLDocument2*) override { return {}; }
    };
    ComPtr<IHTMLDocument2> page = wys::test::BuildPageAt("<p>x", "http://s.test/a.html");
    EmptyHtml saver(Folder(), FileUrlCopy::Refused, nullptr);
    EXPECT_FALSE(saver.WriteDocument(page.Get(), Folder() + "/a.html"));
    EXPECT_FALSE(std::filesystem::exists(Folder() + "/a.html"));
}

TEST(DeclareUtf8Charset, AddsADeclarationUnlessUtf8IsDeclaredAlready)
{
    EXPECT_EQ(DeclareUtf8Charset("<head></head><body>é</body>"),
              R"(<head><meta charset="utf-8"></head><body>é</body>)");
    EXPECT_EQ(DeclareUtf8Charset(R"(<head lang="x"><meta charset="windows-1252"></head>)"),
              R"(<head lang="x"><meta charset="utf-8"><meta charset="windows-1252"></head>)");
    const std::string declared =
        R"(<HEAD><META http-equiv="Content-Type" content="text/html; CHARSET=UTF-8"></HEAD>)";
    EXPECT_EQ(DeclareUtf8Charset(declared), declared);
    EXPECT_EQ(DeclareUtf8Charset("<headline>x</headline>"),
              R"(<meta charset="utf-8"><headline>x</headline>)");
}

}  // namespace
}  // namespace wys::capture
