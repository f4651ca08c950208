#include "platform/inet/WinInet.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/inet/InternetHandle.h"
#include "tests/platform/inet/HttpTestServer.h"
#include "tests/support/TempHome.h"

using namespace std::chrono_literals;
using wys::test::HttpTestServer;

namespace {

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        Apply(value);
    }
    ~ScopedEnv() { Apply(m_old); }

private:
    void Apply(const std::optional<std::string>& value)
    {
        if (value)
            ::setenv(m_name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }
    std::string m_name;
    std::optional<std::string> m_old;
};

// No proxy from the machine running the tests may come between them and the
// loopback servers.
class InternetTest : public ::testing::Test {
protected:
    ScopedEnv m_http{"http_proxy", std::nullopt};
    ScopedEnv m_https{"https_proxy", std::nullopt};
    ScopedEnv m_all{"all_proxy", std::nullopt};
    ScopedEnv m_allUpper{"ALL_PROXY", std::nullopt};
    ScopedEnv m_noProxy{"no_proxy", std::nullopt};

    // Keeps a server handler busy until the test has ended, at most 5 s.
    void HoldUntilReleased()
    {
        for (int i = 0; i < 250 && !m_release; ++i)
            std::this_thread::sleep_for(20ms);
    }
    void TearDown() override { m_release = true; }

    std::atomic<bool> m_release{false};
    HttpTestServer m_server;
};

CInternetHandle OpenSession(DWORD access = INTERNET_OPEN_TYPE_PRECONFIG)
{
    CInternetHandle session(InternetOpen("QXPL", access, nullptr, nullptr, 0));
    EXPECT_TRUE(session) << InternetGetLastError();
    return session;
}

struct Body {
    std::string bytes;
    std::vector<DWORD> reads;
};

// Reads to the end with reads of `chunk` bytes, the last one returning 0.
Body ReadAll(HINTERNET request, DWORD chunk = 1024)
{
    Body body;
    std::vector<char> buffer(chunk);
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request, buffer.data(), chunk, &read)) {
            ADD_FAILURE() << "read failed with " << InternetGetLastError();
            break;
        }
        body.reads.push_back(read);
        if (read == 0)
            break;
        body.bytes.append(buffer.data(), read);
    }
    return body;
}

std::string Fetch(HINTERNET session, const std::string& url)
{
    CInternetHandle request(InternetOpenUrl(session, url.c_str(), nullptr, 0, 0, 1));
    EXPECT_TRUE(request) << url << " failed with " << InternetGetLastError();
    return request ? ReadAll(request.Get()).bytes : std::string();
}

std::optional<std::string> QueryText(HINTERNET request, DWORD level)
{
    char buffer[256];
    DWORD length = sizeof buffer;
    if (!HttpQueryInfo(request, level, buffer, &length, nullptr))
        return std::nullopt;
    return std::string(buffer, length);
}

std::string Pattern(std::size_t size)
{
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return text;
}

// A port on which nothing listens: bound once, then released.
int UnusedPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

}  // namespace

TEST_F(InternetTest, ReadsComeInTheSizeAskedForUntilTheEnd)
{
    const std::string body = Pattern(5000);
    m_server.Server().Get("/data", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(body, "application/octet-stream");
    });
    m_server.Start();
    auto session = OpenSession();

    const std::string url = m_server.Url("/data");
    CInternetHandle request(
        InternetOpenUrl(session.Get(), url.c_str(), nullptr, 0, INTERNET_FLAG_NEED_FILE, 1));
    ASSERT_TRUE(request);
    Body got = ReadAll(request.Get());
    EXPECT_EQ(got.bytes, body);
    EXPECT_EQ(got.reads, (std::vector<DWORD>{1024, 1024, 1024, 1024, 904, 0}));

    // The download loop of the capture: ask what is there, read at most 1024 of it.
    CInternetHandle again(
        InternetOpenUrl(session.Get(), url.c_str(), nullptr, 0, INTERNET_FLAG_NEED_FILE, 1));
    ASSERT_TRUE(again);
    std::string copy;
    char buffer[1024];
    DWORD available = 0;
    while (InternetQueryDataAvailable(again.Get(), &available, 0, 0) && available > 0) {
        DWORD read = 0;
        ASSERT_TRUE(InternetReadFile(again.Get(), buffer, std::min<DWORD>(available, 1024), &read));
        ASSERT_GT(read, 0u);
        copy.append(buffer, read);
    }
    EXPECT_EQ(copy, body);
}

