#include "WYSCbho/ResourceSaver.h"

#include <gtest/gtest.h>

#include <set>

#include <filesystem>

#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempHome.h"

namespace wys::capture {
namespace {

using wys::test::HttpReply;
using wys::test::HttpRequest;
using wys::test::ReadFile;
using wys::test::WriteFile;

HttpReply Reply(int status, std::string body, std::string type)
{
    HttpReply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.contentType = std::move(type);
    return reply;
}

class ResourceSaverTest : public wys::test::TempHomeTest {
protected:
    std::string Folder() const { return m_home.Path() + "/page_files"; }
    void SetUp() override { std::filesystem::create_directories(Folder()); }

    wys::test::LoopbackHttpServer m_server;
};

TEST_F(ResourceSaverTest, SavesBodiesUnderTheirNamesWhateverTheStatus)
{
    m_server.Handle("/img/logo.png", Reply(200, "PNG-A", "image/png"));
    m_server.Handle("/other/logo.png", Reply(200, "PNG-B", "image/png"));
    m_server.Handle("/third/logo.png", Reply(200, "PNG-C", "image/png"));
    m_server.Handle("/missing.css", Reply(404, "not here", "text/html"));
    m_server.Handle("/show.php", Reply(200, "shown", "image/gif"));

    ResourceSaver saver(Folder(), FileUrlCopy::Refused, nullptr);
    std::map<std::string, std::string> saved =
        SaveAll(saver, {m_server.Url("/img/logo.png"), m_server.Url("/other/logo.png"),
                        m_server.Url("/third/logo.png"), m_server.Url("/missing.css"),
                        m_server.Url("/show.php?file=x.png"), m_server.Url("/img/")});

    ASSERT_EQ(saved.size(), 5u);
    // Keys in byte order: /img, /missing, /other, /show, /third.
    EXPECT_EQ(saved[m_server.Url("/img/logo.png")], Folder() + "/logo.png");
    EXPECT_EQ(saved[m_server.Url("/other/logo.png")], Folder() + "/logo1.png");
    EXPECT_EQ(saved[m_server.Url("/third/logo.png")], Folder() + "/logo2.png");
    EXPECT_EQ(saved[m_server.Url("/show.php?file=x.png")], Folder() + "/show.php");
    EXPECT_EQ(ReadFile(Folder() + "/logo1.png"), "PNG-B");
    EXPECT_EQ(ReadFile(Folder() + "/missing.css"), "not here");
    EXPECT_EQ(m_server.RequestCount("/img/"), 0);

    // Each URL fetched once, over kept-alive connections, at most as many
    // as fetches run at once.
    std::vector<HttpRequest> requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 5u);
    std::set<int> connections;
    for (const HttpRequest& request : requests) {
        EXPECT_EQ(request.Header("User-Agent"), "QXPL");
        connections.insert(request.remotePort);
    }
    EXPECT_LE(connections.size(), ResourceSaver::kPrefetchConnections);
}

TEST_F(ResourceSaverTest, NeverOverwritesAnExistingTargetByDownload)
{
    m_server.Handle("/a.js", Reply(200, "new", "text/javascript"));
    WriteFile(Folder() + "/a.js", "old");
    ResourceSaver saver(Folder(), FileUrlCopy::Refused, nullptr);
    EXPECT_FALSE(saver.SaveUrl(m_server.Url("/a.js"), Folder() + "/a.js"));
    EXPECT_EQ(ReadFile(Folder() + "/a.js"), "old");

    EXPECT_FALSE(saver.SaveUrl("gopher2://h/a.js", Folder() + "/b.js"));
    EXPECT_FALSE(saver.SaveUrl("http://127.0.0.1:1/unreachable.js", Folder() + "/c.js"));
    EXPECT_FALSE(std::filesystem::exists(Folder() + "/c.js"));
}

TEST_F(ResourceSaverTest, CopiesFileUrlsOnlyForAFilePage)
{
    const std::string source = m_home.Path() + "/site/pic.jpg";
    WriteFile(source, "JPEG");
    const std::string url = "file://" + source;

    ResourceSaver fromNetwork(Folder(), FileUrlCopy::Refused, nullptr);
    SaveResource(fromNetwork, url);
    EXPECT_TRUE(fromNetwork.SavedFiles().empty());
    EXPECT_FALSE(std::filesystem::exists(Folder() + "/pic.jpg"));

    ResourceSaver fromFile(Folder(), FileUrlCopy::Allowed, nullptr);
    SaveResource(fromFile, url);
    SaveResource(fromFile, "file:///" + source);  // extra slashes stand for one
    SaveResource(fromFile, "file://" + m_home.Path() + "/site/none.jpg");
    SaveResource(fromFile, "file://" + m_home.Path() + "/site/");
    ASSERT_EQ(fromFile.SavedFiles().size(), 2u);
    EXPECT_EQ(ReadFile(Folder() + "/pic.jpg"), "JPEG");
    EXPECT_EQ(ReadFile(Folder() + "/pic1.jpg"), "JPEG");
}

TEST_F(ResourceSaverTest, AStoppedSaverEndsBetweenReadsAndSavesNoMore)
{
    auto stop = std::make_shared<CCaptureStop>();
    const std::string big(4 << 20, 'x');
    m_server.Handle("/big.bin", [&](const HttpRequest&) {
        stop->RequestStop();
        return Reply(200, big, "application/octet-stream");
    });
    m_server.Handle("/later.bin", Reply(200, "later", "application/octet-stream"));

    ResourceSaver saver(Folder(), FileUrlCopy::Refused, stop);
    SaveAll(saver, {m_server.Url("/big.bin"), m_server.Url("/later.bin")});
    EXPECT_LT(ReadFile(Folder() + "/big.bin").size(), big.size());
    // Its fetch may have run beside the first one; it is not saved.
    EXPECT_EQ(saver.SavedFiles().count(m_server.Url("/later.bin")), 0u);
    EXPECT_FALSE(std::filesystem::exists(Folder() + "/later.bin"));
}

}  // namespace
}  // namespace wys::capture
