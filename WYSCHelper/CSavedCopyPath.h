// Where a record's saved copy lies on disk, and whether a record's Path may
// be used there at all.
//
// A record's Path is relative to a root folder (the history folder, or the
// companion folder of an export file). Both "/" and "\" separate, since
// files written on the original platform carry "\". A Path is usable only
// when it stays strictly inside its root: not empty, not "." alone, not
// absolute (a leading separator or a drive letter such as "C:"), and without
// any ".." component. Every file operation on a record's copy goes through
// this check, so a stored or imported Path can never lead outside the root
// or to the root itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/Bstr.h"

class CSavedCopyPath {
public:
    // The Path's components, "." and empty ones dropped; nullopt when the
    // Path is not usable.
    static std::optional<std::vector<std::string>> Components(std::string_view path);
    // The same for a record's Path as stored (converted up to its first NUL).
    static std::optional<std::vector<std::string>> Components(BSTR path);

    // root + "/" + the components joined with "/"; nullopt when the Path is
    // not usable.
    static std::optional<std::string> Under(const std::string& root, BSTR path);

    // Components joined with "/".
    static std::string Join(const std::vector<std::string>& components, std::size_t count);

    // Whether the folder `folder` (which must exist) resolves, through any
    // symbolic links, to `root` or a folder inside it.
    static bool ResolvesInside(const std::string& root, const std::string& folder);

    // Whether root + "/" + components names a regular file or a folder
    // reached from `root` through folders only: no component is a symbolic
    // link (the root itself may be one).
    static bool ReachedWithoutLinks(const std::string& root, const std::vector<std::string>& components);
    // Whether what exists of root + "/" + components leads through folders
    // only: every existing component above the last is a folder, not a
    // link or a file. What is missing (or cannot be looked at) is left to
    // whoever writes there.
    static bool LeadsThroughNoLink(const std::string& root, const std::vector<std::string>& components);
};
