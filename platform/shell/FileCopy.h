// Private to platform/shell: copying one file or one symbolic link.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace wys::shell {

enum class CopyResult { Copied, Cancelled, Failed };

// Copies the regular file `source` (never through a link) to `target`. The
// bytes go to a temporary file beside the target, which is flushed to disk
// and renamed over it at the end: whatever was at `target` (a file or a
// link, never followed) stays untouched until the copy is complete, a crash
// leaves the old or the whole new file, and a cancelled or failed copy
// leaves nothing behind. The copy gets the source's permission bits and
// times. `onChunk` hears the bytes written by each chunk and returns false
// to cancel. On failure `error` holds the errno value.
CopyResult CopyRegularFile(const std::string& source, const std::string& target,
                           const std::function<bool(std::uint64_t)>& onChunk, int& error);

// Makes `target` a symbolic link with the same content as the link
// `source`, replacing a file or link at `target`. 0 or an errno value.
int CopySymbolicLink(const std::string& source, const std::string& target);

}  // namespace wys::shell