TEST_F(InternetTest, BodyIsDeliveredWhateverTheStatus)
{
    m_server.Server().Get("/missing", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("<h1>not here</h1>", "text/html; charset=utf-8");
    });
    m_server.Start();
    auto session = OpenSession();
    CInternetHandle request(
        InternetOpenUrl(session.Get(), m_server.Url("/missing").c_str(), nullptr, 0, 0, 1));
    ASSERT_TRUE(request);
    EXPECT_EQ(QueryText(request.Get(), HTTP_QUERY_STATUS_CODE), "404");
    EXPECT_EQ(QueryText(request.Get(), HTTP_QUERY_CONTENT_TYPE), "text/html; charset=utf-8");
    EXPECT_EQ(ReadAll(request.Get()).bytes, "<h1>not here</h1>");
}

TEST_F(InternetTest, RedirectsAreFollowedOnlyToNetworkSchemes)
{
    auto& server = m_server.Server();
    server.Get("/old", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/older", 301);
        res.set_content("moved", "text/plain");
    });
    server.Get("/older", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/new", 302);
    });
    server.Get("/new", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("arrived", "text/plain");
    });
    server.Get("/to-file", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("file:///etc/passwd", 302);
    });
    server.Get("/loop", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/loop", 302);
    });
    m_server.Start();
    auto session = OpenSession();

    CInternetHandle followed(
        InternetOpenUrl(session.Get(), m_server.Url("/old").c_str(), nullptr, 0, 0, 1));
    ASSERT_TRUE(followed);
    EXPECT_EQ(QueryText(followed.Get(), HTTP_QUERY_STATUS_CODE), "200");
    EXPECT_EQ(ReadAll(followed.Get()).bytes, "arrived");

    CInternetHandle kept(InternetOpenUrl(session.Get(), m_server.Url("/old").c_str(), nullptr, 0,
                                         INTERNET_FLAG_NO_AUTO_REDIRECT, 1));
    ASSERT_TRUE(kept);
    EXPECT_EQ(QueryText(kept.Get(), HTTP_QUERY_STATUS_CODE), "301");
    EXPECT_EQ(ReadAll(kept.Get()).bytes, "moved");

    for (const char* path : {"/to-file", "/loop"}) {
        SCOPED_TRACE(path);
        HINTERNET refused = InternetOpenUrl(session.Get(), m_server.Url(path).c_str(), nullptr, 0,
                                            INTERNET_FLAG_ALLOW_FILE_SCHEME, 1);
        EXPECT_EQ(refused, nullptr);
        EXPECT_EQ(InternetGetLastError(), ERROR_HTTP_REDIRECT_FAILED);
    }
}

