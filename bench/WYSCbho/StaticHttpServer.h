// A small HTTP/1.1 server on loopback for the capture benchmark: fixed
// bodies by path, keep-alive, one thread per connection, TCP_NODELAY, so
// that the clients measured and not the server set the pace. GET only.
#pragma once

#include <map>
#include <string>

namespace wys::bench {

class StaticHttpServer {
public:
    // Path -> body; every body is served as application/octet-stream, except
    // paths ending in ".php" or ".html", served as text/html.
    explicit StaticHttpServer(std::map<std::string, std::string> bodies);
    ~StaticHttpServer();
    StaticHttpServer(const StaticHttpServer&) = delete;
    StaticHttpServer& operator=(const StaticHttpServer&) = delete;

    // 0 when the server could not listen.
    int Port() const { return m_port; }
    // Accepts and serves until the process ends.
    void Run();

private:
    void Serve(int connection) const;

    std::map<std::string, std::string> m_bodies;
    int m_listener = -1;
    int m_port = 0;
};

}  // namespace wys::bench
