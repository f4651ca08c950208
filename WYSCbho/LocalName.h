// Local names of saved resources: the last component of a resource URL's
// decoded path, made safe to use as one file name inside the resource folder,
// and the numbered variant that no file takes yet.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wys::capture {

// Longest local name, in bytes: the file system's limit for one name less
// room for the four digits of a numbered variant.
inline constexpr std::size_t kMaxLocalName = 255 - 4;
// Highest number tried for a name that is taken.
inline constexpr int kMaxNameNumber = 9999;

// The local name of a resource URL, from the last component of the URL path
// as ParseUrl decodes it; the query and fragment never take part. Nullopt
// when the URL does not parse or its path ends in a separator (or is empty),
// and for the names "." and "..", which would name a folder rather than a
// file inside it.
//
// The name is always a single component of at most kMaxLocalName bytes:
// control characters (a decoded NUL among them) and the characters that
// would change its meaning when the saved page refers to it ('"', '\'', '<',
// '>', '%') become '_' (a decoded '#' or '?' already ends the path); a longer
// name is cut at a character boundary, keeping a short extension.
std::optional<std::string> LocalNameOf(std::string_view url);

// The full path for `name` in `folder` that nothing on disk takes: the name
// itself, else the name with 1, 2, ... 9999 inserted before its extension.
// Nullopt when all are taken.
std::optional<std::string> FreeTargetPath(const std::string& folder, const std::string& name);

}  // namespace wys::capture
