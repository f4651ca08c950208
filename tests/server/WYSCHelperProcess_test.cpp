// The history server as clients meet it: real WYSCHelper processes started
// on demand in a temporary home, shared by client processes, ending by
// themselves after their last client.
#include <gtest/gtest.h>

#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "platform/rpc/detail/Frame.h"
#include "tests/platform/rpc/support/ChildProcess.h"
#include "tests/platform/rpc/support/EventSink.h"
#include "tests/server/ServerProcessTest.h"

using namespace wys::test;
using Clock = std::chrono::steady_clock;

namespace {

class WYSCHelperProcess : public ServerProcessTest {};

ComPtr<CEventSink> MakeSink()
{
    ComPtr<CEventSink> sink;
    sink.Attach(CreateComObject<CEventSink>());
    return sink;
}

bool Alive(pid_t pid)
{
    return !WaitForProcessEnd(pid, 0);
}

void SleepUntil(Clock::time_point when)
{
    std::this_thread::sleep_until(when);
}

}  // namespace

TEST_F(WYSCHelperProcess, TwoClientsShareTheObjectTheListAndTheEvents)
{
    std::string folder = History();
    std::string socket = SocketPath();
    CChildProcess child([&](CChildChannel& parent) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        auto history = CreateHistory();
        if (!history)
            return 1;
        auto sink = MakeSink();
        sink->onEvent = [&](DISPID id, LONG index) {
            parent.Send("event " + std::to_string(id) + " " +
                        UrlAt(history.Get(), static_cast<ULONG>(index)));
            return S_OK;
        };
        AdviseSink(history.Get(), sink->GetUnknown());
        parent.Send("ready " + std::to_string(ListenerPid(socket)));
        if (parent.Receive() != "add")
            return 2;
        parent.Send(SUCCEEDED(AddVisit(history.Get(), folder, Now(), "http://child/a")) ? "added" : "failed");
        parent.Send("count " + std::to_string(parent.Receive() == "count" ? CountOf(history.Get()) : 0));
        parent.Receive();
        history = nullptr;
        sink = nullptr;
        CoUninitialize();
        return 0;
    });
    std::string ready = child.Receive();
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    ASSERT_EQ(ready, "ready " + std::to_string(ServerPid())) << "both clients reach one server";
    auto sink = MakeSink();
    std::vector<std::string> readInside;
    sink->onEvent = [&](DISPID id, LONG index) {
        if (id == DISPID_OnDataBeforeRemove)
            readInside.push_back(UrlAt(history.Get(), static_cast<ULONG>(index)));
        return S_OK;
    };
    ASSERT_NE(AdviseSink(history.Get(), sink->GetUnknown()), 0u);

    child.Send("add");
    EXPECT_EQ(child.Receive(), "event 1 http://child/a");
    EXPECT_EQ(child.Receive(), "added");
    ASSERT_EQ(AddVisit(history.Get(), folder, Now(), "http://parent/b"), S_OK);
    ASSERT_EQ(AddVisit(history.Get(), folder, Now(), "http://parent/c"), S_OK);
    ASSERT_EQ(history->RemoveData(0), S_OK);

    // Both sinks saw every event in order, and the record about to go could
    // be read from inside OnDataBeforeRemove in both processes.
    EXPECT_EQ(sink->events, (std::vector<std::string>{"1:0", "1:1", "1:2", "2:0"}));
    EXPECT_EQ(readInside, std::vector<std::string>{"http://child/a"});
    EXPECT_EQ(child.Receive(), "event 1 http://parent/b");
    EXPECT_EQ(child.Receive(), "event 1 http://parent/c");
    EXPECT_EQ(child.Receive(), "event 2 http://child/a");
    child.Send("count");
    EXPECT_EQ(child.Receive(), "count 2");
    EXPECT_EQ(CountOf(history.Get()), 2u);
    EXPECT_EQ(UrlAt(history.Get(), 0), "http://parent/b");
    child.Send("bye");
    EXPECT_EQ(child.Wait(), 0);
}

TEST_F(WYSCHelperProcess, EndsFiveSecondsAfterTheLastReleaseAndSavesTheIndex)
{
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    pid_t server = ServerPid();
    ASSERT_GT(server, 0);
    for (const char* url : {"http://a/1", "http://a/2", "http://a/3"})
        ASSERT_EQ(AddVisit(history.Get(), History(), Now(), url), S_OK);
    EXPECT_TRUE(IndexUrls().empty()) << "fewer than ten changes: not saved yet";

    history = nullptr;
    auto released = Clock::now();
    SleepUntil(released + std::chrono::seconds(4));
    EXPECT_TRUE(Alive(server)) << "still there 4 s after the last release";
    ASSERT_TRUE(WaitForProcessEnd(server, 5000)) << "gone about 6 s after the last release";
    auto lived = std::chrono::duration<double>(Clock::now() - released).count();
    EXPECT_GE(lived, 5.0);
    EXPECT_LE(lived, 8.5);
    EXPECT_EQ(IndexUrls(), (std::vector<std::string>{"http://a/1", "http://a/2", "http://a/3"}));
}

