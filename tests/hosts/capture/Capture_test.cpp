// wayscribe-capture run as a program against pages on loopback, with a test
// helper object registered in place of the page capture and a test server
// of the URL base.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "common/IWYSCURLBase.h"
#include "platform/browser/BrowserExtensions.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComPtr.h"
#include "platform/registry/Registry.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "tests/hosts/capture/support/TestHelperObject.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempHome.h"

extern char** environ;

namespace wys::test {
namespace {

using namespace std::chrono_literals;

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Starts the program with the test's environment, its output and error
// where `actions` put them (the test's own when null).
pid_t StartCapture(const std::vector<std::string>& args, const posix_spawn_file_actions_t* actions = nullptr)
{
    std::vector<std::string> all{WYS_CAPTURE_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, argv[0], actions, nullptr, argv.data(), environ), 0);
    return pid;
}

// Runs the program to its end.
ProgramRun RunCapture(const std::vector<std::string>& args)
{
    int out[2], err[2];
    EXPECT_EQ(::pipe(out), 0);
    EXPECT_EQ(::pipe(err), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    pid_t pid = StartCapture(args, &actions);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    ProgramRun run;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0 && ::poll(fds, 2, 60000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents)
                continue;
            char buffer[4096];
            ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

int WaitForExit(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The capture hosts kept running for commands of this test's home.
std::vector<pid_t> RunningHosts()
{
    std::vector<pid_t> hosts;
    const std::string runtime = std::getenv("XDG_RUNTIME_DIR");
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string line = ReadFile(entry.path() / "cmdline");
        if (line.find("wayscribe-capture-host") != std::string::npos &&
            line.find(std::string("--serve") + '\0' + runtime + "/") != std::string::npos)
            hosts.push_back(std::stoi(name));
    }
    return hosts;
}

template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit)
{
    for (auto end = std::chrono::steady_clock::now() + limit; !condition();) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

void RegisterServer(REFCLSID clsid, const char* kind, const std::string& path)
{
    HKEY key = nullptr;
    std::string keyPath = "CLSID\\" + GuidToString(clsid) + "\\" + kind;
    ASSERT_EQ(
        RegCreateKeyEx(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegSetValueEx(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                  static_cast<DWORD>(path.size() + 1));
    RegCloseKey(key);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class CaptureHostTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        RegisterServer(CLSID_WYSCURLBase, "LocalServer32", WYS_TEST_URLBASE_SERVER);
        RegisterServer(CLSID_TestHelperObject, "InprocServer32", WYS_TEST_HELPER_OBJECT);
        m_log = m_home.Path() + "/helper.log";
        ::setenv("WYS_TEST_HELPER_LOG", m_log.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("WYS_TEST_HELPER_LOG"); }

    // The URLs of the records in the URL base, asked as another client would.
    std::vector<std::string> RecordedUrls()
    {
        std::vector<std::string> urls;
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        {
            ComPtr<IWYSCURLBase> urlBase;
            EXPECT_EQ(
                CoCreateInstance(CLSID_WYSCURLBase, nullptr, CLSCTX_ALL, IID_IWYSCURLBase, urlBase.PutVoid()),
                S_OK);
            ULONG count = 0;
            if (urlBase)
                urlBase->get_DataCount(&count);
            for (ULONG i = 0; i < count; ++i) {
                CUrlDateHolder record;
                if (SUCCEEDED(urlBase->GetData(&record, i)))
                    urls.push_back(CComBSTR::CopyOf(record.Url).ToUtf8());
            }
        }
        CoUninitialize();
        return urls;
    }

    LoopbackHttpServer m_server;
    std::string m_log;
};

HttpReply Page(std::string body, int status = 200, std::chrono::milliseconds delay = 0ms)
{
    HttpReply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.delay = delay;
    return reply;
}

TEST_F(CaptureHostTest, EachPageIsKeptUntilItsCaptureIsRecorded)
{
    ASSERT_EQ(AddBrowserHelperObject(CLSID_TestHelperObject, "test helper"), ERROR_SUCCESS);
    m_server.Handle(
        "/frames.html",
        Page("<title>Frames</title><frameset><frame src='a.html'><frame src='b.html'></frameset>"));
    m_server.Handle("/a.html", Page("<title>A</title>"));
    m_server.Handle("/b.html", Page("<title>B</title>"));
    m_server.Redirect("/moved", "/plain.html");
    m_server.Handle("/plain.html", Page("<title>Plain</title>"));

    ProgramRun run = RunCapture({m_server.Url("/frames.html"), m_server.Url("/moved")});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{m_server.Url("/frames.html") + ": recorded",
                                                        m_server.Url("/moved") + ": recorded"}));

    // The status comes as soon as the history announces the record; the
    // helper object logs its own return from AddData, and the window's
    // close, a moment later.
    const std::string added = "added " + m_server.Url("/plain.html") + " S_OK";
    auto bothClosed = [&] {
        const std::string log = ReadFile(m_log);
        auto lines = Lines(log);
        return log.find(added) != std::string::npos && std::count(lines.begin(), lines.end(), "unsite") >= 2;
    };
    EXPECT_TRUE(WaitUntil(bothClosed, 5s)) << ReadFile(m_log);
    std::string log = ReadFile(m_log);
    EXPECT_NE(log.find("complete thread="), std::string::npos) << log;
    EXPECT_NE(log.find(" state=3 " + m_server.Url("/a.html")), std::string::npos) << log;
    EXPECT_NE(log.find(" state=3 " + m_server.Url("/b.html")), std::string::npos) << log;
    EXPECT_NE(log.find(" state=4 " + m_server.Url("/frames.html")), std::string::npos) << log;
    EXPECT_NE(log.find("title=Frames unmarshal=S_OK"), std::string::npos) << log;
    EXPECT_NE(log.find("title=Plain unmarshal=S_OK"), std::string::npos) << log;
    auto lines = Lines(log);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "unsite"), 2) << log;

    std::vector<std::string> urls = RecordedUrls();
    std::sort(urls.begin(), urls.end());
    EXPECT_EQ(urls, (std::vector<std::string>{m_server.Url("/frames.html"), m_server.Url("/plain.html")}));
}

TEST_F(CaptureHostTest, EveryUrlGetsItsOutcomeAndAnyFailureFailsTheRun)
{
    ASSERT_EQ(AddBrowserHelperObject(CLSID_TestHelperObject, ""), ERROR_SUCCESS);
    m_server.Handle("/gone.html", Page("<title>Gone</title>", 404));
    m_server.Handle("/good.html", Page("<title>Good</title>"));
    m_server.Handle("/slow.html", Page("<title>Slow</title>", 200, 5000ms));
    int closedPort = 0;
    {
        LoopbackHttpServer closed;
        closedPort = closed.Port();
    }
    std::string refused = "http://127.0.0.1:" + std::to_string(closedPort) + "/";
    ProgramRun run = RunCapture({"--timeout", "2", "javascript:void(0)", refused, m_server.Url("/gone.html"),
                                 m_server.Url("/slow.html"), m_server.Url("/good.html")});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(Lines(run.out),
              (std::vector<std::string>{
                  "javascript:void(0): not loaded: bad URL: the scheme \"javascript\" cannot be loaded "
                  "(http, https, "
                  "ftp and file can)",
                  refused + ": not loaded: connection refused",
                  m_server.Url("/gone.html") + ": recorded, but the server answered with status 404",
                  m_server.Url("/slow.html") + ": not loaded: timed out",
                  m_server.Url("/good.html") + ": recorded",
              }))
        << ReadFile(m_log);
}

TEST_F(CaptureHostTest, WithoutHelperObjectsOrHistoryNothingIsRecorded)
{
    m_server.Handle("/page.html", Page("<title>Page</title>"));

    // Before any server runs: once one is running, its class object is
    // found whether or not it is still registered.
    ASSERT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, ("CLSID\\" + GuidToString(CLSID_WYSCURLBase)).c_str()),
              ERROR_SUCCESS);
    ProgramRun run = RunCapture({m_server.Url("/page.html")});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_NE(run.err.find("cannot reach the history (URL base)"), std::string::npos) << run.err;
    EXPECT_EQ(m_server.RequestCount("/page.html"), 0) << "no page is loaded without the history";
    RegisterServer(CLSID_WYSCURLBase, "LocalServer32", WYS_TEST_URLBASE_SERVER);

    run = RunCapture({m_server.Url("/page.html")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Lines(run.out),
              (std::vector<std::string>{m_server.Url("/page.html") +
                                        ": not recorded: loaded, but no helper object is attached "
                                        "to record it"}));

    ASSERT_EQ(AddBrowserHelperObject(MakeGuid("{00000000-1111-2222-3333-444444444444}"), "not installed"),
              ERROR_SUCCESS);
    run = RunCapture({m_server.Url("/page.html")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("helper object {00000000-1111-2222-3333-444444444444} not attached"),
              std::string::npos)
        << run.err;

    run = RunCapture({"--timeout=abc", m_server.Url("/page.html")});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--timeout takes whole seconds"), std::string::npos) << run.err;
    run = RunCapture({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.starts_with("Usage: wayscribe-capture")) << run.out;
}

TEST_F(CaptureHostTest, AHostKeptRunningServesCommandsAsTheirOwnProcessesWould)
{
    // A copy of the helper object's library, to be replaced below.
    const std::string library = m_home.Path() + "/helper.so";
    std::filesystem::copy_file(WYS_TEST_HELPER_OBJECT, library);
    RegisterServer(CLSID_TestHelperObject, "InprocServer32", library);
    ASSERT_EQ(AddBrowserHelperObject(CLSID_TestHelperObject, "test helper"), ERROR_SUCCESS);
    for (const char* path : {"/one.html", "/two.html", "/three.html", "/four.html"})
        m_server.Handle(path, Page("<title>Page</title>"));

    ProgramRun run = RunCapture({m_server.Url("/one.html")});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    const std::vector<pid_t> first = RunningHosts();
    ASSERT_EQ(first.size(), 1u);
    run = RunCapture({m_server.Url("/two.html")});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(RunningHosts(), first) << "the second command is served by the same host";
    EXPECT_TRUE(WaitUntil(
        [&] { return ReadFile(m_log).find("added " + m_server.Url("/two.html")) != std::string::npos; }, 5s));

    // Another environment is another host: the helper object of this
    // command writes to the log this command names.
    const std::string otherLog = m_home.Path() + "/other.log";
    ::setenv("WYS_TEST_HELPER_LOG", otherLog.c_str(), 1);
    run = RunCapture({m_server.Url("/three.html")});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(WaitUntil(
        [&] { return ReadFile(otherLog).find("added " + m_server.Url("/three.html")) != std::string::npos; },
        5s));
    EXPECT_EQ(ReadFile(m_log).find("/three.html"), std::string::npos);
    EXPECT_EQ(RunningHosts().size(), 2u);

    // A helper object library replaced on disk (rebuilt, reinstalled) is not
    // run again from memory: the host that holds it ends, and the command
    // still gets its page captured.
    const std::string newer = library + ".new";
    std::filesystem::copy_file(WYS_TEST_HELPER_OBJECT, newer);
    std::filesystem::rename(newer, library);
    run = RunCapture({m_server.Url("/four.html")});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(WaitUntil(
        [&] { return ReadFile(otherLog).find("added " + m_server.Url("/four.html")) != std::string::npos; },
        5s));
    EXPECT_TRUE(WaitUntil([&] { return RunningHosts() == first; }, 5s)) << "only the other host is left";

    // Hosts end once their sockets are gone, as when a home is removed.
    const std::string folder = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/wayscribe/com";
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("capture-"))
            std::filesystem::remove(entry.path());
    }
    EXPECT_TRUE(WaitUntil([] { return RunningHosts().empty(); }, 5s));
}

