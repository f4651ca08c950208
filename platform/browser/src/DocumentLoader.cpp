#include "platform/browser/src/DocumentLoader.h"

#include <algorithm>
#include <chrono>
#include <map>

#include "platform/base/AsciiText.h"
#include "platform/browser/src/CharsetDecoding.h"
#include "platform/com/Bstr.h"
#include "platform/dom/HtmlDocument.h"
#include "platform/dom/HtmlDocumentBuilder.h"
#include "platform/inet/ShownDocuments.h"
#include "platform/inet/UrlCombine.h"
#include "platform/mime/PageReferences.h"

namespace wys::browser {
namespace {

using Clock = std::chrono::steady_clock;

std::string SchemeOf(std::string_view url)
{
    std::size_t colon = url.find(':');
    return wys::base::AsciiLower(url.substr(0, colon == std::string_view::npos ? 0 : colon));
}

bool IsLoadableScheme(const std::string& scheme)
{
    return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "file";
}

// The URL without its fragment: "a.html#x" frames the same document as "a.html".
std::string WithoutFragment(std::string_view url)
{
    return std::string(url.substr(0, url.find('#')));
}

// Imports nested deeper than this are left to whoever saves the sheets.
constexpr int kMaxPreloadedImportDepth = 8;

// The absolute URLs of `references` of the kinds a browser loads to show a
// document, resolved against `base`.
void AddResolved(const std::vector<PageReference>& references, const std::string& base,
                 std::vector<std::string>& urls)
{
    for (const PageReference& reference : references) {
        if (reference.kind != ReferenceKind::Image && reference.kind != ReferenceKind::StyleSheet &&
            reference.kind != ReferenceKind::Script)
            continue;
        if (std::optional<std::string> url = CombineUrl(base, reference.url))
            urls.push_back(std::move(*url));
    }
}

bool IsStyleSheetResponse(const PreloadedResponse& response)
{
    for (const auto& [name, value] : response.headers) {
        if (wys::base::EqualsIgnoringAsciiCase(name, "Content-Type"))
            return wys::base::AsciiLower(value).starts_with("text/css");
    }
    return false;
}

// Follows a preloaded style sheet to what it imports and shows, as a
// browser applying it would; called on the preload's thread only.
class CStyleSheetFollower {
public:
    std::vector<std::string> operator()(const std::string& url, const PreloadedResponse& response)
    {
        std::vector<std::string> urls;
        if (!IsStyleSheetResponse(response))
            return urls;
        auto known = m_depths.find(url);
        const int depth = known == m_depths.end() ? 0 : known->second;
        if (depth >= kMaxPreloadedImportDepth)
            return urls;
        AddResolved(FindStyleReferences(response.body), url, urls);
        for (const std::string& found : urls) {
            if (std::optional<std::string> key = CombineUrl(found, ""))
                m_depths.emplace(*key, depth + 1);
        }
        return urls;
    }

private:
    std::map<std::string, int> m_depths;  // import depth of the sheets found in sheets
};

class CTreeLoader {
public:
    CTreeLoader(const PageLoadOptions& options)
        : m_options(options), m_deadline(Clock::now() + options.timeout)
    {
    }

