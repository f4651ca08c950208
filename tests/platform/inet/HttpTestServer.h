// An HTTP server on a loopback port for the tests of the internet library and
// of the web archive. Routes are added to Server() before Start(); the server
// stops when the object goes.
#pragma once

#include <httplib.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace wys::test {

class HttpTestServer {
public:
    HttpTestServer() = default;
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;
    ~HttpTestServer() { Stop(); }

    httplib::Server& Server() { return m_server; }

    void Start()
    {
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            throw std::runtime_error("cannot bind a loopback port");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        for (int i = 0; i < 500 && !m_server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    void Stop()
    {
        if (m_thread.joinable()) {
            m_server.stop();
            m_thread.join();
        }
    }

    int Port() const { return m_port; }
    std::string Origin() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::string Url(const std::string& path) const { return Origin() + path; }

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
};

}  // namespace wys::test
