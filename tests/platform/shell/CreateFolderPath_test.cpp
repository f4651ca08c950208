#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/shell/CreateFolderPath.h"
#include "tests/support/TempHome.h"

namespace {

class CreateFolderPathTest : public wys::test::TempHomeTest {
protected:
    std::string Root() const { return m_home.Path() + "/h"; }
};

}  // namespace

TEST_F(CreateFolderPathTest, CreatesEveryMissingPrefix)
{
    const std::string root = Root();
    struct Case {
        std::string path;   // relative to the root, as passed after it
        std::string check;  // the folder that must exist afterwards
    } cases[] = {
        {"/2003/November/27", "/2003/November/27"},
        {"/2003/November/27", "/2003/November/27"},  // all there already
        {"\\2004\\January\\3\\14h 5m 3s_files", "/2004/January/3/14h 5m 3s_files"},
        {"//a///b/", "/a/b"},
        {"/x/./y/../z", "/x/z"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(CreateFolderPath((root + c.path).c_str())) << c.path;
        EXPECT_TRUE(std::filesystem::is_directory(root + c.check)) << c.path;
    }
    EXPECT_FALSE(CreateFolderPath(""));
    EXPECT_FALSE(CreateFolderPath(nullptr));
}

TEST_F(CreateFolderPathTest, FirstFailureEndsTheWalk)
{
    const std::string root = Root();
    wys::test::WriteFile(root + "/2003/November", "a file in the way");
    EXPECT_FALSE(CreateFolderPath((root + "/2003/November/27/deeper").c_str()));
    EXPECT_TRUE(std::filesystem::is_regular_file(root + "/2003/November"));
    EXPECT_EQ(wys::test::ReadFile(root + "/2003/November"), "a file in the way");

    // A folder that cannot be written: creation below it fails, nothing later is tried.
    std::filesystem::create_directories(root + "/locked");
    ::chmod((root + "/locked").c_str(), 0500);
    const bool created = CreateFolderPath((root + "/locked/a/b").c_str());
    const bool madeA = std::filesystem::exists(root + "/locked/a");
    ::chmod((root + "/locked").c_str(), 0700);
    if (::geteuid() != 0) {  // permissions do not stop root
        EXPECT_FALSE(created);
        EXPECT_FALSE(madeA);
    }
}

TEST_F(CreateFolderPathTest, RelativePathsStartAtTheCurrentFolder)
{
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::create_directories(Root());
    std::filesystem::current_path(Root());
    const bool created = CreateFolderPath("rel/one/two");
    std::filesystem::current_path(before);
    EXPECT_TRUE(created);
    EXPECT_TRUE(std::filesystem::is_directory(Root() + "/rel/one/two"));
}

TEST_F(CreateFolderPathTest, WritersMakingTheSameFoldersAtOnceAllSucceed)
{
    // Captures finishing together make the same new month and day folders.
    for (int round = 0; round < 50; ++round) {
        const std::string path = Root() + "/" + std::to_string(round) + "/December/10/a/b";
        std::vector<std::thread> writers;
        std::vector<int> created(8, 0);
        for (std::size_t i = 0; i < created.size(); ++i)
            writers.emplace_back([&, i] { created[i] = CreateFolderPath(path.c_str()) ? 1 : 0; });
        for (std::thread& writer : writers)
            writer.join();
        for (std::size_t i = 0; i < created.size(); ++i)
            ASSERT_EQ(created[i], 1) << "writer " << i << " of round " << round;
    }
}
