#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/shell/ShellPath.h"
#include "tests/support/TempHome.h"

namespace {

// nullopt stands for a null argument or a failed call.
using Text = std::optional<std::string>;

const char* Arg(const Text& text)
{
    return text ? text->c_str() : nullptr;
}

std::string Describe(const Text& text)
{
    return text ? "\"" + *text + "\"" : "null";
}

}  // namespace

TEST(ShellPath, CombineJoinsAndCanonicalises)
{
    struct Case {
        Text dir, file, expected;
    } cases[] = {
        {"/a/b", "c.htm", "/a/b/c.htm"},
        {"/a/b/", "c", "/a/b/c"},
        {"\\a\\b", "c", "/a/b/c"},
        {"/a/b", "../c", "/a/c"},
        {"/a", "../../../c", "/c"},
        {"/a/b", "/x/y", "/x/y"},
        {"/a/b", "\\x", "/x"},
        {"/a/b", "", "/a/b"},
        {"/a/./b//", std::nullopt, "/a/b/"},
        {std::nullopt, "x/y", "x/y"},
        {"", "", ""},
        {"a", "..", "."},
        {"/a/b", "c/", "/a/b/c/"},
        {"/a", ".", "/a"},
        {std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        char dest[MAX_PATH] = "garbage";
        char* result = PathCombineA(dest, Arg(c.dir), Arg(c.file));
        const Text actual = result ? Text(result) : std::nullopt;
        EXPECT_EQ(actual, c.expected) << "dir " << Describe(c.dir) << " file " << Describe(c.file);
        if (result) {
            EXPECT_EQ(result, dest);
        } else {
            EXPECT_STREQ(dest, "");
        }
    }
}

TEST(ShellPath, ResultsMustFitInMaxPath)
{
    const std::string dir = "/" + std::string(250, 'd');  // 251 characters
    char dest[MAX_PATH];
    // 251 + "/" + 7 = 259 characters: fits with its terminator.
    ASSERT_NE(PathCombineA(dest, dir.c_str(), "1234567"), nullptr);
    EXPECT_EQ(std::string(dest).size(), 259u);
    EXPECT_EQ(PathCombineA(dest, dir.c_str(), "12345678"), nullptr);
    EXPECT_STREQ(dest, "");
    // The limit applies to the result, not to what is joined.
    const std::string longDir = "/" + std::string(300, 'x');
    ASSERT_NE(PathCombineA(dest, longDir.c_str(), "../y"), nullptr);
    EXPECT_STREQ(dest, "/y");

    char canonical[MAX_PATH] = "garbage";
    const std::string fits = "/" + std::string(258, 'c');
    EXPECT_TRUE(PathCanonicalizeA(canonical, fits.c_str()));
    EXPECT_EQ(canonical, fits);
    EXPECT_FALSE(PathCanonicalizeA(canonical, (fits + "c").c_str()));
    EXPECT_STREQ(canonical, "");

    char appended[MAX_PATH];
    std::strcpy(appended, dir.c_str());
    EXPECT_FALSE(PathAppendA(appended, "12345678"));
    EXPECT_EQ(appended, dir);  // unchanged on failure
    EXPECT_TRUE(PathAppendA(appended, "1234567"));

    char relative[MAX_PATH] = "garbage";
    const std::string deepTo = "/r/" + std::string(200, 'a') + "/" + std::string(60, 'b');
    EXPECT_FALSE(PathRelativePathToA(relative, "/r", FILE_ATTRIBUTE_DIRECTORY, deepTo.c_str(), 0));
    EXPECT_STREQ(relative, "");
}

TEST(ShellPath, CanonicalizeRemovesDotsWithoutClimbingAboveTheRoot)
{
    struct Case {
        std::string in, expected;
    } cases[] = {
        {"/a/./b/../c", "/a/c"},
        {"/..", "/"},
        {"/a/../../b", "/b"},
        {"../x", "x"},
        {"../../x/../y", "y"},
        {"a/..", "."},
        {"./", "."},
        {"", ""},
        {"/", "/"},
        {"a//b///c", "a/b/c"},
        {"a\\b\\..\\c\\", "a/c/"},
        {"//server/share", "/server/share"},
        {".\\x_files\\a.png", "x_files/a.png"},
        {"a/b/.", "a/b"},
        {"/a/b/../", "/a/"},
        {"...", "..."},  // not a dot element
    };
    for (const Case& c : cases) {
        char dest[MAX_PATH];
        EXPECT_TRUE(PathCanonicalizeA(dest, c.in.c_str())) << c.in;
        EXPECT_EQ(std::string(dest), c.expected) << "input \"" << c.in << "\"";
    }
    char dest[MAX_PATH] = "garbage";
    std::strcpy(dest, "/a/b/../c");
    EXPECT_TRUE(PathCanonicalizeA(dest, dest));  // in place
    EXPECT_STREQ(dest, "/a/c");
    EXPECT_FALSE(PathCanonicalizeA(dest, nullptr));
}

TEST(ShellPath, FileNameAndExtension)
{
    struct Case {
        std::string path, name, extension;
    } cases[] = {
        {"a/b/c.htm", "c.htm", ".htm"},
        {"a\\b\\c", "c", ""},
        {"a/b/", "", ""},
        {"name", "name", ""},
        {"", "", ""},
        {"/", "", ""},
        {"http://host/dir/page.php?x=1", "page.php?x=1", ".php?x=1"},
        {"x.tar.gz", "x.tar.gz", ".gz"},
        {"/a.b/c", "c", ""},
        {"a\\b.c\\d", "d", ""},
        {"/a/.bashrc", ".bashrc", ".bashrc"},
        {"a/b.", "b.", "."},
        {"2003/November/27/14h 5m 3s.htm", "14h 5m 3s.htm", ".htm"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(std::string(PathFindFileNameA(c.path.c_str())), c.name) << "path \"" << c.path << "\"";
        EXPECT_EQ(std::string(PathFindExtensionA(c.path.c_str())), c.extension)
            << "path \"" << c.path << "\"";
        // Both point into the argument.
        const char* start = c.path.c_str();
        EXPECT_EQ(PathFindFileNameA(start), start + c.path.size() - c.name.size());
        std::vector<char> stripped(c.path.begin(), c.path.end());
        stripped.push_back('\0');
        PathStripPathA(stripped.data());
        EXPECT_EQ(std::string(stripped.data()), c.name) << "strip \"" << c.path << "\"";
    }
    EXPECT_EQ(PathFindFileNameA(nullptr), nullptr);
    EXPECT_EQ(PathFindExtensionA(nullptr), nullptr);
}

TEST(ShellPath, RelativeMeansNotStartingWithASeparator)
{
    struct Case {
        Text path;
        BOOL relative;
    } cases[] = {
        {"", TRUE},     {"x", TRUE},  {"../x", TRUE},       {"http://host/x", TRUE}, {"/x", FALSE},
        {"\\x", FALSE}, {"/", FALSE}, {std::nullopt, TRUE}, {"C:\\x", TRUE},  // no drive letters here
    };
    for (const Case& c : cases)
        EXPECT_EQ(PathIsRelativeA(Arg(c.path)), c.relative) << Describe(c.path);
}

TEST(ShellPath, RelativePathToFollowsAttributes)
{
    constexpr DWORD kDir = FILE_ATTRIBUTE_DIRECTORY;
    constexpr DWORD kFile = FILE_ATTRIBUTE_NORMAL;
    struct Case {
        std::string from;
        DWORD fromAttributes;
        std::string to;
        Text expected;
    } cases[] = {
        {"/h/2003/Nov/27", kDir, "/h/2003/Nov/27/p_files/a.png", "./p_files/a.png"},
        {"/h/2003/Nov/27/p.htm", kFile, "/h/2003/Nov/27/p_files/a.png", "./p_files/a.png"},
        {"/a/b/path", kDir, "/a/x/y/file", "../../x/y/file"},
        {"/a/b/path", kFile, "/a/x/y/file", "../x/y/file"},
        {"/a/b", kDir, "/a/b", "."},
        {"/a/b/c", kDir, "/a", "../.."},
        {"/a\\b", kDir, "\\a\\c", "../c"},
        {"/a/b/../c", kDir, "/a/c/d", "./d"},
        {"/a/b/", kDir, "/a/b/d/", "./d"},
        {"/A", kDir, "/a/x", "../a/x"},  // names are case sensitive
        {"/", kDir, "/x", "./x"},
        {"a/b", kDir, "a/c", "../c"},
        {"/a", kDir, "b", std::nullopt},
        {"a", kDir, "/b", std::nullopt},
        {"", kDir, "/b", std::nullopt},
        {"/a", kDir, "", std::nullopt},
    };
    for (const Case& c : cases) {
        char dest[MAX_PATH] = "garbage";
        const BOOL ok = PathRelativePathToA(dest, c.from.c_str(), c.fromAttributes, c.to.c_str(), kFile);
        const Text actual = ok ? Text(dest) : std::nullopt;
        EXPECT_EQ(actual, c.expected)
            << "from \"" << c.from << "\" (0x" << std::hex << c.fromAttributes << ") to \"" << c.to << "\"";
        if (!ok) {
            EXPECT_STREQ(dest, "");
        }
    }
    // Saved-page links: the relative path, canonicalised, names the resource
    // folder and the file.
    char relative[MAX_PATH];
    char canonical[MAX_PATH];
    ASSERT_TRUE(PathRelativePathToA(relative, "/h/2003/November/27", kDir,
                                    "/h/2003/November/27/14h 5m 3s_files/logo.png", kFile));
    ASSERT_TRUE(PathCanonicalizeA(canonical, relative));
    EXPECT_STREQ(canonical, "14h 5m 3s_files/logo.png");
}

TEST(ShellPath, NextComponentWalksFromTheRoot)
{
    struct Case {
        std::string path;
        std::vector<std::string> steps;
    } cases[] = {
        {"/a/b", {"a/b", "b", ""}},
        {"a//b/", {"b/", ""}},
        {"\\x\\y", {"x\\y", "y", ""}},
        {"name", {""}},
        {"/", {""}},
        {"", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> steps;
        for (const char* p = PathFindNextComponentA(c.path.c_str()); p && steps.size() < 10;
             p = PathFindNextComponentA(p))
            steps.emplace_back(p);
        EXPECT_EQ(steps, c.steps) << "path \"" << c.path << "\"";
    }
    EXPECT_EQ(PathFindNextComponentA(nullptr), nullptr);
}

TEST(ShellPath, RemoveFileSpecAndAppend)
{
    struct Removal {
        std::string in, out;
        BOOL removed;
    } removals[] = {
        {"/a/b", "/a", TRUE},     {"/a/b/", "/a/b", TRUE}, {"/a", "/", TRUE},
        {"/", "/", FALSE},        {"a", "", TRUE},         {"", "", FALSE},
        {"a\\b\\c", "a/b", TRUE}, {"a//b", "a", TRUE},     {"//", "/", TRUE},
    };
    for (const Removal& r : removals) {
        char buffer[MAX_PATH];
        std::strcpy(buffer, r.in.c_str());
        EXPECT_EQ(PathRemoveFileSpecA(buffer), r.removed) << "input \"" << r.in << "\"";
        EXPECT_EQ(std::string(buffer), r.out) << "input \"" << r.in << "\"";
    }
    struct Append {
        std::string path, more, out;
    } appends[] = {
        {"/a", "b", "/a/b"},         {"/a", "/b", "/a/b"},  // a rooted addition does not replace the path
        {"/a/", "\\b\\c", "/a/b/c"}, {"/a/b", "..", "/a"}, {"", "x", "x"},
    };
    for (const Append& a : appends) {
        char buffer[MAX_PATH];
        std::strcpy(buffer, a.path.c_str());
        EXPECT_TRUE(PathAppendA(buffer, a.more.c_str())) << a.path << " + " << a.more;
        EXPECT_EQ(std::string(buffer), a.out) << a.path << " + " << a.more;
    }
}

class ShellPathDisk : public wys::test::TempHomeTest {};

TEST_F(ShellPathDisk, ExistenceAndFoldersOnDisk)
{
    const std::string root = m_home.Path() + "/disk";
    wys::test::WriteFile(root + "/sub/page.htm", "x");
    ASSERT_EQ(::symlink("missing-target", (root + "/dangling").c_str()), 0);
    ASSERT_EQ(::symlink((root + "/sub").c_str(), (root + "/folder-link").c_str()), 0);
    struct Case {
        std::string path;
        BOOL exists, folder;
    } cases[] = {
        {root + "/sub/page.htm", TRUE, FALSE},
        {root + "\\sub\\page.htm", TRUE, FALSE},  // recorded with backslashes
        {root + "/sub", TRUE, TRUE},
        {root + "/sub/", TRUE, TRUE},
        {root + "/dangling", TRUE, FALSE},
        {root + "/folder-link", TRUE, TRUE},
        {root + "/missing", FALSE, FALSE},
        {"", FALSE, FALSE},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PathFileExistsA(c.path.c_str()), c.exists) << c.path;
        EXPECT_EQ(PathIsDirectoryA(c.path.c_str()), c.folder) << c.path;
    }
    EXPECT_FALSE(PathFileExistsA(nullptr));
    EXPECT_EQ(PathWithSlashes("a\\b/c\\"), "a/b/c/");
}
