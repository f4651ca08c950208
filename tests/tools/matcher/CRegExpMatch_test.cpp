// Matching: each syntax element at work, positions of the match and its
// groups, case rules, texts of every shape, and stopping a match.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "Wayscribe/tools/matcher/CRegExp.h"

namespace {

std::string Position(std::size_t at)
{
    return at == CRegExpMatch::kNoPosition ? "?" : std::to_string(at);
}

// "no", or the match as "start-end" followed by each group as " start-end"
// ("?" where nothing was recorded). Both strategies must agree.
std::string Matched(const char* expression, std::string_view text, RegExpCase mode = RegExpCase::Sensitive)
{
    CRegExp re;
    if (RegExpParseError error = re.Parse(expression, mode); error != RegExpParseError::ParseOk)
        return std::string("error ") + RegExpParseErrorName(error);
    std::string results[2];
    for (RegExpStrategy strategy : {RegExpStrategy::Fast, RegExpStrategy::Plain}) {
        CRegExpMatch context;
        context.SetStrategy(strategy);
        std::string& result = results[strategy == RegExpStrategy::Plain];
        if (!re.Match(text, context)) {
            result = "no";
            continue;
        }
        result = Position(context.Whole().start) + "-" + Position(context.Whole().end);
        for (std::uint32_t g = 0; g < context.GroupCount(); ++g)
            result += " " + Position(context.Group(g).start) + "-" + Position(context.Group(g).end);
    }
    if (results[0] != results[1])
        return "fast " + results[0] + " but plain " + results[1];
    return results[0];
}

struct Case {
    const char* expression;
    std::string_view text;
    const char* result;
};

void Check(const Case* begin, const Case* end, RegExpCase mode = RegExpCase::Sensitive)
{
    for (const Case* c = begin; c != end; ++c) {
        EXPECT_EQ(Matched(c->expression, c->text, mode), c->result)
            << "expression " << testing::PrintToString(std::string(c->expression)) << " text "
            << testing::PrintToString(std::string(c->text));
    }
}

}  // namespace

TEST(CRegExpMatch, MatchesEachAtom)
{
    static const Case cases[] = {
        {"", "", "0-0"},
        {"", "abc", "0-0"},
        {"abc", "xxabcxx", "2-5"},
        {"abc", "ab", "no"},
        {".", "", "no"},
        {"a.c",
         "a\xFF"
         "c",
         "0-3"},
        {"[a-c]+", "xxbcaz", "2-5"},
        {"[^a-c]", "abcd", "3-4"},
        {"[^a]", "a", "no"},  // the end of text is never in a set, negated or not
        {"[-a]", "x-", "1-2"},
        {"[\\]]", "a]", "1-2"},
        {"[\\t]", "a\tb", "1-2"},
        {"\\.", "ab.", "2-3"},
        {"\\t", "\tt", "1-2"},
        {"(ab)", "xab", "1-3"},
        {"{a}{b}", "ab", "0-2 0-1 1-2"},
        {"{a}|{b}", "b", "0-1 ?-? 0-1"},
        {"{a+}{b*}c", "xaabbc", "1-6 1-3 3-5"},
        {"{}", "x", "0-0 0-0"},
        {"*a", "*a", "0-2"},
        {"a^b$c", "a^b$c", "0-5"},
        {"a\\", "a\\", "0-2"},
        {"!", "a!", "1-2"},
    };
    Check(std::begin(cases), std::end(cases));
}

TEST(CRegExpMatch, MatchesQuantifiersAndAlternation)
{
    static const Case cases[] = {
        {"a*", "aab", "0-2"},
        {"a*", "b", "0-0"},
        {"ba*", "baaa", "0-4"},
        {"ba+", "b", "no"},
        {"ba?a", "baa", "0-3"},
        {"ba*?", "baaa", "0-1"},
        {"ba+?", "baaa", "0-2"},
        {"ba??", "baa", "0-1"},
        {"a**", "aa*", "0-3"},
        {"{a*}a", "aaa", "0-3 0-2"},   // greedy: backs off one iteration
        {"{a*?}a", "aaa", "0-1 0-0"},  // lazy: goes on first
        {"ab|cd", "abd", "0-3"},
        {"ab|cd", "acd", "0-3"},
        {"ab|cd", "ab", "no"},
        {"(ab)|(cd)", "xcd", "1-3"},
        {"{a|ab}c", "abc", "0-3 0-2"},  // the left side is tried first
        {"x(a|b|c)+y", "xcbay", "0-5"},
        // A lazy repetition adds its iteration where the repetition stood,
        // not where the rest failed, so the match keeps its early start.
        {"a*?ab", "aab", "0-3"},
        {".*?ab", "aab", "0-3"},
        {"^d??bz", "bdbz", "no"},
        {"a.??bz", "abxbz", "no"},
        {"a.??bz", "axbz", "0-4"},
        // An iteration that consumes nothing ends a lazy repetition too.
        {"()*?bc", "bdbc", "2-4"},
        {"(!a)*?bc", "bdbc", "2-4"},
        // Backtracking into an earlier iteration compares with that
        // iteration's own start, so an empty one never restarts the loop.
        {"(a|!c)*d", "axd", "2-3"},
        {"(a|!c)*?d", "axd", "2-3"},
        // An iteration that consumes nothing ends the repetition.
        {"{(!b)*}a", "a", "0-1 0-0"},
        {"()*a", "a", "0-1"},
    };
    Check(std::begin(cases), std::end(cases));
}

