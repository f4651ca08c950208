// An auto-reset event: Set lets exactly one wait through (the one waiting,
// or the next one to come), then the event is clear again. Any thread may
// set it and wait on it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace wys::server {

class CAutoResetEvent {
public:
    void Set()
    {
        {
            std::lock_guard lock(m_mutex);
            m_signalled = true;
        }
        m_changed.notify_one();
    }

    // Waits until the event is set and clears it.
    void Wait()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_signalled; });
        m_signalled = false;
    }

    // Like Wait, for at most `timeout`. True when the event was set (and is
    // now clear), false when the time ran out.
    bool WaitFor(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, timeout, [this] { return m_signalled; }))
            return false;
        m_signalled = false;
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_signalled = false;
};

}  // namespace wys::server