TEST_F(WYSCHelperProcess, ClientComingBackWithinTheTimeOutGetsTheSameProcessAndObject)
{
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    pid_t server = ServerPid();
    for (int i = 0; i < 9; ++i)
        ASSERT_EQ(AddVisit(history.Get(), History(), Now(), "http://b/" + std::to_string(i)), S_OK);
    history = nullptr;
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_TRUE(Alive(server));

    history = CreateHistory();
    ASSERT_TRUE(history);
    EXPECT_EQ(ServerPid(), server);
    EXPECT_EQ(CountOf(history.Get()), 9u);
    EXPECT_TRUE(IndexUrls().empty());
    // The object counts on from its nine changes: the tenth saves the index
    // while the server runs. A new object would have started from zero.
    ASSERT_EQ(AddVisit(history.Get(), History(), Now(), "http://b/9"), S_OK);
    EXPECT_EQ(IndexUrls().size(), 10u);
}

TEST_F(WYSCHelperProcess, SimultaneousFirstRequestsStartOneServer)
{
    std::string folder = History();
    std::string socket = SocketPath();
    std::vector<std::unique_ptr<CChildProcess>> children;
    for (int i = 0; i < 4; ++i) {
        children.push_back(std::make_unique<CChildProcess>([&, i](CChildChannel& parent) {
            parent.Receive();
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            auto history = CreateHistory();
            bool added =
                history && SUCCEEDED(AddVisit(history.Get(), folder, Now(), "http://c/" + std::to_string(i)));
            parent.Send(added ? std::to_string(ListenerPid(socket)) : "failed");
            parent.Receive();
            history = nullptr;
            CoUninitialize();
            return 0;
        }));
    }
    for (auto& child : children)
        child->Send("go");
    std::set<std::string> servers;
    for (auto& child : children)
        servers.insert(child->Receive());
    ASSERT_EQ(servers.size(), 1u);
    EXPECT_NE(*servers.begin(), "failed");
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    EXPECT_EQ(std::to_string(ServerPid()), *servers.begin());
    EXPECT_EQ(CountOf(history.Get()), 4u);
    for (auto& child : children) {
        child->Send("bye");
        EXPECT_EQ(child->Wait(), 0);
    }
}

TEST_F(WYSCHelperProcess, KilledClientNeitherBlocksEventsNorKeepsTheServerAlive)
{
    CChildProcess child([](CChildChannel& parent) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ComPtr<IClassFactory> factory;
        CoGetClassObject(CLSID_WYSCURLBase, CLSCTX_LOCAL_SERVER, nullptr, IClassFactory::Iid,
                         factory.PutVoid());
        if (!factory || FAILED(factory->LockServer(TRUE)))
            return 1;
        auto history = CreateHistory();
        auto sink = MakeSink();
        if (!history || !AdviseSink(history.Get(), sink->GetUnknown()))
            return 2;
        parent.Send("ready");
        for (;;)
            ::pause();
    });
    ASSERT_EQ(child.Receive(), "ready");
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    pid_t server = ServerPid();
    auto sink = MakeSink();
    ASSERT_NE(AdviseSink(history.Get(), sink->GetUnknown()), 0u);
    child.Kill();
    EXPECT_EQ(child.Wait(), -1);
    // The dead client's sink came first; had it stayed, its failure would
    // have ended the delivery before this one.
    ASSERT_EQ(AddVisit(history.Get(), History(), Now(), "http://d/1"), S_OK);
    EXPECT_EQ(sink->events, std::vector<std::string>{"1:0"});
    history = nullptr;
    sink = nullptr;
    EXPECT_TRUE(WaitForProcessEnd(server, 9000))
        << "neither the dead client's references nor its server lock keep the server\n"
        << Log();
}

TEST_F(WYSCHelperProcess, ClientDyingInsideAnEventKeepsItFromNoOtherClient)
{
    CChildProcess child([](CChildChannel& parent) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        auto history = CreateHistory();
        auto sink = MakeSink();
        sink->onEvent = [](DISPID, LONG) -> HRESULT { ::_exit(0); };
        if (!history || !AdviseSink(history.Get(), sink->GetUnknown()))
            return 2;
        parent.Send("ready");
        parent.Receive();
        return 0;
    });
    ASSERT_EQ(child.Receive(), "ready");
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    auto sink = MakeSink();
    ASSERT_NE(AdviseSink(history.Get(), sink->GetUnknown()), 0u);
    EXPECT_EQ(AddVisit(history.Get(), History(), Now(), "http://e/1"), S_OK);
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(AddVisit(history.Get(), History(), Now(), "http://e/2"), S_OK);
    ASSERT_FALSE(sink->events.empty());
    EXPECT_EQ(sink->events.back(), "1:1") << "the next event reaches the living sink";
    EXPECT_EQ(sink->events, (std::vector<std::string>{"1:0", "1:1"}))
        << "a client gone is no sink that fails: the event it died in reaches the living one as well";
    EXPECT_EQ(CountOf(history.Get()), 2u);
}

