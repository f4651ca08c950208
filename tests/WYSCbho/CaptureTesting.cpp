#include "tests/WYSCbho/CaptureTesting.h"

#include <gtest/gtest.h>

#include "platform/dom/HtmlDocumentBuilder.h"
#include "platform/inet/UrlCombine.h"

namespace wys::test {
namespace {

ComPtr<IDispatch> BuildDepth(const PageSet& pages, const std::string& url, int depth)
{
    auto found = pages.find(url);
    if (found == pages.end() || depth > 4)
        return nullptr;
    FrameDocumentSupplier frames = [&pages, depth](const FrameReference& frame) -> ComPtr<IDispatch> {
        std::optional<std::string> absolute = CombineUrl(frame.documentUrl, frame.src);
        return absolute ? BuildDepth(pages, *absolute, depth + 1) : nullptr;
    };
    ComPtr<IDispatch> document;
    EXPECT_EQ(BuildHtmlDocument(found->second, url, CharsetDeclarations::DeclareUtf8, frames,
                                document.ReleaseAndGetAddressOf()),
              S_OK);
    return document;
}

}  // namespace

ComPtr<IHTMLDocument2> BuildSite(const PageSet& pages, const std::string& url)
{
    ComPtr<IDispatch> document = BuildDepth(pages, url, 0);
    ComPtr<IHTMLDocument2> html;
    if (document) {
        EXPECT_EQ(document.As(&html), S_OK);
    }
    return html;
}

ComPtr<IHTMLDocument2> BuildPageAt(std::string_view html, std::string_view url)
{
    return BuildSite({{std::string(url), std::string(html)}}, std::string(url));
}

}  // namespace wys::test
