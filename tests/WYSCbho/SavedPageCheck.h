// Reading a saved page back as a browser would: the page file is loaded with
// the document object model at its file URL, and every reference of its
// img, script, link, input, param, iframe and frame elements is resolved to
// a local path.
#pragma once

#include <set>
#include <string>

namespace wys::test {

// The local paths (decoded, canonical) that the saved page at `pageFile`
// refers to; references that do not resolve to a file URL are returned as
// written, prefixed by "not a file: ".
std::set<std::string> SavedPageReferences(const std::string& pageFile);

// Every url(...) reference inside the saved page's style (style elements and
// attributes) and inside the style sheets of its resource folder, each that
// does not name an existing local file, as "file: reference".
std::set<std::string> UnresolvedStyleReferences(const std::string& pageFile);

// The names of the entries of a folder; empty when it does not exist.
std::set<std::string> FolderEntries(const std::string& folder);

}  // namespace wys::test