TEST_F(CaptureHostTest, ABusyOrAbandonedHostKeepsNoCommandWaiting)
{
    ASSERT_EQ(AddBrowserHelperObject(CLSID_TestHelperObject, ""), ERROR_SUCCESS);
    m_server.Handle("/slow.html", Page("<title>Slow</title>", 200, 6000ms));
    m_server.Handle("/slower.html", Page("<title>Slower</title>", 200, 20000ms));
    m_server.Handle("/fast.html", Page("<title>Fast</title>"));
    m_server.Handle("/after.html", Page("<title>After</title>"));
    ASSERT_EQ(RunCapture({m_server.Url("/fast.html")}).status, 0);  // a host is running

    // While the host loads a slow page, another command runs by itself.
    const pid_t slow = StartCapture({m_server.Url("/slow.html")});
    ASSERT_TRUE(WaitUntil([&] { return m_server.RequestCount("/slow.html") > 0; }, 10s));
    ProgramRun run = RunCapture({m_server.Url("/after.html")});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    int status = 0;
    EXPECT_EQ(::waitpid(slow, &status, WNOHANG), 0) << "the command waited behind the slow page";
    EXPECT_EQ(WaitForExit(slow), 0);

    // A command killed while its page loads: the host gives the page up and
    // serves the next command.
    const pid_t killed = StartCapture({m_server.Url("/slower.html")});
    ASSERT_TRUE(WaitUntil([&] { return m_server.RequestCount("/slower.html") > 0; }, 10s));
    ASSERT_EQ(RunningHosts().size(), 1u);
    ::kill(killed, SIGKILL);
    WaitForExit(killed);
    run = RunCapture({m_server.Url("/fast.html"), m_server.Url("/after.html")});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(RunningHosts().size(), 1u);
    std::vector<std::string> urls = RecordedUrls();
    EXPECT_EQ(std::count(urls.begin(), urls.end(), m_server.Url("/slower.html")), 0);
    EXPECT_EQ(std::count(urls.begin(), urls.end(), m_server.Url("/slow.html")), 1);
}

}  // namespace
}  // namespace wys::test
