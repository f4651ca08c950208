#include <gtest/gtest.h>

#include "Wayscribe/tools/dialogs/CKeepTime.h"

namespace {

TEST(CKeepTime, SplitsAndComposesTheKeepTime)
{
    struct Case {
        std::int64_t seconds;
        CKeepTime parts;
    };
    const Case cases[] = {
        {0, {0, 0, 0, 0}},          {86400, {1, 0, 0, 0}},
        {90061, {1, 1, 1, 1}},      {1296000, {15, 0, 0, 0}},  // the URL base's default
        {86399, {0, 23, 59, 59}},   {360LL * 86400 + 86399, {360, 23, 59, 59}},
        {-90061, {-1, -1, -1, -1}}, {INT64_MAX, {106751991167300, 15, 30, 7}},
    };
    for (const Case& c : cases) {
        const CKeepTime parts = CKeepTime::Split(c.seconds);
        EXPECT_EQ(parts, c.parts) << c.seconds << " gave " << parts.Days << " " << parts.Hours << " "
                                  << parts.Minutes << " " << parts.Seconds;
        EXPECT_EQ(parts.Compose(), c.seconds);
    }
}

TEST(CKeepTime, PartsBeyondTheirNaturalLimitsCountInFull)
{
    EXPECT_EQ((CKeepTime{0, 48, 0, 0}.Compose()), 172800);
    EXPECT_EQ((CKeepTime{1, 48, 90, 75}.Compose()), 86400 + 172800 + 5400 + 75);
    // The largest parts an edit can hold do not overflow.
    EXPECT_EQ((CKeepTime{999999999, 999999999, 999999999, 999999999}.Compose()),
              999999999LL * 86400 + 999999999LL * 3600 + 999999999LL * 60 + 999999999LL);
}

TEST(CKeepTime, PartsThatAreNotNumbersCountAsZero)
{
    struct Case {
        const char* text;
        std::int64_t value;
    };
    const Case cases[] = {
        {"0", 0},
        {"48", 48},
        {" 7 ", 7},
        {"+5", 5},
        {"-3", -3},
        {"", 0},
        {"abc", 0},
        {"12abc", 0},
        {"1 2", 0},
        {"+-5", 0},
        {"2147483647", 2147483647},
        {"2147483648", 0},
        {"99999999999", 0},
        {"-", 0},
        {"0x10", 0},
        {"1.5", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CKeepTime::ParsePart(c.text), c.value) << '"' << c.text << '"';
}

}  // namespace
