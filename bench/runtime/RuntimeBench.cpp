// The component runtime's local-server transport: the round trip of a small
// call against a raw Unix-socket ping-pong of the same sizes, and cold
// activation (CoCreateInstance starting the server, up to the first reply).
//
// runtime_bench [calls-per-batch]   (default 20000; five batches, median)
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
#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "tests/platform/rpc/support/ClassRegistry.h"
#include "tests/platform/rpc/support/TestObject.h"

namespace {

using Clock = std::chrono::steady_clock;

// Ping(ULONG in, ULONG* out): header, the value, the out marker; the reply:
// header, HRESULT, the value.
constexpr std::size_t kRequestBytes = 36 + 4 + 1;
constexpr std::size_t kReplyBytes = 36 + 4 + 4;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Microseconds per round trip, median of five batches.
double PerCall(int calls, const std::function<void()>& roundTrip)
{
    std::vector<double> batches;
    for (int batch = 0; batch < 5; ++batch) {
        auto start = Clock::now();
        for (int i = 0; i < calls; ++i)
            roundTrip();
        batches.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / calls);
    }
    return Median(batches);
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

double RawPingPong(int calls)
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
    char request[kRequestBytes] = {};
    char reply[kReplyBytes];
    auto roundTrip = [&] {
        Exactly(pair[0], request, sizeof request, true);
        Exactly(pair[0], reply, sizeof reply, false);
    };
    for (int i = 0; i < 2000; ++i)
        roundTrip();
    double perCall = PerCall(calls, roundTrip);
    ::close(pair[0]);
    ::waitpid(echo, nullptr, 0);
    return perCall;
}

pid_t ServerOf(ITestControl* object)
{
    DWORD process = 0, thread = 0;
    ULONG instance = 0;
    object->GetIdentity(&process, &thread, &instance);
    return static_cast<pid_t>(process);
}

void EndServer(pid_t pid)
{
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);  // an orphan of this subreaper
}

}  // namespace

int main(int argc, char** argv)
{
    int calls = argc > 1 ? std::atoi(argv[1]) : 20000;
    char pattern[] = "/tmp/wys-bench-XXXXXX";
    std::string root = ::mkdtemp(pattern);
    std::filesystem::create_directories(root + "/home/.config");
    std::filesystem::create_directories(root + "/run");
    ::chmod((root + "/run").c_str(), 0700);
    ::setenv("HOME", (root + "/home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/home/.config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (root + "/home/.local/state").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    wys::test::RegisterTestInterfaces();
    wys::test::RegisterClassServer(CLSID_TestObject, "LocalServer32",
                                   std::string(WYS_RPC_TEST_SERVER) + " --idle-ms=5000");

    double raw = RawPingPong(calls);

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<double> cold;
    for (int i = 0; i < 10; ++i) {
        ComPtr<ITestControl> object;
        ULONG result = 0;
        auto start = Clock::now();
        HRESULT hr = CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, ITestControl::Iid,
                                      object.PutVoid());
        if (SUCCEEDED(hr))
            hr = object->Ping(1, &result);
        cold.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (FAILED(hr)) {
            std::fprintf(stderr, "activation failed: %s\n", HResultText(hr).c_str());
            return 1;
        }
        pid_t server = ServerOf(object.Get());
        object = nullptr;
        EndServer(server);
    }

    ComPtr<ITestControl> object;
    CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, ITestControl::Iid, object.PutVoid());
    ULONG value = 0;
    auto call = [&] { object->Ping(value, &value); };
    for (int i = 0; i < 2000; ++i)
        call();
    double transport = PerCall(calls, call);
    pid_t server = ServerOf(object.Get());
    object = nullptr;
    EndServer(server);
    CoUninitialize();

    std::sort(cold.begin(), cold.end());
    std::printf("small call round trip (Ping: %zu-byte call, %zu-byte reply), median of 5 x %d calls\n",
                kRequestBytes, kReplyBytes, calls);
    std::printf("  runtime transport        %8.2f us\n", transport);
    std::printf("  raw unix-socket ping-pong %7.2f us\n", raw);
    std::printf("  ratio                    %8.2f   (target <= 2)\n", transport / raw);
    std::printf("cold activation, CoCreateInstance starting the server to the first reply (10 runs)\n");
    std::printf("  min %.1f ms, median %.1f ms, max %.1f ms   (target < 100 ms)\n", cold.front(),
                Median(cold), cold.back());
    std::error_code ignored;  // a leftover temporary folder is harmless
    std::filesystem::remove_all(root, ignored);
    return 0;
}
