#include "platform/mime/PageCollector.h"

#include <deque>
#include <map>
#include <set>

#include "platform/com/ComError.h"
#include "platform/inet/ShownDocuments.h"
#include "platform/inet/UrlCombine.h"
#include "platform/mime/PageReferences.h"

namespace {

constexpr std::size_t kMaxParts = 2000;
constexpr int kMaxFrameDepth = 3;
constexpr int kMaxImportDepth = 16;

struct Pending {
    std::string url;
    ReferenceKind kind;
    int depth;        // of frames
    int importDepth;  // of style sheets importing style sheets
};

bool IsSuppressed(ReferenceKind kind, CdoMHTMLFlags flags)
{
    switch (kind) {
        case ReferenceKind::Image:
            return flags & cdoSuppressImages;
        case ReferenceKind::Sound:
            return flags & cdoSuppressBGSounds;
        case ReferenceKind::Frame:
            return flags & cdoSuppressFrames;
        case ReferenceKind::Object:
            return flags & cdoSuppressObjects;
        case ReferenceKind::StyleSheet:
            return flags & cdoSuppressStyleSheets;
        case ReferenceKind::Script:
            return false;
    }
    return false;
}

bool IsHtml(const std::string& mediaType)
{
    return mediaType == "text/html" || mediaType == "application/xhtml+xml";
}

std::string WithoutFragment(std::string url)
{
    std::size_t hash = url.find('#');
    if (hash != std::string::npos)
        url.erase(hash);
    return url;
}

class CPageCollector {
public:
    CPageCollector(CResourceFetcher& fetcher, CdoMHTMLFlags flags, const Credentials& credentials,
                   PageVersion version)
        : m_fetcher(fetcher), m_flags(flags), m_credentials(credentials), m_version(version)
    {
    }

    std::vector<MimeBodyPart> Collect(const std::string& pageUrl)
    {
        FetchedResource page = FetchDocument(pageUrl);
        if (page.contentType.empty())
            page.contentType = "text/html";
        m_seen.insert(WithoutFragment(pageUrl));
        if (IsHtml(MediaTypeOf(page.contentType)))
            QueueHtml(page.body, pageUrl, 0);
        m_parts.push_back({page.contentType, pageUrl, {}, std::move(page.body)});
        while (!m_pending.empty() && m_parts.size() < kMaxParts) {
            Pending next = std::move(m_pending.front());
            m_pending.pop_front();
            if (!m_seen.insert(next.url).second)
                continue;
            FetchedResource resource;
            try {
                resource = next.kind == ReferenceKind::Frame ? FetchDocument(next.url)
                                                             : m_fetcher.Fetch(next.url, m_credentials);
            } catch (const ComError& e) {
                if (e.Error() == E_ABORT)
                    throw;
                continue;  // A resource that cannot be had is left out of the archive.
            }
            if (resource.contentType.empty())
                resource.contentType = "application/octet-stream";
            std::string media = MediaTypeOf(resource.contentType);
            if (media == "text/css" && next.importDepth < kMaxImportDepth)
                Queue(FindStyleReferences(resource.body), next.url, next.depth, next.importDepth + 1);
            else if (next.kind == ReferenceKind::Frame && IsHtml(media) && next.depth < kMaxFrameDepth)
                QueueHtml(resource.body, next.url, next.depth + 1);
            m_parts.push_back({resource.contentType, next.url, {}, std::move(resource.body)});
        }
        // A browser looks a part up by the reference as written, fragment
        // included ("icons.svg#home"): such references get their part under
        // that location too.
        const std::size_t fetched = m_parts.size();
        for (std::size_t i = 0; i < fetched; ++i) {
            auto aliases = m_aliases.find(m_parts[i].location);
            if (aliases == m_aliases.end())
                continue;
            for (const std::string& alias : aliases->second) {
                if (m_parts.size() >= kMaxParts)
                    break;
                MimeBodyPart copy = m_parts[i];
                copy.location = alias;
                m_parts.push_back(std::move(copy));
            }
        }
        return std::move(m_parts);
    }

private:
    // A document: the one shown, when asked for and the cache has it; else fetched.
    FetchedResource FetchDocument(const std::string& url)
    {
        if (m_version == PageVersion::Shown) {
            if (std::optional<ShownDocument> shown = FindShownDocument(url))
                return {std::move(shown->contentType), std::move(shown->body)};
        }
        return m_fetcher.Fetch(url, m_credentials);
    }

    void QueueHtml(const std::string& html, const std::string& url, int depth)
    {
        PageReferences found = FindHtmlReferences(html);
        std::string base = url;
        if (found.base) {
            if (auto resolved = CombineUrl(url, *found.base))
                base = *resolved;
        }
        Queue(found.references, base, depth, 0);
    }

    void Queue(const std::vector<PageReference>& references, const std::string& base, int depth,
               int importDepth)
    {
        for (const PageReference& reference : references) {
            if (IsSuppressed(reference.kind, m_flags))
                continue;
            auto resolved = CombineUrl(base, reference.url);
            if (!resolved || !IsFetchedScheme(*resolved))
                continue;
            std::string url = WithoutFragment(*resolved);
            if (url != *resolved)
                m_aliases[url].insert(*resolved);
            m_pending.push_back({std::move(url), reference.kind, depth, importDepth});
        }
    }

    CResourceFetcher& m_fetcher;
    CdoMHTMLFlags m_flags;
    const Credentials& m_credentials;
    PageVersion m_version;
    std::set<std::string> m_seen;
    // URL without fragment -> the references to it with one.
    std::map<std::string, std::set<std::string>> m_aliases;
    std::deque<Pending> m_pending;
    std::vector<MimeBodyPart> m_parts;
};

}  // namespace

std::vector<MimeBodyPart> CollectPageParts(CResourceFetcher& fetcher, const std::string& pageUrl,
                                           CdoMHTMLFlags flags, const Credentials& credentials,
                                           PageVersion version)
{
    return CPageCollector(fetcher, flags, credentials, version).Collect(pageUrl);
}
