#include "hosts/history/HistoryCommand.h"

#include <gtest/gtest.h>

#include "common/LocalTime.h"
#include "hosts/history/HistoryText.h"

using namespace wys::history;

namespace {

ParsedHistoryCommand Parse(std::vector<std::string> args)
{
    return ParseHistoryCommand(args);
}

}  // namespace

TEST(HistoryCommand, RefusesWhatItCannotRun)
{
    struct Case {
        std::vector<std::string> args;
        const char* errorPart;
    };
    const Case cases[] = {
        {{}, "no command"},
        {{"lst"}, "unknown command \"lst\""},
        {{"count", "extra"}, "wrong number of arguments for count"},
        {{"find", "1700000000"}, "wrong number"},
        {{"find", "yesterday", "http://a/"}, "bad TIME \"yesterday\""},
        {{"remove-range", "2024-01-02", "2024-01-01"}, "TO comes before FROM"},
        {{"remove-range", "2024-01-01", "2024-13-01"}, "bad TO"},
        {{"list", "2024-02-30"}, "bad FROM"},
        {{"list", "2024-01-01 25:00"}, "bad FROM"},
        {{"export", ""}, "file name is empty"},
        {{"export-paths", "out.hef"}, "wrong number"},
        {{"set", "history-range", "-5"}, "at least 0"},
        {{"set", "history-range", "15w"}, "history-range"},
        {{"set", "history-range", "99999999999999999d"}, "history-range"},
        {{"set", "collect-history", "maybe"}, "on or off"},
        {{"set", "colour", "red"}, "unknown setting \"colour\""},
        {{"set", "base-directory", ""}, "needs a folder"},
    };
    for (const Case& c : cases) {
        auto parsed = Parse(c.args);
        std::string shown;
        for (const auto& a : c.args)
            shown += "[" + a + "]";
        EXPECT_FALSE(parsed.command) << shown;
        EXPECT_NE(parsed.error.find(c.errorPart), std::string::npos) << shown << ": " << parsed.error;
    }
}

TEST(HistoryCommand, ReadsTheArgumentsOfEachCommand)
{
    auto list = Parse({"list", "100", "2000"});
    ASSERT_TRUE(list.command);
    EXPECT_EQ(list.command->verb, HistoryVerb::List);
    EXPECT_EQ(list.command->from, 100);
    EXPECT_EQ(list.command->to, 2000);
    EXPECT_FALSE(Parse({"list"}).command->from);

    auto remove = Parse({"remove", "1700000000", "http://a/"});
    ASSERT_TRUE(remove.command);
    EXPECT_EQ(remove.command->verb, HistoryVerb::Remove);
    EXPECT_EQ(remove.command->from, 1700000000);
    EXPECT_EQ(remove.command->url, "http://a/");

    auto range = Parse({"export-range", "week.hef", "10", "20", "http://b/"});
    ASSERT_TRUE(range.command);
    EXPECT_EQ(range.command->file, "week.hef");
    EXPECT_EQ(range.command->from, 10);
    EXPECT_EQ(range.command->to, 20);
    EXPECT_EQ(range.command->url, "http://b/");
    EXPECT_FALSE(Parse({"remove-range", "10", "20"}).command->url) << "no URL: every URL";

    auto paths = Parse({"export-paths", "x.hef", "a/1.htm", "b/2.htm"});
    ASSERT_TRUE(paths.command);
    EXPECT_EQ(paths.command->paths, (std::vector<std::string>{"a/1.htm", "b/2.htm"}));

    auto range15 = Parse({"set", "history-range", "15d"});
    ASSERT_TRUE(range15.command);
    EXPECT_EQ(range15.command->setting, HistorySetting::HistoryRange);
    EXPECT_EQ(range15.command->seconds, 1296000);
    auto off = Parse({"set", "titled-file-names", "OFF"});
    ASSERT_TRUE(off.command);
    EXPECT_EQ(off.command->setting, HistorySetting::TitledFileNames);
    EXPECT_FALSE(off.command->flag);

    for (auto args : {std::vector<std::string>{"--help"}, {"-h"}, {"list", "--help"}})
        EXPECT_EQ(Parse(args).command->verb, HistoryVerb::Help);
}

TEST(HistoryText, TimesReadAndWriteInLocalTime)
{
    // The tests run with TZ=UTC.
    EXPECT_EQ(ParseTime("1700000000"), 1700000000);
    EXPECT_EQ(ParseTime("-5"), -5);
    EXPECT_EQ(ParseTime("2023-11-14"), 1699920000);
    EXPECT_EQ(ParseTime("2023-11-14 22:13"), 1700000000 - 20);
    EXPECT_EQ(ParseTime("2023-11-14T22:13:20"), 1700000000);
    for (const char* bad : {"", "2023-11-14 22", "2023-11-14 22:13:2", "2023/11/14", "2023-11-31",
                            "2023-00-10", "2023-11-14 22:60", "12x", "2023-11-14  22:13"})
        EXPECT_FALSE(ParseTime(bad)) << bad;
    EXPECT_EQ(FormatTime(1700000000), "2023-11-14 22:13:20");
    EXPECT_EQ(ParseTime(FormatTime(1069941909)), 1069941909);
}

TEST(HistoryText, SpansSwitchesAndFields)
{
    EXPECT_EQ(ParseSpan("0"), 0);
    EXPECT_EQ(ParseSpan("90"), 90);
    EXPECT_EQ(ParseSpan("90s"), 90);
    EXPECT_EQ(ParseSpan("2m"), 120);
    EXPECT_EQ(ParseSpan("3h"), 10800);
    EXPECT_FALSE(ParseSpan("d"));
    EXPECT_FALSE(ParseSpan("1.5d"));
    EXPECT_EQ(ParseSwitch("Yes"), true);
    EXPECT_EQ(ParseSwitch("0"), false);
    EXPECT_FALSE(ParseSwitch("2"));
    // Each visit stays on its line and each field between its tabs.
    EXPECT_EQ(Field("a\tb\nc\r\x7f"), "a\\x09b\\x0ac\\x0d\\x7f");
    EXPECT_EQ(Field("Über C:\\page"), "Über C:\\page");
}
