#include "hosts/capture/CaptureHostLink.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/base/FileWrite.h"

namespace wys::capture {
namespace {

// One part of bytes with room for the two descriptors that go with them.
struct CRightsMessage {
    CRightsMessage(void* data, std::size_t size) : part{data, size}
    {
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
    }
    CRightsMessage(const CRightsMessage&) = delete;
    CRightsMessage& operator=(const CRightsMessage&) = delete;

    iovec part;
    alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
    msghdr header{};
};

}  // namespace

std::string HostFilePath(const std::string& socketPath, const char* suffix)
{
    std::string path = socketPath;
    if (path.ends_with(".sock"))
        path.resize(path.size() - 5);
    return path + suffix;
}

bool ReadExactly(int fd, void* data, std::size_t size)
{
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        ssize_t got = ::read(fd, bytes, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool SendCaptureRequest(int socket, const std::vector<std::string>& arguments, int out, int err)
{
    std::string body;
    for (const std::string& argument : arguments) {
        body += argument;
        body += '\0';
    }
    if (body.size() > kMaxLinkArguments)
        return false;
    std::string head = kLinkGreeting;
    const auto length = static_cast<std::uint32_t>(body.size());
    head.append(reinterpret_cast<const char*>(&length), sizeof length);

    CRightsMessage message(head.data(), head.size());
    cmsghdr* rights = CMSG_FIRSTHDR(&message.header);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(2 * sizeof(int));
    const int fds[2] = {out, err};
    std::memcpy(CMSG_DATA(rights), fds, sizeof fds);
    ssize_t sent;
    while ((sent = ::sendmsg(socket, &message.header, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    if (sent < 0)
        return false;
    // A short send leaves the rest of the head to the plain write below.
    std::string rest = head.substr(static_cast<std::size_t>(sent)) + body;
    return wys::base::WriteAll(socket, rest) == 0;
}

bool ReceiveCaptureRequest(int socket, std::vector<std::string>& arguments, wys::base::CFileDescriptor& out,
                           wys::base::CFileDescriptor& err)
{
    constexpr std::size_t kGreetingSize = sizeof kLinkGreeting - 1;
    char head[kGreetingSize + sizeof(std::uint32_t)];
    CRightsMessage received(head, sizeof head);
    msghdr& message = received.header;
    ssize_t got;
    while ((got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
    }
    if (got <= 0)
        return false;
    wys::base::CFileDescriptor fds[2];
    int count = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
            continue;
        const std::size_t n = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < n; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            if (count < 2)
                fds[count++] = wys::base::CFileDescriptor(fd);
            else
                ::close(fd);
        }
    }
    if (count != 2 || (message.msg_flags & MSG_CTRUNC))
        return false;
    if (static_cast<std::size_t>(got) < sizeof head &&
        !ReadExactly(socket, head + got, sizeof head - static_cast<std::size_t>(got)))
        return false;
    if (std::memcmp(head, kLinkGreeting, kGreetingSize) != 0)
        return false;
    std::uint32_t length;
    std::memcpy(&length, head + kGreetingSize, sizeof length);
    if (length > kMaxLinkArguments)
        return false;
    std::string body(length, '\0');
    if (!ReadExactly(socket, body.data(), body.size()))
        return false;
    if (!body.empty() && body.back() != '\0')
        return false;
    arguments.clear();
    for (std::size_t start = 0; start < body.size();) {
        std::size_t end = body.find('\0', start);
        arguments.push_back(body.substr(start, end - start));
        start = end + 1;
    }
    out = std::move(fds[0]);
    err = std::move(fds[1]);
    return true;
}

}  // namespace wys::capture
