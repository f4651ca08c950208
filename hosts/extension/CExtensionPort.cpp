#include "hosts/extension/CExtensionPort.h"

#include <unistd.h>

#include <cerrno>

#include "hosts/extension/NativeMessageReader.h"

namespace wys::extension {

CExtensionPort::CExtensionPort(int fd) : m_fd(fd) {}

CExtensionPort::~CExtensionPort()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CExtensionPort::Send(std::string_view json)
{
    if (json.size() > kMaxMessageToBrowser)
        return false;
    std::string framed = FrameMessage(json);
    std::lock_guard lock(m_mutex);
    if (m_broken)
        return false;
    std::size_t written = 0;
    while (written < framed.size()) {
        ssize_t n = ::write(m_fd, framed.data() + written, framed.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_broken = true;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace wys::extension
