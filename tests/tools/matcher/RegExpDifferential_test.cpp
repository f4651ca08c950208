// CRegExp against the independent reference interpreter, and the fast
// strategy against the plain one, on random expressions and texts.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Wayscribe/tools/matcher/CRegExp.h"
#include "tests/tools/matcher/RegExpReference.h"

using wys::test::ReferenceRegExp;

namespace {

// Sanitizer builds run unoptimised and several times slower; they get a
// quarter of the rounds, which still compares thousands of matches.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kScale = 4;
#else
constexpr int kScale = 1;
#endif

class Generator {
public:
    explicit Generator(std::uint32_t seed) : m_random(seed) {}

    std::size_t Below(std::size_t n)
    {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_random);
    }
    bool Chance(std::size_t inN) { return Below(inN) == 0; }

    // Pieces of syntax strung together at random: mostly malformed.
    std::string Soup()
    {
        static const char* const pieces[] = {
            "a",  "b",  "c",  "A",   "\xE9", ".",    "[ab]",  "[^a]",  "[a-c]", "[",
            "]",  "(",  ")",  "{",   "}",    "|",    "*",     "+",     "?",     "*?",
            "+?", "??", "!",  "\\0", "\\1",  "\\d",  "\\w",   "\\q",   "\\n",   "\\a",
            "^",  "$",  "\\", "-",   "\\.",  "[-a]", "[\\]]", "[B-a]", "\\t",   "[\\t]",
        };
        std::string expression;
        for (std::size_t n = Below(10); n > 0; --n)
            expression += pieces[Below(std::size(pieces))];
        return expression;
    }

    // A mostly well-formed expression grown from the grammar.
    std::string Grown()
    {
        m_groups = 0;
        std::string expression = Chance(6) ? "^" : "";
        expression += Sequence(0);
        if (Chance(6))
            expression += "$";
        return expression;
    }

    std::string Text()
    {
        static const char alphabet[] = "aaabbbcAB\xE9 \r\n\"'-0";
        std::string text;
        for (std::size_t n = Below(13); n > 0; --n)
            text += alphabet[Below(sizeof alphabet - 1)];
        return text;
    }

private:
    std::string Sequence(int depth)
    {
        std::string sequence;
        for (std::size_t n = 1 + Below(depth ? 3 : 4); n > 0; --n) {
            sequence += Quantified(depth);
            if (Chance(5))
                sequence += "|" + Quantified(depth);
        }
        return sequence;
    }

    std::string Quantified(int depth)
    {
        static const char* const quantifiers[] = {"*", "+", "?", "*?", "+?", "??"};
        std::string atom = Atom(depth);
        if (Chance(3))
            atom += quantifiers[Below(std::size(quantifiers))];
        return atom;
    }

    std::string Atom(int depth)
    {
        static const char* const leaves[] = {
            "a",   "b",   "c",   "ab",  ".", "[ab]", "[^b]", "[a-c]", "\\d",
            "\\w", "\\q", "\\n", "\\b", "A", "\xE9", "\\.",  "-",     "'",
        };
        std::size_t choice = depth >= 3 ? 0 : Below(10);
        switch (choice) {
            case 1:
                return "(" + Sequence(depth + 1) + ")";
            case 2: {
                ++m_groups;
                return "{" + Sequence(depth + 1) + "}";
            }
            case 3:
                return "!" + Atom(depth + 1);
            case 4:
                if (m_groups > 0)
                    return "\\" + std::to_string(Below(m_groups));
                break;
            case 5:
                return "()";
            default:
                break;
        }
        return leaves[Below(std::size(leaves))];
    }

    std::mt19937 m_random;
    std::size_t m_groups = 0;
};

std::string Describe(bool matched, std::size_t start, std::size_t end,
                     const std::vector<std::pair<std::size_t, std::size_t>>& groups)
{
    auto at = [](std::size_t p) {
        return p == static_cast<std::size_t>(-1) ? std::string("?") : std::to_string(p);
    };
    std::string text = (matched ? "match " : "no ") + at(start) + "-" + at(end);
    for (const auto& group : groups)
        text += " " + at(group.first) + "-" + at(group.second);
    return text;
}

std::string Describe(bool matched, const CRegExpMatch& context)
{
    std::vector<std::pair<std::size_t, std::size_t>> groups;
    for (std::uint32_t g = 0; g < context.GroupCount(); ++g)
        groups.emplace_back(context.Group(g).start, context.Group(g).end);
    return Describe(matched, context.Whole().start, context.Whole().end, groups);
}

std::string Describe(ReferenceRegExp::Answer answer, const ReferenceRegExp& reference)
{
    std::vector<std::pair<std::size_t, std::size_t>> groups;
    for (const auto& group : reference.Groups())
        groups.emplace_back(group.start, group.end);
    return Describe(answer == ReferenceRegExp::Answer::Match, reference.Whole().start, reference.Whole().end,
                    groups);
}

