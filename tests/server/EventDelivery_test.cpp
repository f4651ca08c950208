// Event delivery of the real history server under load: capture clients
// adding visits at once and watchers that only listen, each in its own
// process, each advised on the history's events.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "platform/com/ConnectionPoint.h"
#include "platform/rpc/Apartment.h"
#include "tests/platform/rpc/support/ChildProcess.h"
#include "tests/platform/rpc/support/EventSink.h"
#include "tests/server/ServerProcessTest.h"

using namespace wys::test;

namespace {

constexpr int kCaptureClients = 8;
constexpr int kWatchers = 2;
constexpr int kVisitsPerCapture = 300;
constexpr int kVisits = kCaptureClients * kVisitsPerCapture;

// What a client's sink received, against every addition 0 .. kVisits - 1 in
// order: "ok", or where it went wrong.
std::string Verdict(const std::vector<std::string>& events)
{
    std::vector<std::string> missing;
    std::size_t next = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i] != "1:" + std::to_string(next)) {
            std::ostringstream out;
            out << events.size() << " events, event " << i << " is " << events[i] << " where 1:" << next
                << " was due";
            return out.str();
        }
        ++next;
    }
    if (next != kVisits)
        return std::to_string(events.size()) + " of " + std::to_string(kVisits) + " events";
    return "ok";
}

// A client process: advises a sink, adds `visits` visits when told to go
// (none for a watcher), then waits dispatching until every addition has
// been announced to it or the time is up, and reports its verdict.
int Client(CChildChannel& parent, const std::string& folder, const std::string& name, int visits)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 0;
    {
        auto history = CreateHistory();
        ComPtr<CEventSink> sink;
        sink.Attach(CreateComObject<CEventSink>());
        // As a band does: the visit named by the event is read from inside it.
        std::vector<std::string> urls;
        sink->onEvent = [&](DISPID, LONG index) {
            urls.push_back(UrlAt(history.Get(), static_cast<ULONG>(index)));
            return S_OK;
        };
        if (!history || !AdviseSink(history.Get(), sink->GetUnknown())) {
            parent.Send("cannot listen");
            return 1;
        }
        parent.Send("ready");
        if (parent.Receive(60000) != "go")
            return 2;
        const std::int64_t start = Now();
        for (int i = 0; i < visits; ++i) {
            HRESULT hr =
                AddVisit(history.Get(), folder, start + i, "http://" + name + "/" + std::to_string(i));
            if (FAILED(hr)) {
                parent.Send("AddData failed: " + HResultText(hr));
                status = 3;
                break;
            }
        }
        parent.Send("added");
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (sink->events.size() < kVisits && std::chrono::steady_clock::now() < deadline) {
            DWORD index = 0;
            CoWaitForMultipleHandles(0, 50, 0, nullptr, &index);
        }
        parent.Send(Verdict(sink->events));
        parent.Receive(60000);
    }
    CoUninitialize();
    return status;
}

// A client that listens for a while and then goes in good order, as a
// browser window that closes: unadvises, lets go and leaves its apartment
// once it has heard `leaveAfter` events.
int PasserBy(CChildChannel& parent, std::size_t leaveAfter)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        auto history = CreateHistory();
        ComPtr<CEventSink> sink;
        sink.Attach(CreateComObject<CEventSink>());
        CAdvisedConnection connection;
        if (!history ||
            FAILED(connection.Advise(history.Get(), DIID_IWYSCURLBaseEvents, sink->GetUnknown()))) {
            parent.Send("cannot listen");
            return 1;
        }
        parent.Send("ready");
        if (parent.Receive(60000) != "go")
            return 2;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (sink->events.size() < leaveAfter && std::chrono::steady_clock::now() < deadline) {
            DWORD index = 0;
            CoWaitForMultipleHandles(0, 5, 0, nullptr, &index);
        }
        connection.Unadvise();
    }
    CoUninitialize();
    return 0;
}

class EventDelivery : public ServerProcessTest {};

}  // namespace

TEST_F(EventDelivery, EveryLivingClientReceivesEveryEventInOrder)
{
    const std::string folder = History();
    // Advised first, so that they stand before the others in the sink list
    // when they go.
    std::vector<std::unique_ptr<CChildProcess>> passersBy;
    for (std::size_t i = 0; i < 4; ++i) {
        passersBy.push_back(std::make_unique<CChildProcess>(
            [i](CChildChannel& parent) { return PasserBy(parent, 100 + 300 * i); }));
        ASSERT_EQ(passersBy.back()->Receive(60000), "ready");
    }
    std::vector<std::unique_ptr<CChildProcess>> clients;
    for (int i = 0; i < kCaptureClients + kWatchers; ++i) {
        const bool captures = i < kCaptureClients;
        const std::string name = (captures ? "capture" : "watcher") + std::to_string(i);
        clients.push_back(std::make_unique<CChildProcess>([&, name, captures](CChildChannel& parent) {
            return Client(parent, folder, name, captures ? kVisitsPerCapture : 0);
        }));
    }
    for (auto& client : clients)
        ASSERT_EQ(client->Receive(60000), "ready");
    ServerPid();
    for (auto& passerBy : passersBy)
        passerBy->Send("go");
    for (auto& client : clients)
        client->Send("go");
    for (int i = 0; i < kCaptureClients + kWatchers; ++i)
        EXPECT_EQ(clients[static_cast<std::size_t>(i)]->Receive(120000), "added") << "client " << i;
    for (int i = 0; i < kCaptureClients + kWatchers; ++i)
        EXPECT_EQ(clients[static_cast<std::size_t>(i)]->Receive(120000), "ok") << "client " << i;
    for (auto& client : clients) {
        client->Send("bye");
        EXPECT_EQ(client->Wait(30000), 0);
    }
    for (auto& passerBy : passersBy)
        EXPECT_EQ(passerBy->Wait(30000), 0);
    EnterApartment();
    auto history = CreateHistory();
    ASSERT_TRUE(history);
    EXPECT_EQ(CountOf(history.Get()), static_cast<ULONG>(kVisits));
}
