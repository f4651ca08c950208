// A local server for the runtime's tests: serves CLSID_TestObject from its
// main thread's STA and ends once no client has held the object (or a
// server lock) for --idle-ms milliseconds. With --hold-ms it keeps its class
// lock that long after it stopped serving, as a server that saves its data.
// With --end-at-first-create=PATH, the first server to be asked for an
// object (the one that creates PATH) ends instead of answering.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/com/ComPtr.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "tests/platform/rpc/support/TestObject.h"

namespace {

constexpr UINT kIdleCheck = WM_APP + 1;

int OptionValue(int argc, char** argv, const char* name, int fallback)
{
    std::size_t length = std::strlen(name);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], name, length) == 0 && argv[i][length] == '=')
            return std::atoi(argv[i] + length + 1);
    }
    return fallback;
}

const char* OptionText(int argc, char** argv, const char* name)
{
    std::size_t length = std::strlen(name);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], name, length) == 0 && argv[i][length] == '=')
            return argv[i] + length + 1;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    int idleMs = OptionValue(argc, argv, "--idle-ms", 300);
    int holdMs = OptionValue(argc, argv, "--hold-ms", 0);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    DWORD mainThread = GetCurrentThreadId();
    int locks = 0;
    unsigned generation = 0;
    auto armIdleCheck = [&] {
        unsigned armed = ++generation;
        std::thread([mainThread, idleMs, armed] {
            std::this_thread::sleep_for(std::chrono::milliseconds(idleMs));
            PostThreadMessage(mainThread, kIdleCheck, armed, 0);
        }).detach();
    };
    {
        ComPtr<wys::test::CTestFactory> factory;
        factory.Attach(CreateComObject<wys::test::CTestFactory>());
        if (const char* marker = OptionText(argc, argv, "--end-at-first-create")) {
            factory->beforeCreate = [marker] {
                int fd = ::open(marker, O_CREAT | O_EXCL | O_WRONLY, 0600);
                if (fd >= 0) {
                    std::fprintf(stderr, "test server %d: ending before the creation\n",
                                 static_cast<int>(::getpid()));
                    ::_exit(0);
                }
            };
        }
        factory->onLockChanged = [&](int change) {
            locks += change;
            std::fprintf(stderr, "test server %d: locks %d\n", static_cast<int>(::getpid()), locks);
            ++generation;
            if (locks == 0)
                armIdleCheck();
        };
        DWORD cookie = 0;
        HRESULT hr = CoRegisterClassObject(CLSID_TestObject, factory.Get(), CLSCTX_LOCAL_SERVER,
                                           REGCLS_MULTIPLEUSE, &cookie);
        if (FAILED(hr)) {
            std::fprintf(stderr, "test server: register failed %s\n", HResultText(hr).c_str());
            return 2;
        }
        std::fprintf(stderr, "test server %d: serving\n", static_cast<int>(::getpid()));
        armIdleCheck();
        MSG message;
        while (GetMessage(&message, nullptr, 0, 0) > 0) {
            if (message.message == kIdleCheck && message.wParam == generation && locks == 0)
                PostQuitMessage(0);
        }
        CoRevokeClassObject(cookie);
        std::fprintf(stderr, "test server %d: revoked\n", static_cast<int>(::getpid()));
        if (holdMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    }
    CoUninitialize();
    std::fprintf(stderr, "test server %d: ended\n", static_cast<int>(::getpid()));
    return 0;
}
