#include <gtest/gtest.h>

#include "platform/com/Utf.h"
#include "platform/com/Variant.h"
#include "tests/platform/dom/DomTestSupport.h"

namespace {

using wys::test::All;
using wys::test::BuildPage;
using wys::test::Item;
using wys::test::Length;
using wys::test::ReadEach;
using wys::test::ReadString;
using wys::test::TagNames;
using wys::test::Tags;

using Strings = std::vector<std::string>;

// A page with every kind of resource the capture looks for, spelled the
// ways real pages spell them.
constexpr std::string_view kResourcePage = R"(<!DOCTYPE html>
<html><head>
<title>
   Resources   of a
   page </title>
<link rel="stylesheet" href="css/site.css">
<link REL="Alternate StyleSheet" href="/print.css">
<link rel="icon" href="favicon.ico">
<style>body { color: red }</style>
<script src="js/app.js"></script>
<script>var inline = "<img src=fake.png>";</script>
</head><body>
<img src="images/logo.png"><IMG SRC="http://cdn.example.test/a.gif?x=1&amp;y=2">
<img alt="no source"><img src="">
<form><input type="IMAGE" src="buttons/go.png"><input name="q"><input type=image></form>
<template><img src="inert.png"><script src="inert.js"></script></template>
<svg><script href="svg.js"></script><style>rect{}</style></svg>
<script src='../lib/late.js'></script>
</body></html>)";

