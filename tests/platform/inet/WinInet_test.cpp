#include "platform/inet/WinInet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/inet/Cookies.h"
#include "platform/inet/InternetHandle.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempHome.h"

using namespace std::chrono_literals;
using wys::test::HttpReply;
using wys::test::HttpRequest;
using wys::test::LoopbackHttpServer;

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
    LoopbackHttpServer m_server;
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

HttpReply Reply(int status, std::string body, std::string type = "text/plain")
{
    HttpReply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.contentType = std::move(type);
    return reply;
}

// A loopback URL on which nothing listens any more.
std::string RefusingUrl(const std::string& path)
{
    LoopbackHttpServer gone;
    return gone.Url(path);
}

}  // namespace

TEST_F(InternetTest, ReadsComeInTheSizeAskedForUntilTheEnd)
{
    const std::string body = Pattern(5000);
    m_server.Handle("/data", Reply(200, body, "application/octet-stream"));
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
    m_server.Handle("/missing", Reply(404, "<h1>not here</h1>", "text/html; charset=utf-8"));
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
    HttpReply moved = Reply(301, "moved");
    moved.headers = {{"Location", "/older"}};
    m_server.Handle("/old", moved);
    m_server.Redirect("/older", "/new");
    m_server.Handle("/new", Reply(200, "arrived"));
    m_server.Redirect("/to-file", "file:///etc/passwd");
    m_server.Redirect("/loop", "/loop");
    auto session = OpenSession();

    CInternetHandle followed(InternetOpenUrl(session.Get(), m_server.Url("/old").c_str(), nullptr, 0, 0, 1));
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
    std::string url = RefusingUrl("/x");
    EXPECT_EQ(InternetOpenUrl(session.Get(), url.c_str(), nullptr, 0, 0, 1), nullptr);
    EXPECT_EQ(InternetGetLastError(), ERROR_INTERNET_CANNOT_CONNECT);
}

TEST_F(InternetTest, RequestCarriesTheAgentAndTheExtraHeaders)
{
    m_server.Handle("/who", Reply(200, "ok"));
    auto session = OpenSession();
    CInternetHandle request(
        InternetOpenUrl(session.Get(), m_server.Url("/who").c_str(), "X-Extra: one\r\n", 0, 0, 1));
    ASSERT_TRUE(request);
    ReadAll(request.Get());
    ASSERT_EQ(m_server.Requests().size(), 1u);
    EXPECT_EQ(m_server.Requests()[0].Header("User-Agent"), "QXPL");
    EXPECT_EQ(m_server.Requests()[0].Header("X-Extra"), "one");
}

TEST_F(InternetTest, QueryInfoReportsValuesAndBufferNeeds)
{
    m_server.Handle("/typed", Reply(200, "12345", "image/png"));
    auto session = OpenSession();
    CInternetHandle request(InternetOpenUrl(session.Get(), m_server.Url("/typed").c_str(), nullptr, 0, 0, 1));
    ASSERT_TRUE(request);

    DWORD status = 0, length = sizeof status;
    ASSERT_TRUE(HttpQueryInfo(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                              &length, nullptr));
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
    LoopbackHttpServer proxy;
    proxy.Handle("http://pages.invalid/visited", Reply(200, "from proxy"));
    m_server.Handle("/direct", Reply(200, "from origin"));

    ScopedEnv viaProxy("http_proxy", proxy.Url(""));
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
    auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("Host"), "pages.invalid");
    EXPECT_EQ(requests[0].Header("User-Agent"), "QXPL");
}

TEST_F(InternetTest, OneSessionReusesItsConnection)
{
    for (const char* path : {"/port/1", "/port/2", "/port/3", "/port/4"}) {
        m_server.Handle(
            path, [](const HttpRequest& request) { return Reply(200, std::to_string(request.remotePort)); });
    }
    auto session = OpenSession();
    std::string first = Fetch(session.Get(), m_server.Url("/port/1"));
    EXPECT_EQ(Fetch(session.Get(), m_server.Url("/port/2")), first);
    EXPECT_EQ(Fetch(session.Get(), m_server.Url("/port/3")), first);

    auto other = OpenSession();
    EXPECT_NE(Fetch(other.Get(), m_server.Url("/port/4")), first);
}

