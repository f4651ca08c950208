// Writing to descriptors and making what was written survive a crash.
#pragma once

#include <string>
#include <string_view>

namespace wys::base {

// Writes all of `bytes` to `fd`, going on after short writes and calls that a
// signal interrupted. 0, or the errno value of the write that failed (EIO for
// a write that took nothing); how much reached the file is then unknown.
int WriteAll(int fd, std::string_view bytes);

// The folder that holds `path`: "." for a bare name, "/" for one in the root.
std::string FolderOf(const std::string& path);

// Flushes `folder` to disk, so that a file created or renamed in it keeps its
// name after a crash. 0 or an errno value; some file systems cannot sync
// folders, so most callers note a failure and go on.
int SyncFolder(const std::string& folder);

}  // namespace wys::base
