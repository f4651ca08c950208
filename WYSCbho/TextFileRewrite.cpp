#include "WYSCbho/TextFileRewrite.h"

#include <fcntl.h>
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
    std::string text;
    char buffer[65536];
    while (text.size() < kMaxRewrittenFile) {
        std::size_t want = std::min(sizeof(buffer), kMaxRewrittenFile - text.size());
        ssize_t got = ::read(fd, buffer, want);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
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
