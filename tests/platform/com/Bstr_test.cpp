#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/Bstr.h"

TEST(Bstr, LayoutHasLengthPrefixAndTerminator)
{
    BSTR s = SysAllocString(u"abc");
    ASSERT_NE(s, nullptr);
    UINT prefix;
    std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 6u);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(SysStringByteLen(s), 6u);
    EXPECT_EQ(s[3], u'\0');
    SysFreeString(s);
}

TEST(Bstr, NullAndEmptyDiffer)
{
    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    CComBSTR copyOfNull = CComBSTR::CopyOf(nullptr);
    EXPECT_TRUE(copyOfNull.IsNull());
    CComBSTR copyOfEmpty = CComBSTR::CopyOf(empty);
    EXPECT_FALSE(copyOfEmpty.IsNull());
    SysFreeString(empty);
    SysFreeString(nullptr);
}

TEST(Bstr, EmbeddedNulsAndOddByteLengthsSurviveCopies)
{
    const char bytes[] = {'a', 0, 'b', 0, 0, 0, 'c'};
    BSTR odd = SysAllocStringByteLen(bytes, 7);
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(SysStringByteLen(odd), 7u);
    EXPECT_EQ(SysStringLen(odd), 3u);
    EXPECT_EQ(reinterpret_cast<char*>(odd)[7], 0);
    EXPECT_EQ(reinterpret_cast<char*>(odd)[8], 0);

    CComBSTR held = CComBSTR::CopyOf(odd);
    EXPECT_EQ(held.ByteLength(), 7u);
    EXPECT_EQ(std::memcmp(held.m_str, bytes, 7), 0);
    CComBSTR second(held);
    CComBSTR& same = second;
    second = same;  // self-assignment keeps the string
    EXPECT_EQ(second.ByteLength(), 7u);
    EXPECT_EQ(std::memcmp(second.m_str, bytes, 7), 0);
    SysFreeString(odd);

    std::u16string withNul = u"x";
    withNul.push_back(u'\0');
    withNul += u"y";
    CComBSTR fromView{std::u16string_view(withNul)};
    EXPECT_EQ(fromView.Length(), 3u);
    EXPECT_EQ(fromView.View(), withNul);
}

TEST(Bstr, Utf8ConversionAndOwnership)
{
    CComBSTR text("h\xC3\xA9llo");
    EXPECT_EQ(text.View(), u"h\u00E9llo");
    EXPECT_EQ(text.ToUtf8(), "h\xC3\xA9llo");
    BSTR out = text.Copy();
    EXPECT_NE(out, text.m_str);
    SysFreeString(out);
    BSTR detached = text.Detach();
    EXPECT_TRUE(text.IsNull());
    text.Attach(detached);
    EXPECT_EQ(text.Length(), 5u);
    EXPECT_TRUE(SysReAllocString(&text.m_str, u"new"));
    EXPECT_EQ(text.View(), u"new");
}
