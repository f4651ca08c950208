// wayscribe-native-host as the browser runs it, fed through its standard
// input by the test in the browser's place, with the real WYSCHelper and
// libWYSCbho.so: messages that are malformed, of unknown kinds, out of
// bounds or longer than a browser may send are dropped one by one, and the
// next good one is still recorded; a host killed while it saves a page
// leaves no record of it; a capture's downloads carry the tab's cookies.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <filesystem>

#include "hosts/extension/NativeMessageReader.h"
#include "tests/hosts/extension/support/ExtensionTest.h"

extern char** environ;

namespace wys::test {
namespace {

// The host with its standard input and output on pipes, as a browser starts it.
class CHostProcess {
public:
    explicit CHostProcess(const std::string& errorLog)
    {
        int input[2];
        int output[2];
        if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0)
            return;
        std::vector<std::string> args{WYS_NATIVE_HOST,
                                      "chrome-extension://" + std::string(kExtensionId) + "/"};
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], 0);
        posix_spawn_file_actions_adddup2(&actions, output[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(input[0]);
        ::close(output[1]);
        m_input = input[1];
        m_output = output[0];
    }
    ~CHostProcess()
    {
        Kill();
        ::close(m_input);
        ::close(m_output);
    }

    bool Send(std::string_view bytes)
    {
        while (!bytes.empty()) {
            ssize_t n = ::write(m_input, bytes.data(), bytes.size());
            if (n <= 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    bool SendMessage(const std::string& json) { return Send(extension::FrameMessage(json)); }
    bool Alive() { return m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; }
    // Ends the input, as a browser that lets its host go does; the exit
    // code, or -1 when the host is still there after `timeoutMs`.
    int EndInput(int timeoutMs)
    {
        ::close(m_input);
        m_input = -1;
        for (int waited = 0; waited < timeoutMs; waited += 20) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            ::usleep(20000);
        }
        return -1;
    }
    void Kill()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
};

std::string Json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

// What the content script sends once `url` has loaded, with `html` as its document.
std::string Complete(int tab, const std::string& url, const std::string& html)
{
    QJsonObject snapshot{{"url", QString::fromStdString(url)},
                         {"contentType", "text/html"},
                         {"html", QString::fromStdString(html)},
                         {"frames", QJsonArray{}}};
    return Json({{"type", "complete"},
                 {"tab", tab},
                 {"url", QString::fromStdString(url)},
                 {"title", "From the test"},
                 {"snapshot", QString::fromStdString(Json(snapshot))},
                 {"cookies", QJsonArray{QJsonObject{{"name", "session"},
                                                    {"value", "abc"},
                                                    {"domain", "127.0.0.1"},
                                                    {"path", "/"},
                                                    {"hostOnly", true}}}}});
}

class NativeHostTest : public ExtensionTest {
protected:
    std::string ErrorLog() const { return m_home.Path() + "/host-errors.log"; }

    CVisitSite m_site;
};

TEST_F(NativeHostTest, BadMessagesAreDroppedOneByOneAndTheNextGoodOneIsRecorded)
{
    CHostProcess host(ErrorLog());
    ASSERT_TRUE(host.Alive());
    const std::string page = m_site.Url("/visit/static.html");
    // An archive holds the document the tab shows: one big enough to keep.
    const std::string html =
        "<html><head><title>x</title></head><body><p>live " + std::string(1500, 'l') + "</p></body></html>";
    std::string deep(200000, '[');

    struct Bad {
        const char* what;
        std::string bytes;
    };
    const std::vector<Bad> bad{
        {"longer than a browser sends",
         [] {
             std::string framed =
                 extension::FrameMessage(std::string(extension::kMaxMessageFromBrowser + 1, 'x'));
             return framed;
         }()},
        {"no JSON", extension::FrameMessage("{\"type\": \"tab-opened\", \"tab\": ")},
        {"not an object", extension::FrameMessage("[1, 2, 3]")},
        {"nested beyond reason", extension::FrameMessage(deep)},
        {"no UTF-8", extension::FrameMessage("{\"type\":\"hello\",\"browser\":\"\xff\xfe\"}")},
        {"unknown type", extension::FrameMessage(Json({{"type", "run"}, {"command", "rm -rf ~"}}))},
        {"negative tab", extension::FrameMessage(Json({{"type", "tab-opened"}, {"tab", -1}}))},
        {"fractional tab", extension::FrameMessage(Json({{"type", "tab-opened"}, {"tab", 1.5}}))},
        {"tab beyond 32 bits", extension::FrameMessage(Json({{"type", "tab-opened"}, {"tab", 1e12}}))},
        {"empty URL", extension::FrameMessage(Complete(3, "", html))},
        {"URL too long", extension::FrameMessage(Complete(3, "http://a/" + std::string(70000, 'a'), html))},
        {"snapshot not a text",
         extension::FrameMessage(
             Json({{"type", "complete"}, {"tab", 3}, {"url", "http://a/"}, {"snapshot", 5}}))},
        {"cookie forging a line",
         extension::FrameMessage(Json(
             {{"type", "complete"},
              {"tab", 3},
              {"url", QString::fromStdString(page)},
              {"snapshot", "{}"},
              {"cookies", QJsonArray{QJsonObject{
                              {"name", "a\nb"}, {"value", "x"}, {"domain", "127.0.0.1"}, {"path", "/"}}}}}))},
        // Well formed, but no snapshot: the tab shows nothing to capture.
        {"no snapshot inside", extension::FrameMessage(Json({{"type", "complete"},
                                                             {"tab", 3},
                                                             {"url", QString::fromStdString(page)},
                                                             {"snapshot", "<html>not JSON</html>"}}))},
    };
    for (const Bad& message : bad)
        ASSERT_TRUE(host.Send(message.bytes)) << message.what << ": the host stopped reading";
    ASSERT_TRUE(host.SendMessage(Json({{"type", "tab-opened"}, {"tab", 4}})));
    ASSERT_TRUE(host.SendMessage(Complete(4, page, html)));

    EXPECT_FALSE(WaitForRecord(page).empty()) << "the good message after the bad ones was not recorded";
    EXPECT_EQ(CountOf(m_history.Get()), 1u);
    EXPECT_TRUE(host.Alive());
    // Let go by the browser, it ends by itself, cleanly.
    EXPECT_EQ(host.EndInput(10000), 0);
    std::string errors = ReadFile(ErrorLog());
    std::size_t said = 0;
    for (std::size_t at = errors.find("refused"); at != std::string::npos;
         at = errors.find("refused", at + 1))
        ++said;
    EXPECT_EQ(said, bad.size() - 2) << errors;  // the oversized one is said otherwise; the last is no error
    EXPECT_NE(errors.find("longer than"), std::string::npos) << errors;
}

TEST_F(NativeHostTest, ATabThatGoesOnDuringACaptureKeepsEachPageAsItWas)
{
    CHostProcess host(ErrorLog());
    const std::string first = m_site.Url("/visit/frames.php");
    const std::string second = m_site.Url("/visit/scripted.php");
    ASSERT_TRUE(host.SendMessage(Json({{"type", "tab-opened"}, {"tab", 2}})));
    // The second page completes while the first one's capture still runs.
    ASSERT_TRUE(host.SendMessage(Complete(2, first,
                                          "<html><head><title>First</title></head><body>"
                                          "<p>the first page as it was shown</p></body></html>")));
    ASSERT_TRUE(
        host.SendMessage(Json({{"type", "loading"}, {"tab", 2}, {"url", QString::fromStdString(second)}})));
    ASSERT_TRUE(host.SendMessage(Complete(2, second,
                                          "<html><head><title>Second</title></head><body>"
                                          "<p>the second page as it was shown</p></body></html>")));
    const std::string firstPath = WaitForRecord(first);
    const std::string secondPath = WaitForRecord(second);
    ASSERT_FALSE(firstPath.empty());
    ASSERT_FALSE(secondPath.empty());
    // On this route the page file is the live document the capture took.
    std::string firstCopy = ReadFile(History() + "/" + firstPath);
    std::string secondCopy = ReadFile(History() + "/" + secondPath);
    EXPECT_NE(firstCopy.find("the first page as it was shown"), std::string::npos) << firstCopy;
    EXPECT_EQ(firstCopy.find("second page"), std::string::npos) << firstCopy;
    EXPECT_NE(secondCopy.find("the second page as it was shown"), std::string::npos) << secondCopy;
    EXPECT_EQ(host.EndInput(10000), 0);
}

TEST_F(NativeHostTest, AHostKilledWhileSavingAPageLeavesNoRecord)
{
    CHostProcess host(ErrorLog());
    const std::string page = m_site.Url("/slow/page.php");
    static constexpr int kSlowMs = 2500;
    m_site.Server().Handle("/slow/pic.png", [](const HttpRequest&) {
        HttpReply reply;
        reply.body = std::string(3000, 'p');
        reply.contentType = "image/png";
        reply.delay = std::chrono::milliseconds(kSlowMs);
        return reply;
    });
    ASSERT_TRUE(host.SendMessage(Json({{"type", "tab-opened"}, {"tab", 9}})));
    ASSERT_TRUE(host.SendMessage(Complete(
        9, page, "<html><head><title>Slow</title></head><body><img src=\"pic.png\"></body></html>")));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m_site.Server().RequestCount("/slow/pic.png") < 1 && std::chrono::steady_clock::now() < deadline)
        PumpFor(20);
    ASSERT_EQ(m_site.Server().RequestCount("/slow/pic.png"), 1) << "the capture did not start";
    host.Kill();
    // Past the time the picture would have taken.
    EXPECT_TRUE(WaitForRecord(page, kSlowMs + 1000).empty());
    EXPECT_EQ(CountOf(m_history.Get()), 0u);
}

TEST_F(NativeHostTest, ACapturesDownloadsCarryTheTabsCookiesAndNoFileKeepsThem)
{
    // A members' page whose style sheet is served only to the session the
    // browser holds (the cookie Complete hands over with the snapshot).
    m_site.Server().Handle("/members/style.css", [](const HttpRequest& request) {
        HttpReply reply;
        reply.contentType = "text/css";
        if (request.Header("Cookie").find("session=abc") == std::string::npos) {
            reply.status = 403;
            reply.body = "/* please log in */";
        } else {
            reply.body = "body { color: #123456 } /* members only */";
        }
        return reply;
    });
    CHostProcess host(ErrorLog());
    const std::string page = m_site.Url("/members/page.php");
    ASSERT_TRUE(host.SendMessage(Json({{"type", "tab-opened"}, {"tab", 5}})));
    ASSERT_TRUE(host.SendMessage(Complete(5, page,
                                          "<html><head><title>Members</title>"
                                          "<link rel=\"stylesheet\" href=\"style.css\"></head>"
                                          "<body><p>for members</p></body></html>")));
    const std::string path = WaitForRecord(page);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(host.EndInput(10000), 0);

    bool sheetSaved = false;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(History())) {
        if (!entry.is_regular_file())
            continue;
        const std::string text = ReadFile(entry.path());
        sheetSaved = sheetSaved || text.find("members only") != std::string::npos;
        EXPECT_EQ(text.find("please log in"), std::string::npos) << entry.path() << " holds the login answer";
        EXPECT_EQ(text.find("session=abc"), std::string::npos) << entry.path() << " holds the cookie";
    }
    EXPECT_TRUE(sheetSaved) << "the members' style sheet was not saved";
}

}  // namespace
}  // namespace wys::test
