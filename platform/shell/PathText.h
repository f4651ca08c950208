// Private to platform/shell: the text rules every path helper shares.
// Both "/" and "\" separate components; nothing here touches the disk.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace wys::shell {

inline bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

// The non-empty components between separators.
std::vector<std::string_view> Components(std::string_view path);

// The components left once "." is dropped and each ".." removes the
// component before it; a ".." with nothing before it is dropped.
std::vector<std::string_view> CanonicalComponents(std::string_view path);

// Components from `first` on, joined with "/".
std::string Join(const std::vector<std::string_view>& parts, std::size_t first = 0);

// The canonical form of a path: "/" separators, no empty, "." or ".."
// components, the leading and a trailing separator kept. A relative path
// that reduces to nothing is "."; an empty one stays empty.
std::string Canonical(std::string_view path);

// Canonical, absolute (relative paths are taken from the current folder) and
// without a trailing separator unless it is the root.
std::string AbsoluteCanonical(std::string_view path);

// The last component of a canonical path ("" for the root).
std::string_view LastComponent(std::string_view path);

// The folder part of a canonical absolute path ("/a" for "/a/b", "/" for "/a").
std::string ParentFolder(std::string_view path);

}  // namespace wys::shell
