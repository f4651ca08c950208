// Splitting a path into drive, folder, file name and extension, as the C
// run-time's _splitpath_s does with buffers of _MAX_DRIVE and _MAX_DIR,
// _MAX_FNAME, _MAX_EXT bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

inline constexpr std::size_t MAX_DRIVE = 3;
inline constexpr std::size_t MAX_DIR = 256;
inline constexpr std::size_t MAX_FNAME = 256;
inline constexpr std::size_t MAX_EXT = 256;

struct SplitPathParts {
    // Always empty: this platform has no drive letters. Kept so that
    // drive + dir + fname + ext gives the path back.
    std::string drive;
    // Everything up to and including the last separator, separators written
    // as "/" ("/backup/" for "/backup/week.hef"; empty when there is none).
    std::string dir;
    // The file name without its extension ("week").
    std::string fname;
    // From the last dot of the file name on, dot included (".hef"); empty
    // when the name has no dot. A dot in a folder name does not count.
    std::string ext;
};

// Both "/" and "\" separate. Nullopt when a part does not fit its buffer
// with its terminator (a folder, name or extension of 256 bytes or more),
// as _splitpath_s fails then; every part is then lost.
std::optional<SplitPathParts> SplitPath(std::string_view path);