TEST(HtmlDocument, CollectionsListResourcesInDocumentOrderWithValuesAsWritten)
{
    ComPtr<IHTMLDocument2> page = BuildPage(kResourcePage);
    ASSERT_TRUE(page);

    ComPtr<IHTMLElementCollection> images;
    ASSERT_EQ(page->get_images(images.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(ReadEach<IHTMLImgElement>(images.Get(),
                                        [](IHTMLImgElement* e, BSTR* out) { return e->get_src(out); }),
              (Strings{"images/logo.png", "http://cdn.example.test/a.gif?x=1&y=2", "", ""}));

    ComPtr<IHTMLElementCollection> scripts;
    ASSERT_EQ(page->get_scripts(scripts.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(ReadEach<IHTMLScriptElement>(scripts.Get(),
                                           [](IHTMLScriptElement* e, BSTR* out) { return e->get_src(out); }),
              (Strings{"js/app.js", "", "../lib/late.js"}));

    ComPtr<IHTMLStyleSheetsCollection> sheets;
    ASSERT_EQ(page->get_styleSheets(sheets.ReleaseAndGetAddressOf()), S_OK);
    LONG sheetCount = 0;
    ASSERT_EQ(sheets->get_length(&sheetCount), S_OK);
    Strings hrefs;
    for (LONG i = 0; i < sheetCount; ++i) {
        CComVariant index(i), sheet;
        ASSERT_EQ(sheets->item(&index, &sheet), S_OK);
        ASSERT_EQ(sheet.vt, VT_DISPATCH);
        ComPtr<IHTMLStyleSheet> styleSheet;
        ASSERT_EQ(ComPtr<IDispatch>(sheet.pdispVal).As(&styleSheet), S_OK);
        hrefs.push_back(ReadString([&](BSTR* out) { return styleSheet->get_href(out); }));
    }
    EXPECT_EQ(hrefs, (Strings{"css/site.css", "/print.css", ""}));

    ComPtr<IHTMLElementCollection> inputs = Tags(All(page.Get()).Get(), u"INPUT");
    EXPECT_EQ(ReadEach<IHTMLInputElement>(inputs.Get(),
                                          [](IHTMLInputElement* e, BSTR* out) { return e->get_type(out); }),
              (Strings{"image", "text", "image"}));
    EXPECT_EQ(ReadEach<IHTMLInputElement>(inputs.Get(),
                                          [](IHTMLInputElement* e, BSTR* out) { return e->get_src(out); }),
              (Strings{"buttons/go.png", "", ""}));

    EXPECT_EQ(ReadString([&](BSTR* out) { return page->get_title(out); }), "Resources of a page");
    EXPECT_EQ(ReadString([&](BSTR* out) { return page->get_URL(out); }), wys::test::kPageUrl);
}

TEST(HtmlDocument, TagsIgnoresCaseKeepsOrderAndNarrowsAnyCollection)
{
    ComPtr<IHTMLDocument2> page = BuildPage(
        "<p id=1>a<DIV id=2><p id=3></p></DIV><Custom-Tag></Custom-Tag><svg><foreignObject>"
        "<p id=4></p></foreignObject></svg>");
    ComPtr<IHTMLElementCollection> all = All(page.Get());
    EXPECT_EQ(TagNames(all.Get()),
              (Strings{"HTML", "HEAD", "BODY", "P", "DIV", "P", "CUSTOM-TAG", "svg", "foreignObject", "P"}));

    for (std::u16string_view spelling : {u"p", u"P"}) {
        ComPtr<IHTMLElementCollection> paragraphs = Tags(all.Get(), spelling);
        auto ids = ReadEach<IHTMLElement>(paragraphs.Get(), [](IHTMLElement* e, BSTR* out) {
            CComVariant value;
            HRESULT hr = e->getAttribute(CComBSTR(u"ID"), 0, &value);
            *out = value.vt == VT_BSTR ? CopyBstr(value.bstrVal) : nullptr;
            return hr;
        });
        EXPECT_EQ(ids, (Strings{"1", "3", "4"}));
    }
    EXPECT_EQ(Length(Tags(all.Get(), u"custom-TAG").Get()), 1);
    EXPECT_EQ(Length(Tags(all.Get(), u"foreignObject").Get()), 1);
    EXPECT_EQ(Length(Tags(all.Get(), u"FOREIGNOBJECT").Get()), 0);
    EXPECT_EQ(Length(Tags(all.Get(), u"table").Get()), 0);
    EXPECT_EQ(Length(Tags(Tags(all.Get(), u"div").Get(), u"p").Get()), 0);
    EXPECT_EQ(Length(Tags(all.Get(), u"HTML").Get()), 1);

    // An SVG element that happens to be called html is not the page's root.
    ComPtr<IHTMLDocument2> svgPage = BuildPage("<svg><html><p>x");
    EXPECT_EQ(Length(Tags(All(svgPage.Get()).Get(), u"HTML").Get()), 1);
    EXPECT_EQ(Length(Tags(All(svgPage.Get()).Get(), u"html").Get()), 2);
}

TEST(HtmlDocument, CollectionsRejectBadIndicesAndNames)
{
    ComPtr<IHTMLDocument2> page = BuildPage("<img src=a.png>");
    ComPtr<IHTMLElementCollection> images;
    ASSERT_EQ(page->get_images(images.ReleaseAndGetAddressOf()), S_OK);

    IDispatch* element = reinterpret_cast<IDispatch*>(1);
    for (LONG bad : {-1, 1, 1000}) {
        EXPECT_EQ(images->item(CComVariant(bad), CComVariant(LONG{0}), &element), E_INVALIDARG) << bad;
        EXPECT_EQ(element, nullptr);
    }
    EXPECT_EQ(images->item(CComVariant(std::string_view("0")), CComVariant(LONG{0}), &element), E_INVALIDARG);
    EXPECT_EQ(images->item(CComVariant(LONG{0}), CComVariant(LONG{0}), nullptr), E_POINTER);

    // Integers of other widths and by reference are indices too.
    LONG zero = 0;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_I4;
    byRef.plVal = &zero;
    ComPtr<IDispatch> found;
    EXPECT_EQ(images->item(byRef, CComVariant(LONG{0}), found.ReleaseAndGetAddressOf()), S_OK);
    CComVariant shortIndex;
    shortIndex.vt = VT_I2;
    shortIndex.iVal = 0;
    EXPECT_EQ(images->item(shortIndex, CComVariant(LONG{0}), found.ReleaseAndGetAddressOf()), S_OK);

    EXPECT_EQ(images->tags(CComVariant(LONG{3}), &element), E_INVALIDARG);

    ComPtr<IHTMLStyleSheetsCollection> sheets;
    ASSERT_EQ(page->get_styleSheets(sheets.ReleaseAndGetAddressOf()), S_OK);
    CComVariant index(LONG{0}), result;
    EXPECT_EQ(sheets->item(&index, &result), E_INVALIDARG);
    EXPECT_EQ(result.vt, VT_EMPTY);
}

TEST(HtmlDocument, ElementsAnswerOnlyTheirOwnInterfacesWithOneIdentity)
{
    ComPtr<IHTMLDocument2> page = BuildPage(
        "<img src=i.png><script src=s.js></script><input type=image src=b.png>"
        "<object classid=x></object><div></div><svg><img-like/></svg>");
    ComPtr<IHTMLElementCollection> all = All(page.Get());
    struct Case {
        const char16_t* tag;
        bool image, script, input, object;
    };
    for (const Case& c :
         {Case{u"img", true, false, false, false}, Case{u"script", false, true, false, false},
          Case{u"input", false, false, true, false}, Case{u"object", false, false, false, true},
          Case{u"div", false, false, false, false}, Case{u"img-like", false, false, false, false}}) {
        ComPtr<IDispatch> element = Item(Tags(all.Get(), c.tag).Get(), 0);
        ComPtr<IHTMLImgElement> image;
        ComPtr<IHTMLScriptElement> script;
        ComPtr<IHTMLInputElement> input;
        ComPtr<IHTMLObjectElement> object;
        ComPtr<IHTMLElement> html;
        EXPECT_EQ(element.As(&html), S_OK);
        EXPECT_EQ(SUCCEEDED(element.As(&image)), c.image) << Utf16ToUtf8(c.tag);
        EXPECT_EQ(SUCCEEDED(element.As(&script)), c.script) << Utf16ToUtf8(c.tag);
        EXPECT_EQ(SUCCEEDED(element.As(&input)), c.input) << Utf16ToUtf8(c.tag);
        EXPECT_EQ(SUCCEEDED(element.As(&object)), c.object) << Utf16ToUtf8(c.tag);
    }

    ComPtr<IHTMLElementCollection> images;
    ASSERT_EQ(page->get_images(images.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_TRUE(IsSameObject(Item(images.Get(), 0).Get(), Item(all.Get(), 3).Get()));
}

TEST(HtmlDocument, ElementKeepsItsDocumentAlive)
{
    ComPtr<IHTMLElement> element;
    {
        ComPtr<IHTMLDocument2> page = BuildPage("<p title='kept &amp; decoded'>text</p>");
        ASSERT_EQ(Item(Tags(All(page.Get()).Get(), u"p").Get(), 0).As(&element), S_OK);
    }
    EXPECT_EQ(ReadString([&](BSTR* out) { return element->get_innerHTML(out); }), "text");

    CComVariant value;
    EXPECT_EQ(element->getAttribute(CComBSTR(u"TITLE"), 0, &value), S_OK);
    ASSERT_EQ(value.vt, VT_BSTR);
    EXPECT_EQ(CComBSTR::CopyOf(value.bstrVal).ToUtf8(), "kept & decoded");
    value.Clear();
    EXPECT_EQ(element->getAttribute(CComBSTR(u"TITLE"), kAttributeCaseSensitive, &value), S_OK);
    EXPECT_EQ(value.vt, VT_NULL);
    EXPECT_EQ(element->getAttribute(CComBSTR(u"missing"), 0, &value), S_OK);
    EXPECT_EQ(value.vt, VT_NULL);
}

TEST(HtmlDocument, TitleIsEmptyWithoutTitleElementAndIgnoresNestedMarkup)
{
    EXPECT_EQ(ReadString([&](BSTR* out) { return BuildPage("<p>x")->get_title(out); }), "");
    EXPECT_EQ(ReadString([&](BSTR* out) {
                  return BuildPage("<title>a &amp; b</title><title>second</title>")->get_title(out);
              }),
              "a & b");
    EXPECT_EQ(
        ReadString([&](BSTR* out) { return BuildPage("<svg><title>icon</title></svg>")->get_title(out); }),
        "");
}

}  // namespace
