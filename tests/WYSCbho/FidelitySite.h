// The loopback site on which saved copies are held against the live pages:
// a page whose style comes through a chain of imported sheets (one importing
// itself, two importing each other) with url() images and a web font, inline
// style elements and attributes; a page built entirely by its script, which
// also moves the address with history.replaceState; nested frames with their
// own images and style; and members' pages whose style sheet and images are
// served only with the session cookie that the sign-in form (or, for hosts
// that submit no forms, the welcome page itself) sets.
//
// Every page is served under its ".html" name and under a ".php" name too,
// which the capture saves through the HTML route.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "tests/support/LoopbackHttpServer.h"

namespace wys::test {

class FidelitySite {
public:
    // The session cookie's name and value.
    static constexpr const char* kCookieName = "session";
    static constexpr const char* kCookieValue = "9f3c1a7e";

    FidelitySite();

    LoopbackHttpServer& Server() { return m_server; }
    std::string Url(const std::string& path) const { return m_server.Url(path); }
    // Stops serving: saved copies must show without the site.
    void Stop() { m_server.Stop(); }

    // Requests answered 403 for want of the session cookie.
    int RefusedRequests() const;

private:
    // Shared with the server's handlers.
    std::shared_ptr<std::atomic<int>> m_refusals = std::make_shared<std::atomic<int>>(0);
    LoopbackHttpServer m_server;
};

}  // namespace wys::test