TEST_F(InternetTest, OnlyNetworkSchemesAreFetchedAndFilesOnRequest)
{
    wys::test::TempHome home;
    const std::string file = home.Path() + "/local page.html";
    wys::test::WriteFile(file, "<p>local</p>");
    auto session = OpenSession();

    struct Case {
        std::string url;
        DWORD flags;
        DWORD error;
    } refused[] = {
        {"javascript:alert(1)", 0, ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        {"mailto:someone@example.com", 0, ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        {"gopher://example.com/", 0, ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        {"file://" + file, 0, ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        {"no scheme at all", 0, ERROR_INTERNET_INVALID_URL},
        {"http:///path-without-host", 0, ERROR_INTERNET_INVALID_URL},
        {"http://127.0.0.1:99999/", 0, ERROR_INTERNET_INVALID_URL},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(InternetOpenUrl(session.Get(), c.url.c_str(), nullptr, 0, c.flags, 1), nullptr);
        EXPECT_EQ(InternetGetLastError(), c.error);
    }

    CInternetHandle local(InternetOpenUrl(session.Get(), ("file://" + file).c_str(), nullptr, 0,
                                          INTERNET_FLAG_ALLOW_FILE_SCHEME, 1));
    ASSERT_TRUE(local) << InternetGetLastError();
    EXPECT_EQ(ReadAll(local.Get()).bytes, "<p>local</p>");
    DWORD length = 16;
    char buffer[16];
    EXPECT_FALSE(HttpQueryInfo(local.Get(), HTTP_QUERY_STATUS_CODE, buffer, &length, nullptr));
    EXPECT_EQ(InternetGetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
}

TEST_F(InternetTest, RefusedConnectionFailsTheOpen)
{
    auto session = OpenSession();
    std::string url = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/x";
    EXPECT_EQ(InternetOpenUrl(session.Get(), url.c_str(), nullptr, 0, 0, 1), nullptr);
    EXPECT_EQ(InternetGetLastError(), ERROR_INTERNET_CANNOT_CONNECT);
}

TEST_F(InternetTest, RequestCarriesTheAgentAndTheExtraHeaders)
{
    std::string agent, extra;
    m_server.Server().Get("/who", [&](const httplib::Request& req, httplib::Response& res) {
        agent = req.get_header_value("User-Agent");
        extra = req.get_header_value("X-Extra");
        res.set_content("ok", "text/plain");
    });
    m_server.Start();
    auto session = OpenSession();
    CInternetHandle request(InternetOpenUrl(session.Get(), m_server.Url("/who").c_str(),
                                            "X-Extra: one\r\n", 0, 0, 1));
    ASSERT_TRUE(request);
    ReadAll(request.Get());
    EXPECT_EQ(agent, "QXPL");
    EXPECT_EQ(extra, "one");
}

TEST_F(InternetTest, QueryInfoReportsValuesAndBufferNeeds)
{
    m_server.Server().Get("/typed", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("12345", "image/png");
    });
    m_server.Start();
    auto session = OpenSession();
    CInternetHandle request(
        InternetOpenUrl(session.Get(), m_server.Url("/typed").c_str(), nullptr, 0, 0, 1));
    ASSERT_TRUE(request);

    DWORD status = 0, length = sizeof status;
    ASSERT_TRUE(HttpQueryInfo(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                              &status, &length, nullptr));
    EXPECT_EQ(status, 200u);

    char small[4];
    length = sizeof small;
    EXPECT_FALSE(HttpQueryInfo(request.Get(), HTTP_QUERY_CONTENT_TYPE, small, &length, nullptr));
    EXPECT_EQ(InternetGetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, 10u);  // "image/png" and its NUL
    char fits[10];
    ASSERT_TRUE(HttpQueryInfo(request.Get(), HTTP_QUERY_CONTENT_TYPE, fits, &length, nullptr));
    EXPECT_EQ(length, 9u);
    EXPECT_STREQ(fits, "image/png");

    length = sizeof fits;
    EXPECT_FALSE(HttpQueryInfo(session.Get(), HTTP_QUERY_CONTENT_TYPE, fits, &length, nullptr));
    EXPECT_EQ(InternetGetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
}

TEST_F(InternetTest, ProxyComesFromTheEnvironmentUnlessDirect)
{
    std::mutex lock;
    std::vector<std::string> proxied;
    HttpTestServer proxy;
    proxy.Server().Get(".*", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard guard(lock);
        proxied.push_back(req.get_header_value("Host") + " " + req.get_header_value("User-Agent"));
        res.set_content("from proxy", "text/plain");
    });
    proxy.Start();
    m_server.Server().Get("/direct", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("from origin", "text/plain");
    });
    m_server.Start();

    ScopedEnv viaProxy("http_proxy", proxy.Origin());
    {
        auto session = OpenSession();
        EXPECT_EQ(Fetch(session.Get(), "http://pages.invalid/visited"), "from proxy");
    }
    {
        ScopedEnv bypass("no_proxy", "127.0.0.1");
        auto session = OpenSession();
        EXPECT_EQ(Fetch(session.Get(), m_server.Url("/direct")), "from origin");
    }
    {
        auto session = OpenSession(INTERNET_OPEN_TYPE_DIRECT);
        EXPECT_EQ(Fetch(session.Get(), m_server.Url("/direct")), "from origin");
    }
    std::lock_guard guard(lock);
    EXPECT_EQ(proxied, std::vector<std::string>{"pages.invalid QXPL"});
}

TEST_F(InternetTest, OneSessionReusesItsConnection)
{
    m_server.Server().Get(R"(/port/\d+)", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(std::to_string(req.remote_port), "text/plain");
    });
    m_server.Start();
    auto session = OpenSession();
    std::string first = Fetch(session.Get(), m_server.Url("/port/1"));
    EXPECT_EQ(Fetch(session.Get(), m_server.Url("/port/2")), first);
    EXPECT_EQ(Fetch(session.Get(), m_server.Url("/port/3")), first);

    auto other = OpenSession();
    EXPECT_NE(Fetch(other.Get(), m_server.Url("/port/4")), first);
}

TEST_F(InternetTest, StopCheckEndsSlowDownloadsAndWaitsForHeaders)
{
    m_server.Server().Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/plain", [this](size_t, httplib::DataSink& sink) {
            sink.write("tick", 4);
            HoldUntilReleased();
            return false;
        });
    });
    m_server.Server().Get("/mute", [this](const httplib::Request&, httplib::Response& res) {
        HoldUntilReleased();
        res.set_content("late", "text/plain");
    });
    m_server.Start();
    for (const char* path : {"/slow", "/mute"}) {
        SCOPED_TRACE(path);
        auto session = OpenSession();
        auto deadline = std::chrono::steady_clock::now() + 300ms;
        auto late = [&] { return std::chrono::steady_clock::now() > deadline; };
        InternetSetStopCheck(session.Get(), late);
        CInternetHandle request(
            InternetOpenUrl(session.Get(), m_server.Url(path).c_str(), nullptr, 0, 0, 1));
        if (request) {
            char buffer[1024];
            DWORD read = 0;
            ASSERT_TRUE(InternetReadFile(request.Get(), buffer, 4, &read));
            EXPECT_EQ(std::string(buffer, read), "tick");
            EXPECT_FALSE(InternetReadFile(request.Get(), buffer, sizeof buffer, &read));
        }
        EXPECT_EQ(!request, std::string(path) == "/mute");
        EXPECT_EQ(InternetGetLastError(), ERROR_INTERNET_OPERATION_CANCELLED);
        EXPECT_LT(std::chrono::steady_clock::now() - deadline, 1s);
    }
}

