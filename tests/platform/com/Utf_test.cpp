#include <gtest/gtest.h>

#include "platform/com/Utf.h"

TEST(Utf, RoundTripsEveryPlane)
{
    std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a é € 😀
    text.push_back('\0');
    text += "z";
    std::u16string wide = Utf8ToUtf16(text);
    EXPECT_EQ(wide, std::u16string(u"a\u00E9\u20AC\U0001F600") + u'\0' + u"z");
    EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(Utf, InvalidInputBecomesReplacementCharacters)
{
    struct Case {
        std::string in;
        std::u16string out;
    } cases[] = {
        {"\xFF", u"\uFFFD"},
        {"\xC0\xAF", u"\uFFFD\uFFFD"},  // overlong: lead byte never valid
        {"\xE0\x80\xAF", u"\uFFFD"},    // overlong three-byte form
        {"\xED\xA0\x80", u"\uFFFD"},    // surrogate encoded in UTF-8
        {"a\xE2\x82", u"a\uFFFD"},      // truncated at the end
        {"\xE2\x82"
         "b",
         u"\uFFFD"
         "b"},                            // truncated before ASCII
        {"\xF4\x90\x80\x80", u"\uFFFD"},  // above U+10FFFF
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf8ToUtf16(c.in), c.out) << testing::PrintToString(c.in);
    std::u16string lone = u"x";
    lone.push_back(static_cast<char16_t>(0xD800));
    lone.push_back(u'y');
    lone.push_back(static_cast<char16_t>(0xDC00));
    EXPECT_EQ(Utf16ToUtf8(lone), "x\xEF\xBF\xBDy\xEF\xBF\xBD");
}
