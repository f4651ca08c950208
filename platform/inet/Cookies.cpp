#include "platform/inet/Cookies.h"

#include <curl/curl.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <string_view>

#include "platform/base/AsciiText.h"
#include "platform/inet/InternetError.h"
#include "platform/inet/ProcessCookies.h"
#include "platform/inet/UrlParts.h"

namespace {

// The longest name and value a browser keeps.
constexpr std::size_t kMaxCookieBytes = 4096;
// What a cookie's name, value and attributes may be padded with.
constexpr std::string_view kBlanks = " \t";

// Control characters would end the header line (or, tabs, the field of the
// store's line format) they travel in.
bool HasControl(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

bool IsIpLiteral(std::string_view host)
{
    return host.starts_with('[') ||
           std::all_of(host.begin(), host.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

BOOL AddToStore(const std::string& line)
{
    return AddProcessCookieLine(line) ? TRUE : SetInternetError(ERROR_INTERNET_INTERNAL_ERROR);
}

}  // namespace

BOOL InternetSetCookie(const char* url, const char* name, const char* data)
{
    if (!url || !data)
        return SetInternetError(ERROR_INVALID_PARAMETER);
    std::optional<UrlParts> parts = CrackUrl(url);
    if (!parts || (parts->scheme != "http" && parts->scheme != "https") || parts->host.empty())
        return SetInternetError(ERROR_INVALID_PARAMETER);
    const std::string host = wys::base::AsciiLower(parts->host);

    std::string_view text(data);
    std::string_view first = text.substr(0, text.find(';'));
    std::string_view rest = first.size() < text.size() ? text.substr(first.size() + 1) : std::string_view();
    std::string cookieName;
    std::string value;
    if (name) {
        cookieName = wys::base::TrimAscii(name, kBlanks);
        value = wys::base::TrimAscii(first, kBlanks);
    } else {
        std::size_t equals = first.find('=');
        if (equals == std::string_view::npos)
            return SetInternetError(ERROR_INVALID_PARAMETER);
        cookieName = wys::base::TrimAscii(first.substr(0, equals), kBlanks);
        value = wys::base::TrimAscii(first.substr(equals + 1), kBlanks);
    }
    if (cookieName.empty() || HasControl(cookieName) || HasControl(value) ||
        cookieName.find_first_of(" =;,") != std::string::npos || cookieName.starts_with('#') ||
        cookieName.size() + value.size() > kMaxCookieBytes)
        return SetInternetError(ERROR_INVALID_PARAMETER);

    std::string domain;
    std::string path;
    bool secure = false;
    bool httpOnly = false;
    std::optional<long long> expires;
    std::optional<long long> maxAge;
    while (!rest.empty()) {
        std::string_view attribute = rest.substr(0, rest.find(';'));
        rest = attribute.size() < rest.size() ? rest.substr(attribute.size() + 1) : std::string_view();
        std::size_t equals = attribute.find('=');
        std::string key = wys::base::AsciiLower(wys::base::TrimAscii(attribute.substr(0, equals), kBlanks));
        std::string attributeValue(equals == std::string_view::npos
                                       ? std::string_view()
                                       : wys::base::TrimAscii(attribute.substr(equals + 1), kBlanks));
        if (HasControl(attributeValue))
            return SetInternetError(ERROR_INVALID_PARAMETER);
        if (key == "domain") {
            domain = wys::base::AsciiLower(attributeValue);
            while (domain.starts_with('.'))
                domain.erase(0, 1);
        } else if (key == "path") {
            path = attributeValue;
        } else if (key == "secure") {
            secure = true;
        } else if (key == "httponly") {
            httpOnly = true;
        } else if (key == "expires") {
            time_t when = curl_getdate(attributeValue.c_str(), nullptr);
            if (when != -1)
                expires = when;
        } else if (key == "max-age") {
            char* end = nullptr;
            long long seconds = std::strtoll(attributeValue.c_str(), &end, 10);
            if (!attributeValue.empty() && end && *end == '\0')
                maxAge = seconds;
        }
    }

    // A Domain names the host or a domain above it; a cookie for another
    // site, or a domain given for an address, is refused as browsers refuse it.
    const bool domainCookie = !domain.empty() && !IsIpLiteral(host);
    if (!domain.empty()) {
        bool covers = host == domain || (host.size() > domain.size() && host.ends_with("." + domain));
        if (!covers || (domain.find('.') == std::string::npos && domain != host))
            return SetInternetError(ERROR_INVALID_PARAMETER);
    }
    if (!path.starts_with('/')) {
        // The URL's folder, as a cookie without Path applies to.
        std::string urlPath = parts->path.empty() ? std::string("/") : parts->path;
        std::size_t slash = urlPath.rfind('/');
        path = slash == 0 || slash == std::string::npos ? std::string("/") : urlPath.substr(0, slash);
    }

    long long expiry = 0;  // a session cookie
    const long long now = static_cast<long long>(std::time(nullptr));
    if (maxAge)
        expiry = *maxAge <= 0 ? 1 : now + *maxAge;
    else if (expires)
        expiry = *expires <= now ? 1 : *expires;

    std::string line = httpOnly ? "#HttpOnly_" : "";
    line += domainCookie ? "." + domain : host;
    line += domainCookie ? "\tTRUE\t" : "\tFALSE\t";
    line += path;
    line += secure ? "\tTRUE\t" : "\tFALSE\t";
    line += std::to_string(expiry);
    line += "\t" + cookieName + "\t" + value;
    return AddToStore(line);
}

BOOL InternetClearCookies()
{
    return AddToStore("ALL");
}
