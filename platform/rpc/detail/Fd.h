// Owns one file descriptor. Private to the runtime.
#pragma once

#include <unistd.h>

#include <utility>

namespace wys::rpc {

class CFd {
public:
    CFd() = default;
    explicit CFd(int fd) : m_fd(fd) {}
    CFd(CFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    CFd& operator=(CFd&& other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    ~CFd() { Reset(); }

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release() { return std::exchange(m_fd, -1); }
    void Reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);  // Nothing useful can be done when close fails.
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

}  // namespace wys::rpc
