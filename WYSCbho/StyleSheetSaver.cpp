#include "WYSCbho/StyleSheetSaver.h"

#include "WYSCbho/CssReferences.h"
#include "WYSCbho/InlineStyles.h"
#include "WYSCbho/RewriteLinks.h"
#include "WYSCbho/TextFileRewrite.h"
#include "platform/inet/UrlCombine.h"

#include <utility>
#include <vector>

namespace wys::capture {
namespace {

std::string FolderOf(const std::string& file)
{
    std::size_t slash = file.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : file.substr(0, slash);
}

std::string SchemeOf(std::string_view url)
{
    std::size_t colon = url.find(':');
    std::string scheme(url.substr(0, colon == std::string_view::npos ? 0 : colon));
    for (char& c : scheme) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return scheme;
}

// A fragment as it may follow the local path inside url("...").
std::string CssFragment(std::string_view fragment)
{
    std::string out;
    for (char c : fragment) {
        if (c == '"')
            out += "%22";
        else if (c == '\\')
            out += "%5C";
        else if (static_cast<unsigned char>(c) >= 0x20)
            out += c;
    }
    return out;
}

}  // namespace

std::string CStyleSheetSaver::LocalFile(const std::string& url)
{
    const auto& saved = m_saver.SavedFiles();
    if (auto found = saved.find(url); found != saved.end())
        return found->second;
    if (m_saved >= kMaxFiles || IsStopRequested(m_saver.StopFlag()))
        return {};
    ++m_saved;
    SaveResource(m_saver, url);
    auto found = saved.find(url);
    return found == saved.end() ? std::string() : found->second;
}

namespace {

// The absolute URL (without fragment) that `reference` names from `baseUrl`,
// and its fragment; nullopt when nothing of it is to be saved: a fragment of
// the sheet itself ("#gradient"), data that the reference carries, a scheme
// that is not fetched.
std::optional<std::string> ResolveReference(const std::string& baseUrl, const CssReference& reference,
                                            std::string* fragment)
{
    if (reference.url.starts_with('#'))
        return std::nullopt;
    std::optional<std::string> absolute = CombineUrl(baseUrl, reference.url);
    if (!absolute)
        return std::nullopt;
    std::string scheme = SchemeOf(*absolute);
    if (scheme != "http" && scheme != "https" && scheme != "ftp" && scheme != "file")
        return std::nullopt;
    std::string url = *absolute;
    if (std::size_t hash = url.find('#'); hash != std::string::npos) {
        if (fragment)
            *fragment = url.substr(hash);
        url.resize(hash);
    }
    return url;
}

}  // namespace

std::string CStyleSheetSaver::SaveReferences(const std::string& css, const std::string& baseUrl,
                                             const std::string& folder, int depth)
{
    // What the sheet names is fetched together, then saved in its order.
    std::set<std::string> named;
    for (const CssReference& reference : FindCssReferences(css)) {
        std::optional<std::string> url = ResolveReference(baseUrl, reference, nullptr);
        if (url && !m_saver.SavedFiles().count(*url))
            named.insert(*url);
    }
    if (m_saved + named.size() <= kMaxFiles)
        m_saver.Prefetch(named);
    std::vector<std::pair<std::string, std::string>> imports;  // URL, file
    std::string rewritten =
        RewriteCssReferences(css, [&](const CssReference& reference) -> std::optional<std::string> {
            std::string fragment;
            std::optional<std::string> resolved = ResolveReference(baseUrl, reference, &fragment);
            if (!resolved)
                return std::nullopt;
            const std::string& url = *resolved;
            std::string file = LocalFile(url);
            if (file.empty())
                return std::nullopt;
            if (reference.kind == CssReference::Kind::Import && depth < kMaxImportDepth)
                imports.emplace_back(url, file);
            std::string relative = RelativeLocalPath(folder, file);
            if (relative.empty())
                return std::nullopt;
            return CssUrlOfLocalPath(relative) + CssFragment(fragment);
        });
    m_saver.FinishPrefetch();
    // The imported sheets after this one's own references, so that those
    // were fetched together.
    for (const auto& [url, file] : imports)
        Follow(url, file, depth + 1);
    return rewritten;
}

void CStyleSheetSaver::Follow(const std::string& sheetUrl, const std::string& sheetFile, int depth)
{
    // Each sheet once: a sheet importing itself, or two importing each
    // other, end here.
    if (!m_followed.insert(sheetUrl).second)
        return;
    const std::string folder = FolderOf(sheetFile);
    RewriteTextFile(sheetFile, [&](std::string css) { return SaveReferences(css, sheetUrl, folder, depth); });
}

void CStyleSheetSaver::FollowHtmlFile(const std::string& htmlFile, const std::string& documentUrl)
{
    const std::string folder = FolderOf(htmlFile);
    RewriteTextFile(htmlFile, [&](std::string html) {
        std::string base = documentUrl;
        if (std::string href = BaseHrefOf(html); !href.empty()) {
            if (std::optional<std::string> resolved = CombineUrl(documentUrl, href))
                base = *resolved;
        }
        return RewriteInlineStyles(
            html, [&](const std::string& css) { return SaveReferences(css, base, folder, 0); });
    });
}

}  // namespace wys::capture