TEST_F(WYSCHelperProcess, ClientDyingInTheMiddleOfItsCallLeavesTheServerWorking)
{
    std::string folder = History();
    CChildProcess child([&](CChildChannel& parent) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        auto history = CreateHistory();
        if (!history)
            return 1;
        parent.Send("ready");
        parent.Receive();
        AddVisit(history.Get(), folder, Now(), "http://f/1");
        parent.Send("returned");
        return 0;
    });
    ASSERT_EQ(child.Receive(), "ready");
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    pid_t server = ServerPid();
    auto sink = MakeSink();
    // The child's AddData waits for this event's delivery; it dies meanwhile.
    sink->onEvent = [&](DISPID, LONG) {
        child.Kill();
        child.Wait();
        return S_OK;
    };
    ASSERT_NE(AdviseSink(history.Get(), sink->GetUnknown()), 0u);
    child.Send("add");
    EXPECT_EQ(child.Receive(5000), "");
    EXPECT_EQ(sink->events, std::vector<std::string>{"1:0"});
    EXPECT_EQ(CountOf(history.Get()), 1u);
    EXPECT_EQ(UrlAt(history.Get(), 0), "http://f/1");
    history = nullptr;
    sink = nullptr;
    EXPECT_TRUE(WaitForProcessEnd(server, 9000)) << "the dead client's reference is given back\n" << Log();
    EXPECT_EQ(IndexUrls(), std::vector<std::string>{"http://f/1"});
}

TEST_F(WYSCHelperProcess, KilledServerFailsCallsAndTheNextCreationStartsAnother)
{
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    pid_t first = ServerPid();
    ASSERT_EQ(AddVisit(history.Get(), History(), Now(), "http://g/1"), S_OK);
    ::kill(first, SIGKILL);
    ASSERT_TRUE(WaitForProcessEnd(first, 5000));
    ULONG count = 0;
    EXPECT_TRUE(FAILED(history->get_DataCount(&count)));
    EXPECT_TRUE(FAILED(AddVisit(history.Get(), History(), Now(), "http://g/2")));

    auto again = CreateHistory();
    ASSERT_TRUE(again);
    pid_t second = ServerPid();
    EXPECT_NE(second, first);
    EXPECT_EQ(CountOf(again.Get()), 0u) << "the killed server never saved";
    EXPECT_EQ(AddVisit(again.Get(), History(), Now(), "http://g/3"), S_OK);
}

TEST_F(WYSCHelperProcess, TerminationSignalEndsInOrderAndSaves)
{
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    pid_t server = ServerPid();
    ASSERT_EQ(AddVisit(history.Get(), History(), Now(), "http://h/1"), S_OK);
    ASSERT_EQ(AddVisit(history.Get(), History(), Now(), "http://h/2"), S_OK);
    ::kill(server, SIGTERM);
    EXPECT_TRUE(WaitForProcessEnd(server, 4000));
    EXPECT_EQ(IndexUrls(), (std::vector<std::string>{"http://h/1", "http://h/2"}));
    ULONG count = 0;
    EXPECT_TRUE(FAILED(history->get_DataCount(&count)));
}

TEST_F(WYSCHelperProcess, PeerOfAnotherUserIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs to switch to another user";
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    ServerPid();
    // Open the folders, so that only the server's own check stands in the way.
    std::string socket = SocketPath();
    for (std::filesystem::path p = socket; p != m_home.Path(); p = p.parent_path())
        ::chmod(p.c_str(), 0777);
    ::chmod(m_home.Path().c_str(), 0755);
    CChildProcess stranger([&](CChildChannel&) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            return 3;
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket.c_str());
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return 2;
        // Asks for the class object, as every client's first call does.
        wys::rpc::CWireWriter w;
        wys::rpc::BeginFrame(w, wys::rpc::FrameHeader{wys::rpc::FrameKind::Call, 0, 1, 0, GUID_NULL});
        w.Guid(CLSID_WYSCURLBase);
        w.Guid(IClassFactory::Iid);
        wys::rpc::FinishFrame(w);
        ::send(fd, w.Data(), w.Size(), MSG_NOSIGNAL);
        pollfd p{fd, POLLIN, 0};
        char byte;
        bool dropped = ::poll(&p, 1, 5000) == 1 && ::recv(fd, &byte, 1, 0) <= 0;
        return dropped ? 0 : 1;
    });
    EXPECT_EQ(stranger.Wait(), 0) << "2: could not connect, 1: was answered";
    EXPECT_EQ(AddVisit(history.Get(), History(), Now(), "http://i/1"), S_OK)
        << "the server serves its own user";
}