// Runs one expression on the texts with CRegExp (both strategies) and the
// reference; counts the matches compared.
void Compare(const std::string& expression, RegExpCase mode, const std::vector<std::string>& texts,
             int& compared, int& parsed)
{
    CRegExp re;
    ReferenceRegExp reference;
    RegExpParseError error = re.Parse(expression.c_str(), mode);
    int expected = reference.Parse(expression, mode == RegExpCase::Insensitive);
    std::string where = "expression " + testing::PrintToString(expression) +
                        (mode == RegExpCase::Insensitive ? " ignoring case" : "");
    if (error == RegExpParseError::TooDeep || error == RegExpParseError::OutOfMemory)
        return;
    ASSERT_EQ(static_cast<int>(error), expected) << where << " gave " << RegExpParseErrorName(error);
    if (error != RegExpParseError::ParseOk)
        return;
    ++parsed;
    CRegExpMatch plain;
    plain.SetStrategy(RegExpStrategy::Plain);
    plain.SetInstructionLimit(1 << 17);
    CRegExpMatch fast;
    fast.SetInstructionLimit(1 << 17);
    for (const std::string& text : texts) {
        ReferenceRegExp::Answer answer = reference.Match(text, 20000);
        bool plainMatched = re.Match(text, plain);
        bool fastMatched = re.Match(text, fast);
        // A search the reference finishes in few steps must not run the
        // machine into its limit: that would hide a runaway loop.
        if (answer != ReferenceRegExp::Answer::GaveUp && reference.Steps() < 4000) {
            ASSERT_NE(plain.Outcome(), RegExpOutcome::LimitReached)
                << where << " text " << testing::PrintToString(text);
            ASSERT_NE(fast.Outcome(), RegExpOutcome::LimitReached)
                << where << " text " << testing::PrintToString(text);
        }
        if (answer == ReferenceRegExp::Answer::GaveUp || plain.Outcome() == RegExpOutcome::LimitReached ||
            fast.Outcome() == RegExpOutcome::LimitReached)
            continue;
        ++compared;
        std::string got = Describe(plainMatched, plain);
        ASSERT_EQ(got, Describe(answer, reference)) << where << " text " << testing::PrintToString(text);
        ASSERT_EQ(Describe(fastMatched, fast), got) << where << " text " << testing::PrintToString(text);
    }
}

}  // namespace

TEST(RegExpDifferential, AgreesWithTheReferenceOnRandomExpressions)
{
    Generator generate(20240611);
    int compared = 0;
    int parsed = 0;
    for (int round = 0; round < 2000 / kScale; ++round) {
        std::string expression = generate.Chance(3) ? generate.Soup() : generate.Grown();
        std::vector<std::string> texts;
        for (int i = 0; i < 10; ++i)
            texts.push_back(generate.Text());
        for (RegExpCase mode : {RegExpCase::Sensitive, RegExpCase::Insensitive}) {
            Compare(expression, mode, texts, compared, parsed);
            if (testing::Test::HasFatalFailure())
                return;
        }
    }
    // Enough of them must be real comparisons for the test to mean anything.
    EXPECT_GT(parsed, 2500 / kScale);
    EXPECT_GT(compared, 20000 / kScale);
}

TEST(RegExpDifferential, AgreesWithTheReferenceOnRandomBytes)
{
    std::mt19937 random(7);
    auto bytes = [&random](std::size_t most) {
        std::string text(std::uniform_int_distribution<std::size_t>(0, most)(random), '\0');
        for (char& c : text)
            c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
        return text;
    };
    int compared = 0;
    int parsed = 0;
    for (int round = 0; round < 3000 / kScale; ++round) {
        std::string expression = bytes(8);
        std::vector<std::string> texts;
        for (int i = 0; i < 4; ++i)
            texts.push_back(bytes(12));
        texts.push_back(expression);  // a text that holds the expression's own bytes
        for (RegExpCase mode : {RegExpCase::Sensitive, RegExpCase::Insensitive}) {
            Compare(expression, mode, texts, compared, parsed);
            if (testing::Test::HasFatalFailure())
                return;
        }
    }
    EXPECT_GT(compared, 1000 / kScale);
}

// The fast strategy skips start positions with wide searches (sixteen bytes
// at a time, memchr), so it is checked on longer texts too, where those
// searches run through blocks and tails, and a match sits anywhere.
TEST(RegExpDifferential, FastAgreesWithPlainOnLongTexts)
{
    Generator generate(99);
    std::mt19937 random(5);
    const std::string alphabet = "aaaaabbbcAB\xE9 -";
    int compared = 0;
    for (int round = 0; round < 1000 / kScale; ++round) {
        std::string expression = generate.Chance(4) ? generate.Soup() : generate.Grown();
        std::vector<std::string> texts;
        for (int i = 0; i < 4; ++i) {
            std::string text(std::uniform_int_distribution<std::size_t>(0, 300)(random), 'a');
            for (char& c : text)
                c = alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(random)];
            // Plant the expression's own bytes somewhere, so literals are found.
            text.insert(std::uniform_int_distribution<std::size_t>(0, text.size())(random), expression);
            texts.push_back(text);
        }
        for (RegExpCase mode : {RegExpCase::Sensitive, RegExpCase::Insensitive}) {
            CRegExp re;
            if (re.Parse(expression.c_str(), mode) != RegExpParseError::ParseOk)
                continue;
            CRegExpMatch plain;
            plain.SetStrategy(RegExpStrategy::Plain);
            plain.SetInstructionLimit(1 << 18);
            CRegExpMatch fast;
            fast.SetInstructionLimit(1 << 18);
            for (const std::string& text : texts) {
                bool plainMatched = re.Match(text, plain);
                bool fastMatched = re.Match(text, fast);
                if (plain.Outcome() == RegExpOutcome::LimitReached ||
                    fast.Outcome() == RegExpOutcome::LimitReached)
                    continue;
                ++compared;
                ASSERT_EQ(Describe(fastMatched, fast), Describe(plainMatched, plain))
                    << "expression " << testing::PrintToString(expression)
                    << (mode == RegExpCase::Insensitive ? " ignoring case" : "") << " text "
                    << testing::PrintToString(text);
            }
        }
    }
    EXPECT_GT(compared, 5000 / kScale);
}
