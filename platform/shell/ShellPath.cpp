#include "platform/shell/ShellPath.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/shell/PathText.h"

namespace {

using wys::shell::Canonical;
using wys::shell::CanonicalComponents;
using wys::shell::IsSeparator;
using wys::shell::Join;

std::string Combined(std::string_view dir, std::string_view file)
{
    if (file.empty())
        return Canonical(dir);
    if (dir.empty() || IsSeparator(file.front()))
        return Canonical(file);
    std::string joined(dir);
    if (!IsSeparator(joined.back()))
        joined += '/';
    joined += file;
    return Canonical(joined);
}

// Copies a result into a MAX_PATH buffer; a result that does not fit leaves
// the buffer empty, as the original functions do.
bool Store(char* dest, const std::string& value)
{
    if (value.size() >= MAX_PATH) {
        dest[0] = '\0';
        return false;
    }
    std::memcpy(dest, value.c_str(), value.size() + 1);
    return true;
}

const char* LastSeparator(const char* path)
{
    const char* last = nullptr;
    for (const char* p = path; *p; ++p) {
        if (IsSeparator(*p))
            last = p;
    }
    return last;
}

}  // namespace

std::string PathWithSlashes(std::string_view path)
{
    std::string result(path);
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

char* PathCombineA(char* dest, const char* dir, const char* file)
{
    if (!dest)
        return nullptr;
    if (!dir && !file) {
        dest[0] = '\0';
        return nullptr;
    }
    const std::string result = Combined(dir ? dir : "", file ? file : "");
    return Store(dest, result) ? dest : nullptr;
}

BOOL PathAppendA(char* path, const char* more)
{
    if (!path || !more)
        return FALSE;
    while (IsSeparator(*more))
        ++more;
    const std::string result = Combined(path, more);
    if (result.size() >= MAX_PATH)
        return FALSE;
    Store(path, result);
    return TRUE;
}

BOOL PathCanonicalizeA(char* dest, const char* src)
{
    if (!dest)
        return FALSE;
    if (!src) {
        dest[0] = '\0';
        return FALSE;
    }
    return Store(dest, Canonical(src)) ? TRUE : FALSE;
}

void PathStripPathA(char* path)
{
    if (!path)
        return;
    if (const char* last = LastSeparator(path))
        std::memmove(path, last + 1, std::strlen(last + 1) + 1);
}

char* PathFindFileNameA(const char* path)
{
    if (!path)
        return nullptr;
    const char* last = LastSeparator(path);
    return const_cast<char*>(last ? last + 1 : path);
}

char* PathFindExtensionA(const char* path)
{
    if (!path)
        return nullptr;
    const char* name = PathFindFileNameA(path);
    const char* dot = std::strrchr(name, '.');
    return const_cast<char*>(dot ? dot : name + std::strlen(name));
}

BOOL PathIsRelativeA(const char* path)
{
    return path && IsSeparator(path[0]) ? FALSE : TRUE;
}

BOOL PathRelativePathToA(char* path, const char* from, DWORD attrFrom, const char* to, DWORD /*attrTo*/)
{
    if (!path)
        return FALSE;
    path[0] = '\0';
    if (!from || !to || !*from || !*to || IsSeparator(from[0]) != IsSeparator(to[0]))
        return FALSE;
    const std::string fromCanonical = Canonical(from);
    const std::string toCanonical = Canonical(to);
    std::vector<std::string_view> fromParts = CanonicalComponents(fromCanonical);
    const std::vector<std::string_view> toParts = CanonicalComponents(toCanonical);
    if (!(attrFrom & FILE_ATTRIBUTE_DIRECTORY) && !fromParts.empty())
        fromParts.pop_back();

    std::size_t common = 0;
    while (common < fromParts.size() && common < toParts.size() && fromParts[common] == toParts[common])
        ++common;
    std::string result;
    for (std::size_t i = common; i < fromParts.size(); ++i)
        result += "../";
    if (result.empty())
        result = "./";
    if (common == toParts.size())
        result.pop_back();  // "." or "../..": no name follows the last step
    else
        result += Join(toParts, common);
    return Store(path, result) ? TRUE : FALSE;
}

char* PathFindNextComponentA(const char* path)
{
    if (!path || !*path)
        return nullptr;
    const char* p = path;
    while (*p && !IsSeparator(*p))
        ++p;
    while (IsSeparator(*p))
        ++p;
    return const_cast<char*>(p);
}

BOOL PathRemoveFileSpecA(char* path)
{
    if (!path || !*path)
        return FALSE;
    std::replace(path, path + std::strlen(path), '\\', '/');
    char* last = std::strrchr(path, '/');
    if (!last) {
        path[0] = '\0';
        return TRUE;
    }
    while (last > path && last[-1] == '/')
        --last;
    if (last == path) {
        // Only the root is left; it stays.
        if (path[1] == '\0')
            return FALSE;
        path[1] = '\0';
        return TRUE;
    }
    *last = '\0';
    return TRUE;
}

BOOL PathFileExistsA(const char* path)
{
    if (!path || !*path)
        return FALSE;
    struct stat info;
    return ::lstat(PathWithSlashes(path).c_str(), &info) == 0 ? TRUE : FALSE;
}

BOOL PathIsDirectoryA(const char* path)
{
    if (!path || !*path)
        return FALSE;
    struct stat info;
    return ::stat(PathWithSlashes(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? TRUE : FALSE;
}
