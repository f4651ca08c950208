#include <gtest/gtest.h>

#include <unordered_set>

#include "platform/com/Guid.h"

TEST(Guid, ParsesAndFormatsRoundTrip)
{
    constexpr GUID g = MakeGuid("{9F1366DD-E157-4962-84F5-57066BB8506A}");
    EXPECT_EQ(g.Data1, 0x9F1366DDu);
    EXPECT_EQ(g.Data2, 0xE157);
    EXPECT_EQ(g.Data3, 0x4962);
    EXPECT_EQ(g.Data4[0], 0x84);
    EXPECT_EQ(g.Data4[7], 0x6A);
    EXPECT_EQ(GuidToString(g), "{9F1366DD-E157-4962-84F5-57066BB8506A}");
    auto lower = GuidFromString("9f1366dd-e157-4962-84f5-57066bb8506a");
    ASSERT_TRUE(lower);
    EXPECT_EQ(*lower, g);
}

TEST(Guid, RejectsMalformedText)
{
    const char* bad[] = {
        "",
        "{}",
        "{9F1366DD-E157-4962-84F5-57066BB8506A",
        "9F1366DD-E157-4962-84F5-57066BB8506A}",
        "{9F1366DD-E157-4962-84F5-57066BB8506AA}",
        "{9F1366DDE157-4962-84F5-57066BB8506A0}",
        "{9F1366DD-E157-4962-84F5-57066BB8506G}",
        "{9F1366DD_E157-4962-84F5-57066BB8506A}",
        "(9F1366DD-E157-4962-84F5-57066BB8506A)",
        "{9F1366DD-E157-4962-84F5-57066BB850 A}",
    };
    for (const char* text : bad)
        EXPECT_FALSE(GuidFromString(text)) << text;
}

TEST(Guid, OrdersAndHashesConsistently)
{
    GUID a = MakeGuid("{00000000-0000-0000-C000-000000000046}");
    GUID b = MakeGuid("{00000000-0000-0000-C000-000000000047}");
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_FALSE(a < a);
    std::unordered_set<GUID> set{a, b, a};
    EXPECT_EQ(set.size(), 2u);
    EXPECT_NE(a, b);
}
