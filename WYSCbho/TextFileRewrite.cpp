#include "WYSCbho/TextFileRewrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/base/CFileDescriptor.h"
#include "platform/base/FileWrite.h"

namespace wys::capture {

void RewriteTextFile(const std::string& file, const std::function<std::string(std::string)>& change)
{
    const wys::base::CFileDescriptor opened(::open(file.c_str(), O_RDWR | O_CLOEXEC));
    if (!opened.IsValid())
        return;
    const int fd = opened.Get();
    // Read straight into the text, sized once for what the file holds now
    // (a file that grows meanwhile is read on to its end, as far as the limit).
    struct stat info;
    std::size_t expected = ::fstat(fd, &info) == 0 && info.st_size > 0
                               ? std::min(static_cast<std::size_t>(info.st_size), kMaxRewrittenFile)
                               : 0;
    std::string text;
    text.resize(std::min(std::max<std::size_t>(expected + 1, 4096), kMaxRewrittenFile));
    std::size_t used = 0;
    while (used < kMaxRewrittenFile) {
        if (used == text.size())
            text.resize(std::min(text.size() * 2, kMaxRewrittenFile));
        ssize_t got = ::read(fd, text.data() + used, text.size() - used);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        used += static_cast<std::size_t>(got);
    }
    text.resize(used);
    if (std::size_t nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);

    text = change(std::move(text));

    // Only a complete write may cut the old tail off; a failed truncation
    // leaves that tail, which is all that can be done.
    if (::lseek(fd, 0, SEEK_SET) == 0 && wys::base::WriteAll(fd, text) == 0 &&
        ::ftruncate(fd, static_cast<off_t>(text.size())) != 0)
        errno = 0;
}

}  // namespace wys::capture
