#include <gtest/gtest.h>

#include <string>

#include "platform/shell/SplitPath.h"

TEST(SplitPath, SplitsFolderNameAndExtension)
{
    struct Case {
        std::string path, dir, fname, ext;
    } cases[] = {
        {"/backup/week.hef", "/backup/", "week", ".hef"},
        {"\\b\\w.x.hef", "/b/", "w.x", ".hef"},
        {"name", "", "name", ""},
        {"/a.b/c", "/a.b/", "c", ""},
        {"/x/", "/x/", "", ""},
        {"/x/.hef", "/x/", "", ".hef"},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        const auto parts = SplitPath(c.path);
        ASSERT_TRUE(parts) << c.path;
        EXPECT_EQ(parts->drive, "") << c.path;
        EXPECT_EQ(parts->dir, c.dir) << c.path;
        EXPECT_EQ(parts->fname, c.fname) << c.path;
        EXPECT_EQ(parts->ext, c.ext) << c.path;
    }
    const auto parts = SplitPath("/backup/week.hef");
    EXPECT_EQ(parts->drive + parts->dir + parts->fname + "_files", "/backup/week_files");
}

TEST(SplitPath, PartsLongerThanTheirBuffersFail)
{
    const std::string dir255 = "/" + std::string(253, 'd') + "/";
    const std::string name255(255, 'n');
    const std::string ext255 = "." + std::string(254, 'e');
    struct Case {
        std::string path;
        bool fits;
    } cases[] = {
        {dir255 + "x.y", true},         {dir255 + "d/x.y", false}, {"/" + name255 + ".y", true},
        {"/" + name255 + "n.y", false}, {"/x" + ext255, true},     {"/x" + ext255 + "e", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitPath(c.path).has_value(), c.fits) << "length " << c.path.size();
}
