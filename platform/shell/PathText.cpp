#include "platform/shell/PathText.h"

#include <unistd.h>

#include <cerrno>

namespace wys::shell {

std::vector<std::string_view> Components(std::string_view path)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || IsSeparator(path[i])) {
            if (i > start)
                parts.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

std::vector<std::string_view> CanonicalComponents(std::string_view path)
{
    std::vector<std::string_view> kept;
    for (std::string_view part : Components(path)) {
        if (part == ".")
            continue;
        if (part == "..") {
            if (!kept.empty())
                kept.pop_back();
            continue;
        }
        kept.push_back(part);
    }
    return kept;
}

std::string Join(const std::vector<std::string_view>& parts, std::size_t first)
{
    std::string joined;
    for (std::size_t i = first; i < parts.size(); ++i) {
        if (i > first)
            joined += '/';
        joined += parts[i];
    }
    return joined;
}

std::string Canonical(std::string_view path)
{
    if (path.empty())
        return {};
    const bool absolute = IsSeparator(path.front());
    const std::vector<std::string_view> kept = CanonicalComponents(path);
    if (kept.empty())
        return absolute ? "/" : ".";
    std::string result = absolute ? "/" : "";
    result += Join(kept);
    if (IsSeparator(path.back()))
        result += '/';
    return result;
}

std::string AbsoluteCanonical(std::string_view path)
{
    std::string full;
    if (path.empty() || !IsSeparator(path.front())) {
        std::string cwd(4096, '\0');
        while (!::getcwd(cwd.data(), cwd.size()) && errno == ERANGE)
            cwd.resize(cwd.size() * 2);
        full = cwd.c_str();
        full += '/';
    }
    full += path;
    std::string result = Canonical(full);
    if (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

std::string_view LastComponent(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string ParentFolder(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return ".";
    return std::string(slash == 0 ? path.substr(0, 1) : path.substr(0, slash));
}

}  // namespace wys::shell
