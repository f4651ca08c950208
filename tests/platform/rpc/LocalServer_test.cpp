#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <set>
#include <thread>

#include "platform/com/ComPtr.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "platform/rpc/CallPipeline.h"
#include "platform/rpc/detail/Frame.h"
#include "tests/platform/rpc/support/ChildProcess.h"
#include "tests/platform/rpc/support/ClassRegistry.h"
#include "tests/platform/rpc/support/EventSink.h"
#include "tests/platform/rpc/support/TestObject.h"
#include "tests/support/TempHome.h"

using namespace wys::test;
using wys::rpc::CCallPipeline;
using wys::rpc::CFrameSplitter;
using wys::rpc::CWireReader;
using wys::rpc::CWireWriter;
using wys::rpc::FrameHeader;
using wys::rpc::FrameKind;

namespace {

struct Identity {
    DWORD process = 0;
    ULONG instance = 0;
};

Identity IdentityOf(ITestControl* object)
{
    Identity id;
    DWORD thread;
    EXPECT_EQ(object->GetIdentity(&id.process, &thread, &id.instance), S_OK);
    return id;
}

ComPtr<ITestControl> CreateTestObject(HRESULT expected = S_OK)
{
    ComPtr<ITestControl> object;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, ITestControl::Iid, object.PutVoid()),
        expected);
    return object;
}

template <class I>
ComPtr<I> As(const ComPtr<ITestControl>& object)
{
    ComPtr<I> result;
    EXPECT_EQ(object.As(&result), S_OK);
    return result;
}

// Advises `sink` on the object's history events; returns the cookie.
DWORD Advise(const ComPtr<ITestControl>& object, CEventSink* sink)
{
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(As<IConnectionPointContainer>(object)->FindConnectionPoint(DIID_IWYSCURLBaseEvents,
                                                                         point.ReleaseAndGetAddressOf()),
              S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(sink->GetUnknown(), &cookie), S_OK);
    return cookie;
}

HRESULT AddRecord(const ComPtr<ITestControl>& object, const char16_t* url)
{
    _URL_DATE_ record{1700000000, SysAllocString(url), SysAllocString(u"p"), nullptr};
    HRESULT hr = As<IWYSCURLBase>(object)->AddData(record);
    FreeUrlDate(&record);
    return hr;
}

std::string UrlAt(const ComPtr<IWYSCURLBase>& history, LONG index)
{
    CUrlDateHolder record;
    if (FAILED(history->GetData(record.Receive(), static_cast<ULONG>(index))))
        return "?";
    return CComBSTR::CopyOf(record.Url).ToUtf8();
}

// A client that speaks the wire format by hand, to send what no proxy would.
class CRawClient {
public:
    explicit CRawClient(const std::string& path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~CRawClient() { ::close(m_fd); }
    bool Connected() const { return m_connected; }
    void SendBytes(const void* data, std::size_t size) { ::send(m_fd, data, size, MSG_NOSIGNAL); }
    int Fd() const { return m_fd; }
    void SendFrame(const FrameHeader& header, const std::function<void(CWireWriter&)>& payload = {})
    {
        CWireWriter w;
        wys::rpc::BeginFrame(w, header);
        if (payload)
            payload(w);
        wys::rpc::FinishFrame(w);
        SendBytes(w.Data(), w.Size());
    }
    // The next frame; nullopt when the server closed the connection or
    // nothing came within the time.
    std::optional<wys::rpc::CFrame> ReadFrame(int timeoutMs = 5000)
    {
        for (;;) {
            if (auto frame = m_splitter.Next())
                return frame;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0)
                return std::nullopt;
            std::uint8_t buffer[4096];
            ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                m_closed = true;
                return std::nullopt;
            }
            m_splitter.Append(buffer, static_cast<std::size_t>(n));
        }
    }
    // True when the server dropped the connection.
    bool Dropped()
    {
        ReadFrame(5000);
        return m_closed;
    }

private:
    int m_fd;
    bool m_connected = false;
    bool m_closed = false;
    CFrameSplitter m_splitter;
};

