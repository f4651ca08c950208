#include "WYSCbho/StyleSheetSaver.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "WYSCbho/CssReferences.h"
#include "tests/WYSCbho/SavedPageCheck.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempHome.h"

namespace wys::capture {
namespace {

using wys::test::HttpReply;
using wys::test::ReadFile;

HttpReply Css(std::string body)
{
    HttpReply reply;
    reply.body = std::move(body);
    reply.contentType = "text/css";
    return reply;
}

TEST(CssReferences, FindsImportsAndUrlsButNothingInsideStringsOrComments)
{
    const std::string css = R"css(@import "a.css" screen; @IMPORT url( 'b.css' );
/* url(in-comment.png) */ .x { content: "url(in-string.png)"; background: URL(  c\ d.png  ) }
.y { mask: url(#clip); background: myurl(no.png), url("e\"f.png"), url(bad"token.png) }
@font-face { src: url(font.woff2?v=1#x) format("woff2") })css";
    std::vector<std::string> found;
    for (const CssReference& reference : FindCssReferences(css))
        found.push_back((reference.kind == CssReference::Kind::Import ? "import " : "url ") + reference.url);
    EXPECT_EQ(found, (std::vector<std::string>{"import a.css", "import b.css", "url c d.png", "url #clip",
                                               "url e\"f.png", "url font.woff2?v=1#x"}));
    EXPECT_EQ(CssUrlOfLocalPath("A 1% #b?_files/x\"y.png"), "A%201%25%20%23b%3F_files/x%22y.png");
}

class StyleSheetSaverTest : public wys::test::TempHomeTest {
protected:
    void SetUp() override { std::filesystem::create_directories(Folder()); }
    std::string Folder() const { return m_home.Path() + "/p_files"; }
    wys::test::LoopbackHttpServer m_server;
};

TEST_F(StyleSheetSaverTest, ImportsAreFollowedOnceWithinTheirBoundsAndPointAtTheCopies)
{
    // A sheet importing itself and a sheet that imports it back; three
    // hundred imports of one sheet; a chain deeper than the bound.
    m_server.Handle("/css/top.css",
                    Css("@import 'top.css'; @import url(\"sub/back.css\"); @import 'many.css';"
                        "@import 'chain/0.css'; body { background: url(../img/a.png) }"));
    m_server.Handle("/css/sub/back.css", Css("@import '../top.css'; p { background: url('/img/a.png#x') }"));
    std::string many;
    for (int i = 0; i < 300; ++i) {
        many += "@import url(m" + std::to_string(i) + ".css);\n";
        m_server.Handle("/css/m" + std::to_string(i) + ".css",
                        Css(".m" + std::to_string(i) + " { color: red }"));
    }
    m_server.Handle("/css/many.css", Css(many));
    const int chain = CStyleSheetSaver::kMaxImportDepth + 10;
    for (int i = 0; i < chain; ++i)
        m_server.Handle("/css/chain/" + std::to_string(i) + ".css",
                        Css("@import '" + std::to_string(i + 1) + ".css';"));
    HttpReply image;
    image.body = "PNG";
    image.contentType = "image/png";
    m_server.Handle("/img/a.png", image);

    ResourceSaver saver(Folder(), FileUrlCopy::Refused, nullptr);
    const std::string top = m_server.Url("/css/top.css");
    SaveResource(saver, top);
    CStyleSheetSaver style(saver);
    style.FollowSheet(top, saver.SavedFiles().at(top));

    EXPECT_EQ(m_server.RequestCount("/css/top.css"), 1);
    EXPECT_EQ(m_server.RequestCount("/img/a.png"), 1);
    EXPECT_EQ(m_server.RequestCount("/css/m299.css"), 1);
    EXPECT_EQ(
        m_server.RequestCount("/css/chain/" + std::to_string(CStyleSheetSaver::kMaxImportDepth - 1) + ".css"),
        1);
    EXPECT_EQ(
        m_server.RequestCount("/css/chain/" + std::to_string(CStyleSheetSaver::kMaxImportDepth + 1) + ".css"),
        0);
    EXPECT_EQ(ReadFile(Folder() + "/top.css"),
              "@import url(\"top.css\"); @import url(\"back.css\"); @import url(\"many.css\");"
              "@import url(\"0.css\"); body { background: url(\"a.png\") }");
    EXPECT_EQ(ReadFile(Folder() + "/back.css"),
              "@import url(\"top.css\"); p { background: url(\"a.png#x\") }");
    // Every file stays in the resource folder, one per URL.
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_home.Path())) {
        if (entry.is_regular_file()) {
            EXPECT_EQ(entry.path().parent_path().string(), Folder());
            ++files;
        }
    }
    EXPECT_EQ(files, saver.SavedFiles().size());
}

}  // namespace
}  // namespace wys::capture
