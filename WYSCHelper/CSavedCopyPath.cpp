#include "WYSCHelper/CSavedCopyPath.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

#include "common/StringConvert.h"

namespace {

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

// The canonical form of an existing path; empty when it cannot be resolved.
std::string RealPath(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return {};
    std::string result(resolved);
    std::free(resolved);
    return result;
}

}  // namespace

std::optional<std::vector<std::string>> CSavedCopyPath::Components(std::string_view path)
{
    if (path.empty() || IsSeparator(path.front()))
        return std::nullopt;
    // A drive letter makes a path absolute on the platform the file may come from.
    if (path.size() >= 2 && path[1] == ':')
        return std::nullopt;
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        std::string_view part = path.substr(start, end - start);
        if (part == "..")
            return std::nullopt;
        if (!part.empty() && part != ".")
            components.emplace_back(part);
        start = end + 1;
    }
    if (components.empty())
        return std::nullopt;
    return components;
}

std::optional<std::vector<std::string>> CSavedCopyPath::Components(BSTR path)
{
    return Components(wys::BstrToNarrowZ(path));
}

std::optional<std::string> CSavedCopyPath::Under(const std::string& root, BSTR path)
{
    auto components = Components(path);
    if (!components)
        return std::nullopt;
    return root + "/" + Join(*components, components->size());
}

std::string CSavedCopyPath::Join(const std::vector<std::string>& components, std::size_t count)
{
    std::string joined;
    for (std::size_t i = 0; i < count && i < components.size(); ++i) {
        if (i > 0)
            joined += '/';
        joined += components[i];
    }
    return joined;
}

bool CSavedCopyPath::ResolvesInside(const std::string& root, const std::string& folder)
{
    std::string realRoot = RealPath(root);
    std::string realFolder = RealPath(folder);
    if (realRoot.empty() || realFolder.empty())
        return false;
    if (realFolder == realRoot)
        return true;
    if (realRoot.back() != '/')
        realRoot += '/';
    return realFolder.compare(0, realRoot.size(), realRoot) == 0;
}

bool CSavedCopyPath::ReachedWithoutLinks(const std::string& root, const std::vector<std::string>& components)
{
    if (components.empty())
        return false;
    std::string path = root;
    for (std::size_t i = 0; i < components.size(); ++i) {
        path += "/" + components[i];
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0)
            return false;
        const bool last = i + 1 == components.size();
        if (!S_ISDIR(info.st_mode) && !(last && S_ISREG(info.st_mode)))
            return false;
    }
    return true;
}

bool CSavedCopyPath::LeadsThroughNoLink(const std::string& root, const std::vector<std::string>& components)
{
    std::string path = root;
    for (std::size_t i = 0; i + 1 < components.size(); ++i) {
        path += "/" + components[i];
        struct stat info;
        // Nothing there (or no way to look): the copy makes the folders,
        // or fails and says so.
        if (::lstat(path.c_str(), &info) != 0)
            return true;
        if (!S_ISDIR(info.st_mode))
            return false;
    }
    return true;
}
