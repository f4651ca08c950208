#include "hosts/extension/CExtensionPort.h"

#include <unistd.h>

#include <cerrno>

#include "hosts/extension/NativeMessageReader.h"
#include "platform/base/FileWrite.h"

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
    if (wys::base::WriteAll(m_fd, framed) != 0) {
        m_broken = true;
        return false;
    }
    return true;
}

}  // namespace wys::extension
