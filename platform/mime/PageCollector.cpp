#include "platform/mime/PageCollector.h"

#include <deque>
#include <set>

#include "platform/com/ComError.h"
#include "platform/inet/UrlCombine.h"
#include "platform/mime/PageReferences.h"

namespace {

constexpr std::size_t kMaxParts = 2000;
constexpr int kMaxFrameDepth = 3;

struct Pending {
    std::string url;
    ReferenceKind kind;
    int depth;
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
    CPageCollector(CResourceFetcher& fetcher, CdoMHTMLFlags flags, const Credentials& credentials)
        : m_fetcher(fetcher), m_flags(flags), m_credentials(credentials)
    {
    }

    std::vector<MimeBodyPart> Collect(const std::string& pageUrl)
    {
        FetchedResource page = m_fetcher.Fetch(pageUrl, m_credentials);
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
                resource = m_fetcher.Fetch(next.url, m_credentials);
            } catch (const ComError& e) {
                if (e.Error() == E_ABORT)
                    throw;
                continue;  // A resource that cannot be had is left out of the archive.
            }
            if (resource.contentType.empty())
                resource.contentType = "application/octet-stream";
            std::string media = MediaTypeOf(resource.contentType);
            if (media == "text/css")
                Queue(FindStyleReferences(resource.body), next.url, next.depth);
            else if (next.kind == ReferenceKind::Frame && IsHtml(media) &&
                     next.depth < kMaxFrameDepth)
                QueueHtml(resource.body, next.url, next.depth + 1);
            m_parts.push_back({resource.contentType, next.url, {}, std::move(resource.body)});
        }
        return std::move(m_parts);
    }

private:
    void QueueHtml(const std::string& html, const std::string& url, int depth)
    {
        PageReferences found = FindHtmlReferences(html);
        std::string base = url;
        if (found.base) {
            if (auto resolved = CombineUrl(url, *found.base))
                base = *resolved;
        }
        Queue(found.references, base, depth);
    }

    void Queue(const std::vector<PageReference>& references, const std::string& base, int depth)
    {
        for (const PageReference& reference : references) {
            if (IsSuppressed(reference.kind, m_flags))
                continue;
            auto resolved = CombineUrl(base, reference.url);
            if (!resolved || !IsFetchedScheme(*resolved))
                continue;
            m_pending.push_back({WithoutFragment(*resolved), reference.kind, depth});
        }
    }

    CResourceFetcher& m_fetcher;
    CdoMHTMLFlags m_flags;
    const Credentials& m_credentials;
    std::set<std::string> m_seen;
    std::deque<Pending> m_pending;
    std::vector<MimeBodyPart> m_parts;
};

}  // namespace

std::vector<MimeBodyPart> CollectPageParts(CResourceFetcher& fetcher, const std::string& pageUrl,
                                           CdoMHTMLFlags flags, const Credentials& credentials)
{
    return CPageCollector(fetcher, flags, credentials).Collect(pageUrl);
}
