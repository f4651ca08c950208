// Changing a text file in place: read it whole (at most kMaxRewrittenFile
// bytes, the text ending at its first NUL byte), change the text, write it
// back from the start, the file then ending where the text ends.
#pragma once

#include <functional>
#include <string>

namespace wys::capture {

// Most bytes read from a file that is changed in place.
inline constexpr std::size_t kMaxRewrittenFile = 1717986918;

// A file that cannot be opened for reading and writing is left alone; read
// and write errors are ignored (the file keeps what could be written), as
// callers have no better copy to offer.
void RewriteTextFile(const std::string& file, const std::function<std::string(std::string)>& change);

}  // namespace wys::capture