HRESULT ReplyResult(const std::optional<wys::rpc::CFrame>& frame)
{
    if (!frame || frame->header.kind != FrameKind::Reply || frame->payload.size() < 4)
        return E_UNEXPECTED;
    CWireReader r(frame->payload.data(), frame->payload.size());
    return r.I32();
}

class LocalServer : public TempHomeTest {
protected:
    void SetUp() override
    {
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);  // servers are orphans: let them end here
        RegisterTestInterfaces();
        Register("--idle-ms=300");
    }
    void TearDown() override
    {
        if (m_inApartment)
            CoUninitialize();
        // Without clients the servers end by themselves; a server that ends
        // normally reports what the sanitizers found into its log.
        for (pid_t pid : m_servers) {
            if (!WaitForProcessEnd(pid, 5000)) {
                ADD_FAILURE() << "server " << pid << " outlived its clients";
                ::kill(pid, SIGKILL);
                WaitForProcessEnd(pid, 5000);
            }
        }
        std::string log = Log();
        EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << log;
        EXPECT_EQ(log.find("runtime error"), std::string::npos) << log;
    }
    void Register(const std::string& options)
    {
        ASSERT_TRUE(RegisterClassServer(CLSID_TestObject, "LocalServer32",
                                        std::string(WYS_RPC_TEST_SERVER) + " " + options));
    }
    void EnterApartment()
    {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        m_inApartment = true;
    }
    Identity Track(const ComPtr<ITestControl>& object)
    {
        Identity id = IdentityOf(object.Get());
        m_servers.insert(static_cast<pid_t>(id.process));
        return id;
    }
    std::string Folder() const { return m_home.RuntimeDir() + "/wayscribe/com"; }
    std::string SocketPath() const { return Folder() + "/" + GuidToString(CLSID_TestObject) + ".sock"; }
    std::string Log() const
    {
        return ReadFile(m_home.Home() + "/.local/state/wayscribe/rpc_test_server.log");
    }

    bool m_inApartment = false;
    std::set<pid_t> m_servers;
};

int Count(const std::string& text, const std::string& word)
{
    int n = 0;
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

}  // namespace

TEST_F(LocalServer, ProcessesShareOneObjectOfOneServer)
{
    CChildProcess child([](CChildChannel& parent) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        auto object = CreateTestObject();
        Identity id = IdentityOf(object.Get());
        parent.Send(std::to_string(id.process) + " " + std::to_string(id.instance));
        AddRecord(object, u"http://from-child/");
        parent.Send("added");
        parent.Receive();
        object = nullptr;
        CoUninitialize();
        return 0;
    });
    EnterApartment();
    auto object = CreateTestObject();
    Identity id = Track(object);
    EXPECT_NE(id.process, static_cast<DWORD>(::getpid()));
    EXPECT_EQ(child.Receive(), std::to_string(id.process) + " " + std::to_string(id.instance));
    EXPECT_EQ(child.Receive(), "added");
    ULONG count = 0;
    auto history = As<IWYSCURLBase>(object);
    ASSERT_EQ(history->get_DataCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(UrlAt(history, 0), "http://from-child/");
    child.Send("bye");
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(Count(Log(), "serving"), 1) << "the server's standard error goes to its log";
}

TEST_F(LocalServer, EventsReachEveryClientInOrderAndMayCallBack)
{
    CChildProcess child([](CChildChannel& parent) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        auto object = CreateTestObject();
        auto history = As<IWYSCURLBase>(object);
        ComPtr<CEventSink> sink;
        sink.Attach(CreateComObject<CEventSink>());
        sink->onEvent = [&](DISPID id, LONG index) {
            parent.Send("event " + std::to_string(id) + " " + UrlAt(history, index));
            return S_OK;
        };
        Advise(object, sink.Get());
        parent.Send("ready");
        parent.Receive();  // dispatches the events while it waits
        object = nullptr;
        history = nullptr;
        CoUninitialize();
        return 0;
    });
    EnterApartment();
    auto object = CreateTestObject();
    Track(object);
    auto history = As<IWYSCURLBase>(object);
    ComPtr<CEventSink> sink;
    sink.Attach(CreateComObject<CEventSink>());
    std::vector<std::string> seenInside;
    sink->onEvent = [&](DISPID, LONG index) {
        seenInside.push_back(UrlAt(history, index));
        return S_OK;
    };
    Advise(object, sink.Get());
    ASSERT_EQ(child.Receive(), "ready");
    for (const char16_t* url : {u"http://0/", u"http://1/", u"http://2/"})
        ASSERT_EQ(AddRecord(object, url), S_OK);
    // Both clients see every event, in order, and read the record from
    // inside the event.
    EXPECT_EQ(sink->events, (std::vector<std::string>{"1:0", "1:1", "1:2"}));
    EXPECT_EQ(seenInside, (std::vector<std::string>{"http://0/", "http://1/", "http://2/"}));
    EXPECT_EQ(child.Receive(), "event 1 http://0/");
    EXPECT_EQ(child.Receive(), "event 1 http://1/");
    EXPECT_EQ(child.Receive(), "event 1 http://2/");
    child.Send("quit");
    EXPECT_EQ(child.Wait(), 0);
}

