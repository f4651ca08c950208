#include "bench/WYSCbho/StaticHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace wys::bench {
namespace {

bool SendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

}  // namespace

StaticHttpServer::StaticHttpServer(std::map<std::string, std::string> bodies) : m_bodies(std::move(bodies))
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(m_listener, 64) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
}

StaticHttpServer::~StaticHttpServer()
{
    if (m_listener >= 0)
        ::close(m_listener);
}

void StaticHttpServer::Run()
{
    for (;;) {
        int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            return;
        int one = 1;
        ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        std::thread([this, connection] { Serve(connection); }).detach();
    }
}

void StaticHttpServer::Serve(int connection) const
{
    std::string pending;
    char buffer[8192];
    for (;;) {
        std::size_t end = pending.find("\r\n\r\n");
        if (end == std::string::npos) {
            ssize_t got = ::recv(connection, buffer, sizeof(buffer), 0);
            if (got <= 0)
                break;
            pending.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        std::string head = pending.substr(0, end);
        pending.erase(0, end + 4);
        std::size_t space = head.find(' ');
        std::size_t second = head.find(' ', space + 1);
        std::string target = head.substr(space + 1, second - space - 1);
        std::string path = target.substr(0, target.find('?'));
        auto found = m_bodies.find(path);
        const bool html = path.ends_with(".php") || path.ends_with(".html");
        std::string reply = found == m_bodies.end() ? "HTTP/1.1 404 Not Found\r\n" : "HTTP/1.1 200 OK\r\n";
        const std::string& body = found == m_bodies.end() ? std::string() : found->second;
        reply += std::string("Content-Type: ") + (html ? "text/html" : "application/octet-stream") + "\r\n";
        reply += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: keep-alive\r\n\r\n";
        if (!SendAll(connection, reply.data(), reply.size()) ||
            !SendAll(connection, body.data(), body.size()))
            break;
    }
    ::close(connection);
}

}  // namespace wys::bench
