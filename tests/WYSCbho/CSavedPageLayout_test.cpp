#include "WYSCbho/CSavedPageLayout.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cstdlib>
#include <ctime>

#include "tests/support/TempHome.h"

namespace wys::capture {
namespace {

// 2003-11-27 14:05:03 UTC; the tests run with TZ=UTC.
constexpr std::int64_t kVisit = 1069941903;

TEST(CSavedPageLayout, DayFolderAndStemFollowLocalTime)
{
    EXPECT_EQ(CSavedPageLayout::DayFolder(kVisit), "2003/November/27");
    EXPECT_EQ(CSavedPageLayout::Stem(kVisit, false, "ignored"), "14h 5m 3s");
    EXPECT_EQ(CSavedPageLayout::Stem(kVisit, true, "News: today"), "News  today 14h 5m 3s");
    EXPECT_EQ(CSavedPageLayout::Stem(kVisit, true, ""), "Untitled 14h 5m 3s");

    // Visits seconds apart around local midnight land in two day folders.
    const std::int64_t midnight = 1070236800;  // 2003-12-01 00:00:00 UTC
    EXPECT_EQ(CSavedPageLayout::DayFolder(midnight - 1), "2003/November/30");
    EXPECT_EQ(CSavedPageLayout::Stem(midnight - 1, false, ""), "23h 59m 59s");
    EXPECT_EQ(CSavedPageLayout::DayFolder(midnight), "2003/December/1");
    EXPECT_EQ(CSavedPageLayout::Stem(midnight, false, ""), "0h 0m 0s");
}

TEST(CSavedPageLayout, CleanTitleReplacesEveryCharacterOfTheTable)
{
    EXPECT_EQ(CSavedPageLayout::CleanTitle(":\\*?\"><|/"), " _ _____-");
    EXPECT_EQ(CSavedPageLayout::CleanTitle("a.b, c (d) é"), "a.b, c (d) é");
    EXPECT_EQ(CSavedPageLayout::Stem(kVisit, true, "<|>"), "___ 14h 5m 3s");
}

TEST(CSavedPageLayout, PathsOfBothRoutes)
{
    CSavedPageLayout layout("/h/Collected IE History/", CSavedPageLayout::DayFolder(kVisit),
                            CSavedPageLayout::Stem(kVisit, false, ""));
    EXPECT_EQ(layout.PageFile(), "/h/Collected IE History/2003/November/27/14h 5m 3s.htm");
    EXPECT_EQ(layout.ArchiveFile(), "/h/Collected IE History/2003/November/27/14h 5m 3s.mht");
    EXPECT_EQ(layout.ResourceFolder(), "/h/Collected IE History/2003/November/27/14h 5m 3s_files");
    EXPECT_EQ(layout.PagePath(), "2003/November/27/14h 5m 3s.htm");
    EXPECT_EQ(layout.ArchivePath(), "2003/November/27/14h 5m 3s.mht");
}

TEST(CSavedPageLayout, CreatesTheDayFolderWithMissingParents)
{
    wys::test::TempHome home;
    CSavedPageLayout layout(home.Path() + "/history", "2003/November/27", "14h 5m 3s");
    ASSERT_TRUE(layout.CreateDayFolder());
    ASSERT_TRUE(layout.ClaimResourceFolder());
    struct stat info {};
    ASSERT_EQ(::stat(layout.ResourceFolder().c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(layout.PagePath(), "2003/November/27/14h 5m 3s.htm");
}

TEST(CSavedPageLayout, CapturesOfOneSecondNeverShareTheirFiles)
{
    wys::test::TempHome home;
    auto layout = [&] { return CSavedPageLayout(home.Path(), "2003/November/27", "14h 5m 3s"); };
    CSavedPageLayout first = layout();
    ASSERT_TRUE(first.CreateDayFolder());
    ASSERT_TRUE(first.ClaimArchiveFile());
    EXPECT_EQ(first.ArchivePath(), "2003/November/27/14h 5m 3s.mht");

    // The archive of another page that second takes the next name; the HTML
    // route still has the plain stem, as no ".htm" or "_files" takes it.
    CSavedPageLayout second = layout();
    ASSERT_TRUE(second.ClaimArchiveFile());
    EXPECT_EQ(second.ArchivePath(), "2003/November/27/14h 5m 3s (2).mht");
    CSavedPageLayout third = layout();
    ASSERT_TRUE(third.ClaimResourceFolder());
    EXPECT_EQ(third.PagePath(), "2003/November/27/14h 5m 3s.htm");

    // A page file alone also takes the stem.
    wys::test::WriteFile(home.Path() + "/2003/November/27/14h 5m 3s (2).htm", "<p>");
    CSavedPageLayout fourth = layout();
    ASSERT_TRUE(fourth.ClaimResourceFolder());
    EXPECT_EQ(fourth.PagePath(), "2003/November/27/14h 5m 3s (3).htm");
    EXPECT_EQ(fourth.ResourceFolder(), home.Path() + "/2003/November/27/14h 5m 3s (3)_files");

    // Without a day folder nothing can be claimed, and the stem stays.
    CSavedPageLayout missing(home.Path(), "2004/May/1", "0h 0m 0s");
    EXPECT_FALSE(missing.ClaimArchiveFile());
    EXPECT_FALSE(missing.ClaimResourceFolder());
    EXPECT_EQ(missing.StemName(), "0h 0m 0s");
}

}  // namespace
}  // namespace wys::capture
