#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "WYSCHelper/CExactFilter.h"
#include "WYSCHelper/CPathSetFilter.h"
#include "WYSCHelper/CRangeFilter.h"
#include "platform/com/Bstr.h"

namespace {

using namespace std::string_literals;
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// A string argument: null, or the given characters (embedded NULs kept).
struct Text {
    bool null = false;
    std::u16string chars;
    BSTR Make() const
    {
        return null ? nullptr : SysAllocStringLen(chars.data(), static_cast<UINT>(chars.size()));
    }
};
const Text kNull{true, u""};

CUrlRecord Record(std::int64_t time, const Text& url, const Text& path = kNull)
{
    CUrlRecord record;
    record.Time = time;
    record.AttachUrl(url.Make());
    record.AttachPath(path.Make());
    return record;
}

TEST(CExactFilter, MatchesTimeAndUrlExactly)
{
    struct Case {
        std::int64_t time;
        Text url;
        std::int64_t recordTime;
        Text recordUrl;
        bool matches;
    };
    const Case cases[] = {
        {10, {false, u"http://a/"}, 10, {false, u"http://a/"}, true},
        {10, {false, u"http://a/"}, 11, {false, u"http://a/"}, false},
        {10, {false, u"http://a/"}, 10, {false, u"HTTP://A/"}, false},
        {10, {false, u"http://a/"}, 10, {false, u"http://a"}, false},
        {10, kNull, 10, {false, u""}, true},
        {10, {false, u""}, 10, kNull, true},
        {10, kNull, 10, kNull, true},
        {10, {false, u"a\0b"s}, 10, {false, u"a\0b"s}, true},
        {10, {false, u"a\0b"s}, 10, {false, u"a"}, false},
        {10, {false, u"\u00e9"}, 10, {false, u"e\u0301"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "filter " << c.time << " '" << std::string(c.url.chars.begin(), c.url.chars.end())
                     << "' null=" << c.url.null << ", record " << c.recordTime << " '"
                     << std::string(c.recordUrl.chars.begin(), c.recordUrl.chars.end())
                     << "' null=" << c.recordUrl.null);
        CComBSTR url;
        url.Attach(c.url.Make());
        CExactFilter filter(c.time, url);
        EXPECT_EQ(filter.Matches(Record(c.recordTime, c.recordUrl)), c.matches);
    }
}

TEST(CRangeFilter, SelectsHalfOpenRangeAndOptionalUrl)
{
    const std::int64_t day = 1069891200;  // 2003-11-27 00:00:00 UTC
    struct Case {
        std::int64_t start;
        std::int64_t span;
        Text url;
        std::int64_t recordTime;
        Text recordUrl;
        bool matches;
    };
    const Case cases[] = {
        {day, 86400, kNull, day, {false, u"u"}, true},
        {day, 86400, kNull, day + 86399, {false, u"u"}, true},
        {day, 86400, kNull, day + 86400, {false, u"u"}, false},
        {day, 86400, kNull, day - 1, {false, u"u"}, false},
        {day, 86400, {false, u"u"}, day + 5, {false, u"u"}, true},
        {day, 86400, {false, u"u"}, day + 5, {false, u"U"}, false},
        {day, 86400, {false, u""}, day + 5, kNull, true},
        {day, 86400, {false, u""}, day + 5, {false, u""}, true},
        {day, 86400, {false, u""}, day + 5, {false, u"u"}, false},
        {day, 1, kNull, day, kNull, true},
        {day, 1, kNull, day + 1, kNull, false},
        {day, 0, kNull, day, kNull, false},
        {day, -5, kNull, day, kNull, false},
        {day, -5, kNull, day - 3, kNull, false},
        // A span that runs past the largest time means "from start on".
        {day, kMax, kNull, kMax - 1, kNull, true},
        {day, kMax, kNull, day - 1, kNull, false},
        {kMin, kMax, kNull, -2, kNull, true},
        {kMin, 1, kNull, kMin, kNull, true},
        // The end is the true sum, past the largest time: nothing wraps.
        {kMax, 1, kNull, kMax, kNull, true},
        {day, kMax, kNull, kMax, kNull, true},
        {kMin, kMax, kNull, -1, kNull, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "start " << c.start << " span " << c.span
                                        << " url null=" << c.url.null << " record time " << c.recordTime);
        CComBSTR url;
        url.Attach(c.url.Make());
        CRangeFilter filter(c.start, c.span, url);
        EXPECT_EQ(filter.Matches(Record(c.recordTime, c.recordUrl)), c.matches);
    }
}

TEST(CPathSetFilter, MembershipIsExactEquality)
{
    CPathSetFilter filter;
    for (const Text& member : {Text{false, u"2003/Nov/27/a.htm"}, Text{false, u"b.mht"},
                               Text{false, u"b.mht"}, Text{false, u"x\0y"s}, kNull}) {
        CComBSTR text;
        text.Attach(member.Make());
        filter.Add(text);
    }
    EXPECT_EQ(filter.Size(), 4u);  // the duplicate "b.mht" counts once
    struct Case {
        Text path;
        bool matches;
    };
    const Case cases[] = {
        {{false, u"2003/Nov/27/a.htm"}, true},
        {{false, u"2003/nov/27/a.htm"}, false},
        {{false, u"b.mht"}, true},
        {{false, u"b.mht "}, false},
        {{false, u"x\0y"s}, true},
        {{false, u"x"}, false},
        {kNull, true},
        {{false, u""}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path.chars.begin(), c.path.chars.end()) + (c.path.null ? " (null)" : ""));
        EXPECT_EQ(filter.Matches(Record(0, kNull, c.path)), c.matches);
    }
}

TEST(CPathSetFilter, EmptySetSelectsNothing)
{
    CPathSetFilter filter;
    EXPECT_FALSE(filter.Matches(Record(0, kNull, kNull)));
    EXPECT_FALSE(filter.Matches(Record(0, kNull, {false, u"a"})));
}

}  // namespace