TEST(CRegExpMatch, AnchorsAtBothEnds)
{
    // "$" does not match "a": no attempt starts at the end of a non-empty text.
    static const Case cases[] = {
        {"^abc", "abcd", "0-3"}, {"^abc", "xabc", "no"}, {"abc", "xabc", "1-4"}, {"^", "", "0-0"},
        {"^", "abc", "0-0"},     {"$", "", "0-0"},       {"$", "a", "no"},       {"a$", "ba", "1-2"},
        {"a$", "ab", "no"},      {"^a$", "a", "0-1"},    {"^$", "", "0-0"},      {"^$", "a", "no"},
        {"a|$", "b", "no"},      {"b|$", "ab", "1-2"},   {"a*$", "baa", "1-3"},  {"x!$", "xa", "0-1"},
        {"x!$", "x", "no"},      {")abc", "zzz", "0-0"},
    };
    Check(std::begin(cases), std::end(cases));
}

TEST(CRegExpMatch, MatchesNegationAndBackReferences)
{
    static const Case cases[] = {
        {"a!b", "ac", "0-1"},
        {"a!b", "a", "0-1"},
        {"a!b", "ab", "no"},
        {"a!b", "abac", "2-3"},
        {"!ab", "ab", "1-2"},
        {"!(ab)a", "abac", "2-3"},
        {"!!a.", "ba", "1-2"},  // a double negation is a zero-width look
        {"{a}\\0", "aa", "0-2 0-1"},
        {"{a}\\0", "ab", "no"},
        {"{a|b}\\0", "abb", "1-3 1-2"},
        {"{a*}b\\0", "aabaa", "0-5 0-2"},
        {"\\0{a}", "a", "error InvalidGroup"},
        {"({a}|b)\\0", "b", "0-1 ?-?"},  // nothing captured: the empty text
        {"{a\\0}", "a", "0-1 0-1"},      // still open: the empty text
        // A negation whose operand matched fails without undoing the
        // operand's captures; the next alternative sees them.
        {"(!{a}|.)\\0", "aa", "0-2 0-1"},
        {"{a}{b}\\1\\0", "abba", "0-4 0-1 1-2"},
        {"{x}{a}{b}{c}{d}{e}{f}{g}{h}{i}{j}{k}{l}\\12", "xabcdefghijkll",
         "0-14 0-1 1-2 2-3 3-4 4-5 5-6 6-7 7-8 8-9 9-10 10-11 11-12 12-13"},
    };
    Check(std::begin(cases), std::end(cases));
}

TEST(CRegExpMatch, MatchesAbbreviations)
{
    static const Case cases[] = {
        {"\\a+", "-x9Z-", "1-4"},       {"\\b", "a\tb", "1-2"},           {"\\b", "a b", "1-2"},
        {"\\c+", "9abC9", "1-4"},       {"\\d+", "ab123c", "2-5"},        {"\\h+", "xx0fAgz", "2-5"},
        {"\\n", "a\r\nb", "1-2"},   // a carriage return alone comes first
        {"\\nb", "a\r\nb", "1-4"},  // then one followed by a line feed
        {"\\n", "a\nb", "1-2"},         {"\\q", "say \"hi\" now", "4-8"}, {"\\q", "say 'hi' now", "4-8"},
        {"\\q", "say \"hi' now", "no"}, {"\\q", "\"\"", "0-2"},           {"\\w", "12 word!", "3-7"},
        {"\\z", "ab 0042 c", "3-7"},    {"\\d*x", "12x", "0-3"},
    };
    Check(std::begin(cases), std::end(cases));
}

