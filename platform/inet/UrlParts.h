// A URL split into its parts, in the manner of the internet library's
// InternetCrackUrl: scheme, user, password, host, port, path, query and
// fragment, each kept as written (no decoding), so that ComposeUrl gives back
// the text that was parsed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct UrlParts {
    std::string scheme;  // lower case; empty for a relative reference
    bool hasAuthority = false;
    bool hasUserInfo = false;
    std::string userName;
    std::string password;  // without its ':'
    bool hasPassword = false;
    std::string host;      // as written, brackets of an IPv6 literal included
    std::string portText;  // digits as written, empty when absent
    int port = 0;          // portText's value, else the scheme's default, else 0
    std::string path;
    bool hasQuery = false;
    std::string query;  // without its '?'
    bool hasFragment = false;
    std::string fragment;  // without its '#'
};

// Schemes whose URLs have a host and a hierarchical path, and in which a
// backslash stands for a slash as browsers read them.
bool IsHierarchicalScheme(std::string_view scheme);

// The default port of http, https, ftp, gopher and socks; 0 for others.
int DefaultPortOf(std::string_view scheme);

// Parses an absolute URL or a relative reference. Fails on a port that is not
// a number up to 65535, on an unclosed IPv6 bracket and on a host with spaces
// or control characters.
std::optional<UrlParts> ParseUrlReference(std::string_view text);

// Parses an absolute URL: as ParseUrlReference, and the scheme is required.
std::optional<UrlParts> CrackUrl(std::string_view url);

// The text of the parts (scheme, "//" authority, path, query, fragment). A
// path that begins with "//" where there is no authority is written after
// "/." so that it reads back as a path.
std::string ComposeUrl(const UrlParts& parts);

// The scheme of a URL in lower case; empty when the text has none.
std::string UrlScheme(std::string_view url);