TEST_F(LocalServer, ServerTakesOtherCallsWhileASinkKeepsItWaiting)
{
    CChildProcess child([](CChildChannel& parent) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        auto object = CreateTestObject();
        ComPtr<CEventSink> sink;
        sink.Attach(CreateComObject<CEventSink>());
        sink->onEvent = [&](DISPID, LONG) {
            parent.Send("in event");
            return parent.Receive() == "continue" ? S_OK : E_FAIL;
        };
        Advise(object, sink.Get());
        parent.Send("ready");
        parent.Receive();
        object = nullptr;
        CoUninitialize();
        return 0;
    });
    EnterApartment();
    auto object = CreateTestObject();
    Track(object);
    ASSERT_EQ(child.Receive(), "ready");
    ULONG countDuringEvent = 0;
    std::thread other([&] {
        // Another apartment, so another connection to the server.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        auto second = CreateTestObject();
        EXPECT_EQ(child.Receive(), "in event");
        EXPECT_EQ(As<IWYSCURLBase>(second)->get_DataCount(&countDuringEvent), S_OK);
        child.Send("continue");
        second = nullptr;
        CoUninitialize();
    });
    EXPECT_EQ(AddRecord(object, u"http://slow/"), S_OK);
    other.join();
    EXPECT_EQ(countDuringEvent, 1u);
    child.Send("quit");
    EXPECT_EQ(child.Wait(), 0);
}

TEST_F(LocalServer, KilledClientLosesItsSinksAndLocksAtOnce)
{
    CChildProcess child([](CChildChannel& parent) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ComPtr<IClassFactory> factory;
        CoGetClassObject(CLSID_TestObject, CLSCTX_LOCAL_SERVER, nullptr, IClassFactory::Iid,
                         factory.PutVoid());
        factory->LockServer(TRUE);
        auto object = CreateTestObject();
        ComPtr<CEventSink> sink;
        sink.Attach(CreateComObject<CEventSink>());
        Advise(object, sink.Get());
        parent.Send("ready");
        for (;;)
            ::pause();
        return 0;
    });
    ASSERT_EQ(child.Receive(), "ready");
    EnterApartment();
    auto object = CreateTestObject();
    Identity server = Track(object);
    ComPtr<CEventSink> sink;
    sink.Attach(CreateComObject<CEventSink>());
    Advise(object, sink.Get());
    child.Kill();
    EXPECT_EQ(child.Wait(), -1);
    // The dead client's sink comes first in the list; had it stayed, its
    // failure would have ended the delivery before this sink.
    ASSERT_EQ(AddRecord(object, u"http://after/"), S_OK);
    EXPECT_EQ(sink->events, std::vector<std::string>{"1:0"});
    object = nullptr;
    sink = nullptr;
    EXPECT_TRUE(WaitForProcessEnd(static_cast<pid_t>(server.process), 5000))
        << "neither the dead client's references nor its server lock keep the server alive\n"
        << Log();
}

