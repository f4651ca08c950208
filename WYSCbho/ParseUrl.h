// The URL parser shared by the whole page capture: which scheme a completed
// page has, and the decoded path from which a resource's local name comes.
//
// ParseUrl decodes every %XX escape of the text first and then splits the
// decoded text, so an escaped separator ("%2F") separates and an escaped
// "?" starts the extra information. Nothing is re-escaped. Parts that are
// longer than the limits below make the parse fail.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wys::capture {

// Scheme numbers; the capture handles exactly the known ones.
enum SchemeNumber : int {
    kSchemeUnknown = -1,
    kSchemeFtp = 0,
    kSchemeGopher = 1,
    kSchemeHttp = 2,
    kSchemeHttps = 3,
    kSchemeFile = 4,
    kSchemeNews = 5,
    kSchemeMailto = 6,
    kSchemeSocks = 7,
};

struct UrlParts {
    static constexpr std::size_t kMaxSchemeName = 32;
    static constexpr std::size_t kMaxHostName = 256;
    static constexpr std::size_t kMaxUserName = 128;
    static constexpr std::size_t kMaxPassword = 128;
    static constexpr std::size_t kMaxUrlPath = 2048;
    static constexpr std::size_t kMaxExtraInfo = 2048;
    // Longest decoded text, without a terminator.
    static constexpr std::size_t kMaxDecodedUrl = 2083;

    std::string SchemeName;  // as written
    int Scheme = kSchemeUnknown;
    std::string HostName;
    int Port = 0;  // as written, else the scheme's default port, else 0
    std::string UserName;
    std::string Password;
    std::string UrlPath;    // from the first '/' after the host up to '?' or '#'
    std::string ExtraInfo;  // from the first '?' or '#' on
};

// Nullopt when the text has no scheme, a port that is not a number up to
// 65535, or a part longer than its limit (the decoded text included). An
// unknown scheme parses, with Scheme == kSchemeUnknown.
std::optional<UrlParts> ParseUrl(std::string_view text);

// The scheme number of a scheme name, compared without regard to case.
int SchemeNumberOf(std::string_view schemeName);

// The default port of a scheme number (0 when it has none).
int DefaultPortOf(int scheme);

// %XX escapes replaced by their bytes (a decoded %00 stays as a NUL byte);
// a '%' that starts no escape stays as it is.
std::string DecodeEscapes(std::string_view text);

}  // namespace wys::capture
