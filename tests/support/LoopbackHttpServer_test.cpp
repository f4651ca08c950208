#include <gtest/gtest.h>

#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempHome.h"

namespace {

using wys::test::HttpReply;
using wys::test::HttpRequest;
using wys::test::LoopbackHttpServer;

class LoopbackHttpServerTest : public wys::test::TempHomeTest {
protected:
    httplib::Client Client() { return httplib::Client("127.0.0.1", m_server.Port()); }

    LoopbackHttpServer m_server;
};

}  // namespace

TEST_F(LoopbackHttpServerTest, ServesFolderFilesAndCountsRequests)
{
    const std::string site = m_home.Path() + "/site";
    wys::test::WriteFile(site + "/index.html", "<p>home</p>");
    wys::test::WriteFile(site + "/img/logo.png", std::string("\x89PNG\0x", 6));
    wys::test::WriteFile(site + "/sub dir/a.css", "p{}");
    m_server.ServeFolder(site);
    EXPECT_EQ(m_server.Url("/img/logo.png"),
              "http://127.0.0.1:" + std::to_string(m_server.Port()) + "/img/logo.png");

    struct Case {
        std::string target;
        int status;
        std::string body, type;
    } cases[] = {
        {"/", 200, "<p>home</p>", "text/html"},
        {"/img/logo.png", 200, std::string("\x89PNG\0x", 6), "image/png"},
        {"/img/logo.png?v=2", 200, std::string("\x89PNG\0x", 6), "image/png"},
        {"/sub%20dir/a.css", 200, "p{}", "text/css"},
        {"/img", 404, "", ""},
        {"/missing.html", 404, "", ""},
        {"/img/../../etc/passwd", 404, "", ""},
    };
    auto client = Client();
    for (const Case& c : cases) {
        auto result = client.Get(c.target.c_str());
        ASSERT_TRUE(result) << c.target;
        EXPECT_EQ(result->status, c.status) << c.target;
        if (c.status == 200) {
            EXPECT_EQ(result->body, c.body) << c.target;
            EXPECT_EQ(result->get_header_value("Content-Type"), c.type) << c.target;
        }
    }
    EXPECT_EQ(m_server.RequestCount("/img/logo.png"), 2);  // the query does not count
    EXPECT_EQ(m_server.RequestCount("/sub dir/a.css"), 1);
    EXPECT_EQ(m_server.RequestCount("/never"), 0);
    EXPECT_EQ(m_server.TotalRequests(), 7);
    EXPECT_EQ(m_server.Requests()[2].target, "/img/logo.png?v=2");
}

TEST_F(LoopbackHttpServerTest, HandlersRepliesAndRedirects)
{
    HttpReply teapot;
    teapot.status = 418;
    teapot.body = "short and stout";
    teapot.contentType = "text/plain";
    teapot.headers = {{"X-Extra", "1"}};
    m_server.Handle("/teapot", teapot);
    m_server.Handle("/echo", [](const HttpRequest& request) {
        HttpReply reply;
        reply.body = request.method + " " + request.Header("user-agent");
        return reply;
    });
    m_server.Redirect("/old", "/echo");
    m_server.Redirect("/away", "http://example.invalid/x", 301);

    auto client = Client();
    auto result = client.Get("/teapot");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 418);
    EXPECT_EQ(result->body, "short and stout");
    EXPECT_EQ(result->get_header_value("X-Extra"), "1");

    result = client.Get("/echo", httplib::Headers{{"User-Agent", "QXPL"}});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->body, "GET QXPL");

    result = client.Get("/old");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 302);
    EXPECT_EQ(result->get_header_value("Location"), m_server.Url("/echo"));
    client.set_follow_location(true);
    result = client.Get("/old");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->body.substr(0, 3), "GET");
    EXPECT_EQ(m_server.RequestCount("/old"), 2);

    client.set_follow_location(false);
    result = client.Get("/away");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 301);
    EXPECT_EQ(result->get_header_value("Location"), "http://example.invalid/x");
}

TEST_F(LoopbackHttpServerTest, DelayedRepliesAndStop)
{
    HttpReply slow;
    slow.body = "late";
    slow.delay = std::chrono::milliseconds(300);
    m_server.Handle("/slow", slow);
    auto client = Client();
    const auto start = std::chrono::steady_clock::now();
    auto result = client.Get("/slow");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->body, "late");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));

    // A stop cuts a long delay short instead of waiting for it.
    slow.delay = std::chrono::seconds(30);
    m_server.Handle("/slow", slow);
    std::thread waiting([&] {
        auto late = Client();
        late.set_read_timeout(std::chrono::seconds(60));
        late.Get("/slow");  // the reply may or may not arrive; only the time matters
    });
    while (m_server.RequestCount("/slow") < 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto stopAt = std::chrono::steady_clock::now();
    m_server.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(10));
    waiting.join();
    EXPECT_FALSE(Client().Get("/slow"));  // nobody listens any more
    m_server.Stop();                      // idempotent
}