TEST_F(InternetTest, StopCheckEndsReadsAndWaits)
{
    m_server.Handle("/large", Reply(200, Pattern(1 << 20)));
    HttpReply mute = Reply(200, "late");
    mute.delay = 5s;
    m_server.Handle("/mute", mute);

    // Between reads: bytes already here are not handed out once stopped.
    std::atomic<bool> stop{false};
    auto session = OpenSession();
    ASSERT_TRUE(InternetSetStopCheck(session.Get(), [&] { return stop.load(); }));
    CInternetHandle request(InternetOpenUrl(session.Get(), m_server.Url("/large").c_str(), nullptr, 0, 0, 1));
    ASSERT_TRUE(request);
    char buffer[1024];
    DWORD read = 0;
    ASSERT_TRUE(InternetReadFile(request.Get(), buffer, sizeof buffer, &read));
    stop = true;
    EXPECT_FALSE(InternetReadFile(request.Get(), buffer, sizeof buffer, &read));
    EXPECT_EQ(InternetGetLastError(), ERROR_INTERNET_OPERATION_CANCELLED);
    DWORD available = 0;
    EXPECT_FALSE(InternetQueryDataAvailable(request.Get(), &available, 0, 0));

    // While the server keeps the answer back.
    auto waiting = OpenSession();
    auto deadline = std::chrono::steady_clock::now() + 300ms;
    auto late = [&] { return std::chrono::steady_clock::now() > deadline; };
    InternetSetStopCheck(waiting.Get(), late);
    EXPECT_EQ(InternetOpenUrl(waiting.Get(), m_server.Url("/mute").c_str(), nullptr, 0, 0, 1), nullptr);
    EXPECT_EQ(InternetGetLastError(), ERROR_INTERNET_OPERATION_CANCELLED);
    EXPECT_LT(std::chrono::steady_clock::now() - deadline, 1s);
}

TEST_F(InternetTest, HandlesCloseOnceAndRequestsOutliveTheirSession)
{
    m_server.Handle("/x", Reply(200, "still here"));
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
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 10; ++i) {
            std::string id = std::to_string(t * 100 + i);
            m_server.Handle("/item/" + id, Reply(200, Pattern(3000) + id));
        }
    }
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            CInternetHandle session(InternetOpen("QXPL", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
            for (int i = 0; i < 10; ++i) {
                std::string id = std::to_string(t * 100 + i);
                CInternetHandle request(
                    InternetOpenUrl(session.Get(), m_server.Url("/item/" + id).c_str(), nullptr, 0, 0, 1));
                std::string body;
                char buffer[1024];
                DWORD read = 0;
                while (request && InternetReadFile(request.Get(), buffer, sizeof buffer, &read) && read > 0)
                    body.append(buffer, read);
                good += body == Pattern(3000) + id ? 1 : 0;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(good, 40);
}

namespace {

// What the cookie store sends to each path, and that odd cookies are kept
// or refused as a browser would.
TEST_F(InternetTest, TheProcessCookieStoreGoesWithEveryRequest)
{
    ASSERT_TRUE(InternetClearCookies());
    for (const char* path : {"/echo", "/app/echo", "/app/deep/echo", "/other/echo"}) {
        m_server.Handle(
            path, [](const wys::test::HttpRequest& request) { return Reply(200, request.Header("Cookie")); });
    }
    m_server.Handle("/set", [](const wys::test::HttpRequest&) {
        HttpReply reply = Reply(200, "set");
        reply.headers.emplace_back("Set-Cookie", "fromserver=yes; Path=/");
        return reply;
    });
    const std::string host = m_server.Url("/");
    const std::string app = m_server.Url("/app/page.html");
    struct Case {
        std::string url;
        const char* name;
        std::string data;
        bool kept;
    } cases[] = {
        {host, nullptr, "plain=1", true},
        {app, nullptr, "folder=2", true},  // no Path: the URL's folder /app
        {host, nullptr, "deep=3; Path=/app/deep; HttpOnly", true},
        {host, "named", "4; Max-Age=3600", true},
        {host, nullptr, "gone=5; Max-Age=-1", true},  // kept as removed
        {host, nullptr, "foreign=7; Domain=example.com", false},
        {host, nullptr, "split=8\r\nX-Injected: 1", false},
        {host, nullptr, "tab=a\tb", false},
        {host, nullptr, "=noname", false},
        {host, nullptr, "big=" + std::string(5000, 'x'), false},
        {"ftp://127.0.0.1/", nullptr, "ftp=9", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(InternetSetCookie(c.url.c_str(), c.name, c.data.c_str()), c.kept ? TRUE : FALSE) << c.data;
    // A cookie set again with a past expiry is removed.
    EXPECT_TRUE(InternetSetCookie(host.c_str(), nullptr, "named=4; Expires=Thu, 01 Jan 1970 00:00:00 GMT"));

    auto session = OpenSession();
    EXPECT_EQ(Fetch(session.Get(), m_server.Url("/echo")), "plain=1");
    EXPECT_EQ(Fetch(session.Get(), m_server.Url("/app/echo")), "folder=2; plain=1");
    EXPECT_EQ(Fetch(session.Get(), m_server.Url("/app/deep/echo")), "deep=3; folder=2; plain=1");
    EXPECT_EQ(Fetch(session.Get(), m_server.Url("/other/echo")), "plain=1");
    for (const auto& request : m_server.Requests())
        EXPECT_EQ(request.Header("X-Injected"), "");

    // What a response sets reaches later sessions too.
    Fetch(session.Get(), m_server.Url("/set"));
    auto later = OpenSession();
    EXPECT_EQ(Fetch(later.Get(), m_server.Url("/other/echo")), "fromserver=yes; plain=1");
    EXPECT_TRUE(InternetClearCookies());
    auto cleared = OpenSession();
    EXPECT_EQ(Fetch(cleared.Get(), m_server.Url("/echo")), "");
}

}  // namespace