TEST(CRegExpMatch, IgnoresCaseOnlyForAToZ)
{
    static const Case cases[] = {
        {"abc", "xABcx", "1-4"},
        {"ABC", "xabcx", "1-4"},
        {"[A-C]+", "xAbCx", "1-4"},
        {"[^a-c]", "ABCD", "3-4"},
        {"\\A+", "-Xy9-", "1-4"},
        {"{ab}\\0", "abAB", "0-4 0-2"},
        {"{AB}\\0", "aBAb", "0-4 0-2"},
        {"\xC9", "\xE9", "no"},  // bytes above 127 keep their case
        {"\xE9", "\xE9", "0-1"},
        {"[\xC0-\xDE]", "\xE9\xC9", "1-2"},
        {"@", "`", "no"},  // one bit apart but not letters
        {"[", "[", "error BracketExpected"},
    };
    Check(std::begin(cases), std::end(cases), RegExpCase::Insensitive);
    EXPECT_EQ(Matched("abc", "ABC"), "no");
}

TEST(CRegExpMatch, ComparesBytesUnsigned)
{
    static const Case cases[] = {
        {"[\x80-\xFF]", "a\x80", "1-2"},     {"[\x80-\xFF]+", "a\xC3\xA9z", "1-3"},
        {"[^\x80-\xFF]", "\xFF\x7F", "1-2"}, {"[\x01-\x7F]", "\xFF\x7F", "1-2"},
        {"[a-\xFF]", "\xFF", "0-1"},         {"\xFF", "a\xFF", "1-2"},
        {"\xFF+", "\xFF\xFF", "0-2"},        {".", "\x80", "0-1"},
    };
    Check(std::begin(cases), std::end(cases));
}

TEST(CRegExpMatch, PositionsAreOnTheCallersText)
{
    for (RegExpStrategy strategy : {RegExpStrategy::Fast, RegExpStrategy::Plain}) {
        CRegExp re;
        ASSERT_EQ(re.Parse("B{C+}D", RegExpCase::Insensitive), RegExpParseError::ParseOk);
        CRegExpMatch context;
        context.SetStrategy(strategy);
        const char text[] = "aaBcCdee";
        const char* end = nullptr;
        ASSERT_TRUE(re.Match(text, context, &end));
        EXPECT_EQ(end, text + 6);
        const char* start = nullptr;
        const char* stop = nullptr;
        context.GetMatch(&start, &stop);
        EXPECT_EQ(start, text + 2);
        EXPECT_EQ(stop, text + 6);
        context.GetGroup(0, &start, &stop);
        EXPECT_EQ(start, text + 3);
        EXPECT_EQ(stop, text + 5);
        context.GetGroup(1, &start, &stop);
        EXPECT_EQ(start, nullptr);
        EXPECT_FALSE(re.Match("xyz", context, &end));
        EXPECT_EQ(end, nullptr);
    }
}

TEST(CRegExpMatch, ReusesOneContextForManyTexts)
{
    CRegExp re;
    ASSERT_EQ(re.Parse("{a}|{b}"), RegExpParseError::ParseOk);
    CRegExpMatch context;
    ASSERT_TRUE(re.Match("a", context));
    EXPECT_EQ(context.Group(0), (CRegExpMatch::Span{0, 1}));
    // Groups are cleared before each match: nothing of the first text remains.
    ASSERT_TRUE(re.Match("xb", context));
    EXPECT_EQ(context.Group(0), CRegExpMatch::Span{});
    EXPECT_EQ(context.Group(1), (CRegExpMatch::Span{1, 2}));
    EXPECT_FALSE(re.Match("xyz", context));
    EXPECT_EQ(context.Outcome(), RegExpOutcome::NoMatch);
    EXPECT_EQ(context.Whole().start, 2u);  // the last attempt
    EXPECT_EQ(context.Whole().end, CRegExpMatch::kNoPosition);
}

TEST(CRegExpMatch, TextEndsAtItsFirstNul)
{
    CRegExp re;
    ASSERT_EQ(re.Parse("b"), RegExpParseError::ParseOk);
    CRegExpMatch context;
    EXPECT_FALSE(re.Match(std::string_view("a\0b", 3), context));
    std::string nuls(4096, '\0');
    EXPECT_FALSE(re.Match(std::string_view(nuls), context));
    ASSERT_EQ(re.Parse("$"), RegExpParseError::ParseOk);
    EXPECT_TRUE(re.Match(std::string_view(nuls), context));
    EXPECT_TRUE(re.Match(std::string_view("\0a", 2), context));
    EXPECT_TRUE(re.Match(std::string_view(), context));
    ASSERT_EQ(re.Parse("a$"), RegExpParseError::ParseOk);
    EXPECT_TRUE(re.Match(std::string_view("xa\0b", 4), context));
    EXPECT_FALSE(re.Match(static_cast<const char*>(nullptr), context));
}

TEST(CRegExpMatch, NoProgramNoMatch)
{
    CRegExp re;
    CRegExpMatch context;
    EXPECT_FALSE(re.Match("abc", context));
    EXPECT_EQ(context.Outcome(), RegExpOutcome::NoMatch);
}

