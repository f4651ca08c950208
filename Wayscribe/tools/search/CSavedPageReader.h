// Where a visit's saved page lies on disk, for a content search. The page
// itself is read as a person reads it by CPageText.
#pragma once

#include <string>
#include <string_view>

class CSavedPageReader {
public:
    // The saved page `path` (relative to `historyFolder`, "\" or "/"
    // separated) as a path on disk; empty when the path climbs out of the
    // history folder with ".." steps.
    static std::string PagePath(const std::string& historyFolder, const std::string& path);
    // Whether PagePath finds a place for `path` (no ".." step in it).
    static bool IsInFolder(std::string_view path);
};
