#include "tests/support/LoopbackHttpServer.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace wys::test {

namespace {

bool EqualIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string ContentTypeOf(const std::string& path)
{
    static const std::pair<const char*, const char*> kTypes[] = {
        {".html", "text/html"},     {".htm", "text/html"},         {".css", "text/css"},
        {".js", "text/javascript"}, {".png", "image/png"},         {".gif", "image/gif"},
        {".jpg", "image/jpeg"},     {".jpeg", "image/jpeg"},       {".svg", "image/svg+xml"},
        {".txt", "text/plain"},     {".json", "application/json"}, {".swf", "application/x-shockwave-flash"},
    };
    const std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && path.find('/', dot) == std::string::npos) {
        for (const auto& [extension, type] : kTypes) {
            if (EqualIgnoringCase(path.substr(dot), extension))
                return type;
        }
    }
    return "application/octet-stream";
}

bool ReadWholeFile(const std::string& path, std::string& content)
{
    std::error_code ignored;  // anything unreadable is simply not served
    if (!std::filesystem::is_regular_file(path, ignored))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream text;
    text << in.rdbuf();
    content = text.str();
    return true;
}

}  // namespace

std::string HttpRequest::Header(std::string_view name) const
{
    for (const auto& [key, value] : headers) {
        if (EqualIgnoringCase(key, name))
            return value;
    }
    return {};
}

struct LoopbackHttpServer::State {
    httplib::Server server;
    int port = -1;
    std::thread thread;
    std::atomic<bool> listenEnded{false};

    mutable std::mutex mutex;
    std::condition_variable stopping;
    bool stopped = false;
    std::string folder;
    std::map<std::string, HttpHandler> handlers;
    std::map<std::string, int> counts;
    std::vector<HttpRequest> requests;

    httplib::Server::HandlerResponse Answer(const httplib::Request& request, httplib::Response& response);
    bool ServeFile(const std::string& path, httplib::Response& response);
};

httplib::Server::HandlerResponse LoopbackHttpServer::State::Answer(const httplib::Request& request,
                                                                   httplib::Response& response)
{
    HttpRequest copy{request.method, request.path, request.target, {}, request.body, request.remote_port};
    for (const auto& [key, value] : request.headers)
        copy.headers.emplace_back(key, value);

    HttpHandler handler;
    std::string root;
    {
        std::lock_guard lock(mutex);
        ++counts[request.path];
        requests.push_back(copy);
        if (auto it = handlers.find(request.path); it != handlers.end())
            handler = it->second;
        root = folder;
    }
    if (handler) {
        const HttpReply reply = handler(copy);
        if (reply.delay.count() > 0) {
            std::unique_lock lock(mutex);
            stopping.wait_for(lock, reply.delay, [this] { return stopped; });
        }
        response.status = reply.status;
        for (const auto& [key, value] : reply.headers)
            response.set_header(key, value);
        response.set_content(reply.body, reply.contentType);
    } else if (root.empty() || !ServeFile(root + request.path, response)) {
        response.status = 404;
        response.set_content("not found", "text/plain");
    }
    return httplib::Server::HandlerResponse::Handled;
}

bool LoopbackHttpServer::State::ServeFile(const std::string& path, httplib::Response& response)
{
    if (path.find("/../") != std::string::npos || path.ends_with("/.."))
        return false;
    std::string content;
    std::string file = path;
    if (!file.empty() && file.back() == '/')
        file += "index.html";
    if (!ReadWholeFile(file, content) && !ReadWholeFile(file += "/index.html", content))
        return false;
    response.status = 200;
    response.set_content(content, ContentTypeOf(file));
    return true;
}

LoopbackHttpServer::LoopbackHttpServer() : m_state(std::make_unique<State>())
{
    State& state = *m_state;
    state.server.set_pre_routing_handler(
        [&state](const httplib::Request& request, httplib::Response& response) {
            return state.Answer(request, response);
        });
    // Headers and body go out in separate writes: without this, a kept-alive
    // client waits for its own delayed acknowledgement (40 ms) on every reply.
    state.server.set_tcp_nodelay(true);
    state.port = state.server.bind_to_any_port("127.0.0.1");
    if (state.port <= 0)
        throw std::runtime_error("the loopback HTTP server found no free port");
    // The socket already listens: connections made before the thread runs
    // wait in its backlog. The wait below is for Stop: the server ignores a
    // stop that comes before its accept loop has begun.
    state.thread = std::thread([&state] {
        state.server.listen_after_bind();
        state.listenEnded = true;
    });
    while (!state.server.is_running() && !state.listenEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!state.server.is_running()) {
        state.thread.join();
        throw std::runtime_error("the loopback HTTP server could not start listening");
    }
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    Stop();
}

void LoopbackHttpServer::Stop()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopped = true;
    }
    m_state->stopping.notify_all();
    m_state->server.stop();
    if (m_state->thread.joinable())
        m_state->thread.join();
}

int LoopbackHttpServer::Port() const
{
    return m_state->port;
}

std::string LoopbackHttpServer::Url(std::string_view path) const
{
    return "http://127.0.0.1:" + std::to_string(m_state->port) + std::string(path);
}

void LoopbackHttpServer::ServeFolder(const std::string& folder)
{
    std::lock_guard lock(m_state->mutex);
    m_state->folder = folder;
    while (m_state->folder.size() > 1 && m_state->folder.back() == '/')
        m_state->folder.pop_back();
}

void LoopbackHttpServer::Handle(const std::string& path, HttpReply reply)
{
    Handle(path, [reply = std::move(reply)](const HttpRequest&) { return reply; });
}

void LoopbackHttpServer::Handle(const std::string& path, HttpHandler handler)
{
    std::lock_guard lock(m_state->mutex);
    m_state->handlers[path] = std::move(handler);
}

void LoopbackHttpServer::Redirect(const std::string& from, const std::string& to, int status)
{
    HttpReply reply;
    reply.status = status;
    reply.body = "moved";
    reply.contentType = "text/plain";
    reply.headers.emplace_back("Location", to.find("://") != std::string::npos ? to : Url(to));
    Handle(from, std::move(reply));
}

int LoopbackHttpServer::RequestCount(const std::string& path) const
{
    std::lock_guard lock(m_state->mutex);
    auto it = m_state->counts.find(path);
    return it == m_state->counts.end() ? 0 : it->second;
}

int LoopbackHttpServer::TotalRequests() const
{
    std::lock_guard lock(m_state->mutex);
    return static_cast<int>(m_state->requests.size());
}

std::vector<HttpRequest> LoopbackHttpServer::Requests() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->requests;
}

}  // namespace wys::test
