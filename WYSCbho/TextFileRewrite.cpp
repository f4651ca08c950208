#include "WYSCbho/TextFileRewrite.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace wys::capture {

void RewriteTextFile(const std::string& file, const std::function<std::string(std::string)>& change)
{
    int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return;
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

    if (::lseek(fd, 0, SEEK_SET) == 0) {
        std::size_t offset = 0;
        while (offset < text.size()) {
            ssize_t written = ::write(fd, text.data() + offset, text.size() - offset);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                break;
            offset += static_cast<std::size_t>(written);
        }
        // Only a complete write may cut the old tail off; a failed truncation
        // leaves that tail, which is all that can be done.
        if (offset == text.size() && ::ftruncate(fd, static_cast<off_t>(offset)) != 0)
            errno = 0;
    }
    ::close(fd);
}

}  // namespace wys::capture
