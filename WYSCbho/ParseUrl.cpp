#include "WYSCbho/ParseUrl.h"

#include <array>
#include <charconv>

#include "platform/base/AsciiText.h"

namespace wys::capture {
namespace {

struct SchemeEntry {
    std::string_view name;
    int number;
    int defaultPort;
};

constexpr std::array<SchemeEntry, 8> kSchemes = {{
    {"ftp", kSchemeFtp, 21},
    {"gopher", kSchemeGopher, 70},
    {"http", kSchemeHttp, 80},
    {"https", kSchemeHttps, 443},
    {"file", kSchemeFile, 0},
    {"news", kSchemeNews, 0},
    {"mailto", kSchemeMailto, 0},
    {"socks", kSchemeSocks, 1080},
}};

// Splits "user:password@host:port" into the parts; false on a bad port.
bool SplitAuthority(std::string_view authority, UrlParts& parts)
{
    std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        std::string_view userInfo = authority.substr(0, at);
        std::size_t colon = userInfo.find(':');
        parts.UserName = std::string(userInfo.substr(0, colon));
        if (colon != std::string_view::npos)
            parts.Password = std::string(userInfo.substr(colon + 1));
        authority.remove_prefix(at + 1);
    }
    // The port's colon comes after the closing bracket of an IPv6 literal.
    std::size_t bracket = authority.rfind(']');
    std::size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        std::string_view digits = authority.substr(colon + 1);
        authority = authority.substr(0, colon);
        if (!digits.empty()) {
            int port = 0;
            auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
            if (error != std::errc() || end != digits.data() + digits.size() || port < 0 || port > 65535)
                return false;
            parts.Port = port;
        }
    }
    parts.HostName = std::string(authority);
    return true;
}

}  // namespace

int SchemeNumberOf(std::string_view schemeName)
{
    for (const SchemeEntry& entry : kSchemes) {
        if (entry.name.size() != schemeName.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < schemeName.size() && same; ++i)
            same = wys::base::AsciiLower(schemeName[i]) == entry.name[i];
        if (same)
            return entry.number;
    }
    return kSchemeUnknown;
}

int DefaultPortOf(int scheme)
{
    for (const SchemeEntry& entry : kSchemes) {
        if (entry.number == scheme)
            return entry.defaultPort;
    }
    return 0;
}

std::string DecodeEscapes(std::string_view text)
{
    return wys::base::PercentDecode(text);
}

std::optional<UrlParts> ParseUrl(std::string_view text)
{
    std::string decoded = DecodeEscapes(text);
    if (decoded.size() > UrlParts::kMaxDecodedUrl)
        return std::nullopt;
    std::string_view rest = decoded;

    std::size_t colon = rest.find(':');
    if (colon == 0 || colon == std::string_view::npos || colon > UrlParts::kMaxSchemeName)
        return std::nullopt;
    UrlParts parts;
    parts.SchemeName = std::string(rest.substr(0, colon));
    parts.Scheme = SchemeNumberOf(parts.SchemeName);
    parts.Port = DefaultPortOf(parts.Scheme);
    rest.remove_prefix(colon + 1);

    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        std::size_t end = rest.find_first_of("/?#");
        if (!SplitAuthority(rest.substr(0, end), parts))
            return std::nullopt;
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    }
    std::size_t extra = rest.find_first_of("?#");
    parts.UrlPath = std::string(rest.substr(0, extra));
    if (extra != std::string_view::npos)
        parts.ExtraInfo = std::string(rest.substr(extra));

    if (parts.HostName.size() > UrlParts::kMaxHostName || parts.UserName.size() > UrlParts::kMaxUserName ||
        parts.Password.size() > UrlParts::kMaxPassword || parts.UrlPath.size() > UrlParts::kMaxUrlPath ||
        parts.ExtraInfo.size() > UrlParts::kMaxExtraInfo)
        return std::nullopt;
    return parts;
}

}  // namespace wys::capture