    LoadedDocumentTree Load(const std::string& url)
    {
        LoadedDocumentTree tree;
        tree.page = LoadPage(url, m_options);
        if (!tree.page.Loaded())
            return tree;
        m_chain = {WithoutFragment(url), WithoutFragment(tree.page.finalUrl)};
        m_topIsRemote = SchemeOf(tree.page.finalUrl) != "file";
        // Only what comes from the web is loaded along with the page.
        if (std::string scheme = SchemeOf(tree.page.finalUrl); scheme == "http" || scheme == "https")
            m_preload = std::make_shared<CResourcePreload>(kBrowserAgent, CStyleSheetFollower());
        tree.document = Build(tree.page, 0);
        if (!tree.document) {
            tree.page.failure = "document could not be built";
            return tree;
        }
        ComPtr<IHTMLDocument2> html;
        if (SUCCEEDED(tree.document->QueryInterface(IID_IHTMLDocument2, html.PutVoid()))) {
            CComBSTR title;
            if (SUCCEEDED(html->get_title(&title)))
                tree.title = title.ToUtf8();
        }
        m_completed.push_back({tree.document, tree.page.finalUrl});
        tree.completed = std::move(m_completed);
        tree.preload = std::move(m_preload);
        return tree;
    }

private:
    // Builds the document of a loaded page at `depth`, loading its frames.
    ComPtr<IDispatch> Build(LoadedPage& page, int depth)
    {
        std::string text =
            IsHtmlContentType(page.contentType) ? DecodePageText(page.body, page.contentType) : std::string();
        page.body.clear();
        page.body.shrink_to_fit();
        // What this window shows is what a capture's archive should hold,
        // without asking the server a second time.
        if (!text.empty())
            CacheShownDocument(page.finalUrl, ShownDocument{"text/html; charset=utf-8", text});
        // The resources are found and on their way while the document is
        // built.
        if (m_preload && !text.empty()) {
            m_preload->AddFound([text, base = page.finalUrl]() mutable {
                PageReferences found = FindHtmlReferences(text);
                if (found.base) {
                    if (auto resolved = CombineUrl(base, *found.base))
                        base = *resolved;
                }
                std::vector<std::string> urls;
                AddResolved(found.references, base, urls);
                return urls;
            });
        }
        ComPtr<IDispatch> document;
        FrameDocumentSupplier frames = [this, depth](const FrameReference& frame) {
            return LoadFrame(frame, depth + 1);
        };
        if (FAILED(BuildDocument(text, page.contentType, page.finalUrl, CharsetDeclarations::DeclareUtf8,
                                 frames, document.GetAddressOf())))
            return nullptr;
        return document;
    }

    ComPtr<IDispatch> LoadFrame(const FrameReference& frame, int depth)
    {
        if (depth > kMaxFrameDepth || m_framesLoaded >= kMaxFramesPerPage || frame.src.empty())
            return nullptr;
        if (m_options.stop && m_options.stop->load())
            return nullptr;
        std::string base(frame.documentUrl);
        if (!frame.baseHref.empty()) {
            if (auto resolvedBase = CombineUrl(frame.documentUrl, frame.baseHref))
                base = *resolvedBase;
        }
        std::optional<std::string> url = CombineUrl(base, frame.src);
        if (!url)
            return nullptr;
        std::string scheme = SchemeOf(*url);
        if (!IsLoadableScheme(scheme) || (scheme == "file" && m_topIsRemote))
            return nullptr;
        std::string key = WithoutFragment(*url);
        if (std::find(m_chain.begin(), m_chain.end(), key) != m_chain.end())
            return nullptr;

        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now());
        if (left.count() <= 0)
            return nullptr;
        ++m_framesLoaded;
        PageLoadOptions options = m_options;
        options.timeout = left;
        LoadedPage page = LoadPage(*url, options);
        if (!page.Loaded())
            return nullptr;

        std::string finalKey = WithoutFragment(page.finalUrl);
        if (finalKey != key && std::find(m_chain.begin(), m_chain.end(), finalKey) != m_chain.end())
            return nullptr;
        m_chain.push_back(key);
        m_chain.push_back(finalKey);
        ComPtr<IDispatch> document = Build(page, depth);
        m_chain.resize(m_chain.size() - 2);
        if (document)
            m_completed.push_back({document, page.finalUrl});
        return document;
    }

    PageLoadOptions m_options;
    Clock::time_point m_deadline;
    bool m_topIsRemote = true;
    int m_framesLoaded = 0;
    std::vector<std::string> m_chain;  // URLs of the documents around the frame being loaded
    std::vector<CompletedDocument> m_completed;
    std::shared_ptr<CResourcePreload> m_preload;
};

}  // namespace

LoadedDocumentTree LoadDocumentTree(const std::string& url, const PageLoadOptions& options)
{
    CTreeLoader loader(options);
    return loader.Load(url);
}

}  // namespace wys::browser
