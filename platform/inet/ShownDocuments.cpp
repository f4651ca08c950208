#include "platform/inet/ShownDocuments.h"

#include <list>
#include <mutex>

namespace {

struct Entry {
    std::string url;
    ShownDocument document;
};

class CShownDocuments {
public:
    static CShownDocuments& Instance()
    {
        // Never destroyed: hosts may cache from threads that outlive statics.
        static CShownDocuments* cache = new CShownDocuments;
        return *cache;
    }

    void Put(std::string url, ShownDocument document)
    {
        std::lock_guard lock(m_mutex);
        Erase(url);
        if (document.body.size() > kMaxShownDocumentBytes)
            return;
        m_bytes += document.body.size();
        m_entries.push_front({std::move(url), std::move(document)});
        while (m_entries.size() > kMaxShownDocuments || m_bytes > kMaxShownDocumentBytes) {
            m_bytes -= m_entries.back().document.body.size();
            m_entries.pop_back();
        }
    }

    std::optional<ShownDocument> Find(const std::string& url)
    {
        std::lock_guard lock(m_mutex);
        for (const Entry& entry : m_entries) {
            if (entry.url == url)
                return entry.document;
        }
        return std::nullopt;
    }

    void Clear()
    {
        std::lock_guard lock(m_mutex);
        m_entries.clear();
        m_bytes = 0;
    }

private:
    void Erase(const std::string& url)
    {
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->url == url) {
                m_bytes -= it->document.body.size();
                m_entries.erase(it);
                return;
            }
        }
    }

    std::mutex m_mutex;
    std::list<Entry> m_entries;  // most recent first
    std::size_t m_bytes = 0;
};

std::string WithoutFragment(std::string_view url)
{
    return std::string(url.substr(0, url.find('#')));
}

}  // namespace

void CacheShownDocument(std::string_view url, ShownDocument document)
{
    CShownDocuments::Instance().Put(WithoutFragment(url), std::move(document));
}

std::optional<ShownDocument> FindShownDocument(std::string_view url)
{
    return CShownDocuments::Instance().Find(WithoutFragment(url));
}

void ClearShownDocuments()
{
    CShownDocuments::Instance().Clear();
}
