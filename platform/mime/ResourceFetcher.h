// Private to platform/mime: fetches the page and resources of a message over
// one internet session, kept for the message's life so that its fetches
// share connections.
#pragma once

#include <string>

#include "platform/inet/InternetHandle.h"
#include "platform/inet/WinInet.h"

struct FetchedResource {
    // The server's Content-Type, else one guessed from the URL's extension.
    std::string contentType;
    std::string body;
};

struct Credentials {
    std::string userName;  // empty: none
    std::string password;
};

class CResourceFetcher {
public:
    // Agent sent with every fetch of the messaging component.
    static constexpr const char* kAgent = "Mozilla/4.0 (compatible; MSIE 6.0; CDO)";

    // The proxy for the next fetches: empty for the environment's.
    void SetProxy(const std::string& proxy, const std::string& bypass);
    void SetStopCheck(InternetStopCheck stop);
    // Whether fetches insist on the server's latest version (the default)
    // or may take what the browser has just loaded.
    void SetLatestVersion(bool latest) { m_latest = latest; }
    bool LatestVersion() const { return m_latest; }

    // Fetches an http, https or ftp URL whatever the response status. Throws
    // ComError: E_ABORT once stopped, E_INVALIDARG for another scheme, else
    // HRESULT_FROM_WIN32 of the internet error.
    FetchedResource Fetch(const std::string& url, const Credentials& credentials);

private:
    HINTERNET Session();

    CInternetHandle m_session;
    std::string m_proxy;
    std::string m_bypass;
    InternetStopCheck m_stop;
    bool m_latest = true;
};

// Whether the messaging component fetches URLs of this scheme.
bool IsFetchedScheme(const std::string& url);

// A Content-Type for a URL by the extension of its path; empty when unknown.
std::string ContentTypeByExtension(const std::string& url);
