// An HTTP server on the loopback interface for tests that fetch pages.
//
// It listens on 127.0.0.1 on a free port from construction on, answers on
// its own threads, and stops in its destructor. What it serves: the replies
// and handlers registered for exact paths, then the files of a folder, then
// 404. Every request is counted by its path and kept for inspection.
// Registration and inspection are thread-safe and may happen while requests
// are being answered.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wys::test {

struct HttpRequest {
    std::string method;
    std::string path;    // decoded, without the query
    std::string target;  // as sent: path and query, still encoded
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    int remotePort = 0;  // the client's port: one value per connection

    // The first header of that name (case-insensitive); empty when absent.
    std::string Header(std::string_view name) const;
};

struct HttpReply {
    int status = 200;
    std::string body;
    std::string contentType = "text/html";
    std::vector<std::pair<std::string, std::string>> headers;
    // Waited before the reply is sent; cut short when the server stops.
    std::chrono::milliseconds delay{0};
};

using HttpHandler = std::function<HttpReply(const HttpRequest&)>;

class LoopbackHttpServer {
public:
    // Throws std::runtime_error when no port can be had.
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int Port() const;
    // "http://127.0.0.1:PORT" followed by `path` (which should start with "/").
    std::string Url(std::string_view path = "/") const;

    // Serves the files below `folder` at the same paths below "/" (a folder
    // serves its index.html). Paths with ".." are refused with 404. The
    // content type follows the file's extension.
    void ServeFolder(const std::string& folder);
    // A fixed reply, or one computed per request, for exactly `path`; a later
    // registration for the same path replaces the earlier one.
    void Handle(const std::string& path, HttpReply reply);
    void Handle(const std::string& path, HttpHandler handler);
    // Answers `from` with `status` and a Location header: `to` itself when it
    // is a full URL, else this server's Url(to).
    void Redirect(const std::string& from, const std::string& to, int status = 302);

    // Requests received for `path` (decoded, without the query), answered or not.
    int RequestCount(const std::string& path) const;
    int TotalRequests() const;
    // Copies of every request received, oldest first.
    std::vector<HttpRequest> Requests() const;

    // Stops listening, ends delayed replies and waits for the server's
    // threads. Idempotent; the destructor calls it.
    void Stop();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace wys::test
