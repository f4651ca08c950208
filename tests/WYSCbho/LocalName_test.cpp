#include "WYSCbho/LocalName.h"

#include <gtest/gtest.h>

#include "tests/support/TempHome.h"

namespace wys::capture {
namespace {

TEST(LocalName, LastComponentOfTheDecodedPath)
{
    struct Case {
        std::string url;
        std::optional<std::string> name;
    };
    const Case cases[] = {
        {"http://h/img/logo.png", "logo.png"},
        {"http://h/img/logo.png?size=2&x=/y", "logo.png"},
        {"http://h/show.php?file=a.png", "show.php"},
        {"http://h/a%20b.png#frag", "a b.png"},
        {"http://h/dir\\win.gif", "win.gif"},
        {"http://h/img/", std::nullopt},
        {"http://h", std::nullopt},
        {"http://h/?q=1", std::nullopt},
        {"not a url", std::nullopt},
        {"file:///home/u/pic.jpg", "pic.jpg"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LocalNameOf(c.url), c.name) << c.url;
}

TEST(LocalName, NeverLeavesTheResourceFolder)
{
    struct Case {
        std::string url;
        std::optional<std::string> name;
    };
    const Case cases[] = {
        {"http://h/a/..", std::nullopt},
        {"http://h/a/.", std::nullopt},
        {"http://h/%2e%2e", std::nullopt},
        {"http://h/x%2F..", std::nullopt},
        {"http://h/x%5C..", std::nullopt},
        {"http://h/..%2F..%2Fetc%2Fpasswd", "passwd"},
        {"http://h/a%00b.png", "a_b.png"},
        {"http://h/a%0Ab.png", "a_b.png"},
        {"http://h/say%22hi%22%27.png", "say_hi__.png"},
        {"http://h/%3Cb%3E.png", "_b_.png"},
        {"http://h/100%25.png", "100_.png"},
        {"http://h/a%23b.png", "a"},  // a decoded "#" starts the extra information
        {"http://h/...", "..."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LocalNameOf(c.url), c.name) << c.url;
}

TEST(LocalName, LongNamesAreCutKeepingTheExtension)
{
    std::optional<std::string> name = LocalNameOf("http://h/" + std::string(400, 'x') + ".png");
    ASSERT_TRUE(name);
    EXPECT_EQ(name->size(), kMaxLocalName);
    EXPECT_TRUE(name->ends_with("xx.png"));

    // A multibyte character is never split.
    std::string accented;
    for (int i = 0; i < 200; ++i)
        accented += "\xC3\xA9";  // é
    name = LocalNameOf("http://h/" + accented + ".gif");
    ASSERT_TRUE(name);
    EXPECT_LE(name->size(), kMaxLocalName);
    EXPECT_EQ(name->substr(0, name->size() - 4).size() % 2, 0u);
    EXPECT_TRUE(name->ends_with(".gif"));

    // An absurd extension does not survive the cut.
    name = LocalNameOf("http://h/a." + std::string(300, 'e'));
    ASSERT_TRUE(name);
    EXPECT_EQ(name->size(), kMaxLocalName);

    // Bytes that are no UTF-8 at all are cut at the limit, not to nothing.
    name = LocalNameOf("http://h/" + std::string(300, '\xAB'));
    ASSERT_TRUE(name);
    EXPECT_EQ(name->size(), kMaxLocalName);
}

TEST(LocalName, TakenNamesAreNumberedBeforeTheExtension)
{
    wys::test::TempHome home;
    const std::string folder = home.Path();
    EXPECT_EQ(FreeTargetPath(folder, "a.png"), folder + "/a.png");
    wys::test::WriteFile(folder + "/a.png", "1");
    EXPECT_EQ(FreeTargetPath(folder, "a.png"), folder + "/a1.png");
    wys::test::WriteFile(folder + "/a1.png", "2");
    EXPECT_EQ(FreeTargetPath(folder, "a.png"), folder + "/a2.png");
    wys::test::WriteFile(folder + "/noext", "3");
    EXPECT_EQ(FreeTargetPath(folder + "/", "noext"), folder + "/noext1");
}

}  // namespace
}  // namespace wys::capture
