#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include "common/LocalTime.h"

namespace {

// Sets TZ for one test and restores it afterwards.
class ZoneTest : public ::testing::Test {
protected:
    void Use(const char* zone)
    {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    void SetUp() override
    {
        const char* old = std::getenv("TZ");
        m_saved = old ? old : "";
        m_had = old != nullptr;
    }
    void TearDown() override
    {
        if (m_had)
            ::setenv("TZ", m_saved.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string m_saved;
    bool m_had = false;
};

constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";
constexpr const char* kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";

}  // namespace

TEST_F(ZoneTest, BreaksDownInEachZone)
{
    struct Case {
        const char* zone;
        std::int64_t time;
        int year, month, day, hour, isdst;
    } cases[] = {
        {"UTC0", 0, 1970, 1, 1, 0, 0},
        {kNewYork, 0, 1969, 12, 31, 19, 0},
        {kNewYork, 1720000000, 2024, 7, 3, 5, 1},  // 09:46:40 UTC in summer
        {kBerlin, 1720000000, 2024, 7, 3, 11, 1},
        {kBerlin, 1700000000, 2023, 11, 14, 23, 0},
    };
    for (const Case& c : cases) {
        Use(c.zone);
        std::tm tm{};
        ASSERT_TRUE(wys::BreakDownLocalTime(c.time, &tm)) << c.zone << " " << c.time;
        EXPECT_EQ(tm.tm_year + 1900, c.year) << c.zone << " " << c.time;
        EXPECT_EQ(tm.tm_mon + 1, c.month) << c.zone << " " << c.time;
        EXPECT_EQ(tm.tm_mday, c.day) << c.zone << " " << c.time;
        EXPECT_EQ(tm.tm_hour, c.hour) << c.zone << " " << c.time;
        EXPECT_EQ(tm.tm_isdst, c.isdst) << c.zone << " " << c.time;
    }
}

TEST_F(ZoneTest, ComposesAcrossDaylightSavingChanges)
{
    Use(kNewYork);
    // Spring forward on 2024-03-10: that day has 23 hours.
    std::int64_t march10 = wys::ComposeLocalTime(2024, 3, 10);
    std::int64_t march11 = wys::ComposeLocalTime(2024, 3, 11);
    EXPECT_EQ(march10, 1710046800);
    EXPECT_EQ(march11 - march10, 23 * 3600);
    EXPECT_EQ(wys::LocalDayStart(march10 + 20 * 3600), march10);

    Use(kBerlin);
    // Fall back on 2024-10-27: that day has 25 hours.
    std::int64_t oct27 = wys::ComposeLocalTime(2024, 10, 27);
    std::int64_t oct28 = wys::ComposeLocalTime(2024, 10, 28);
    EXPECT_EQ(oct27, 1729980000);
    EXPECT_EQ(oct28 - oct27, 25 * 3600);
    // Out-of-range fields are normalised.
    EXPECT_EQ(wys::ComposeLocalTime(2024, 10, 32), wys::ComposeLocalTime(2024, 11, 1));
    // 12:00 plus a time of day, as the export range adds it.
    EXPECT_EQ(wys::ComposeLocalTime(2024, 10, 27, 23, 59, 59) - oct27, 25 * 3600 - 1);
}

TEST_F(ZoneTest, FormatsEveryFormUsed)
{
    Use("UTC0");
    const std::int64_t t = 795184889;      // 1995-03-14 12:41:29 UTC, a Tuesday
    const std::int64_t early = 794400000;  // 1995-03-05 10:40:00 UTC, a Sunday
    struct Case {
        const char* format;
        std::int64_t time;
        const char* text;
    } cases[] = {
        {"%B", t, "March"},
        {"%b", t, "Mar"},
        {"%d", early, "05"},
        {"%#d", early, "5"},
        {"%X", t, "12:41:29"},
        {"%#c", t, "Tuesday, March 14, 1995, 12:41:29"},
        {"%#c", early, "Sunday, March 5, 1995, 10:40:00"},
        {"%c", t, "03/14/95 12:41:29"},
        {"%A, %B %d, %Y", early, "Sunday, March 05, 1995"},
        {"%B, %Y", t, "March, 1995"},
        {"%#H:%#M", early, "10:40"},
        {"100%%", t, "100%"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(wys::FormatLocalTime(c.format, c.time), c.text) << c.format;

    Use(kBerlin);
    EXPECT_EQ(wys::FormatLocalTime("%X", t), "13:41:29");
}

TEST_F(ZoneTest, TimesThatCannotBeBrokenDownGiveEmptyText)
{
    Use("UTC0");
    std::tm tm{};
    tm.tm_year = 77;
    EXPECT_FALSE(wys::BreakDownLocalTime(std::numeric_limits<std::int64_t>::max(), &tm));
    EXPECT_EQ(tm.tm_year, 77) << "left untouched";
    EXPECT_EQ(wys::FormatLocalTime("%B", std::numeric_limits<std::int64_t>::max()), "");
    EXPECT_EQ(wys::LocalDayStart(std::numeric_limits<std::int64_t>::min()), -1);
    // A result longer than the caller's buffer gives "".
    EXPECT_EQ(wys::FormatLocalTime("%B %B %B", 0, 10), "");
    EXPECT_EQ(wys::FormatLocalTime("%B", 0, 10), "January");
}
