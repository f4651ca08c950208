#include "Wayscribe/tools/CSavedPageReader.h"

#include <string_view>

std::string CSavedPageReader::PagePath(const std::string& historyFolder, const std::string& path)
{
    std::string full = historyFolder;
    full += '/';
    std::size_t componentStart = full.size();
    for (std::size_t i = 0; i <= path.size(); ++i) {
        const char c = i < path.size() ? path[i] : '/';
        if (c == '/' || c == '\\') {
            if (std::string_view(full).substr(componentStart) == "..")
                return std::string();
            if (i < path.size())
                full += '/';
            componentStart = full.size();
        } else {
            full += c;
        }
    }
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
