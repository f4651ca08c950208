#include "Wayscribe/tools/CSavedPageReader.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

namespace {

// A page bigger than this does not keep its room once it has been searched.
constexpr std::size_t kKeptCapacity = 16u << 20;

class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace

std::string CSavedPageReader::PagePath(const std::string& historyFolder, const std::string& path)
{
    std::string full = historyFolder;
    full += '/';
    std::size_t componentStart = full.size();
    for (std::size_t i = 0; i <= path.size(); ++i) {
        const char c = i < path.size() ? path[i] : '/';
        if (c == '/' || c == '\\') {
            if (std::string_view(full).substr(componentStart) == "..")
                return std::string();
            if (i < path.size())
                full += '/';
            componentStart = full.size();
        } else {
            full += c;
        }
    }
    return full;
}

bool CSavedPageReader::Read(const std::string& fullPath, std::string_view* text)
{
    // Non-blocking, so that a fifo standing where a page should be cannot
    // hold the search up; only regular files are read.
    CFileDescriptor file(::open(fullPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.Get() < 0)
        return false;
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    if (::flock(file.Get(), LOCK_SH | LOCK_NB) != 0)
        return false;
    const std::size_t size = std::min<std::size_t>(static_cast<std::size_t>(info.st_size), kMaxPageBytes);

    if (m_capacity > kKeptCapacity && size <= kKeptCapacity) {
        m_buffer.reset();
        m_capacity = 0;
    }
    if (size > m_capacity || !m_buffer) {
        m_buffer.reset(new (std::nothrow) char[std::max<std::size_t>(size, 1)]);
        m_capacity = m_buffer ? std::max<std::size_t>(size, 1) : 0;
        if (!m_buffer)
            return false;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(file.Get(), m_buffer.get() + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;  // the file shrank meanwhile: search what there is
        done += static_cast<std::size_t>(n);
    }
    *text = std::string_view(m_buffer.get(), done);
    return true;
}