TEST_F(LocalServer, ServerLockKeepsTheServerWithoutObjects)
{
    EnterApartment();
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_TestObject, CLSCTX_LOCAL_SERVER, nullptr, IClassFactory::Iid,
                               factory.PutVoid()),
              S_OK);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    ComPtr<ITestControl> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, ITestControl::Iid, object.PutVoid()), S_OK);
    auto server = static_cast<pid_t>(Track(object).process);
    object = nullptr;
    EXPECT_FALSE(WaitForProcessEnd(server, 1000)) << "locked: the idle time passes without an end";
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_TRUE(WaitForProcessEnd(server, 5000));
}

TEST_F(LocalServer, SimultaneousFirstRequestsStartOneServer)
{
    std::vector<std::unique_ptr<CChildProcess>> children;
    for (int i = 0; i < 4; ++i) {
        children.push_back(std::make_unique<CChildProcess>([](CChildChannel& parent) {
            parent.Receive();
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            auto object = CreateTestObject();
            parent.Send(object ? std::to_string(IdentityOf(object.Get()).process) : "none");
            parent.Receive();
            object = nullptr;
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
    EXPECT_NE(*servers.begin(), "none");
    m_servers.insert(std::stoi(*servers.begin()));
    for (auto& child : children) {
        child->Send("bye");
        EXPECT_EQ(child->Wait(), 0);
    }
    EXPECT_EQ(Count(Log(), "serving"), 1);
}

TEST_F(LocalServer, PeersOfAnotherUserAreRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs to switch to another user";
    EnterApartment();
    auto object = CreateTestObject();
    Track(object);
    // Open the folders so that only the server's own check stands in the way.
    for (std::filesystem::path p = SocketPath(); p != m_home.Path(); p = p.parent_path())
        ::chmod(p.c_str(), 0777);
    ::chmod(m_home.Path().c_str(), 0755);
    CChildProcess stranger([this](CChildChannel&) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            return 3;
        CRawClient raw(SocketPath());
        if (!raw.Connected())
            return 2;
        raw.SendFrame(FrameHeader{FrameKind::Call, 0, 1, 0, GUID_NULL}, [](CWireWriter& w) {
            w.Guid(CLSID_TestObject);
            w.Guid(IClassFactory::Iid);
        });
        return raw.Dropped() ? 0 : 1;
    });
    EXPECT_EQ(stranger.Wait(), 0) << "2: could not connect, 1: was served";
    ULONG result = 0;
    EXPECT_EQ(object->Ping(1, &result), S_OK);
}

TEST_F(LocalServer, BrokenFramesDropOnlyTheirConnection)
{
    EnterApartment();
    auto object = CreateTestObject();
    Track(object);
    {
        CRawClient garbage(SocketPath());
        garbage.SendBytes("GET / HTTP/1.0\r\n\r\n", 18);
        EXPECT_TRUE(garbage.Dropped()) << "garbage";
    }
    {
        CRawClient oversized(SocketPath());
        CWireWriter w;
        w.U32(0xFFFFFFF0u);
        w.U8(wys::rpc::kWireVersion);
        w.U8(1);
        oversized.SendBytes(w.Data(), w.Size());
        EXPECT_TRUE(oversized.Dropped()) << "oversized length";
    }
    {
        CRawClient truncated(SocketPath());
        CWireWriter w;
        wys::rpc::BeginFrame(w, FrameHeader{FrameKind::Call, 0, 1, 0, GUID_NULL});
        w.Guid(CLSID_TestObject);
        wys::rpc::FinishFrame(w);
        truncated.SendBytes(w.Data(), w.Size() - 9);
    }  // closing mid-frame
    {
        CRawClient raw(SocketPath());
        raw.SendFrame(FrameHeader{FrameKind::Call, 0, 1, 12345, ITestControl::Iid});
        EXPECT_EQ(ReplyResult(raw.ReadFrame()), CO_E_OBJNOTCONNECTED) << "unknown object";
        raw.SendFrame(FrameHeader{FrameKind::Call, 7, 2, 0, GUID_NULL});
        EXPECT_EQ(ReplyResult(raw.ReadFrame()), RPC_E_INVALIDMETHOD) << "unknown root method";
        raw.SendFrame(FrameHeader{FrameKind::Call, 0, 3, 0, GUID_NULL}, [](CWireWriter& w) {
            w.Guid(CLSID_TestObject);
            w.Guid(IClassFactory::Iid);
        });
        auto reply = raw.ReadFrame();
        ASSERT_EQ(ReplyResult(reply), S_OK);
        CWireReader r(reply->payload.data() + 4, reply->payload.size() - 4);
        ASSERT_EQ(r.U8(), 1);  // a reference to the server's object
        std::uint64_t factory = r.U64();
        raw.SendFrame(FrameHeader{FrameKind::Call, 9, 4, factory, IClassFactory::Iid});
        EXPECT_EQ(ReplyResult(raw.ReadFrame()), RPC_E_INVALIDMETHOD) << "method beyond the interface";
        raw.SendFrame(
            FrameHeader{FrameKind::Call, 0, 5, factory, MakeGuid("{0000000C-0000-0000-C000-000000000046}")});
        EXPECT_EQ(ReplyResult(raw.ReadFrame()), E_NOINTERFACE) << "interface the object does not carry";
        raw.SendFrame(FrameHeader{FrameKind::Release, 0, 0, factory, GUID_NULL},
                      [](CWireWriter& w) { w.U32(1); });
        raw.SendFrame(FrameHeader{FrameKind::Call, 1, 6, factory, IClassFactory::Iid},
                      [](CWireWriter& w) { w.I32(1); });
        EXPECT_EQ(ReplyResult(raw.ReadFrame()), CO_E_OBJNOTCONNECTED) << "released object";
        raw.SendFrame(FrameHeader{FrameKind::Call, 0, 7, 0, GUID_NULL}, [](CWireWriter& w) { w.U8(1); });
        EXPECT_TRUE(raw.Dropped()) << "arguments that do not parse";
    }
    ULONG result = 0;
    EXPECT_EQ(object->Ping(41, &result), S_OK);
    EXPECT_EQ(result, 42u);
}

TEST_F(LocalServer, KilledServerFailsCallsAndTheNextCreationStartsAnother)
{
    EnterApartment();
    auto object = CreateTestObject();
    Identity first = Track(object);
    ::kill(static_cast<pid_t>(first.process), SIGKILL);
    ASSERT_TRUE(WaitForProcessEnd(static_cast<pid_t>(first.process), 5000));
    ULONG result = 0;
    EXPECT_EQ(object->Ping(1, &result), RPC_E_DISCONNECTED);
    ComPtr<IWYSCURLBase> history;
    EXPECT_EQ(object.As(&history), RPC_E_DISCONNECTED);
    auto again = CreateTestObject();
    ASSERT_TRUE(again);
    Identity second = Track(again);
    EXPECT_NE(second.process, first.process);
    EXPECT_EQ(again->Ping(1, &result), S_OK);
}

TEST_F(LocalServer, CreationOutlivesAServerThatEndsAfterHandingOutItsClassObject)
{
    std::string marker = m_home.Home() + "/ended-once";
    Register("--end-at-first-create=" + marker);
    EnterApartment();
    auto object = CreateTestObject();
    ASSERT_TRUE(object);
    EXPECT_TRUE(std::filesystem::exists(marker)) << "the first server did not end at the creation";
    Track(object);
    ULONG result = 0;
    EXPECT_EQ(object->Ping(1, &result), S_OK);
    EXPECT_EQ(Count(Log(), "ending before the creation"), 1) << Log();
}

TEST_F(LocalServer, NewServerWaitsUntilTheOldOneHasEnded)
{
    Register("--idle-ms=50 --hold-ms=1500");
    EnterApartment();
    auto object = CreateTestObject();
    Identity old = Track(object);
    object = nullptr;
    // The old server stops serving, then keeps its lock a while.
    for (int i = 0; i < 500 && std::filesystem::exists(SocketPath()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(std::filesystem::exists(SocketPath()));
    auto fresh = CreateTestObject();
    ASSERT_TRUE(fresh);
    Identity now = Track(fresh);
    EXPECT_NE(now.process, old.process);
    EXPECT_TRUE(WaitForProcessEnd(static_cast<pid_t>(old.process), 0))
        << "the new server served before the old ended";
}

TEST_F(LocalServer, UnknownClassesAndMissingProgramsFail)
{
    EnterApartment();
    ComPtr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(MakeGuid("{00000000-1111-2222-3333-444444444444}"), nullptr, CLSCTX_ALL,
                               IID_IUnknown, object.PutVoid()),
              REGDB_E_CLASSNOTREG);
    ASSERT_TRUE(RegisterClassServer(CLSID_TestObject, "LocalServer32", m_home.Path() + "/no-such-program"));
    auto started = std::chrono::steady_clock::now();
    CreateTestObject(CO_E_SERVER_EXEC_FAILURE);
    // A program that ends without registering the class fails as fast.
    ASSERT_TRUE(RegisterClassServer(CLSID_TestObject, "LocalServer32", "/bin/true"));
    CreateTestObject(CO_E_SERVER_EXEC_FAILURE);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST_F(LocalServer, PipelinedCallsRunOneByOneInOrderWithTheirEventsBetween)
{
    EnterApartment();
    auto object = CreateTestObject();
    Track(object);
    auto history = As<IWYSCURLBase>(object);
    // Inside each event a call back reads the count: the next pipelined
    // AddData must not have run yet, though it is already at the server.
    ComPtr<CEventSink> sink;
    sink.Attach(CreateComObject<CEventSink>());
    std::vector<ULONG> countInsideEvent;
    sink->onEvent = [&](DISPID, LONG) {
        ULONG count = 0;
        EXPECT_EQ(history->get_DataCount(&count), S_OK);
        countInsideEvent.push_back(count);
        return S_OK;
    };
    Advise(object, sink.Get());

    constexpr ULONG kCalls = 1000;
    std::vector<CComBSTR> urls;
    for (ULONG i = 0; i < kCalls; ++i)
        urls.emplace_back("http://" + std::to_string(i) + "/");
    CComBSTR path("p");
    std::vector<ULONG> countAfter(kCalls, 0);
    std::vector<HRESULT> results;
    CCallPipeline pipeline;
    for (ULONG i = 0; i < kCalls; ++i) {
        for (int half = 0; half < 2; ++half) {
            if (pipeline.Full())
                results.push_back(pipeline.Finish());
            ASSERT_EQ(pipeline.Begin([&, i, half] {
                if (half == 0)
                    return history->AddData(
                        _URL_DATE_{1700000000 + static_cast<std::int64_t>(i), urls[i], path, nullptr});
                return history->get_DataCount(&countAfter[i]);
            }),
                      S_OK);
        }
    }
    while (!pipeline.Empty())
        results.push_back(pipeline.Finish());
    EXPECT_EQ(pipeline.Finish(), E_UNEXPECTED) << "nothing left to finish";

    ASSERT_EQ(results.size(), 2 * kCalls);
    EXPECT_EQ(std::count(results.begin(), results.end(), S_OK), static_cast<long>(2 * kCalls));
    ASSERT_EQ(sink->events.size(), kCalls);
    for (ULONG i = 0; i < kCalls; ++i) {
        EXPECT_EQ(countAfter[i], i + 1) << "the count read right after visit " << i;
        EXPECT_EQ(sink->events[i], "1:" + std::to_string(i));
        EXPECT_EQ(countInsideEvent[i], i + 1) << "the count read inside event " << i;
    }

    // Reads come back in order, each into its own storage.
    std::vector<CUrlDateHolder> records(kCalls);
    CCallPipeline reads(CCallPipeline::kMaxDepth);
    for (ULONG i = 0; i < kCalls; ++i)
        reads.Begin([&, i] { return history->GetData(records[i].Receive(), i); });
    reads.Begin([&] { return history->GetData(records[0].Receive(), kCalls); });  // beyond the end
    for (ULONG i = 0; i < kCalls; ++i)
        ASSERT_EQ(reads.Finish(), S_OK);
    EXPECT_EQ(reads.Finish(), E_INVALIDARG);
    for (ULONG i = 1; i < kCalls; ++i)
        EXPECT_EQ(CComBSTR::CopyOf(records[i].Url).ToUtf8(), "http://" + std::to_string(i) + "/");
}

TEST_F(LocalServer, ServerDeathFailsEveryCallInFlight)
{
    EnterApartment();
    auto object = CreateTestObject();
    Identity server = Track(object);
    auto history = As<IWYSCURLBase>(object);
    ComPtr<CEventSink> sink;
    sink.Attach(CreateComObject<CEventSink>());
    Advise(object, sink.Get());

    // The AddData waits at the server for this sink, which answers only once
    // this thread dispatches: the pings behind it cannot be answered before.
    CComBSTR url("http://first/");
    CComBSTR path("p");
    constexpr ULONG kPings = 1000;
    std::vector<ULONG> pinged(kPings, 7);
    CCallPipeline pipeline(kPings + 1);
    ASSERT_EQ(pipeline.Begin([&] {
        return history->AddData(_URL_DATE_{1700000000, url, path, nullptr});
    }),
              S_OK);
    for (ULONG i = 0; i < kPings; ++i)
        ASSERT_EQ(pipeline.Begin([&, i] { return object->Ping(i, &pinged[i]); }), S_OK);
    EXPECT_TRUE(pipeline.Full());
    EXPECT_EQ(pipeline.Begin([] { return S_OK; }), E_UNEXPECTED);

    ASSERT_EQ(::kill(static_cast<pid_t>(server.process), SIGKILL), 0);
    ASSERT_TRUE(WaitForProcessEnd(static_cast<pid_t>(server.process), 5000));
    std::size_t disconnected = 0;
    while (!pipeline.Empty())
        disconnected += pipeline.Finish() == RPC_E_DISCONNECTED ? 1 : 0;
    EXPECT_EQ(disconnected, kPings + 1);
    EXPECT_EQ(std::count(pinged.begin(), pinged.end(), 7u), static_cast<long>(kPings))
        << "no ping was answered";
    ULONG result = 0;
    EXPECT_EQ(object->Ping(1, &result), RPC_E_DISCONNECTED);
}

TEST_F(LocalServer, AClientThatNeverReadsItsRepliesIsHeldBackByTheSocket)
{
    EnterApartment();
    auto object = CreateTestObject();
    Track(object);
    CRawClient raw(SocketPath());
    ASSERT_TRUE(raw.Connected());
    raw.SendFrame(FrameHeader{FrameKind::Call, 0, 1, 0, GUID_NULL}, [](CWireWriter& w) {
        w.Guid(CLSID_TestObject);
        w.Guid(IClassFactory::Iid);
    });
    auto reply = raw.ReadFrame();
    ASSERT_EQ(ReplyResult(reply), S_OK);
    CWireReader r(reply->payload.data() + 4, reply->payload.size() - 4);
    ASSERT_EQ(r.U8(), 1);
    const std::uint64_t factory = r.U64();

    // Ordered calls that cost the server nothing but a reply each, sent as
    // fast as the socket takes them, none of the replies read.
    CWireWriter call;
    wys::rpc::BeginFrame(
        call, FrameHeader{FrameKind::OrderedCall, wys::rpc::kRemoteQueryInterface, 2, factory, IID_IUnknown});
    call.Guid(IID_IUnknown);
    wys::rpc::FinishFrame(call);
    std::vector<std::uint8_t> burst;
    for (int i = 0; i < 4096; ++i)
        burst.insert(burst.end(), call.Data(), call.Data() + call.Size());
    constexpr std::size_t kGiveUp = 64u << 20;
    std::size_t sent = 0;
    std::size_t offset = 0;
    while (sent < kGiveUp) {
        ssize_t n =
            ::send(raw.Fd(), burst.data() + offset, burst.size() - offset, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            offset = (offset + static_cast<std::size_t>(n)) % burst.size();
            continue;
        }
        ASSERT_TRUE(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) << std::strerror(errno);
        pollfd room{raw.Fd(), POLLOUT, 0};
        if (::poll(&room, 1, 500) == 0)
            break;  // the server has stopped reading
    }
    // What the server took: its unsent replies stay within their bound
    // (plus what the sockets hold), the calls behind stay in the socket.
    EXPECT_LT(sent, std::size_t{16} << 20);
    EXPECT_GT(sent, CCallPipeline::kMaxUnsentReplyBytes);
    ULONG result = 0;
    EXPECT_EQ(object->Ping(41, &result), S_OK) << "other clients are served meanwhile";
    EXPECT_EQ(result, 42u);
}
