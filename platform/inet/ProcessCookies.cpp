#include "platform/inet/ProcessCookies.h"

#include <mutex>
#include <vector>

namespace {

// One handle holds the store; a mutex serialises every use of it.
class CCookieStore {
public:
    static CCookieStore& Instance()
    {
        // Never destroyed: requests may run on threads that outlive statics.
        static CCookieStore* store = new CCookieStore;
        return *store;
    }

    bool Add(const std::string& line)
    {
        std::lock_guard lock(m_mutex);
        return m_easy && curl_easy_setopt(m_easy, CURLOPT_COOKIELIST, line.c_str()) == CURLE_OK;
    }

    std::vector<std::string> Lines()
    {
        std::lock_guard lock(m_mutex);
        return LinesOf(m_easy);
    }

    static std::vector<std::string> LinesOf(CURL* easy)
    {
        std::vector<std::string> lines;
        curl_slist* list = nullptr;
        if (!easy || curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &list) != CURLE_OK)
            return lines;
        for (curl_slist* item = list; item; item = item->next)
            lines.emplace_back(item->data);
        curl_slist_free_all(list);
        return lines;
    }

private:
    CCookieStore()
    {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            return;
        m_easy = curl_easy_init();
        if (m_easy)
            curl_easy_setopt(m_easy, CURLOPT_COOKIEFILE, "");
    }

    std::mutex m_mutex;
    CURL* m_easy = nullptr;
};

}  // namespace

void AddProcessCookiesTo(CURL* easy)
{
    for (const std::string& line : CCookieStore::Instance().Lines())
        curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
}

void KeepCookiesOf(CURL* easy)
{
    CCookieStore& store = CCookieStore::Instance();
    for (const std::string& line : CCookieStore::LinesOf(easy))
        store.Add(line);
}

bool AddProcessCookieLine(const std::string& line)
{
    return CCookieStore::Instance().Add(line);
}
