// The wayscribe-history program against the real history server.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "hosts/history/HistoryText.h"
#include "platform/registry/Registry.h"
#include "platform/rpc/Apartment.h"
#include "tests/platform/rpc/support/ChildProcess.h"
#include "tests/platform/rpc/support/EventSink.h"
#include "tests/server/ServerProcessTest.h"

using namespace wys::test;

namespace {

std::string Cli()
{
    return WYS_HISTORY_PROGRAM;
}

// A wayscribe-history process whose output the test reads line by line.
class CRunningCli {
public:
    explicit CRunningCli(const std::vector<std::string>& args)
    {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            return;
        std::vector<std::string> argv{Cli()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (auto& a : argv)
            raw.push_back(a.data());
        raw.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::execv(raw[0], raw.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }
    ~CRunningCli()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            Wait(5000);
        }
        ::close(m_out);
        ::close(m_err);
    }
    std::string OutLine(int timeoutMs = 10000) { return Line(m_out, m_outBuffer, timeoutMs); }
    std::string ErrLine(int timeoutMs = 10000) { return Line(m_err, m_errBuffer, timeoutMs); }
    void Signal(int signal) { ::kill(m_pid, signal); }
    // The exit status; -1 when it was killed or did not end in time.
    int Wait(int timeoutMs)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (m_pid > 0) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (std::chrono::steady_clock::now() > deadline)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

private:
    static std::string Line(int fd, std::string& buffer, int timeoutMs)
    {
        for (;;) {
            if (auto end = buffer.find('\n'); end != std::string::npos) {
                std::string line = buffer.substr(0, end);
                buffer.erase(0, end + 1);
                return line;
            }
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0)
                return "<nothing>";
            char chunk[1024];
            ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                return "<end>";
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_outBuffer;
    std::string m_errBuffer;
};

class WayscribeHistory : public ServerProcessTest {};

}  // namespace

TEST_F(WayscribeHistory, ListsAndCountsWhatOtherClientsAdded)
{
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    pid_t server = ServerPid();
    ASSERT_EQ(AddVisit(history.Get(), History(), 1700000000, "http://x/one"), S_OK);
    ASSERT_EQ(AddVisit(history.Get(), History(), 1700000060, "http://x/two"), S_OK);
    std::string out, err;
    EXPECT_EQ(RunProgram({Cli(), "count"}, &out, &err), 0) << err;
    EXPECT_EQ(out, "2\n");
    EXPECT_EQ(RunProgram({Cli(), "list"}, &out, &err), 0) << err;
    EXPECT_EQ(out,
              "2023-11-14 22:13:20\thttp://x/one\t\tone.htm\n"
              "2023-11-14 22:14:20\thttp://x/two\t\ttwo.htm\n");
    EXPECT_EQ(ServerPid(), server) << "the client joined the running server";
}

TEST_F(WayscribeHistory, UnreachableServerExitsWithThree)
{
    ASSERT_EQ(RunProgram({ServerProgram(), "-UnregServer"}), 0);
    std::string out, err;
    EXPECT_EQ(RunProgram({Cli(), "count"}, &out, &err), 3);
    EXPECT_NE(err.find("not registered"), std::string::npos) << err;
    EXPECT_EQ(out, "");

    HKEY key = nullptr;
    std::string missing = m_home.Path() + "/no-such-program";
    ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT,
                             ("CLSID\\" + GuidToString(CLSID_WYSCURLBase) + "\\LocalServer32").c_str(), 0,
                             nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueEx(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(missing.c_str()),
                  static_cast<DWORD>(missing.size() + 1));
    RegCloseKey(key);
    EXPECT_EQ(RunProgram({Cli(), "settings"}, &out, &err), 3);
    EXPECT_NE(err.find("cannot be reached"), std::string::npos) << err;
}

TEST_F(WayscribeHistory, ARuntimeFolderTooDeepForTheSocketIsNamedInTheError)
{
    // With the folders under it and the class's name, its socket path is
    // longer than a Unix socket's address can hold.
    const std::string deep = m_home.Path() + "/run/" + std::string(60, 'd');
    std::filesystem::create_directories(deep);
    ::chmod(deep.c_str(), 0700);
    std::string out, err;
    EXPECT_EQ(RunProgram({"/usr/bin/env", "XDG_RUNTIME_DIR=" + deep, Cli(), "count"}, &out, &err), 3);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find(deep + "/wayscribe/com/"), std::string::npos) << err;
    EXPECT_NE(err.find("too long"), std::string::npos) << err;
    EXPECT_NE(err.find("XDG_RUNTIME_DIR"), std::string::npos) << err;
}

TEST_F(WayscribeHistory, BadArgumentsExitWithTwoWithoutAskingTheServer)
{
    std::string out, err;
    EXPECT_EQ(RunProgram({Cli(), "frobnicate"}, &out, &err), 2);
    EXPECT_NE(err.find("unknown command \"frobnicate\""), std::string::npos) << err;
    EXPECT_NE(err.find("--help"), std::string::npos) << err;
    EXPECT_EQ(RunProgram({Cli()}, &out, &err), 2);
    EXPECT_EQ(RunProgram({Cli(), "set", "history-range", "-1d"}, &out, &err), 2) << "would expire everything";
    EXPECT_EQ(ServerPid(), 0);
    EXPECT_EQ(RunProgram({Cli(), "--help"}, &out, &err), 0);
    EXPECT_EQ(out.rfind("Usage: wayscribe-history", 0), 0u) << out;
}

