#include "WYSCHelper/CSavedCopyPath.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TempHome.h"

namespace {

namespace fs = std::filesystem;

TEST(CSavedCopyPath, OnlyPathsStrictlyInsideTheirRootAreUsable)
{
    struct Case {
        const char* path;
        const char* joined;  // nullptr: refused
    };
    const Case cases[] = {
        {"2003/November/27/a.htm", "2003/November/27/a.htm"},
        {"2003\\November\\27\\a.htm", "2003/November/27/a.htm"},
        {"a.mht", "a.mht"},
        {"./a//b/./c.htm", "a/b/c.htm"},
        {"a/b/", "a/b"},
        {"..a/b..", "..a/b.."},
        {"", nullptr},
        {".", nullptr},
        {"./", nullptr},
        {"/", nullptr},
        {"/etc/passwd", nullptr},
        {"\\etc\\passwd", nullptr},
        {"\\\\server\\share\\x", nullptr},
        {"C:\\Documents\\x.htm", nullptr},
        {"c:x.htm", nullptr},
        {"..", nullptr},
        {"../x.htm", nullptr},
        {"a/../../x.htm", nullptr},
        {"a/../b.htm", nullptr},
        {"a\\..\\..\\x.htm", nullptr},
        {"a/..", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        auto components = CSavedCopyPath::Components(std::string_view(c.path));
        if (!c.joined) {
            EXPECT_FALSE(components.has_value());
            continue;
        }
        ASSERT_TRUE(components.has_value());
        EXPECT_EQ(CSavedCopyPath::Join(*components, components->size()), c.joined);
    }
}

TEST(CSavedCopyPath, UnderJoinsToTheRootAndCutsAtNul)
{
    CComBSTR path(std::u16string_view(u"a/b.htm\0/../../x", 16));
    EXPECT_EQ(CSavedCopyPath::Under("/h", path).value_or("refused"), "/h/a/b.htm");
    EXPECT_EQ(CSavedCopyPath::Under("/h", nullptr).value_or("refused"), "refused");
}

TEST(CSavedCopyPath, ResolvesInsideFollowsLinks)
{
    wys::test::TempHome home;
    const std::string root = home.Path() + "/root";
    fs::create_directories(root + "/a/b");
    fs::create_directories(root + "/ab");
    fs::create_directories(home.Path() + "/outside");
    fs::create_directory_symlink(home.Path() + "/outside", root + "/out");
    fs::create_directory_symlink(root + "/a", root + "/alias");
    EXPECT_TRUE(CSavedCopyPath::ResolvesInside(root, root));
    EXPECT_TRUE(CSavedCopyPath::ResolvesInside(root, root + "/a/b"));
    EXPECT_TRUE(CSavedCopyPath::ResolvesInside(root, root + "/alias/b"));
    EXPECT_FALSE(CSavedCopyPath::ResolvesInside(root, root + "/out"));
    EXPECT_FALSE(CSavedCopyPath::ResolvesInside(root, home.Path()));
    EXPECT_FALSE(CSavedCopyPath::ResolvesInside(root, root + "/missing"));
    EXPECT_FALSE(CSavedCopyPath::ResolvesInside(root + "/a", root + "/ab"))
        << "a name prefix is not a folder prefix";
}

}  // namespace
