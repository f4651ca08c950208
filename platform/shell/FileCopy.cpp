#include "platform/shell/FileCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/shell/PathText.h"

namespace wys::shell {

namespace {

constexpr std::size_t kChunkSize = 256 * 1024;

// Closes a descriptor on every path out of a copy.
class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor() { Close(); }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // 0 or the errno value of close.
    int Close()
    {
        if (m_fd < 0)
            return 0;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

int WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

std::string TemporaryPattern(const std::string& target)
{
    const std::string folder = ParentFolder(target);
    return (folder == "/" ? "" : folder) + "/.wys-copy-XXXXXX";
}

}  // namespace

CopyResult CopyRegularFile(const std::string& source, const std::string& target,
                           const std::function<bool(std::uint64_t)>& onChunk, int& error)
{
    CFileDescriptor in(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info;
    if (!in.IsOpen() || ::fstat(in.Get(), &info) != 0) {
        error = errno;
        return CopyResult::Failed;
    }
    std::string temporary = TemporaryPattern(target);
    CFileDescriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!out.IsOpen()) {
        error = errno;
        return CopyResult::Failed;
    }
    // From here on every way out that does not rename removes the temporary file.
    auto abandon = [&](CopyResult result, int code) {
        out.Close();
        ::unlink(temporary.c_str());
        error = code;
        return result;
    };
    std::vector<char> buffer(kChunkSize);
    for (;;) {
        const ssize_t got = ::read(in.Get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return abandon(CopyResult::Failed, errno);
        if (got == 0)
            break;
        if (int code = WriteAll(out.Get(), buffer.data(), static_cast<std::size_t>(got)))
            return abandon(CopyResult::Failed, code);
        if (!onChunk(static_cast<std::uint64_t>(got)))
            return abandon(CopyResult::Cancelled, 0);
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (::fchmod(out.Get(), info.st_mode & 07777) != 0 || ::futimens(out.Get(), times) != 0)
        return abandon(CopyResult::Failed, errno);
    if (int code = out.Close())
        return abandon(CopyResult::Failed, code);
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return abandon(CopyResult::Failed, errno);
    return CopyResult::Copied;
}

int CopySymbolicLink(const std::string& source, const std::string& target)
{
    std::vector<char> content(256);
    for (;;) {
        const ssize_t length = ::readlink(source.c_str(), content.data(), content.size());
        if (length < 0)
            return errno;
        if (static_cast<std::size_t>(length) < content.size()) {
            content.resize(static_cast<std::size_t>(length));
            break;
        }
        content.resize(content.size() * 2);
    }
    content.push_back('\0');
    if (::unlink(target.c_str()) != 0 && errno != ENOENT)
        return errno;
    return ::symlink(content.data(), target.c_str()) == 0 ? 0 : errno;
}

}  // namespace wys::shell
