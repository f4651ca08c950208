// What a Navigate target names, as the band and the helper objects pass it:
// an absolute local path (a saved copy; "\" read as a separator too, as in
// paths written elsewhere) or a URL. Thread-safe.
#pragma once

#include <string>

namespace wys::extension {

// The URL for `target`, fully encoded: a file URL for an absolute path, the
// URL itself otherwise. Empty when `target` is neither.
std::string UrlOfNavigationTarget(const std::string& target);

// Whether two URLs name the same address once their escapes are decoded
// (browsers and this host escape file URLs differently).
bool SameAddress(const std::string& a, const std::string& b);

}  // namespace wys::extension
