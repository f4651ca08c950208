#include "tests/platform/dom/DomTestSupport.h"

#include "platform/com/Variant.h"

namespace wys::test {

ComPtr<IDispatch> BuildFrameDocument(std::string_view html, std::string_view url,
                                     const FrameDocumentSupplier& frames)
{
    ComPtr<IDispatch> document;
    EXPECT_EQ(
        BuildHtmlDocument(html, url, CharsetDeclarations::Keep, frames, document.ReleaseAndGetAddressOf()),
        S_OK);
    return document;
}

ComPtr<IHTMLDocument2> BuildPage(std::string_view html, const FrameDocumentSupplier& frames,
                                 std::string_view url)
{
    ComPtr<IHTMLDocument2> document;
    EXPECT_EQ(BuildFrameDocument(html, url, frames).As(&document), S_OK);
    return document;
}

std::string TakeString(BSTR text)
{
    CComBSTR owned;
    owned.Attach(text);
    return owned.ToUtf8();
}

ComPtr<IHTMLElementCollection> All(IHTMLDocument2* document)
{
    ComPtr<IHTMLElementCollection> all;
    EXPECT_EQ(document->get_all(all.ReleaseAndGetAddressOf()), S_OK);
    return all;
}

ComPtr<IHTMLElementCollection> Tags(IHTMLElementCollection* collection, std::u16string_view name)
{
    CComVariant tag(CComBSTR(name).m_str);
    ComPtr<IDispatch> result;
    EXPECT_EQ(collection->tags(tag, result.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IHTMLElementCollection> tags;
    EXPECT_EQ(result.As(&tags), S_OK);
    return tags;
}

LONG Length(IHTMLElementCollection* collection)
{
    LONG length = -1;
    EXPECT_EQ(collection->get_length(&length), S_OK);
    return length;
}

ComPtr<IDispatch> Item(IHTMLElementCollection* collection, LONG index)
{
    ComPtr<IDispatch> element;
    EXPECT_EQ(collection->item(CComVariant(index), CComVariant(LONG{0}), element.ReleaseAndGetAddressOf()),
              S_OK)
        << "item " << index;
    return element;
}

std::vector<std::string> TagNames(IHTMLElementCollection* collection)
{
    return ReadEach<IHTMLElement>(collection,
                                  [](IHTMLElement* element, BSTR* out) { return element->get_tagName(out); });
}

std::string InnerHtmlOf(IHTMLDocument2* document, std::u16string_view tagName)
{
    ComPtr<IHTMLElementCollection> matches = Tags(All(document).Get(), tagName);
    ComPtr<IHTMLElement> element;
    EXPECT_EQ(Item(matches.Get(), 0).As(&element), S_OK);
    if (!element)
        return {};
    return ReadString([&](BSTR* out) { return element->get_innerHTML(out); });
}

std::string RootInnerHtml(IHTMLDocument2* document)
{
    return InnerHtmlOf(document, u"HTML");
}

}  // namespace wys::test
