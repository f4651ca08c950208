// Private to platform/inet: the settings and the shared caches of one
// session. Requests hold the session through a shared pointer, so it lives
// until its last request is closed.
#pragma once

#include <curl/curl.h>

#include <array>
#include <mutex>
#include <optional>
#include <string>

#include "platform/inet/WinInet.h"

class CInternetSession {
public:
    // Limits of every request of the library, in place of the platform's
    // defaults: redirects followed, and a minute for a connection attempt.
    static constexpr long kMaxRedirects = 10;
    static constexpr long kConnectTimeoutSeconds = 60;

    CInternetSession(std::optional<std::string> agent, DWORD accessType, std::string proxy,
                     std::string proxyBypass);
    ~CInternetSession();
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    // False when libcurl could not give the session its caches.
    bool IsValid() const { return m_share != nullptr; }

    // Gives a new transfer the agent, the proxy choice, the time limits and
    // the session's connection, name and cookie caches.
    void Configure(CURL* easy) const;

    void SetStopCheck(InternetStopCheck stop) { m_stop = std::move(stop); }
    const InternetStopCheck& StopCheck() const { return m_stop; }

private:
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self);
    static void Unlock(CURL*, curl_lock_data data, void* self);

    std::optional<std::string> m_agent;
    DWORD m_accessType;
    std::string m_proxy;
    std::string m_proxyBypass;
    InternetStopCheck m_stop;
    // libcurl takes these around the shared caches; a session's requests may
    // run on different threads.
    std::array<std::mutex, CURL_LOCK_DATA_LAST> m_locks;
    CURLSH* m_share = nullptr;
};
