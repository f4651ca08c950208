#include "platform/inet/UrlParts.h"

#include <algorithm>
#include <cctype>

#include "platform/base/AsciiText.h"

namespace {

bool IsSchemeStart(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

bool IsSchemeChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
}

// Length of the scheme at the start of `text` (without its ':'), 0 if none.
// A single letter is read as a scheme too, so "c:\x" has scheme "c"; callers
// that meet drive paths test for them before.
std::size_t SchemeLength(std::string_view text)
{
    if (text.empty() || !IsSchemeStart(text[0]))
        return 0;
    std::size_t i = 1;
    while (i < text.size() && IsSchemeChar(text[i]))
        ++i;
    return i < text.size() && text[i] == ':' ? i : 0;
}

bool ParseAuthority(std::string_view authority, UrlParts& parts)
{
    std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        std::string_view info = authority.substr(0, at);
        authority.remove_prefix(at + 1);
        parts.hasUserInfo = true;
        std::size_t colon = info.find(':');
        parts.userName = std::string(info.substr(0, colon));
        if (colon != std::string_view::npos) {
            parts.hasPassword = true;
            parts.password = std::string(info.substr(colon + 1));
        }
    }
    std::size_t hostEnd = 0;
    if (!authority.empty() && authority[0] == '[') {
        hostEnd = authority.find(']');
        if (hostEnd == std::string_view::npos)
            return false;
        ++hostEnd;
    } else {
        hostEnd = std::min(authority.find(':'), authority.size());
    }
    parts.host = std::string(authority.substr(0, hostEnd));
    // No host name holds spaces or control characters.
    if (std::any_of(parts.host.begin(), parts.host.end(),
                    [](unsigned char c) { return c <= 0x20 || c == 0x7F; }))
        return false;
    std::string_view rest = authority.substr(hostEnd);
    if (!rest.empty()) {
        if (rest[0] != ':')
            return false;
        rest.remove_prefix(1);
        if (rest.size() > 5 ||
            !std::all_of(rest.begin(), rest.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
            return false;
        parts.portText = std::string(rest);
        if (!rest.empty()) {
            int port = std::stoi(parts.portText);
            if (port > 65535)
                return false;
            parts.port = port;
        }
    }
    return true;
}

}  // namespace

bool IsHierarchicalScheme(std::string_view scheme)
{
    return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "file";
}

int DefaultPortOf(std::string_view scheme)
{
    if (scheme == "http")
        return 80;
    if (scheme == "https")
        return 443;
    if (scheme == "ftp")
        return 21;
    if (scheme == "gopher")
        return 70;
    if (scheme == "socks")
        return 1080;
    return 0;
}

std::optional<UrlParts> ParseUrlReference(std::string_view text)
{
    UrlParts parts;
    if (std::size_t n = SchemeLength(text)) {
        parts.scheme = wys::base::AsciiLower(text.substr(0, n));
        text.remove_prefix(n + 1);
    }
    if (std::size_t hash = text.find('#'); hash != std::string_view::npos) {
        parts.hasFragment = true;
        parts.fragment = std::string(text.substr(hash + 1));
        text = text.substr(0, hash);
    }
    if (std::size_t question = text.find('?'); question != std::string_view::npos) {
        parts.hasQuery = true;
        parts.query = std::string(text.substr(question + 1));
        text = text.substr(0, question);
    }
    if (text.substr(0, 2) == "//") {
        text.remove_prefix(2);
        std::size_t end = std::min(text.find('/'), text.size());
        parts.hasAuthority = true;
        if (!ParseAuthority(text.substr(0, end), parts))
            return std::nullopt;
        text.remove_prefix(end);
    }
    parts.path = std::string(text);
    if (parts.portText.empty())
        parts.port = DefaultPortOf(parts.scheme);
    return parts;
}

std::optional<UrlParts> CrackUrl(std::string_view url)
{
    auto parts = ParseUrlReference(url);
    if (!parts || parts->scheme.empty())
        return std::nullopt;
    return parts;
}

std::string ComposeUrl(const UrlParts& parts)
{
    std::string out;
    if (!parts.scheme.empty())
        out += parts.scheme + ":";
    if (parts.hasAuthority) {
        out += "//";
        if (parts.hasUserInfo) {
            out += parts.userName;
            if (parts.hasPassword)
                out += ":" + parts.password;
            out += "@";
        }
        out += parts.host;
        if (!parts.portText.empty())
            out += ":" + parts.portText;
    } else if (parts.path.starts_with("//")) {
        // Such a path would read as an authority; "/." keeps it a path.
        out += "/.";
    }
    out += parts.path;
    if (parts.hasQuery)
        out += "?" + parts.query;
    if (parts.hasFragment)
        out += "#" + parts.fragment;
    return out;
}

std::string UrlScheme(std::string_view url)
{
    std::size_t n = SchemeLength(url);
    return wys::base::AsciiLower(url.substr(0, n));
}
