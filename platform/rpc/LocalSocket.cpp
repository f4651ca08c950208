#include "platform/rpc/LocalSocket.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace wys::rpc {
namespace {

using wys::base::CFileDescriptor;

bool MakeAddress(const std::string& path, sockaddr_un* address)
{
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (!FitsSocketAddress(path))
        return false;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

bool FitsSocketAddress(const std::string& path)
{
    return path.size() < sizeof(sockaddr_un::sun_path);
}

CFileDescriptor DialLocalSocket(const std::string& path)
{
    sockaddr_un address;
    if (!MakeAddress(path, &address))
        return CFileDescriptor();
    CFileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.IsValid())
        return fd;
    while (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINTR)
            return CFileDescriptor();
    }
    return fd;
}

CFileDescriptor ListenLocalSocket(const std::string& path, int backlog, bool nonBlocking)
{
    sockaddr_un address;
    if (!MakeAddress(path, &address)) {
        errno = ENAMETOOLONG;
        return CFileDescriptor();
    }
    CFileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0));
    if (!fd.IsValid())
        return fd;
    ::unlink(path.c_str());
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.Get(), backlog) != 0)
        return CFileDescriptor();
    return fd;
}

bool PeerIsThisUser(int fd)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           credentials.uid == ::geteuid();
}

}  // namespace wys::rpc