TEST_F(WayscribeHistory, WatchPrintsEventsAsTheyArriveUntilInterrupted)
{
    CRunningCli watch({"watch"});
    ASSERT_NE(watch.ErrLine().find("watching"), std::string::npos);
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    ASSERT_EQ(AddVisit(history.Get(), History(), 1700000000, "http://y/one"), S_OK);
    EXPECT_EQ(watch.OutLine(), "added\t0\t2023-11-14 22:13:20\thttp://y/one\t\tone.htm");
    ASSERT_EQ(AddVisit(history.Get(), History(), 1700000001, "http://y/two"), S_OK);
    ASSERT_EQ(history->RemoveData(0), S_OK);
    ASSERT_EQ(history->put_CollectHistory(VARIANT_FALSE), S_OK);
    EXPECT_EQ(watch.OutLine(), "added\t1\t2023-11-14 22:13:21\thttp://y/two\t\ttwo.htm");
    EXPECT_EQ(watch.OutLine(), "removing\t0\t2023-11-14 22:13:20\thttp://y/one\t\tone.htm");
    EXPECT_EQ(watch.OutLine(), "settings-changed");
    watch.Signal(SIGINT);
    EXPECT_EQ(watch.Wait(10000), 0);
}

TEST_F(WayscribeHistory, WatchPrintsEveryEventAsOneWholeLineInTheOrderOfArrival)
{
    // Two clients adding at once: the server serves one's AddData while it
    // waits for the watcher to handle the other's event.
    const std::string folder = History();
    const int kEach = 150;
    std::vector<std::unique_ptr<CChildProcess>> adders;
    for (int who = 0; who < 2; ++who) {
        adders.push_back(std::make_unique<CChildProcess>([&, who](CChildChannel& parent) {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            auto history = CreateHistory();
            if (!history)
                return 1;
            parent.Send("ready");
            parent.Receive();
            int failed = 0;
            const std::int64_t start = Now();
            for (int i = 0; i < kEach; ++i) {
                std::string url = "http://w" + std::to_string(who) + "/" + std::to_string(i);
                failed += FAILED(AddVisit(history.Get(), folder, start + i, url)) ? 1 : 0;
            }
            history = nullptr;
            CoUninitialize();
            return failed;
        }));
    }
    for (auto& adder : adders)
        ASSERT_EQ(adder->Receive(), "ready");
    CRunningCli watch({"watch"});
    ASSERT_NE(watch.ErrLine().find("watching"), std::string::npos);
    for (auto& adder : adders)
        adder->Send("go");
    std::vector<std::string> lines;
    for (int i = 0; i < 2 * kEach; ++i)
        lines.push_back(watch.OutLine());
    for (auto& adder : adders)
        EXPECT_EQ(adder->Wait(60000), 0);
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    ASSERT_EQ(CountOf(history.Get()), static_cast<ULONG>(2 * kEach));
    for (int i = 0; i < 2 * kEach; ++i) {
        CUrlDateHolder visit;
        ASSERT_EQ(history->GetData(visit.Receive(), static_cast<ULONG>(i)), S_OK);
        EXPECT_EQ(lines[static_cast<std::size_t>(i)],
                  "added\t" + std::to_string(i) + "\t" + wys::history::VisitLine(visit));
    }
}

TEST_F(WayscribeHistory, WatchEndsWithThreeWhenTheServerDies)
{
    CRunningCli watch({"watch"});
    ASSERT_NE(watch.ErrLine().find("watching"), std::string::npos);
    pid_t server = ServerPid();
    ASSERT_GT(server, 0);
    ::kill(server, SIGKILL);
    ASSERT_TRUE(WaitForProcessEnd(server, 5000));
    m_servers.erase(server);
    EXPECT_EQ(watch.Wait(10000), 3);
    EXPECT_NE(watch.ErrLine().find("cannot be reached"), std::string::npos);
}

TEST_F(WayscribeHistory, ChangeRefusedDuringAnotherChangesEventsIsTriedAgain)
{
    CChildProcess slowClient([](CChildChannel& parent) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        auto history = CreateHistory();
        ComPtr<CEventSink> sink;
        sink.Attach(CreateComObject<CEventSink>());
        sink->onEvent = [](DISPID, LONG) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2000));
            return S_OK;
        };
        if (!history || !AdviseSink(history.Get(), sink->GetUnknown()))
            return 1;
        parent.Send("ready");
        parent.Receive(60000);
        return 0;
    });
    ASSERT_EQ(slowClient.Receive(), "ready");
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    ASSERT_EQ(AddVisit(history.Get(), History(), 1600000000, "http://z/old"), S_OK);  // the slow sink: 2 s
    std::string out, err;
    int status = -1;
    std::thread cli([&] {
        // Arrives while the next addition's events are still being delivered.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        status = RunProgram({Cli(), "remove-range", "1500000000", "1650000000"}, &out, &err);
    });
    ASSERT_EQ(AddVisit(history.Get(), History(), Now(), "http://z/new"), S_OK);
    cli.join();
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(out, "removed 1 visit\n");
    EXPECT_EQ(CountOf(history.Get()), 1u);
    slowClient.Send("bye");
    EXPECT_EQ(slowClient.Wait(), 0);
}
