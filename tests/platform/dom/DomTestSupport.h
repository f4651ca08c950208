// Helpers for the document object model tests: building pages and reading
// collections through the public interfaces, failing the test on any error.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"
#include "platform/com/ComPtr.h"
#include "platform/dom/HtmlDocument.h"
#include "platform/dom/HtmlDocumentBuilder.h"
#include "platform/dom/HtmlElement.h"
#include "platform/dom/HtmlElementCollection.h"
#include "platform/dom/HtmlStyleSheet.h"
#include "platform/dom/HtmlWindow.h"

namespace wys::test {

inline constexpr std::string_view kPageUrl = "http://example.test/dir/page.html";

// Builds `html` as an HTML document and returns its IHTMLDocument2.
ComPtr<IHTMLDocument2> BuildPage(std::string_view html, const FrameDocumentSupplier& frames = {},
                                 std::string_view url = kPageUrl);
// The same, as the IDispatch a frame supplier returns.
ComPtr<IDispatch> BuildFrameDocument(std::string_view html, std::string_view url,
                                     const FrameDocumentSupplier& frames = {});

// Takes ownership of `text` and returns it as UTF-8.
std::string TakeString(BSTR text);
// Calls a BSTR getter, expecting success.
template <class Getter>
std::string ReadString(Getter getter)
{
    BSTR text = nullptr;
    HRESULT hr = getter(&text);
    EXPECT_EQ(hr, S_OK);
    return TakeString(text);
}

ComPtr<IHTMLElementCollection> All(IHTMLDocument2* document);
ComPtr<IHTMLElementCollection> Tags(IHTMLElementCollection* collection, std::u16string_view name);
LONG Length(IHTMLElementCollection* collection);
ComPtr<IDispatch> Item(IHTMLElementCollection* collection, LONG index);
// Each element's tagName, in collection order.
std::vector<std::string> TagNames(IHTMLElementCollection* collection);
// One attribute-like string per element: `read` is called with the element.
template <class Interface, class Read>
std::vector<std::string> ReadEach(IHTMLElementCollection* collection, Read read)
{
    std::vector<std::string> values;
    for (LONG i = 0; i < Length(collection); ++i) {
        ComPtr<Interface> element;
        EXPECT_EQ(Item(collection, i).As(&element), S_OK) << "item " << i;
        if (element)
            values.push_back(ReadString([&](BSTR* out) { return read(element.Get(), out); }));
    }
    return values;
}

// The inner HTML of the html element, as the page saver reads it.
std::string RootInnerHtml(IHTMLDocument2* document);
// The inner HTML of the first element with this tag name.
std::string InnerHtmlOf(IHTMLDocument2* document, std::u16string_view tagName);

}  // namespace wys::test
