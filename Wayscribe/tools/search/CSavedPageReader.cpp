#include "Wayscribe/tools/search/CSavedPageReader.h"

#include <algorithm>
#include <string_view>

std::string CSavedPageReader::PagePath(const std::string& historyFolder, const std::string& path)
{
    if (!IsInFolder(path))
        return std::string();
    std::string full = historyFolder + '/' + path;
    std::replace(full.begin() + static_cast<std::ptrdiff_t>(historyFolder.size()) + 1, full.end(), '\\', '/');
    return full;
}

bool CSavedPageReader::IsInFolder(std::string_view path)
{
    std::size_t componentStart = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/' && path[i] != '\\')
            continue;
        if (path.substr(componentStart, i - componentStart) == "..")
            return false;
        componentStart = i + 1;
    }
    return true;
}