TEST(CRegExpMatch, StopsFromAnotherThread)
{
    // Nested repetitions over a long run of "a" with no "b" backtrack for ever.
    CRegExp re;
    ASSERT_EQ(re.Parse("(a+)+[bc]"), RegExpParseError::ParseOk);
    std::string text(64, 'a');
    std::atomic<bool> stop{false};
    CRegExpMatch context;
    context.SetStopFlag(&stop);
    auto started = std::chrono::steady_clock::now();
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stop = true;
    });
    bool matched = re.Match(text.c_str(), context);
    auto took = std::chrono::steady_clock::now() - started;
    stopper.join();
    EXPECT_FALSE(matched);
    EXPECT_EQ(context.Outcome(), RegExpOutcome::Stopped);
    EXPECT_LT(took, std::chrono::seconds(5));
    // A raised flag stops the next match at once; lowered, results are as ever.
    EXPECT_FALSE(re.Match("aab", context));
    EXPECT_EQ(context.Outcome(), RegExpOutcome::Stopped);
    stop = false;
    EXPECT_TRUE(re.Match("aab", context));
    EXPECT_EQ(context.Whole(), (CRegExpMatch::Span{0, 3}));
}

TEST(CRegExpMatch, StopsAtTheInstructionLimit)
{
    CRegExp re;
    ASSERT_EQ(re.Parse("(a+)+[bc]"), RegExpParseError::ParseOk);
    CRegExpMatch context;
    context.SetInstructionLimit(100000);
    EXPECT_FALSE(re.Match(std::string(40, 'a').c_str(), context));
    EXPECT_EQ(context.Outcome(), RegExpOutcome::LimitReached);
    EXPECT_TRUE(re.Match("aaaab", context));
    EXPECT_EQ(context.Outcome(), RegExpOutcome::Match);
}

TEST(CRegExpMatch, AnswersFalseWhenTheStackCannotGrow)
{
    CRegExp re;
    ASSERT_EQ(re.Parse("a*b"), RegExpParseError::ParseOk);
    std::string text(10000, 'a');
    text += 'b';
    CRegExpMatch context(16);
    EXPECT_EQ(context.StackCapacity(), 16u);
    context.SetStackLimit(1000);
    EXPECT_FALSE(re.Match(text.c_str(), context));
    EXPECT_EQ(context.Outcome(), RegExpOutcome::OutOfMemory);
    EXPECT_LE(context.StackCapacity(), 1000u);
    // Given room, the same context finds it; its stack grows by doubling.
    context.SetStackLimit(CRegExpMatch::kDefaultStackLimit);
    EXPECT_TRUE(re.Match(text.c_str(), context));
    EXPECT_EQ(context.Whole(), (CRegExpMatch::Span{0, text.size()}));
    EXPECT_GE(context.StackCapacity(), 3 * 10000u);
    EXPECT_LT(context.StackCapacity(), 2 * 3 * 10000u + 64);
}

TEST(CRegExpMatch, HandlesTextsOfAHundredMegabytes)
{
    const std::size_t size = 100u << 20;
    std::string text;
    text.reserve(size + 64);
    const std::string chunk = "<p class=\"x\">Lorem ipsum dolor sit amet, 42 times.</p>\n";
    while (text.size() < size)
        text += chunk;
    text += "<i>Needle 7</i>";
    struct Probe {
        const char* expression;
        RegExpCase mode;
        bool matches;
        std::size_t start;
    } probes[] = {
        {"Needle", RegExpCase::Sensitive, true, text.size() - 12},
        {"nEEDLE", RegExpCase::Insensitive, true, text.size() - 12},
        {"needle [0-9]+<", RegExpCase::Insensitive, true, text.size() - 12},
        {"[NM]eedle", RegExpCase::Sensitive, true, text.size() - 12},
        {"e \\d</i>$", RegExpCase::Sensitive, true, text.size() - 7},
        {"Haystack", RegExpCase::Sensitive, false, text.size() - 1},
        {"[a-z]+stack", RegExpCase::Sensitive, false, text.size() - 1},
        {"^<p", RegExpCase::Sensitive, true, 0},
        {"$", RegExpCase::Sensitive, false, text.size() - 1},
    };
    CRegExpMatch context;
    for (const Probe& probe : probes) {
        CRegExp re;
        ASSERT_EQ(re.Parse(probe.expression, probe.mode), RegExpParseError::ParseOk);
        EXPECT_EQ(re.Match(text, context), probe.matches) << probe.expression;
        EXPECT_EQ(context.Whole().start, probe.start) << probe.expression;
    }
}
