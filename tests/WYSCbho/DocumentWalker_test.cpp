#include "WYSCbho/DocumentWalker.h"

#include <gtest/gtest.h>

#include "WYSCbho/AbsoluteUrlCollector.h"
#include "tests/WYSCbho/CaptureTesting.h"

namespace wys::capture {
namespace {

using Spellings = std::map<std::string, std::set<std::string>>;

TEST(DocumentWalker, CollectsEveryKindOfResourceAsAbsoluteUrls)
{
    const std::string html = R"html(<html><head>
<link rel="stylesheet" href="css/site.css"><style>p{}</style>
<script src="/js/app.js"></script><script>var inline = 1;</script>
</head><body>
<img src="img/a.png"><img src=""><img src="http://cdn.test/b.gif"><img src="img/a.png">
<input type="IMAGE" src="go.png"><input type="image" src=""><input type="text" src="no.png">
<object classid="clsid:d27cdb6e-ae6d-11cf-96b8-444553540000"><param name="movie" value="intro.swf"></object>
<object classid="clsid:22D6F312-B0F6-11D0-94AB-0080C74C7E95"><param name="FileName" value="clip.asf"></object>
<object classid="clsid:00000000-0000-0000-0000-000000000000"><param name="movie" value="other.swf"></object>
<img src="javascript:void(0)">
</body></html>)html";
    ComPtr<IHTMLDocument2> page = wys::test::BuildPageAt(html, "http://site.test/dir/page.html");
    WalkResult result = WalkDocument(page.Get());

    const std::set<std::string> expected = {
        "http://cdn.test/b.gif",
        "http://site.test/dir/clip.asf",
        "http://site.test/dir/css/site.css",
        "http://site.test/dir/go.png",
        "http://site.test/dir/img/a.png",
        "http://site.test/dir/intro.swf",
        "http://site.test/js/app.js",
        "javascript:void(0)",
    };
    EXPECT_EQ(result.ResourceUrls, expected);
    EXPECT_EQ(result.ResourceSpellings.at("http://site.test/dir/img/a.png"),
              std::set<std::string>{"img/a.png"});
    EXPECT_EQ(result.ResourceSpellings.at("http://site.test/js/app.js"), std::set<std::string>{"/js/app.js"});
    EXPECT_EQ(result.ResourceSpellings.at("http://cdn.test/b.gif"),
              std::set<std::string>{"http://cdn.test/b.gif"});
    EXPECT_TRUE(result.FrameUrls.empty());
}

TEST(DocumentWalker, SpellingsGatherEveryWayThePageWritesAUrl)
{
    const std::string html = R"(<img src="a.png"><img src="./a.png"><img src="../dir/a.png">
<img src="HTTP://site.test/dir/a.png"><img src="\\server\share\c.png">)";
    ComPtr<IHTMLDocument2> page = wys::test::BuildPageAt(html, "http://site.test/dir/page.html");
    WalkResult result = WalkDocument(page.Get());
    EXPECT_EQ(result.ResourceSpellings.at("http://site.test/dir/a.png"),
              (std::set<std::string>{"../dir/a.png", "./a.png", "HTTP://site.test/dir/a.png", "a.png"}));
    // Not relative by the original platform's test: kept and spelled as is.
    EXPECT_EQ(result.ResourceSpellings.at("\\\\server\\share\\c.png"),
              std::set<std::string>{"\\\\server\\share\\c.png"});
}

TEST(DocumentWalker, CombinationsTooLongForTheBufferStayAsWritten)
{
    const std::string base = "http://site.test/";
    const std::string fits(254 - base.size(), 'f');
    const std::string tooLong(255 - base.size(), 'l');
    ComPtr<IHTMLDocument2> page =
        wys::test::BuildPageAt("<img src=\"" + fits + "\"><img src=\"" + tooLong + "\">", base + "page.html");
    WalkResult result = WalkDocument(page.Get());
    EXPECT_EQ(result.ResourceUrls, (std::set<std::string>{base + fits, tooLong}));
    EXPECT_EQ(result.ResourceSpellings.size(), 1u);
}

TEST(DocumentWalker, FramesGiveTheirDocumentUrlsButNotTheirResources)
{
    wys::test::PageSet site = {
        {"http://site.test/index.html",
         R"(<frameset><frame src="left.html"><frame src="missing.html"><frame src="sub/right.html"></frameset>)"},
        {"http://site.test/left.html", R"(<img src="left.png"><iframe src="deep.html"></iframe>)"},
        {"http://site.test/sub/right.html", R"(<p>right)"},
        {"http://site.test/deep.html", R"(<p>deep)"},
    };
    ComPtr<IHTMLDocument2> page = wys::test::BuildSite(site, "http://site.test/index.html");
    WalkResult result = WalkDocument(page.Get());
    EXPECT_TRUE(result.ResourceUrls.empty());
    EXPECT_EQ(result.FrameUrls,
              (std::set<std::string>{"http://site.test/left.html", "http://site.test/sub/right.html"}));
}

TEST(AbsoluteUrlCollector, RelativeTestOfTheOriginalPlatform)
{
    EXPECT_TRUE(AbsoluteUrlCollector::IsRelativeReference("/img/a.png"));
    EXPECT_TRUE(AbsoluteUrlCollector::IsRelativeReference("http://h/a.png"));
    EXPECT_TRUE(AbsoluteUrlCollector::IsRelativeReference("a.png"));
    EXPECT_FALSE(AbsoluteUrlCollector::IsRelativeReference("\\a.png"));
    EXPECT_FALSE(AbsoluteUrlCollector::IsRelativeReference("c:\\a.png"));
}

}  // namespace
}  // namespace wys::capture
