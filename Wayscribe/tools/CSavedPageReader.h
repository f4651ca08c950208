// Reads saved pages whole for a content search, one at a time, into one
// buffer that is reused from page to page.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

class CSavedPageReader {
public:
    // The most of a file that is read; the rest is not searched.
    static constexpr std::size_t kMaxPageBytes = 0x7FFFFFFF;

    CSavedPageReader() = default;
    CSavedPageReader(const CSavedPageReader&) = delete;
    CSavedPageReader& operator=(const CSavedPageReader&) = delete;

    // The saved page `path` (relative to `historyFolder`, "\" or "/"
    // separated) as a path on disk; empty when the path climbs out of the
    // history folder with ".." steps.
    static std::string PagePath(const std::string& historyFolder, const std::string& path);

    // Reads the regular file `fullPath` whole (at most kMaxPageBytes) and
    // returns its bytes; the view stays valid until the next Read. False,
    // with nothing read, when the file is missing, is not a regular file,
    // cannot be opened or read, or is held under an exclusive lock by
    // another process (a page still being written).
    bool Read(const std::string& fullPath, std::string_view* text);

private:
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_capacity = 0;
};
