#include "platform/mime/ResourceFetcher.h"

#include <algorithm>
#include <cctype>

#include "platform/base/AsciiText.h"
#include "platform/com/ComError.h"
#include "platform/inet/UrlParts.h"

namespace {

HRESULT FailureOf(DWORD error)
{
    if (error == ERROR_INTERNET_OPERATION_CANCELLED)
        return E_ABORT;
    return HRESULT_FROM_WIN32(static_cast<LONG>(error));
}

// Characters that would end the user name or password inside a URL.
std::string EscapeUserInfo(const std::string& text)
{
    return wys::base::PercentEncode(text, [](unsigned char c) {
        return !(std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~');
    });
}

std::string WithCredentials(const std::string& url, const Credentials& credentials)
{
    auto parts = CrackUrl(url);
    if (credentials.userName.empty() || !parts || !parts->hasAuthority)
        return url;
    parts->hasUserInfo = true;
    parts->userName = EscapeUserInfo(credentials.userName);
    parts->hasPassword = !credentials.password.empty();
    parts->password = EscapeUserInfo(credentials.password);
    return ComposeUrl(*parts);
}

std::string ResponseContentType(HINTERNET request)
{
    char buffer[512];
    DWORD length = sizeof buffer;
    if (HttpQueryInfo(request, HTTP_QUERY_CONTENT_TYPE, buffer, &length, nullptr))
        return std::string(buffer, length);
    return {};  // Not an http response, no such header, or an absurd one: guess.
}

}  // namespace

bool IsFetchedScheme(const std::string& url)
{
    std::string scheme = UrlScheme(url);
    return scheme == "http" || scheme == "https" || scheme == "ftp";
}

std::string ContentTypeByExtension(const std::string& url)
{
    static const std::pair<const char*, const char*> kTypes[] = {
        {"htm", "text/html"},
        {"html", "text/html"},
        {"css", "text/css"},
        {"js", "text/javascript"},
        {"mjs", "text/javascript"},
        {"txt", "text/plain"},
        {"xml", "application/xml"},
        {"json", "application/json"},
        {"png", "image/png"},
        {"gif", "image/gif"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"webp", "image/webp"},
        {"svg", "image/svg+xml"},
        {"ico", "image/x-icon"},
        {"bmp", "image/bmp"},
        {"mp3", "audio/mpeg"},
        {"wav", "audio/wav"},
        {"mid", "audio/midi"},
        {"mp4", "video/mp4"},
        {"webm", "video/webm"},
        {"woff", "font/woff"},
        {"woff2", "font/woff2"},
        {"ttf", "font/ttf"},
        {"swf", "application/x-shockwave-flash"},
    };
    auto parts = CrackUrl(url);
    if (!parts)
        return {};
    const std::string& path = parts->path;
    std::size_t slash = path.rfind('/');
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    const std::string extension = wys::base::AsciiLower(path.substr(dot + 1));
    for (const auto& [known, type] : kTypes) {
        if (extension == known)
            return type;
    }
    return {};
}

void CResourceFetcher::SetProxy(const std::string& proxy, const std::string& bypass)
{
    if (proxy == m_proxy && bypass == m_bypass)
        return;
    m_proxy = proxy;
    m_bypass = bypass;
    m_session.Reset();  // the next fetch opens a session with the new proxy
}

void CResourceFetcher::SetStopCheck(InternetStopCheck stop)
{
    m_stop = std::move(stop);
    if (m_session)
        InternetSetStopCheck(m_session.Get(), m_stop);
}

HINTERNET CResourceFetcher::Session()
{
    if (!m_session) {
        bool proxy = !m_proxy.empty();
        DWORD access = proxy ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_PRECONFIG;
        m_session.Reset(InternetOpen(kAgent, access, proxy ? m_proxy.c_str() : nullptr,
                                     proxy ? m_bypass.c_str() : nullptr, 0));
        if (!m_session)
            throw ComError(FailureOf(InternetGetLastError()));
        InternetSetStopCheck(m_session.Get(), m_stop);
    }
    return m_session.Get();
}

FetchedResource CResourceFetcher::Fetch(const std::string& url, const Credentials& credentials)
{
    if (!IsFetchedScheme(url))
        throw ComError(E_INVALIDARG);
    CInternetHandle request(InternetOpenUrl(Session(), WithCredentials(url, credentials).c_str(), nullptr, 0,
                                            m_latest ? INTERNET_FLAG_RELOAD : 0, 0));
    if (!request)
        throw ComError(FailureOf(InternetGetLastError()));
    FetchedResource resource;
    resource.contentType = ResponseContentType(request.Get());
    if (resource.contentType.empty())
        resource.contentType = ContentTypeByExtension(url);
    // Read straight into the body, as much at a time as has arrived (all of
    // it at once for what the browser loaded with the page).
    for (;;) {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request.Get(), &available, 0, 0))
            throw ComError(FailureOf(InternetGetLastError()));
        const std::size_t want = std::max<DWORD>(available, 1);
        const std::size_t used = resource.body.size();
        resource.body.resize(used + want);
        DWORD read = 0;
        if (!InternetReadFile(request.Get(), resource.body.data() + used, static_cast<DWORD>(want), &read)) {
            resource.body.resize(used);
            throw ComError(FailureOf(InternetGetLastError()));
        }
        resource.body.resize(used + read);
        if (read == 0)
            break;
    }
    return resource;
}
