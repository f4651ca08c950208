#include "platform/shell/CreateFolderPath.h"

#include <errno.h>
#include <sys/stat.h>

#include <string>

#include "platform/shell/ShellPath.h"

bool CreateFolderPath(const char* path)
{
    if (!path || !*path)
        return false;
    for (const char* next = PathFindNextComponentA(path); next; next = PathFindNextComponentA(next)) {
        const std::string prefix = PathWithSlashes(std::string(path, next));
        if (prefix == "/" || PathFileExistsA(prefix.c_str()))
            continue;
        // Another process saving a page of the same day may make the
        // folder between the check and here; that is no failure.
        if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
            break;
    }
    return PathIsDirectoryA(path) == TRUE;
}
