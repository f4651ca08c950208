#include "WYSCbho/CHistoryFolder.h"

#include <filesystem>
#include <system_error>

#include "WYSCbho/ParseUrl.h"
#include "platform/base/AsciiText.h"

namespace wys::capture {
namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           wys::base::EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

CHistoryFolder::CHistoryFolder(std::string_view folder) : m_canonical(CanonicalPath(folder)) {}

std::string CHistoryFolder::CanonicalPath(std::string_view text)
{
    if (text.empty())
        return {};
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path path(text);
    if (path.is_relative()) {
        fs::path absolute = fs::absolute(path, error);
        if (!error)
            path = absolute;
    }
    fs::path canonical = fs::weakly_canonical(path, error);
    if (error)
        canonical = path.lexically_normal();
    std::string result = canonical.string();
    while (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

std::string CHistoryFolder::LocalPathOfFileUrl(std::string_view url)
{
    if (!StartsWithIgnoringCase(url, "file:"))
        return {};
    std::string_view rest = url.substr(5);
    // The path ends where the query or fragment starts, before decoding: an
    // escaped "?" is part of a file's name.
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        std::size_t slash = rest.find('/');
        std::string_view host = rest.substr(0, slash);
        // A file on another machine is never one of this history's.
        if (!host.empty() && !StartsWithIgnoringCase(host, "localhost"))
            return {};
        if (!host.empty() && host.size() != 9)
            return {};
        if (slash == std::string_view::npos)
            return {};
        rest.remove_prefix(slash);
    }
    if (!rest.starts_with('/'))
        return {};
    std::string path = DecodeEscapes(rest);
    // A decoded NUL cuts the path short wherever it is handed on; what is
    // compared is what would be used.
    if (std::size_t nul = path.find('\0'); nul != std::string::npos)
        path.resize(nul);
    return path;
}

bool CHistoryFolder::ContainsPath(std::string_view path) const
{
    if (m_canonical.empty() || path.empty())
        return false;
    std::string candidate = CanonicalPath(path);
    if (candidate == m_canonical)
        return true;
    if (m_canonical == "/")
        return candidate.starts_with('/');
    return candidate.size() > m_canonical.size() && candidate.starts_with(m_canonical) &&
           candidate[m_canonical.size()] == '/';
}

bool CHistoryFolder::ContainsFileUrl(std::string_view url) const
{
    std::string path = LocalPathOfFileUrl(url);
    return !path.empty() && ContainsPath(path);
}

}  // namespace wys::capture
