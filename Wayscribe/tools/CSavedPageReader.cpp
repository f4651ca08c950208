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
