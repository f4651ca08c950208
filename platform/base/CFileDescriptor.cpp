#include "platform/base/CFileDescriptor.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace wys::base {

CFileDescriptor::CFileDescriptor(CFileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

CFileDescriptor& CFileDescriptor::operator=(CFileDescriptor&& other) noexcept
{
    if (this != &other) {
        (void)Close();  // the owner that moves a descriptor in has no use for the old one's result
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

CFileDescriptor::~CFileDescriptor()
{
    (void)Close();
}

int CFileDescriptor::Release()
{
    return std::exchange(m_fd, -1);
}

int CFileDescriptor::Close()
{
    const int fd = std::exchange(m_fd, -1);
    if (fd < 0)
        return 0;
    // Linux releases the descriptor even when close fails, so it is never
    // closed a second time (that could close another thread's new one).
    return ::close(fd) == 0 ? 0 : errno;
}

}  // namespace wys::base
