#include "WYSCHelper/CUrlRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

// The exact bytes of a BSTR, or "<null>".
std::string Bytes(BSTR text)
{
    if (!text)
        return "<null>";
    return std::string(reinterpret_cast<const char*>(text), SysStringByteLen(text));
}

BSTR OddByteString()
{
    return SysAllocStringByteLen("abc", 3);
}

struct Strings {
    const char* name;
    BSTR (*make)();
};

const Strings kCases[] = {
    {"null", [] { return BSTR{nullptr}; }},
    {"empty", [] { return SysAllocString(u""); }},
    {"plain", [] { return SysAllocString(u"http://example.com/"); }},
    {"embedded NULs", [] { return SysAllocStringLen(u"a\0b\0\0", 5); }},
    {"odd byte length", OddByteString},
};

TEST(CUrlRecord, CopiesKeepExactBytes)
{
    for (const Strings& c : kCases) {
        SCOPED_TRACE(c.name);
        CUrlRecord original;
        original.Time = -42;
        original.AttachUrl(c.make());
        original.AttachPath(c.make());
        original.AttachTitle(c.make());

        CUrlRecord constructed(original);
        CUrlRecord assigned;
        assigned.AttachUrl(SysAllocString(u"to be replaced"));
        assigned = original;
        _URL_DATE_ out{7, nullptr, nullptr, nullptr};
        original.CopyTo(&out);

        for (const CUrlRecord* copy : {&constructed, &assigned}) {
            EXPECT_EQ(copy->Time, -42);
            EXPECT_EQ(Bytes(copy->Url), Bytes(original.Url));
            EXPECT_EQ(Bytes(copy->Path), Bytes(original.Path));
            EXPECT_EQ(Bytes(copy->Title), Bytes(original.Title));
            if (original.Url) {
                EXPECT_NE(copy->Url, original.Url) << "a copy shares its string";
            }
        }
        EXPECT_EQ(out.Time, -42);
        EXPECT_EQ(Bytes(out.Url), Bytes(original.Url));
        EXPECT_EQ(Bytes(out.Title), Bytes(original.Title));
        FreeUrlDate(&out);
    }
}

TEST(CUrlRecord, SelfAssignmentKeepsEverything)
{
    CUrlRecord record;
    record.Time = 5;
    record.AttachUrl(SysAllocStringLen(u"x\0y", 3));
    BSTR url = record.Url;
    CUrlRecord& alias = record;
    record = alias;
    EXPECT_EQ(record.Url, url);
    EXPECT_EQ(Bytes(record.Url), Bytes(url));
    EXPECT_EQ(record.Path, nullptr);
}

TEST(CUrlRecord, FromUrlDateCutsAtFirstNul)
{
    struct Case {
        std::u16string in;
        bool null;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"", true, u""},
        {u"", false, u""},
        {u"plain", false, u"plain"},
        {u"head\0tail"s, false, u"head"},
        {u"\0lead"s, false, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.in.begin(), c.in.end()));
        CComBSTR text(std::u16string_view(c.in));
        BSTR in = c.null ? nullptr : text.m_str;
        _URL_DATE_ data{99, in, in, in};
        CUrlRecord record = CUrlRecord::FromUrlDate(data);
        EXPECT_EQ(record.Time, 99);
        for (BSTR field : {record.Url, record.Path, record.Title}) {
            if (c.null) {
                EXPECT_EQ(field, nullptr);
            } else {
                ASSERT_NE(field, nullptr);
                EXPECT_EQ(BstrView(field), c.expected);
                EXPECT_NE(field, in);
            }
        }
    }
}

TEST(CUrlRecord, MovesLeaveTheSourceEmpty)
{
    std::vector<CUrlRecord> list;
    for (int i = 0; i < 100; ++i) {
        CUrlRecord record;
        record.Time = i;
        record.AttachUrl(SysAllocString(u"u"));
        list.push_back(std::move(record));
        EXPECT_EQ(record.Url, nullptr);
    }
    EXPECT_EQ(list[57].Time, 57);
    EXPECT_EQ(BstrView(list[57].Url), u"u");
}

}  // namespace
