// The history folder as the capture compares pages with it: a page shown
// from a file inside the history folder is one of the history's own saved
// copies (the band opens them in the window), and capturing it would record
// the history into itself, copy of a copy.
//
// The folder is kept in canonical form: made absolute, "." and ".." resolved,
// symbolic links of the part that exists resolved, no trailing separator. A
// file URL's path is compared in the same form, so a folder given with a
// trailing slash, through a symbolic link or with ".." still contains its
// files, and a link from elsewhere into the folder leads into it.
//
// A value type; its queries touch the file system (to resolve links) and may
// run on any thread.
#pragma once

#include <string>
#include <string_view>

namespace wys::capture {

class CHistoryFolder {
public:
    // Knows no folder: contains nothing.
    CHistoryFolder() = default;
    // `folder` as the URL base names it; a relative one is taken from the
    // process's working folder. An empty one is no folder.
    explicit CHistoryFolder(std::string_view folder);

    const std::string& Canonical() const { return m_canonical; }

    // Whether `path` (absolute, or relative to the working folder) is the
    // folder itself or lies below it once made canonical.
    bool ContainsPath(std::string_view path) const;
    // Whether `url` is a file URL of this machine ("file:///...",
    // "file://localhost/...", any case of the scheme) whose decoded path the
    // folder contains. Any other URL is not inside.
    bool ContainsFileUrl(std::string_view url) const;

    // The canonical form described above; empty for an empty path.
    static std::string CanonicalPath(std::string_view path);
    // The decoded local path of a file URL of this machine, or empty when
    // `url` is no such URL.
    static std::string LocalPathOfFileUrl(std::string_view url);

private:
    std::string m_canonical;
};

}  // namespace wys::capture
