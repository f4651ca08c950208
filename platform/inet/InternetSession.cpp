#include "platform/inet/InternetSession.h"

#include "platform/inet/ProcessCookies.h"

namespace {

// A transfer that moves nothing for a minute is dropped.
constexpr long kStallSeconds = 60;

}  // namespace

CInternetSession::CInternetSession(std::optional<std::string> agent, DWORD accessType, std::string proxy,
                                   std::string proxyBypass)
    : m_agent(std::move(agent)),
      m_accessType(accessType),
      m_proxy(std::move(proxy)),
      m_proxyBypass(std::move(proxyBypass)),
      m_share(curl_share_init())
{
    if (!m_share)
        return;
    curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, &CInternetSession::Lock);
    curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, &CInternetSession::Unlock);
    curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
    for (curl_lock_data data :
         {CURL_LOCK_DATA_CONNECT, CURL_LOCK_DATA_DNS, CURL_LOCK_DATA_SSL_SESSION, CURL_LOCK_DATA_COOKIE}) {
        if (curl_share_setopt(m_share, CURLSHOPT_SHARE, data) != CURLSHE_OK) {
            curl_share_cleanup(m_share);
            m_share = nullptr;
            return;
        }
    }
}

CInternetSession::~CInternetSession()
{
    if (m_share)
        curl_share_cleanup(m_share);
}

void CInternetSession::Configure(CURL* easy) const
{
    curl_easy_setopt(easy, CURLOPT_SHARE, m_share);
    if (m_agent)
        curl_easy_setopt(easy, CURLOPT_USERAGENT, m_agent->c_str());
    // With the preconfigured access type nothing is set: libcurl then takes
    // http_proxy, https_proxy, all_proxy and no_proxy from the environment.
    if (m_accessType == INTERNET_OPEN_TYPE_DIRECT) {
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
    } else if (m_accessType == INTERNET_OPEN_TYPE_PROXY) {
        curl_easy_setopt(easy, CURLOPT_PROXY, m_proxy.c_str());
        curl_easy_setopt(easy, CURLOPT_NOPROXY, m_proxyBypass.c_str());
    }
    // Signals would reach whichever thread of the host process they like.
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, CInternetSession::kConnectTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    // The process's cookies go with every request (a server that sets one on
    // a redirect sees it on the next request, a page's session cookie goes
    // with its capture's downloads); in memory only, no cookie file is written.
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    AddProcessCookiesTo(easy);
}

void CInternetSession::Lock(CURL*, curl_lock_data data, curl_lock_access, void* self)
{
    static_cast<CInternetSession*>(self)->m_locks[data].lock();
}

void CInternetSession::Unlock(CURL*, curl_lock_data data, void* self)
{
    static_cast<CInternetSession*>(self)->m_locks[data].unlock();
}
