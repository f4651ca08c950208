#include "WYSCHelper/CUrlRecordList.h"

#include <gtest/gtest.h>

#include "WYSCHelper/CExactFilter.h"
#include "WYSCHelper/CRangeFilter.h"
#include "tests/WYSCHelper/RecordTesting.h"

namespace {

using wys::test::Describe;
using wys::test::MakeRecord;

CUrlRecordList ListOfTimes(std::initializer_list<std::int64_t> times)
{
    CUrlRecordList list;
    for (std::int64_t t : times)
        list.Append(MakeRecord(t, "u" + std::to_string(t), "p" + std::to_string(t)));
    return list;
}

TEST(CUrlRecordList, FindFirstReturnsLowestIndexOrNoIndex)
{
    CUrlRecordList list;
    CComBSTR url("http://a/");
    EXPECT_EQ(list.FindFirst(CExactFilter(1, url)), CUrlRecordList::kNoIndex);
    list.Append(MakeRecord(5, "http://b/", "b"));
    list.Append(MakeRecord(1, "http://a/", "first"));
    list.Append(MakeRecord(1, "http://a/", "second"));
    EXPECT_EQ(list.FindFirst(CExactFilter(1, url)), 1u);
    CComBSTR upper("HTTP://A/");
    EXPECT_EQ(list.FindFirst(CExactFilter(1, upper)), CUrlRecordList::kNoIndex);
}

TEST(CUrlRecordList, RemoveIndicesKeepsOrderOfTheRest)
{
    struct Case {
        std::vector<ULONG> remove;
        std::string left;
    };
    const Case cases[] = {
        {{}, "0 1 2 3 4 "}, {{0}, "1 2 3 4 "},     {{4}, "0 1 2 3 "},
        {{1, 3}, "0 2 4 "}, {{0, 1, 2, 3, 4}, ""}, {{2, 3, 4}, "0 1 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.remove));
        CUrlRecordList list = ListOfTimes({0, 1, 2, 3, 4});
        list.RemoveIndices(c.remove);
        std::string left;
        for (const CUrlRecord& r : list)
            left += std::to_string(r.Time) + " ";
        EXPECT_EQ(left, c.left);
        for (const CUrlRecord& r : list)
            EXPECT_EQ(wys::BstrToNarrow(r.Url), "u" + std::to_string(r.Time))
                << "strings moved with their records";
    }
}

TEST(CUrlRecordList, SelectAndCopySelectedFollowListOrder)
{
    // Not sorted by time, as after an import.
    CUrlRecordList list = ListOfTimes({300, 100, 250, 90, 200});
    CRangeFilter filter(100, 200, nullptr);
    EXPECT_EQ(list.Select(filter), (std::vector<ULONG>{1, 2, 4}));
    std::vector<CUrlRecord> copies = list.CopySelected(filter);
    ASSERT_EQ(copies.size(), 3u);
    EXPECT_EQ(copies[0].Time, 100);
    EXPECT_EQ(copies[2].Time, 200);
    EXPECT_NE(copies[0].Url, list[1].Url);
}

TEST(CUrlRecordList, RemoveAtShiftsLaterRecordsDown)
{
    CUrlRecordList list = ListOfTimes({7, 8, 9});
    list.RemoveAt(0);
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(list[0].Time, 8);
    EXPECT_EQ(Describe(list), "8 'u8' 'p8' null; 9 'u9' 'p9' null; ");
}

}  // namespace
