// The history server WYSCHelper under load, measured side by side in one run:
//   - DataCount's round trip against a raw Unix-socket ping-pong of the same
//     sizes (target: at most twice the raw round trip);
//   - DataCount pipelined (a thousand calls in flight) against one call at
//     a time: calls per second;
//   - cold activation: CoCreateInstance starting the server, up to the first
//     reply (target: under 100 ms);
//   - N client processes each adding M visits with sinks advised in all of
//     them: visits per second, and whether every client saw every event.
//
// server_bench [calls-per-batch [clients [visits-per-client]]]
//   defaults: 20000, 8, 1000. Runs in a temporary home of its own.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry/Registry.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "platform/rpc/CallPipeline.h"
#include "tests/platform/rpc/support/ChildProcess.h"
#include "tests/platform/rpc/support/EventSink.h"
#include "tests/server/ServerProcessTest.h"

using namespace wys::test;

namespace {

using Clock = std::chrono::steady_clock;

// get_DataCount(ULONG*): frame header and the out marker; the reply: frame
// header, HRESULT and the count.
constexpr std::size_t kRequestBytes = 36 + 1;
constexpr std::size_t kReplyBytes = 36 + 4 + 4;
// What the server answers a change asked for while it delivers another's events.
constexpr HRESULT kChangeInProgress = MakeHResult(0x80010001u);

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Microseconds per round trip of one batch.
double Batch(int calls, const std::function<void()>& roundTrip)
{
    auto start = Clock::now();
    for (int i = 0; i < calls; ++i)
        roundTrip();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / calls;
}

void Exactly(int fd, void* data, std::size_t size, bool write)
{
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = write ? ::write(fd, p, size) : ::read(fd, p, size);
        if (n <= 0)
            std::exit(3);
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

// An echo process answering each request of the call's size with a reply
// of the reply's size. Started before this process has threads.
struct RawEcho {
    int fd = -1;
    pid_t pid = -1;
};

RawEcho StartEcho()
{
    int pair[2];
    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair);
    pid_t echo = ::fork();
    if (echo == 0) {
        ::close(pair[0]);
        char request[kRequestBytes];
        char reply[kReplyBytes] = {};
        for (;;) {
            ssize_t n = ::read(pair[1], request, sizeof request);
            if (n <= 0)
                ::_exit(0);
            if (static_cast<std::size_t>(n) < sizeof request)
                Exactly(pair[1], request + n, sizeof request - static_cast<std::size_t>(n), false);
            Exactly(pair[1], reply, sizeof reply, true);
        }
    }
    ::close(pair[1]);
    return RawEcho{pair[0], echo};
}

void RawRoundTrip(const RawEcho& echo)
{
    char request[kRequestBytes] = {};
    char reply[kReplyBytes];
    Exactly(echo.fd, request, sizeof request, true);
    Exactly(echo.fd, reply, sizeof reply, false);
}

std::string SocketPath(const std::string& runtime)
{
    return runtime + "/wayscribe/com/" + GuidToString(CLSID_WYSCURLBase) + ".sock";
}

void KillServer(const std::string& socket)
{
    if (pid_t server = ListenerPid(socket)) {
        ::kill(server, SIGKILL);
        WaitForProcessEnd(server, 5000);
    }
}

// One client of the throughput run: adds its visits (trying refused ones
// again), then keeps dispatching until it has seen every client's visits.
int AddingClient(CChildChannel& parent, int id, int visits, int clients)
{
    if (parent.Receive(60000) != "start")
        return 1;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    auto history = CreateHistory();
    ComPtr<CEventSink> sink;
    sink.Attach(CreateComObject<CEventSink>());
    ULONG seen = 0;
    sink->onEvent = [&](DISPID dispid, LONG) {
        if (dispid == DISPID_OnDataAdded)
            ++seen;
        sink->events.clear();  // only the count matters here
        return S_OK;
    };
    if (!history || !AdviseSink(history.Get(), sink->GetUnknown()))
        return 2;
    parent.Send("ready");
    if (parent.Receive(60000) != "go")
        return 3;
    CComBSTR path("page.htm");
    std::int64_t now = Now();
    long retries = 0;
    for (int i = 0; i < visits; ++i) {
        CComBSTR url("http://client" + std::to_string(id) + "/" + std::to_string(i));
        _URL_DATE_ visit{now, url, path, nullptr};
        HRESULT hr;
        DWORD backOff = 1;
        while ((hr = history->AddData(visit)) == kChangeInProgress) {
            // Backing off (dispatching our events meanwhile) keeps the
            // refused clients from flooding the server they wait for.
            ++retries;
            DWORD index = 0;
            CoWaitForMultipleHandles(0, backOff + static_cast<DWORD>(id % 3), 0, nullptr, &index);
            backOff = std::min<DWORD>(backOff * 2, 32);
        }
        if (FAILED(hr)) {
            parent.Send("failed " + HResultText(hr));
            return 4;
        }
    }
    parent.Send("added " + std::to_string(retries));
    auto deadline = Clock::now() + std::chrono::seconds(120);
    ULONG expected = static_cast<ULONG>(visits) * static_cast<ULONG>(clients);
    while (seen < expected && Clock::now() < deadline) {
        DWORD index = 0;
        CoWaitForMultipleHandles(0, 50, 0, nullptr, &index);
    }
    parent.Send("seen " + std::to_string(seen));
    parent.Receive(60000);
    history = nullptr;
    sink = nullptr;
    CoUninitialize();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int calls = argc > 1 ? std::atoi(argv[1]) : 20000;
    int clients = argc > 2 ? std::atoi(argv[2]) : 8;
    int visits = argc > 3 ? std::atoi(argv[3]) : 1000;
    char pattern[] = "/tmp/wys-server-bench-XXXXXX";
    std::string root = ::mkdtemp(pattern);
    std::string runtime = root + "/run";
    std::filesystem::create_directories(root + "/home/.config");
    std::filesystem::create_directories(runtime);
    std::filesystem::create_directories(root + "/history");
    ::chmod(runtime.c_str(), 0700);
    ::setenv("HOME", (root + "/home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/home/.config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (root + "/home/.local/state").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    if (RunProgram({ServerProgram(), "/RegServer"}) != 0) {
        std::fprintf(stderr, "cannot register %s\n", ServerProgram().c_str());
        return 1;
    }
    HKEY key = nullptr;
    RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Quillonix\\WYSCUrlBase", 0, nullptr, 0, KEY_WRITE, nullptr,
                   &key, nullptr);
    std::string folder = root + "/history";
    RegSetValueEx(key, "BasePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                  static_cast<DWORD>(folder.size() + 1));
    RegCloseKey(key);
    WriteFile(folder + "/page.htm", "<html></html>");

    // The adding clients start now, before this process has threads.
    std::vector<std::unique_ptr<CChildProcess>> children;
    for (int id = 0; id < clients; ++id)
        children.push_back(std::make_unique<CChildProcess>(
            [=](CChildChannel& parent) { return AddingClient(parent, id, visits, clients); }));

    RawEcho echo = StartEcho();

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<double> cold;
    for (int i = 0; i < 10; ++i) {
        auto start = Clock::now();
        HRESULT hr = S_OK;
        auto history = CreateHistory(&hr);
        ULONG count = 0;
        if (history)
            hr = history->get_DataCount(&count);
        cold.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (FAILED(hr)) {
            std::fprintf(stderr, "activation failed: %s\n", HResultText(hr).c_str());
            return 1;
        }
        history = nullptr;
        KillServer(SocketPath(runtime));
    }

    auto history = CreateHistory();
    ULONG count = 0;
    auto call = [&] { history->get_DataCount(&count); };
    auto raw = [&] { RawRoundTrip(echo); };
    Batch(2000, call);
    Batch(2000, raw);
    // Alternating batches, so that both see the same load of a shared machine.
    std::vector<double> transportBatches, rawBatches;
    for (int batch = 0; batch < 5; ++batch) {
        rawBatches.push_back(Batch(calls, raw));
        transportBatches.push_back(Batch(calls, call));
    }
    double transport = Median(transportBatches);
    double rawTrip = Median(rawBatches);

    // The same calls with many in flight at once, the server still carrying
    // them out one by one.
    std::vector<ULONG> counts(wys::rpc::CCallPipeline::kDefaultDepth);
    auto pipelinedBatch = [&](int n) {
        auto start = Clock::now();
        wys::rpc::CCallPipeline pipeline;
        for (int i = 0; i < n; ++i) {
            if (pipeline.Full())
                pipeline.Finish();
            ULONG* out = &counts[static_cast<std::size_t>(i) % counts.size()];
            pipeline.Begin([&, out] { return history->get_DataCount(out); });
        }
        while (!pipeline.Empty())
            pipeline.Finish();
        return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / n;
    };
    std::vector<double> sequentialRates, pipelinedRates;
    for (int batch = 0; batch < 5; ++batch) {
        sequentialRates.push_back(1e6 / Batch(calls, call));
        pipelinedRates.push_back(1e6 / pipelinedBatch(calls));
    }
    ::close(echo.fd);
    ::waitpid(echo.pid, nullptr, 0);

    for (auto& child : children)
        child->Send("start");
    bool ready = true;
    for (auto& child : children)
        ready = child->Receive(60000) == "ready" && ready;
    if (!ready) {
        std::fprintf(stderr, "a client could not start\n");
        return 1;
    }
    auto start = Clock::now();
    for (auto& child : children)
        child->Send("go");
    long retries = 0;
    bool added = true;
    for (auto& child : children) {
        std::string line = child->Receive(600000);
        added = line.rfind("added ", 0) == 0 && added;
        if (line.rfind("added ", 0) == 0)
            retries += std::atol(line.c_str() + 6);
        else
            std::fprintf(stderr, "client: %s\n", line.c_str());
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ULONG expected = static_cast<ULONG>(clients) * static_cast<ULONG>(visits);
    int complete = 0;
    for (auto& child : children)
        complete += child->Receive(180000) == "seen " + std::to_string(expected) ? 1 : 0;
    history->get_DataCount(&count);
    for (auto& child : children) {
        child->Send("bye");
        child->Wait(60000);
    }
    history = nullptr;
    KillServer(SocketPath(runtime));
    CoUninitialize();

    std::sort(cold.begin(), cold.end());
    std::printf(
        "DataCount round trip (%zu-byte call, %zu-byte reply), median of 5 alternating batches of %d calls\n",
        kRequestBytes, kReplyBytes, calls);
    std::printf("  WYSCHelper through the runtime %8.2f us\n", transport);
    std::printf("  raw unix-socket ping-pong      %8.2f us\n", rawTrip);
    std::printf("  ratio                          %8.2f   (target <= 2)\n", transport / rawTrip);
    std::printf("DataCount calls per second, median of 5 alternating batches of %d calls\n", calls);
    std::printf("  one at a time                  %8.0f\n", Median(sequentialRates));
    std::printf("  pipelined, %4zu in flight       %8.0f   (%.1f times)\n",
                wys::rpc::CCallPipeline::kDefaultDepth, Median(pipelinedRates),
                Median(pipelinedRates) / Median(sequentialRates));
    std::printf("cold activation, CoCreateInstance starting WYSCHelper to the first reply (10 runs)\n");
    std::printf("  min %.1f ms, median %.1f ms, max %.1f ms   (target < 100 ms)\n", cold.front(),
                Median(cold), cold.back());
    std::printf("%d clients x %d AddData, a sink advised in every client\n", clients, visits);
    std::printf(
        "  %lu visits in %.2f s: %.0f visits/s; changes refused while another's events were delivered,\n"
        "  tried again: %ld\n",
        static_cast<unsigned long>(expected), seconds, expected / seconds, retries);
    std::printf("  DataCount afterwards %lu of %lu; clients that saw every event: %d of %d%s\n",
                static_cast<unsigned long>(count), static_cast<unsigned long>(expected), complete, clients,
                complete == clients && count == expected && added ? "" : "   LOST");
    std::error_code ignored;  // a leftover temporary folder is harmless
    std::filesystem::remove_all(root, ignored);
    return complete == clients && count == expected && added ? 0 : 1;
}
