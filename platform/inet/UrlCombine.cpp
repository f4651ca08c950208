#include "platform/inet/UrlCombine.h"

#include <cstring>

#include "platform/base/AsciiText.h"
#include "platform/inet/InternetError.h"
#include "platform/inet/UrlParts.h"

namespace {

constexpr DWORD kKnownFlags = ICU_NO_ENCODE | ICU_ENCODE_SPACES_ONLY | ICU_NO_META | ICU_BROWSER_MODE;

bool IsControlOrSpace(unsigned char c)
{
    return c <= 0x20;
}

// Browsers drop what surrounds a URL in an attribute and the line breaks and
// tabs an editor left inside it.
std::string Clean(std::string_view text)
{
    while (!text.empty() && IsControlOrSpace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && IsControlOrSpace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != '\t' && c != '\n' && c != '\r')
            out += c;
    }
    return out;
}

// A backslash reads as a slash before the query in hierarchical URLs.
void TurnBackslashes(std::string& text)
{
    std::size_t end = std::min(text.find_first_of("?#"), text.size());
    for (std::size_t i = 0; i < end; ++i) {
        if (text[i] == '\\')
            text[i] = '/';
    }
}

std::string RemoveDotSegments(std::string_view path)
{
    std::string out;
    while (!path.empty()) {
        if (path.starts_with("../")) {
            path.remove_prefix(3);
        } else if (path.starts_with("./")) {
            path.remove_prefix(2);
        } else if (path.starts_with("/./")) {
            path.remove_prefix(2);
        } else if (path == "/.") {
            path = "/";
        } else if (path.starts_with("/../") || path == "/..") {
            path = path.size() == 3 ? std::string_view("/") : path.substr(3);
            std::size_t cut = out.rfind('/');
            out.erase(cut == std::string::npos ? 0 : cut);
        } else if (path == "." || path == "..") {
            path = {};
        } else {
            std::size_t next = path.find('/', 1);
            if (next == std::string_view::npos)
                next = path.size();
            out.append(path.substr(0, next));
            path.remove_prefix(next);
        }
    }
    return out;
}

std::string Merge(const UrlParts& base, const std::string& relativePath)
{
    if (base.hasAuthority && base.path.empty())
        return "/" + relativePath;
    std::size_t slash = base.path.rfind('/');
    if (slash == std::string::npos)
        return relativePath;
    return base.path.substr(0, slash + 1) + relativePath;
}

enum class Component { Path, Query, Fragment };

bool MustEscape(unsigned char c, Component where, DWORD flags)
{
    if (flags & ICU_ENCODE_SPACES_ONLY)
        return c == ' ';
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>')
        return true;
    if (where == Component::Query)
        return false;
    return c == '`' || (where == Component::Path && (c == '{' || c == '}'));
}

std::string Escape(const std::string& text, Component where, DWORD flags)
{
    return wys::base::PercentEncode(text, [&](unsigned char c) { return MustEscape(c, where, flags); });
}

// Resolves `relative` against `base`; nullopt when the base cannot serve.
std::optional<std::string> Resolve(std::string_view baseText, std::string_view relativeText, DWORD flags)
{
    std::string baseClean = Clean(baseText);
    std::string relClean = Clean(relativeText);
    auto base = CrackUrl(baseClean);
    if (!base)
        return std::nullopt;
    bool hierarchical = IsHierarchicalScheme(base->scheme);
    if (hierarchical)
        TurnBackslashes(baseClean);
    std::string relScheme = UrlScheme(relClean);
    if (IsHierarchicalScheme(relScheme) || (relScheme.empty() && hierarchical))
        TurnBackslashes(relClean);
    base = CrackUrl(baseClean);
    auto rel = ParseUrlReference(relClean);
    if (!base || !rel)
        return std::nullopt;

    auto dots = [flags](const std::string& path) {
        return (flags & ICU_NO_META) ? path : RemoveDotSegments(path);
    };
    if (rel->scheme == base->scheme && !rel->hasAuthority && hierarchical)
        rel->scheme.clear();

    UrlParts target;
    if (!rel->scheme.empty()) {
        target = *rel;
        target.path = IsHierarchicalScheme(rel->scheme) || rel->hasAuthority ? dots(rel->path) : rel->path;
    } else {
        // A base without authority and without a rooted path ("mailto:x",
        // "data:...") has nothing a relative path could be resolved against.
        if (!base->hasAuthority && !base->path.starts_with("/") && !rel->path.empty())
            return std::nullopt;
        target = *base;
        target.hasFragment = false;
        if (rel->hasAuthority) {
            target = *rel;
            target.scheme = base->scheme;
            target.port = rel->portText.empty() ? DefaultPortOf(base->scheme) : rel->port;
            target.path = dots(rel->path);
        } else if (rel->path.empty()) {
            if (rel->hasQuery) {
                target.hasQuery = true;
                target.query = rel->query;
            }
        } else {
            target.path = dots(rel->path.starts_with("/") ? rel->path : Merge(*base, rel->path));
            target.hasQuery = rel->hasQuery;
            target.query = rel->query;
        }
        target.hasFragment = rel->hasFragment;
        target.fragment = rel->fragment;
    }
    std::string_view scheme = target.scheme;
    if (target.hasAuthority && target.path.empty() &&
        (scheme == "http" || scheme == "https" || scheme == "ftp"))
        target.path.assign(1, '/');
    if (!(flags & ICU_NO_ENCODE)) {
        target.path = Escape(target.path, Component::Path, flags);
        target.query = Escape(target.query, Component::Query, flags);
        target.fragment = Escape(target.fragment, Component::Fragment, flags);
    }
    return ComposeUrl(target);
}

}  // namespace

std::optional<std::string> CombineUrl(std::string_view base, std::string_view relative, DWORD flags)
{
    if (flags & ~kKnownFlags)
        return std::nullopt;
    return Resolve(base, relative, flags);
}

BOOL InternetCombineUrl(const char* base, const char* relative, char* buffer, DWORD* bufferLength,
                        DWORD flags)
{
    if (!base || !relative || !bufferLength || (flags & ~kKnownFlags))
        return SetInternetError(ERROR_INVALID_PARAMETER);
    auto combined = Resolve(base, relative, flags);
    if (!combined)
        return SetInternetError(ERROR_INTERNET_INVALID_URL);
    DWORD needed = static_cast<DWORD>(combined->size() + 1);
    if (!buffer || *bufferLength < needed) {
        *bufferLength = needed;
        return SetInternetError(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, combined->c_str(), needed);
    *bufferLength = needed - 1;
    return TRUE;
}
