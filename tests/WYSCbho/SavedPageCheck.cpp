#include "tests/WYSCbho/SavedPageCheck.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "WYSCbho/DomText.h"
#include "WYSCbho/ParseUrl.h"
#include "common/StringConvert.h"
#include "platform/dom/HtmlDocumentBuilder.h"
#include "platform/dom/HtmlElement.h"
#include "platform/inet/UrlCombine.h"
#include "tests/support/TempHome.h"

namespace wys::test {

std::set<std::string> SavedPageReferences(const std::string& pageFile)
{
    const std::string pageUrl = "file://" + pageFile;
    ComPtr<IDispatch> built;
    EXPECT_EQ(BuildHtmlDocument(ReadFile(pageFile), pageUrl, CharsetDeclarations::Keep, {},
                                built.ReleaseAndGetAddressOf()),
              S_OK);
    ComPtr<IHTMLDocument2> document;
    EXPECT_EQ(built.As(&document), S_OK);

    std::set<std::string> references;
    const std::pair<const char*, const char*> attributes[] = {
        {"IMG", "src"},   {"SCRIPT", "src"}, {"LINK", "href"},  {"INPUT", "src"},
        {"PARAM", "value"}, {"IFRAME", "src"}, {"FRAME", "src"},
    };
    for (const auto& [tag, attribute] : attributes) {
        ComPtr<IHTMLElementCollection> elements = wys::capture::ElementsByTag(document.Get(), tag);
        wys::capture::ForEachElement(elements.Get(), [&, attribute = attribute](IDispatch* item) {
            ComPtr<IHTMLElement> element;
            ASSERT_EQ(item->QueryInterface(IID_IHTMLElement, element.PutVoid()), S_OK);
            VARIANT value;
            VariantInit(&value);
            ASSERT_EQ(element->getAttribute(CComBSTR(attribute), 0, &value), S_OK);
            if (value.vt != VT_BSTR)
                return;
            std::string written = BstrToNarrowZ(value.bstrVal);
            VariantClear(&value);
            std::optional<std::string> absolute = CombineUrl(pageUrl, written);
            if (!absolute || !absolute->starts_with("file://")) {
                references.insert("not a file: " + written);
                return;
            }
            std::string path = wys::capture::DecodeEscapes(absolute->substr(7));
            references.insert(std::filesystem::path(path).lexically_normal().string());
        });
    }
    return references;
}

std::set<std::string> FolderEntries(const std::string& folder)
{
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.insert(entry.path().filename().string());
    return names;
}

}  // namespace wys::test
