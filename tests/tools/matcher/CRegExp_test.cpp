// Parsing and compiling: the program of small expressions, the parse error
// codes, where parsing stops, and the limits that keep any expression safe.
#include <gtest/gtest.h>

#include <string>

#include "Wayscribe/tools/matcher/CRegExp.h"
#include "tests/tools/matcher/RegExpListing.h"

using wys::test::Listing;

namespace {

std::string Compiled(const char* expression, RegExpCase mode = RegExpCase::Sensitive)
{
    CRegExp re;
    RegExpParseError error = re.Parse(expression, mode);
    if (error != RegExpParseError::ParseOk)
        return std::string("error ") + RegExpParseErrorName(error);
    return Listing(re);
}

const char* const kWhole = "Call 2; Advance; ";

}  // namespace

TEST(CRegExp, CompilesEachScheme)
{
    struct Case {
        const char* expression;
        std::string program;  // after the common "Call 2; Advance; "
    } cases[] = {
        {"", "Match"},
        {"a", "Symbol a; Match"},
        {".", "Any; Match"},
        {"ab", "Symbol a; Symbol b; Match"},
        {"a|b", "PushCharPos; Call 6; PopCharPos; Jmp 8; Symbol a; Jmp 9; Symbol b; Match"},
        {"a|b|c",
         "PushCharPos; Call 6; PopCharPos; Jmp 8; Symbol a; Jmp 15; "
         "PushCharPos; Call 12; PopCharPos; Jmp 14; Symbol b; Jmp 15; Symbol c; Match"},
        {"a*",
         "PushMemory 0; StoreCharPos 0; PushCharPos; Call 9; PopCharPos; PopMemory 0; Jmp 12; "
         "Symbol a; RetNoMatch 0; Jmp 2; Match"},
        {"a?",
         "PushMemory 0; StoreCharPos 0; PushCharPos; Call 9; PopCharPos; PopMemory 0; Jmp 11; "
         "Symbol a; RetNoMatch 0; Match"},
        {"a+",
         "Symbol a; PushMemory 0; StoreCharPos 0; PushCharPos; Call 10; PopCharPos; PopMemory 0; "
         "Jmp 13; Symbol a; RetNoMatch 0; Jmp 3; Match"},
        {"a*?",
         "PushCharPos; Call 13; PopCharPos; PushMemory 0; StoreCharPos 0; Call 10; PopMemory 0; Return; "
         "Symbol a; RetNoMatch 0; Jmp 2; Match"},
        {"a+?",
         "Symbol a; PushCharPos; Call 14; PopCharPos; PushMemory 0; StoreCharPos 0; Call 11; PopMemory 0; "
         "Return; Symbol a; RetNoMatch 0; Jmp 3; Match"},
        {"a??", "PushCharPos; Call 6; PopCharPos; Symbol a; Match"},
        {"(a)", "Call 4; Return; Symbol a; Match"},
        {"()", "Call 4; Return; Nop; Match"},
        {"{a}", "PushGroup 0; GroupStart 0; Call 7; PopGroup 0; Return; Symbol a; GroupEnd 0; Match"},
        {"{}", "PushGroup 0; GroupStart 0; Call 7; PopGroup 0; Return; Nop; GroupEnd 0; Match"},
        {"!a",
         "StoreCharPos 0; StoreStackPos 1; Call 8; GetCharPos 0; GetStackPos 1; Jmp 12; "
         "Symbol a; GetCharPos 0; GetStackPos 1; Return; Match"},
        {"[a-c]", "Range a-c; Match"},
        {"[^a-cx]", "NotRange a-cx; Match"},
        {"{a}\\0",
         "PushGroup 0; GroupStart 0; Call 7; PopGroup 0; Return; Symbol a; GroupEnd 0; "
         "Previous 0; Match"},
        {"a$", "Symbol a; Symbol \\x00; Match"},
        {"$", "Symbol \\x00; Match"},
        // The repeated copy of "{a}+" reuses group 0.
        {"{a}+",
         "PushGroup 0; GroupStart 0; Call 7; PopGroup 0; Return; Symbol a; GroupEnd 0; "
         "PushMemory 0; StoreCharPos 0; PushCharPos; Call 16; PopCharPos; PopMemory 0; Jmp 25; "
         "PushGroup 0; GroupStart 0; Call 21; PopGroup 0; Return; Symbol a; GroupEnd 0; "
         "RetNoMatch 0; Jmp 9; Match"},
        // Slots are numbered as they are compiled: the repetition's before its operand's.
        {"(!a)*",
         "PushMemory 0; StoreCharPos 0; PushCharPos; Call 9; PopCharPos; PopMemory 0; Jmp 23; "
         "Call 11; Return; StoreCharPos 1; StoreStackPos 2; Call 17; GetCharPos 1; GetStackPos 2; "
         "Jmp 21; Symbol a; GetCharPos 1; GetStackPos 2; Return; RetNoMatch 0; "
         "Jmp 2; Match"},
        {"\\d", "Call 4; Return; Range 0-9; Match"},
        {"\\b", "Call 4; Return; Range \\x09\\x20; Match"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Compiled(c.expression), kWhole + c.program) << "expression: " << c.expression;
}

TEST(CRegExp, AnchorAtStartReplacesAdvanceWithFail)
{
    EXPECT_EQ(Compiled("^"), "Call 2; Fail; Match");
    EXPECT_EQ(Compiled("^ab$"), "Call 2; Fail; Symbol a; Symbol b; Symbol \\x00; Match");
    // Anywhere else "^" and "$" are ordinary bytes.
    EXPECT_EQ(Compiled("a^$b"), std::string(kWhole) + "Symbol a; Symbol ^; Symbol $; Symbol b; Match");
    EXPECT_EQ(Compiled("\\$"), std::string(kWhole) + "Symbol $; Match");
}

TEST(CRegExp, CountsGroupsAndMemorySlots)
{
    struct Case {
        const char* expression;
        std::uint32_t groups;
        std::uint32_t slots;
    } cases[] = {
        {"", 0, 0},      {"{a}{b}", 2, 0},    {"{{a}}", 2, 0},
        {"a*b?", 0, 2},  {"a*?b+?c??", 0, 2},  // a lazy "*" keeps its iteration's start too
        {"!a", 0, 2},    {"(a+)+", 0, 3},      // the repeated copy has its own slot
        {"{a+}+", 1, 3},
    };
    for (const Case& c : cases) {
        CRegExp re;
        ASSERT_EQ(re.Parse(c.expression), RegExpParseError::ParseOk) << c.expression;
        EXPECT_EQ(re.GroupCount(), c.groups) << c.expression;
        EXPECT_EQ(re.MemoryCount(), c.slots) << c.expression;
    }
}

TEST(CRegExp, ReportsEachParseError)
{
    using E = RegExpParseError;
    struct Case {
        const char* expression;
        E error;
    } cases[] = {
        {"{a", E::BraceExpected},       {"{a)", E::BraceExpected},
        {"x{a|b", E::BraceExpected},    {"(a", E::ParenExpected},
        {"(a}", E::ParenExpected},      {"(a]", E::ParenExpected},
        {"(", E::ParenExpected},        {"[", E::BracketExpected},
        {"[^", E::BracketExpected},     {"[ab", E::BracketExpected},
        {"[a-", E::BracketExpected},    {"[a-]", E::BracketExpected},
        {"[-", E::BracketExpected},     {"[a\\", E::BracketExpected},  // ends right after "\" inside a set
        {"[]", E::EmptyRange},          {"[^]", E::EmptyRange},
        {"[]a]", E::EmptyRange},        {"\\0", E::InvalidGroup},
        {"{a}\\1", E::InvalidGroup},    {"{a\\1}", E::InvalidGroup},
        {"\\1{a}{b}", E::InvalidGroup}, {"{a}\\99999999999999999999", E::InvalidGroup},
        {"[z-a]", E::InvalidRange},     {"[\xFF-\x80]", E::InvalidRange},  // unsigned: 255 above 128
        {"[a-\\]", E::InvalidRange},  // the upper byte is taken as it stands
        {"(a*)*", E::EmptyRepeat},      {"(a?)+", E::EmptyRepeat},
        {"(a*)*?", E::EmptyRepeat},     {"(a?)+?", E::EmptyRepeat},
        {"(a+?)*", E::EmptyRepeat},  // a lazy "+" counts as able to be empty
        {"(a|b*)*", E::EmptyRepeat},    {"(a*b*)+", E::EmptyRepeat},
        {"{a*}*", E::EmptyRepeat},      {"(!a*)*", E::EmptyRepeat},
        {"((a*))*", E::EmptyRepeat},    {"(\\d*)+", E::EmptyRepeat},
    };
    for (const Case& c : cases) {
        CRegExp re;
        EXPECT_EQ(re.Parse(c.expression), c.error)
            << "expression: " << testing::PrintToString(std::string(c.expression)) << " gave "
            << RegExpParseErrorName(re.LastError());
        EXPECT_EQ(re.LastError(), c.error);
        EXPECT_TRUE(re.Instructions().empty()) << c.expression;
    }
    CRegExp re;
    EXPECT_EQ(re.Parse(nullptr), E::InvalidInput);
}

TEST(CRegExp, AcceptsWhatOnlyLooksWrong)
{
    // Each compiles; the comment says why.
    const char* const expressions[] = {
        "(a*)?",
        "(a*)??",  // "?" may apply to what can be empty
        "()*",
        "{}+",        // a group with nothing inside counts as not empty
        "(!a)*",      // a negation is as empty as its operand
        "{a}(\\0)*",  // a back-reference counts as not empty
        "(a+)*",
        "(a*b)*",
        "(a|b)+",
        "{\\0}",                    // a group may refer to itself while open
        "{}{}\\00000000000000001",  // leading zeros do not make a group number large
        "[Z-a]",
        "[--/]",
        "[!--]",
        "[-a]",
        "[a-z-]x]",
        "a**",
        "*a",
        "+",
        "?",
        "|",
        "a||b",
        "!",
        "a!",
        "(a!)",  // "!" with nothing after it is ordinary
        "\\",
        "a\\",  // so is a backslash that ends the expression
        ")",
        "]",
        "}",
        "a)(",
    };
    for (const char* expression : expressions) {
        CRegExp re;
        EXPECT_EQ(re.Parse(expression), RegExpParseError::ParseOk)
            << "expression: " << expression << " gave " << RegExpParseErrorName(re.LastError());
    }
}

TEST(CRegExp, StopsAtACloserThatClosesNothing)
{
    struct Case {
        const char* expression;
        const char* sameAs;
    } cases[] = {
        {")", ""},          {")abc", ""},       {"abc)def", "abc"},
        {"abc]def", "abc"}, {"abc}def", "abc"}, {"(ab)c)d", "(ab)c"},
        {"xa|", "x"},  // an alternation ending in "|" is dropped with its left operand
        {"xa|b|", "x"},     {"(xa|)b", "(x)b"}, {"x(a|]", "error ParenExpected"},
    };
    for (const Case& c : cases) {
        std::string expected = std::string(c.sameAs).starts_with("error ") ? c.sameAs : Compiled(c.sameAs);
        EXPECT_EQ(Compiled(c.expression), expected) << "expression: " << c.expression;
    }
}

TEST(CRegExp, QuantifierDoesNotFollowAQuantifier)
{
    EXPECT_EQ(Compiled("a**"), Compiled("a*\\*"));
    EXPECT_EQ(Compiled("a*??"), Compiled("a*?\\?"));
    EXPECT_EQ(Compiled("a?*"), Compiled("a?\\*"));
    // "*", "+", "?" and "|" in atom position are ordinary bytes.
    EXPECT_EQ(Compiled("*"), std::string(kWhole) + "Symbol *; Match");
    EXPECT_EQ(Compiled("+a"), std::string(kWhole) + "Symbol +; Symbol a; Match");
    EXPECT_EQ(Compiled("?"), std::string(kWhole) + "Symbol ?; Match");
    EXPECT_EQ(Compiled("|"), std::string(kWhole) + "Symbol |; Match");
    EXPECT_EQ(Compiled("**"), Compiled("\\**"));  // the first is the atom, the second its quantifier
    EXPECT_EQ(Compiled("a||b"), std::string(kWhole) +
                                    "PushCharPos; Call 6; PopCharPos; Jmp 8; Symbol a; Jmp 9; "
                                    "Symbol |; Symbol b; Match");
}

TEST(CRegExp, ReadsEscapesAndSetItems)
{
    struct Case {
        const char* expression;
        const char* program;
    } cases[] = {
        {"\\.", "Symbol ."},
        {"\\t", "Symbol t"},  // outside a set "\t" is the letter
        {"\\{\\\\", "Symbol {; Symbol \\"},
        {"\\", "Symbol \\"},  // a backslash ending the expression stands for itself
        {"[\\t]", "Range \\x09"},
        {"[\\]\\-\\^\\\\]", "Range -\\-^"},
        {"[-a]", "Range -a"},
        {"[--/]", "Range --/"},
        {"[a-c-e]", "Range -a-ce"},
        {"[^^]", "NotRange ^"},
        {"[\\t-z]", "Range \\x09-z"},
        {"[\x80-\xFF]", "Range \\x80-\\xFF"},
        {"!", "Symbol !"},
        {"[$]", "Range $"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Compiled(c.expression), kWhole + std::string(c.program) + "; Match")
            << "expression: " << c.expression;
}

TEST(CRegExp, LowersOnlyAToZWhenCaseIsIgnored)
{
    EXPECT_EQ(Compiled("AbZ\xC9", RegExpCase::Insensitive),
              std::string(kWhole) + "Symbol a; Symbol b; Symbol z; Symbol \\xC9; Match");
    EXPECT_EQ(Compiled("[A-Z]", RegExpCase::Insensitive), std::string(kWhole) + "Range a-z; Match");
    // "[Z-a]" is a fine range until it is lowered to "[z-a]".
    EXPECT_EQ(Compiled("[Z-a]", RegExpCase::Insensitive), "error InvalidRange");
    // "\A" is "\a" once lowered, and the expansion is used as written.
    EXPECT_EQ(Compiled("\\A", RegExpCase::Insensitive), Compiled("\\a"));
    EXPECT_EQ(Compiled("\\A"), std::string(kWhole) + "Symbol A; Match");
}

TEST(CRegExp, ExpandsEveryAbbreviation)
{
    struct Case {
        const char* abbreviation;
        const char* expansion;
    } cases[] = {
        {"\\a", "([a-zA-Z0-9])"},
        {"\\b", "([ \\t])"},
        {"\\c", "([a-zA-Z])"},
        {"\\d", "([0-9])"},
        {"\\h", "([0-9a-fA-F])"},
        {"\\n", "(\r|(\r?\n))"},
        {"\\q", "((\"[^\"]*\")|('[^']*'))"},
        {"\\w", "([a-zA-Z]+)"},
        {"\\z", "([0-9]+)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Compiled(c.abbreviation), Compiled(c.expansion)) << c.abbreviation;
        // An abbreviation takes a quantifier like any atom.
        EXPECT_EQ(Compiled((std::string(c.abbreviation) + "*").c_str()),
                  Compiled((std::string(c.expansion) + "*").c_str()))
            << c.abbreviation;
        // Its expansion never fails, even at the deepest nesting allowed.
        std::string deep = std::string(CRegExp::kMaxNesting - 1, '(') + c.abbreviation +
                           std::string(CRegExp::kMaxNesting - 1, ')');
        CRegExp re;
        EXPECT_EQ(re.Parse(deep.c_str(), RegExpCase::Insensitive), RegExpParseError::ParseOk)
            << c.abbreviation;
    }
}

TEST(CRegExp, BoundsNestingWithAClearError)
{
    auto nested = [](std::size_t depth, const char* open, const char* inner, const char* close) {
        std::string text;
        for (std::size_t i = 0; i < depth; ++i)
            text += open;
        text += inner;
        for (std::size_t i = 0; i < depth; ++i)
            text += close;
        return text;
    };
    const std::size_t limit = CRegExp::kMaxNesting;
    struct Case {
        std::string expression;
        RegExpParseError error;
    } cases[] = {
        {nested(limit, "(", "a", ")"), RegExpParseError::ParseOk},
        {nested(limit + 1, "(", "a", ")"), RegExpParseError::TooDeep},
        {nested(limit, "{", "a", "}"), RegExpParseError::ParseOk},
        {nested(limit + 1, "{", "a", "}"), RegExpParseError::TooDeep},
        {nested(limit, "!", "a", ""), RegExpParseError::ParseOk},
        {nested(limit + 1, "!", "a", ""), RegExpParseError::TooDeep},
        {nested(limit, "(", "\\d", ")"), RegExpParseError::TooDeep},
        {nested(1000000, "(", "a", ")"), RegExpParseError::TooDeep},
        {nested(1000000, "(", "", ""), RegExpParseError::TooDeep},
        {nested(1000000, "!", "", ""), RegExpParseError::TooDeep},
        {nested(1000000, "{(!", "", ""), RegExpParseError::TooDeep},
    };
    for (const Case& c : cases) {
        CRegExp re;
        EXPECT_EQ(re.Parse(c.expression.c_str()), c.error)
            << "expression of " << c.expression.size() << " bytes: " << c.expression.substr(0, 12);
    }
}

TEST(CRegExp, RefusesAProgramThatWouldGrowPastTheLimit)
{
    // Each "+" doubles its operand's code.
    std::string expression = "a";
    for (int i = 0; i < 30; ++i)
        expression = "(" + expression + ")+";
    CRegExp re;
    EXPECT_EQ(re.Parse(expression.c_str()), RegExpParseError::OutOfMemory);
    EXPECT_FALSE(re.IsReady());
    CRegExpMatch context;
    EXPECT_FALSE(re.Match("aaa", context));
}

TEST(CRegExp, CompilesLongFlatExpressions)
{
    const std::size_t size = 1 << 18;
    std::string literal(size, 'x');
    std::string alternatives;
    for (std::size_t i = 0; i < size / 2; ++i)
        alternatives += "a|";
    alternatives += "b";
    std::string sets;
    while (sets.size() < size)
        sets += "[a-z]\\d";
    for (const std::string* expression : {&literal, &alternatives, &sets}) {
        CRegExp re;
        EXPECT_EQ(re.Parse(expression->c_str()), RegExpParseError::ParseOk) << expression->substr(0, 12);
    }
    CRegExp re;
    ASSERT_EQ(re.Parse(alternatives.c_str()), RegExpParseError::ParseOk);
    CRegExpMatch context;
    EXPECT_TRUE(re.Match("xxb", context));
    EXPECT_EQ(context.Whole(), (CRegExpMatch::Span{2, 3}));
}

TEST(CRegExp, ParseDiscardsThePreviousProgram)
{
    CRegExp re;
    ASSERT_EQ(re.Parse("{a}{b}"), RegExpParseError::ParseOk);
    EXPECT_EQ(re.Parse("[z-a]"), RegExpParseError::InvalidRange);
    EXPECT_EQ(re.GroupCount(), 0u);
    CRegExpMatch context;
    EXPECT_FALSE(re.Match("ab", context));
    ASSERT_EQ(re.Parse("b", RegExpCase::Insensitive), RegExpParseError::ParseOk);
    EXPECT_FALSE(re.IsCaseSensitive());
    EXPECT_TRUE(re.Match("aB", context));
    ASSERT_EQ(re.Parse("b"), RegExpParseError::ParseOk);
    EXPECT_TRUE(re.IsCaseSensitive());
    EXPECT_FALSE(re.Match("aB", context));
}

TEST(CRegExp, KnowsTheLiteralsEveryMatchContains)
{
    struct Case {
        const char* expression;
        std::vector<std::string> literals;
    } cases[] = {
        {"allocator", {"allocator"}},
        {"Design And Implement", {"design and implement"}},  // as the program compares: lower case
        {"^abc$", {"abc"}},
        {"ab|cd", {"a", "d"}},  // "|" binds tighter than the sequence
        {"(ab)|(cd)", {}},
        {"((x1y)|(x1y))z", {"x1y", "z"}},
        {"x+yz", {"x", "yz"}},
        {"(abc)+?d", {"abc", "d"}},
        {"a*bc", {"bc"}},
        {"a?bc", {"bc"}},
        {"a!bc", {"ac"}},  // a negation is zero-width
        {"{ab}\\0c", {"ab", "c"}},
        {"\\w+", {}},
        {"[abc]def.ghi", {"def", "ghi"}},
        {"", {}},
    };
    for (const Case& c : cases) {
        CRegExp re;
        ASSERT_EQ(re.Parse(c.expression, RegExpCase::Insensitive), RegExpParseError::ParseOk) << c.expression;
        EXPECT_EQ(re.RequiredLiterals(), c.literals) << c.expression;
    }
}
