#include "tests/WYSCbho/SavedPageCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

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
        {"IMG", "src"},     {"SCRIPT", "src"}, {"LINK", "href"}, {"INPUT", "src"},
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

std::set<std::string> UnresolvedStyleReferences(const std::string& pageFile)
{
    namespace fs = std::filesystem;
    std::set<std::string> unresolved;
    auto check = [&](const fs::path& file) {
        static const std::regex kUrl(R"re(url\(\s*["']?([^"')]*)["']?\s*\))re", std::regex::icase);
        static const std::regex kImport(R"re(@import\s+["']([^"']*)["'])re", std::regex::icase);
        std::string text = ReadFile(file.string());
        // Style attributes carry their quotes as character references.
        if (file.extension() != ".css")
            text = std::regex_replace(std::regex_replace(text, std::regex("&quot;"), "\""),
                                      std::regex("&amp;"), "&");
        for (const std::regex* pattern : {&kUrl, &kImport}) {
            for (auto it = std::sregex_iterator(text.begin(), text.end(), *pattern);
                 it != std::sregex_iterator(); ++it) {
                std::string reference = (*it)[1].str();
                if (reference.starts_with("data:") || reference.starts_with("#"))
                    continue;
                std::optional<std::string> absolute = CombineUrl("file://" + file.string(), reference);
                std::string path =
                    absolute && absolute->starts_with("file://")
                        ? wys::capture::DecodeEscapes(absolute->substr(7, absolute->find('#') - 7))
                        : std::string();
                if (path.empty() || !fs::is_regular_file(path))
                    unresolved.insert(file.filename().string() + ": " + reference);
            }
        }
    };
    check(pageFile);
    std::error_code error;
    const fs::path folder = pageFile.substr(0, pageFile.size() - 4) + "_files";
    for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
        const std::string extension = entry.path().extension().string();
        if (extension == ".css" || extension == ".html" || extension == ".htm")
            check(entry.path());
    }
    return unresolved;
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
