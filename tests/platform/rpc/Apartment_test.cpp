#include <gtest/gtest.h>

#include <poll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <future>
#include <thread>
#include <vector>

#include "platform/rpc/Apartment.h"
#include "tests/platform/rpc/support/StaThread.h"

namespace {

bool Readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

}  // namespace

TEST(Apartment, InitializationIsCountedAndKeepsItsMode)
{
    std::thread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        EXPECT_GE(ApartmentWakeFd(), 0);
        CoUninitialize();
        EXPECT_GE(ApartmentWakeFd(), 0) << "one initialisation is still open";
        CoUninitialize();
        EXPECT_EQ(ApartmentWakeFd(), -1);
        EXPECT_EQ(DispatchApartmentMessages(), CO_E_NOTINITIALIZED);

        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
        EXPECT_EQ(ApartmentWakeFd(), -1) << "the multithreaded apartment has no queue of its own";
        CoUninitialize();
    }).join();
}

TEST(Apartment, MessageLoopDeliversInOrderAndEndsWithTheQuitCode)
{
    std::promise<DWORD> started;
    std::vector<UINT> seen;
    int exitCode = 0;
    std::thread loop([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        started.set_value(GetCurrentThreadId());
        MSG message;
        while (GetMessage(&message, nullptr, 0, 0) > 0)
            seen.push_back(message.message);
        exitCode = static_cast<int>(message.wParam);
        CoUninitialize();
    });
    DWORD id = started.get_future().get();
    for (UINT m = WM_USER; m < WM_USER + 5; ++m)
        EXPECT_TRUE(PostThreadMessage(id, m, 0, 0));
    EXPECT_TRUE(PostToApartment(id, [] { PostQuitMessage(7); }));
    loop.join();
    EXPECT_EQ(seen, (std::vector<UINT>{WM_USER, WM_USER + 1, WM_USER + 2, WM_USER + 3, WM_USER + 4}));
    EXPECT_EQ(exitCode, 7);
    EXPECT_FALSE(PostThreadMessage(id, WM_USER, 0, 0)) << "the thread and its queue are gone";
    EXPECT_FALSE(PostToApartment(id, [] {}));
}

TEST(Apartment, ClosuresRunOnTheApartmentThreadInPostingOrder)
{
    wys::test::CStaThread sta;
    std::vector<int> order;
    std::vector<DWORD> threads;
    auto post = [&](int first) {
        for (int i = first; i < first + 50; ++i)
            PostToApartment(sta.Id(), [&, i] {
                order.push_back(i);
                threads.push_back(GetCurrentThreadId());
            });
    };
    std::thread a(post, 0);
    std::thread b(post, 1000);
    a.join();
    b.join();
    sta.Run([] {});
    ASSERT_EQ(order.size(), 100u);
    std::vector<int> fromA, fromB;
    for (int i : order)
        (i < 1000 ? fromA : fromB).push_back(i);
    EXPECT_TRUE(std::is_sorted(fromA.begin(), fromA.end()));
    EXPECT_TRUE(std::is_sorted(fromB.begin(), fromB.end()));
    for (DWORD t : threads)
        EXPECT_EQ(t, sta.Id());
}

TEST(Apartment, WakeDescriptorLetsAnotherLoopDriveTheApartment)
{
    std::thread([] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        int fd = ApartmentWakeFd();
        DWORD self = GetCurrentThreadId();
        EXPECT_FALSE(Readable(fd));
        int ran = 0;
        std::thread([&] {
            PostToApartment(self, [&] { ++ran; });
            PostThreadMessage(self, WM_USER + 9, 1, 2);
        }).join();
        EXPECT_TRUE(Readable(fd));
        EXPECT_EQ(DispatchApartmentMessages(), S_OK);
        EXPECT_EQ(ran, 1);
        EXPECT_FALSE(Readable(fd)) << "nothing left to dispatch";
        MSG message;
        ASSERT_TRUE(PeekMessage(&message, nullptr, 0, 0, PM_REMOVE)) << "thread messages wait for their loop";
        EXPECT_EQ(message.message, WM_USER + 9u);
        EXPECT_EQ(message.lParam, 2);
        EXPECT_FALSE(PeekMessage(&message, nullptr, 0, 0, PM_REMOVE));
        CoUninitialize();
    }).join();
}

TEST(Apartment, WaitingForDescriptorsKeepsDispatching)
{
    std::thread([] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        int event = ::eventfd(0, EFD_CLOEXEC);
        DWORD index = 99;
        EXPECT_EQ(CoWaitForMultipleHandles(0, 30, 1, &event, &index), RPC_S_CALLPENDING);
        DWORD self = GetCurrentThreadId();
        bool ran = false;
        std::thread poster([&] {
            // The closure runs during the wait and is what ends it.
            PostToApartment(self, [&] {
                ran = true;
                std::uint64_t one = 1;
                [[maybe_unused]] ssize_t n = ::write(event, &one, sizeof one);
            });
        });
        EXPECT_EQ(CoWaitForMultipleHandles(0, INFINITE, 1, &event, &index), S_OK);
        EXPECT_EQ(index, 0u);
        EXPECT_TRUE(ran);
        poster.join();
        ::close(event);
        CoUninitialize();
    }).join();
}
