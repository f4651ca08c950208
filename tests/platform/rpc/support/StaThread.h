// A thread that runs a single-threaded apartment with a message loop, for
// tests that need objects living on another thread.
#pragma once

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "platform/rpc/Apartment.h"

namespace wys::test {

class CStaThread {
public:
    CStaThread()
    {
        std::promise<DWORD> started;
        auto id = started.get_future();
        m_thread = std::thread([&started] {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            started.set_value(GetCurrentThreadId());
            RunMessageLoop();
            CoUninitialize();
        });
        m_id = id.get();
    }
    ~CStaThread() { Quit(); }
    CStaThread(const CStaThread&) = delete;
    CStaThread& operator=(const CStaThread&) = delete;

    DWORD Id() const { return m_id; }

    // Runs `f` on the thread's apartment and returns its result. A caller
    // in an apartment keeps dispatching its own incoming calls meanwhile.
    template <class F>
    auto Run(F f) -> decltype(f())
    {
        using R = decltype(f());
        int done = ::eventfd(0, EFD_CLOEXEC);
        std::promise<R> result;
        PostToApartment(m_id, [&] {
            if constexpr (std::is_void_v<R>) {
                f();
                result.set_value();
            } else {
                result.set_value(f());
            }
            std::uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(done, &one, sizeof one);
        });
        DWORD index;
        if (FAILED(CoWaitForMultipleHandles(0, INFINITE, 1, &done, &index))) {
            pollfd fd{done, POLLIN, 0};
            ::poll(&fd, 1, -1);
        }
        ::close(done);
        return result.get_future().get();
    }

    void Quit()
    {
        if (m_thread.joinable()) {
            PostThreadMessage(m_id, WM_QUIT, 0, 0);
            m_thread.join();
        }
    }

private:
    std::thread m_thread;
    DWORD m_id = 0;
};

}  // namespace wys::test
