#include "platform/shell/CreateFolderPath.h"

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
        if (::mkdir(prefix.c_str(), 0777) != 0)
            break;
    }
    return PathIsDirectoryA(path) == TRUE;
}