TEST_F(InternetTest, HandlesCloseOnceAndRequestsOutliveTheirSession)
{
    m_server.Server().Get("/x", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("still here", "text/plain");
    });
    m_server.Start();
    HINTERNET session = InternetOpen("QXPL", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    ASSERT_NE(session, nullptr);
    HINTERNET request = InternetOpenUrl(session, m_server.Url("/x").c_str(), nullptr, 0, 0, 1);
    ASSERT_NE(request, nullptr);
    EXPECT_TRUE(InternetCloseHandle(session));
    EXPECT_FALSE(InternetCloseHandle(session));
    EXPECT_EQ(InternetGetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(InternetOpenUrl(session, m_server.Url("/x").c_str(), nullptr, 0, 0, 1), nullptr);
    EXPECT_EQ(ReadAll(request).bytes, "still here");
    EXPECT_TRUE(InternetCloseHandle(request));
}

TEST_F(InternetTest, SessionsOnSeveralThreadsAtOnce)
{
    m_server.Server().Get(R"(/item/(\d+))",
                          [](const httplib::Request& req, httplib::Response& res) {
                              res.set_content(Pattern(3000) + req.matches[1].str(), "text/plain");
                          });
    m_server.Start();
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            CInternetHandle session(
                InternetOpen("QXPL", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
            for (int i = 0; i < 10; ++i) {
                std::string id = std::to_string(t * 100 + i);
                CInternetHandle request(InternetOpenUrl(
                    session.Get(), m_server.Url("/item/" + id).c_str(), nullptr, 0, 0, 1));
                std::string body;
                char buffer[1024];
                DWORD read = 0;
                while (request && InternetReadFile(request.Get(), buffer, sizeof buffer, &read) &&
                       read > 0)
                    body.append(buffer, read);
                good += body == Pattern(3000) + id ? 1 : 0;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(good, 40);
}
