#include <gtest/gtest.h>

#include "common/StringConvert.h"
#include "common/UrlDate.h"

TEST(StringConvert, KeepsOrCutsEmbeddedNuls)
{
    std::u16string text = u"ab";
    text.push_back(u'\0');
    text += u"\u00E9";
    CComBSTR bstr{std::u16string_view(text)};
    EXPECT_EQ(wys::BstrToNarrow(bstr), std::string("ab\0\xC3\xA9", 5));
    EXPECT_EQ(wys::BstrToNarrowZ(bstr), "ab");
    EXPECT_EQ(wys::BstrToNarrow(nullptr), "");
    BSTR back = wys::NarrowToBstr(std::string("x\0y", 3));
    EXPECT_EQ(SysStringLen(back), 3u);
    SysFreeString(back);
}

TEST(StringConvert, RecordHolderFreesWhatItReceives)
{
    CUrlDateHolder holder;
    _URL_DATE_* out = holder.Receive();
    out->Url = SysAllocString(u"http://a/");
    out->Title = SysAllocString(u"t");
    out = holder.Receive();  // frees the first strings before they are overwritten
    EXPECT_EQ(out->Url, nullptr);
    out->Path = SysAllocString(u"p");
}
