#include "tests/WYSCbho/FidelitySite.h"

#include <atomic>
#include <filesystem>
#include <memory>

#include "tests/support/TempHome.h"

namespace wys::test {
namespace {

// Any bold monospace face differs from the fallback serif at a glance.
constexpr const char* kWebFont = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf";

std::string TypeOf(const std::filesystem::path& path)
{
    const std::string extension = path.extension().string();
    if (extension == ".html")
        return "text/html";
    if (extension == ".css")
        return "text/css";
    if (extension == ".js")
        return "text/javascript";
    if (extension == ".png")
        return "image/png";
    return "application/octet-stream";
}

bool HasSession(const HttpRequest& request)
{
    return request.Header("Cookie").find(std::string(FidelitySite::kCookieName) + "=" +
                                         FidelitySite::kCookieValue) != std::string::npos;
}

std::string SetCookie()
{
    return std::string(FidelitySite::kCookieName) + "=" + FidelitySite::kCookieValue +
           "; Path=/site; HttpOnly";
}

}  // namespace

FidelitySite::FidelitySite()
{
    namespace fs = std::filesystem;
    std::shared_ptr<std::atomic<int>> refusals = m_refusals;
    const fs::path root = WYS_FIDELITY_SITE_DIR;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        HttpReply reply;
        reply.body = ReadFile(entry.path().string());
        reply.contentType = TypeOf(entry.path());
        const bool guarded = relative.starts_with("members/") && entry.path().extension() != ".html";
        const bool welcome = relative == "members/welcome.html";
        std::vector<std::string> paths{"/site/" + relative};
        if (entry.path().extension() == ".html")
            paths.push_back("/site/" + relative.substr(0, relative.size() - 5) + ".php");
        for (const std::string& path : paths) {
            m_server.Handle(path, [reply, guarded, welcome, refusals](const HttpRequest& request) {
                HttpReply answer = reply;
                if (guarded && !HasSession(request)) {
                    ++*refusals;
                    answer.status = 403;
                    answer.body = "<p>Sign in first";
                    answer.contentType = "text/html";
                }
                if (welcome)
                    answer.headers.emplace_back("Set-Cookie", SetCookie());
                return answer;
            });
        }
    }
    HttpReply font;
    font.body = ReadFile(kWebFont);
    font.contentType = "font/ttf";
    m_server.Handle("/site/fonts/test.ttf", font);
    m_server.Handle("/site/login", [](const HttpRequest&) {
        HttpReply reply;
        reply.status = 303;
        reply.body = "signed in";
        reply.contentType = "text/plain";
        reply.headers.emplace_back("Set-Cookie", SetCookie());
        reply.headers.emplace_back("Location", "/site/members/index.html");
        return reply;
    });
}

int FidelitySite::RefusedRequests() const
{
    return *m_refusals;
}

}  // namespace wys::test
