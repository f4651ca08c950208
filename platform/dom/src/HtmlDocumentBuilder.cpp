#include "platform/dom/HtmlDocumentBuilder.h"

#include <cstdint>

#include "platform/com/ComError.h"
#include "platform/dom/src/CHtmlDocument.h"

using wys::dom::CDocumentTree;
using wys::dom::CHtmlDocument;
using wys::dom::CNonHtmlDocument;

HRESULT BuildHtmlDocument(std::string_view html, std::string_view url, CharsetDeclarations charsets,
                          const FrameDocumentSupplier& frames, IDispatch** document)
{
    if (!document)
        return E_POINTER;
    *document = nullptr;
    // Node positions are 32-bit, and the parser counts offsets in 32 bits.
    if (html.size() >= 0x80000000u)
        return E_INVALIDARG;
    return ComBoundary([&] {
        CDocumentTree tree = CDocumentTree::Parse(html);
        if (charsets == CharsetDeclarations::DeclareUtf8)
            tree.DeclareUtf8();
        ComPtr<IHTMLDocument2> built;
        built.Attach(CreateComObject<CHtmlDocument>(std::string(url), std::move(tree)));
        if (frames)
            static_cast<CHtmlDocument*>(built.Get())->LoadFrames(frames);
        *document = built.Detach();
        return S_OK;
    });
}

HRESULT CreateNonHtmlDocument(IDispatch** document)
{
    if (!document)
        return E_POINTER;
    *document = nullptr;
    return ComBoundary([&] {
        *document = CreateComObject<CNonHtmlDocument>();
        return S_OK;
    });
}

bool IsHtmlContentType(std::string_view contentType)
{
    std::string_view type = contentType.substr(0, contentType.find(';'));
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!type.empty() && isSpace(type.front()))
        type.remove_prefix(1);
    while (!type.empty() && isSpace(type.back()))
        type.remove_suffix(1);
    return wys::dom::EqualsIgnoringAsciiCase(type, "text/html") ||
           wys::dom::EqualsIgnoringAsciiCase(type, "application/xhtml+xml");
}

HRESULT BuildDocument(std::string_view body, std::string_view contentType, std::string_view url,
                      CharsetDeclarations charsets, const FrameDocumentSupplier& frames, IDispatch** document)
{
    if (IsHtmlContentType(contentType))
        return BuildHtmlDocument(body, url, charsets, frames, document);
    return CreateNonHtmlDocument(document);
}
