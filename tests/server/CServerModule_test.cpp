// The monitor's timing, with short time-outs: the quit message reaches the
// main thread's queue only after the count stayed at 0 for a whole time-out.
#include "WYSCHelper/server/CServerModule.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

#include "platform/rpc/Apartment.h"

using namespace wys::server;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kTimeOut = 300ms;

class ServerModule : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); }
    void TearDown() override { CoUninitialize(); }

    // When WM_QUIT arrived in this thread's queue, waiting at most `limit`.
    std::optional<Clock::time_point> QuitWithin(std::chrono::milliseconds limit)
    {
        auto deadline = Clock::now() + limit;
        do {
            MSG message;
            while (PeekMessage(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT)
                    return Clock::now();
            }
            std::this_thread::sleep_for(5ms);
        } while (Clock::now() < deadline);
        return std::nullopt;
    }

    std::unique_ptr<CServerModule> StartModule(bool delayed = true)
    {
        auto module = std::make_unique<CServerModule>(ServerTiming{kTimeOut, 0ms, delayed});
        module->SetMainThread(GetCurrentThreadId());
        EXPECT_TRUE(module->StartMonitor());
        return module;
    }
};

}  // namespace

TEST_F(ServerModule, QuitsOneTimeOutAfterTheLastUnlock)
{
    auto module = StartModule();
    EXPECT_EQ(module->Lock(), 1);
    EXPECT_EQ(module->Lock(), 2);
    EXPECT_EQ(module->Unlock(), 1);
    EXPECT_FALSE(QuitWithin(2 * kTimeOut)) << "a lock is still held";
    auto released = Clock::now();
    EXPECT_EQ(module->Unlock(), 0);
    auto quit = QuitWithin(10 * kTimeOut);
    ASSERT_TRUE(quit);
    EXPECT_GE(*quit - released, kTimeOut);
    EXPECT_TRUE(module->MonitorPostedQuit());
}

TEST_F(ServerModule, ALockWithinTheTimeOutKeepsTheServer)
{
    auto module = StartModule();
    module->Lock();
    module->Unlock();
    std::this_thread::sleep_for(kTimeOut / 2);
    module->Lock();
    EXPECT_FALSE(QuitWithin(3 * kTimeOut));
    auto released = Clock::now();
    module->Unlock();
    auto quit = QuitWithin(10 * kTimeOut);
    ASSERT_TRUE(quit);
    EXPECT_GE(*quit - released, kTimeOut);
}

TEST_F(ServerModule, WithoutDelayedShutdownTheLastUnlockQuitsAtOnce)
{
    CServerModule module(ServerTiming{kTimeOut, 0ms, false});
    module.SetMainThread(GetCurrentThreadId());
    module.Lock();
    module.Unlock();
    MSG message;
    ASSERT_TRUE(PeekMessage(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, WM_QUIT);
}

TEST_F(ServerModule, EndingTheModuleStopsAWaitingMonitorWithoutQuitting)
{
    auto started = Clock::now();
    {
        auto module = StartModule();
        module->Lock();
        module->Unlock();
    }
    EXPECT_LT(Clock::now() - started, kTimeOut);
    EXPECT_FALSE(QuitWithin(2 * kTimeOut));
}
