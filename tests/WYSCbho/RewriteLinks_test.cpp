#include "WYSCbho/RewriteLinks.h"

#include <gtest/gtest.h>

#include "tests/support/TempHome.h"

namespace wys::capture {
namespace {

const std::string kDay = "/h/2003/November/27";
const std::string kFiles = kDay + "/14h 5m 3s_files";

std::string Rewrite(const std::string& text, const std::map<std::string, std::string>& saved)
{
    return RewriteLinksInText(text, kDay, saved);
}

TEST(RewriteLinks, QuotedValuesHoldingTheNameBecomeTheLocalPath)
{
    const std::map<std::string, std::string> saved = {
        {"http://s.test/img/logo.png", kFiles + "/logo.png"},
        {"http://s.test/css/site.css", kFiles + "/site.css"},
    };
    const std::string text =
        R"(<link href="css/site.css"><img src="http://s.test/img/logo.png">)"
        R"(<img src='../img/logo.png'><script>show("logo.png"); say("no logo.png here")</script>)";
    EXPECT_EQ(Rewrite(text, saved),
              R"(<link href="14h 5m 3s_files/site.css">)"
              R"(<img src="14h 5m 3s_files/logo.png">)"
              R"(<img src='14h 5m 3s_files/logo.png'>)"
              R"(<script>show("14h 5m 3s_files/logo.png"); say("no logo.png here")</script>)");
}

TEST(RewriteLinks, OccurrencesOutsideAQuotedValueStayAsTheyAre)
{
    const std::map<std::string, std::string> saved = {{"http://s.test/bg.png", kFiles + "/bg.png"}};
    struct Case {
        const char* text;
    };
    const Case unchanged[] = {
        {"no quotes around bg.png at all"},
        // A quote on one side only.
        {"<p>see bg.png\" here"},
        {"<p>here \"is bg.png"},
        // Nearest quotes belong to neighbouring markup.
        {R"(<p class="a"><style>body{background:url(bg.png)}</style><p class="b">)"},
        // Different quote characters on the two sides.
        {R"(<script>var a = 'x'; load(bg.png); var b = "y";</script>)"},
        // A line break between the quotes.
        {"<script>var a = \"x\";\nload(bg.png);\nvar b = \"y\";</script>"},
    };
    for (const Case& c : unchanged)
        EXPECT_EQ(Rewrite(c.text, saved), c.text) << c.text;
}

TEST(RewriteLinks, UrlsWithTheSameFileNameKeepTheirOwnReferences)
{
    const std::map<std::string, std::string> saved = {
        {"http://s.test/a/logo.png", kFiles + "/logo.png"},
        {"http://s.test/b/logo.png", kFiles + "/logo1.png"},
    };
    EXPECT_EQ(
        Rewrite(R"(<img src="a/logo.png"><img src="http://s.test/b/logo.png"><img src=" /a/logo.png ">)",
                saved),
        R"(<img src="14h 5m 3s_files/logo.png"><img src="14h 5m 3s_files/logo1.png">)"
        R"(<img src="14h 5m 3s_files/logo.png">)");

    // Seen from the resource folder the first local path is the bare name,
    // which the second URL could otherwise claim.
    EXPECT_EQ(RewriteLinksInText(R"(<img src="../a/logo.png"><img src="../b/logo.png">)", kFiles, saved),
              R"(<img src="logo.png"><img src="logo1.png">)");
}

TEST(RewriteLinks, PathsAreRelativeToTheGivenFolder)
{
    EXPECT_EQ(RelativeLocalPath(kDay, kFiles + "/a.png"), "14h 5m 3s_files/a.png");
    EXPECT_EQ(RelativeLocalPath(kFiles, kFiles + "/frame.html"), "frame.html");
    EXPECT_EQ(RelativeLocalPath(kFiles, kDay + "/other.png"), "../other.png");
    // A path beyond the platform's limit gives nothing, and nothing is replaced.
    const std::string deep = kFiles + "/" + std::string(300, 'd') + "/x.png";
    EXPECT_EQ(RelativeLocalPath(kDay, deep), "");
    EXPECT_EQ(Rewrite(R"(<img src="x.png">)", {{"http://s.test/x.png", deep}}), R"(<img src="x.png">)");
}

TEST(RewriteLinks, RewritesTheFileInPlaceUpToItsFirstNul)
{
    wys::test::TempHome home;
    const std::string file = home.Path() + "/page.htm";
    wys::test::WriteFile(file, std::string("<img src=\"a.png\"><p>long tail\0after", 35));
    RewriteLinks(file, home.Path(), {{"http://s.test/a.png", home.Path() + "/p_files/a.png"}});
    EXPECT_EQ(wys::test::ReadFile(file), "<img src=\"p_files/a.png\"><p>long tail");

    RewriteLinks(home.Path() + "/missing.htm", home.Path(), {{"http://s.test/a.png", "/x/a.png"}});
}

}  // namespace
}  // namespace wys::capture
