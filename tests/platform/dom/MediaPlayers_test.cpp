#include <gtest/gtest.h>

#include "platform/com/Variant.h"
#include "platform/dom/MediaPlayers.h"
#include "tests/platform/dom/DomTestSupport.h"

namespace {

using wys::test::All;
using wys::test::BuildPage;
using wys::test::Item;
using wys::test::Length;
using wys::test::ReadString;
using wys::test::Tags;

// The player object of the index-th object element.
ComPtr<IDispatch> PlayerOf(IHTMLDocument2* page, LONG index, HRESULT expected = S_OK)
{
    ComPtr<IHTMLObjectElement> object;
    EXPECT_EQ(Item(Tags(All(page).Get(), u"object").Get(), index).As(&object), S_OK);
    ComPtr<IDispatch> player;
    if (object) {
        EXPECT_EQ(object->get_object(player.ReleaseAndGetAddressOf()), expected) << "object " << index;
    }
    return player;
}

// Invokes the way the page walker does: no arguments, IID_NULL, locale 0.
HRESULT Call(IDispatch* player, DISPID id, WORD kind, std::string* media)
{
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    CComVariant result;
    HRESULT hr = player->Invoke(id, IID_NULL, 0, kind, &none, &result, nullptr, nullptr);
    if (SUCCEEDED(hr)) {
        EXPECT_EQ(result.vt, VT_BSTR);
        if (result.vt == VT_BSTR)
            *media = CComBSTR::CopyOf(result.bstrVal).ToUtf8();
    }
    return hr;
}

TEST(MediaPlayers, EachPlayerAnswersItsDispIdWithTheMediaFileFromItsParams)
{
    ComPtr<IHTMLDocument2> page = BuildPage(R"(
<object classid="clsid:d27cdb6e-ae6d-11cf-96b8-444553540000">
  <param name=SRC value=ignored.swf><param name="Movie" value="flash/intro.swf"></object>
<object classid="clsid:02BF25D5-8C17-4B23-BC80-D3488ABDDC6B">
  <param name=src value="poster.mov"><param name=qtsrc value="rtsp://media.test/clip.mov"></object>
<object classid="CLSID:CFCDAA03-8BE4-11CF-B84B-0020AFBBCCFA">
  <param name=source value=second.rm><param name=src value="../audio/song.rm"></object>
<object classid="CLSID:22D6F312-B0F6-11D0-94AB-0080C74C7E95">
  <param name=FileName value="video.wmv"></object>
)");
    const std::string expected[] = {"flash/intro.swf", "rtsp://media.test/clip.mov", "../audio/song.rm",
                                    "video.wmv"};
    for (std::size_t i = 0; i < kMediaPlayers.size(); ++i) {
        const MediaPlayerDescription& description = kMediaPlayers[i];
        ComPtr<IDispatch> player = PlayerOf(page.Get(), static_cast<LONG>(i));
        ASSERT_TRUE(player) << description.name;
        std::string media;
        EXPECT_EQ(Call(player.Get(), description.dispId, description.invokeKind, &media), S_OK)
            << description.name;
        EXPECT_EQ(media, expected[i]) << description.name;
        // Other members and property puts are not answered.
        EXPECT_EQ(Call(player.Get(), description.dispId + 1, description.invokeKind, &media),
                  DISP_E_MEMBERNOTFOUND);
        EXPECT_EQ(Call(player.Get(), description.dispId, DISPATCH_PROPERTYPUT, &media),
                  DISP_E_MEMBERNOTFOUND);
    }
    // The class id reads back as written, for the walker to compare.
    ComPtr<IHTMLObjectElement> flash;
    ASSERT_EQ(Item(Tags(All(page.Get()).Get(), u"OBJECT").Get(), 0).As(&flash), S_OK);
    EXPECT_EQ(ReadString([&](BSTR* out) { return flash->get_classid(out); }),
              "clsid:d27cdb6e-ae6d-11cf-96b8-444553540000");
}

TEST(MediaPlayers, WindowsMediaFallsBackThroughItsParamNames)
{
    ComPtr<IHTMLDocument2> page = BuildPage(R"(
<object classid="CLSID:22D6F312-B0F6-11D0-94AB-0080C74C7E95"><param name=src value=c.asf>
  <param name=url value=b.asx></object>
<object classid="CLSID:22D6F312-B0F6-11D0-94AB-0080C74C7E95"><param name=src value=c.asf></object>
)");
    std::string media;
    EXPECT_EQ(Call(PlayerOf(page.Get(), 0).Get(), 1026, DISPATCH_PROPERTYGET, &media), S_OK);
    EXPECT_EQ(media, "b.asx");
    EXPECT_EQ(Call(PlayerOf(page.Get(), 1).Get(), 1026, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &media),
              S_OK);
    EXPECT_EQ(media, "c.asf");
}

TEST(MediaPlayers, ObjectsWithoutAPlayerOrWithoutMediaFail)
{
    ComPtr<IHTMLDocument2> page = BuildPage(R"(
<object classid="clsid:00000000-0000-0000-0000-000000000000"><param name=movie value=x.swf></object>
<object data="movie.swf" type="application/x-shockwave-flash"></object>
<object classid="clsid:D27CDB6E-AE6D-11CF-96B8-444553540000"><param name=movie value="">
  <object classid="clsid:D27CDB6E-AE6D-11CF-96B8-444553540000"><param name=movie value=nested.swf>
  </object></object>
<object classid=" clsid:D27CDB6E-AE6D-11CF-96B8-444553540000"></object>
)");
    ASSERT_EQ(Length(Tags(All(page.Get()).Get(), u"object").Get()), 5);
    EXPECT_FALSE(PlayerOf(page.Get(), 0, E_NOINTERFACE));
    EXPECT_FALSE(PlayerOf(page.Get(), 1, E_NOINTERFACE));
    EXPECT_FALSE(PlayerOf(page.Get(), 4, E_NOINTERFACE));

    // The outer player's only param is empty; the nested object's param is not its own.
    std::string media;
    EXPECT_EQ(Call(PlayerOf(page.Get(), 2).Get(), 102, DISPATCH_PROPERTYGET, &media), E_FAIL);
    EXPECT_EQ(Call(PlayerOf(page.Get(), 3).Get(), 102, DISPATCH_PROPERTYGET, &media), S_OK);
    EXPECT_EQ(media, "nested.swf");

    // Arguments are not taken.
    CComVariant argument(LONG{1});
    DISPPARAMS one{&argument, nullptr, 1, 0};
    EXPECT_EQ(PlayerOf(page.Get(), 3)
                  ->Invoke(102, IID_NULL, 0, DISPATCH_PROPERTYGET, &one, nullptr, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
}

}  // namespace
