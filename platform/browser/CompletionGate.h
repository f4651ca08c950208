// Holds a window's next page back until the page before it has been taken.
//
// A capture started by a page's DocumentComplete reads the window's Document
// a moment later, from its own thread, after it has connected to the
// history. A window that went on to the next page meanwhile would hand it
// that page's document: the first page would be saved with the second one's
// content. So a window that completes a page while the one before is still
// untaken (its event went to listeners, and nobody has read the document or
// said what became of it) waits with the new page until that happens, or
// for a bounded time, as a page that nobody captures is never read.
//
// Shared between the window's thread and its load workers; thread-safe.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

class CCompletionGate {
public:
    using Clock = std::chrono::steady_clock;

    // How long a completed page waits at most for the one before it.
    static constexpr std::chrono::milliseconds kPatience{3000};

    // The page's last DocumentComplete goes out now; `listened` tells
    // whether any sink hears it (nobody reads a page nobody heard of).
    void Fired(bool listened)
    {
        std::lock_guard lock(m_mutex);
        m_untaken = listened;
        m_firedAt = Clock::now();
    }
    // The page's document was read, or a listener said what became of it.
    void Taken()
    {
        {
            std::lock_guard lock(m_mutex);
            m_untaken = false;
        }
        m_changed.notify_all();
    }
    // How much longer a page completed now has to wait; zero when none.
    std::chrono::milliseconds Remaining() const
    {
        std::lock_guard lock(m_mutex);
        return RemainingLocked();
    }
    // Waits (on a load's worker) until Remaining is zero or *stop is set.
    void Wait(const std::atomic<bool>& stop)
    {
        std::unique_lock lock(m_mutex);
        while (!stop && RemainingLocked().count() > 0)
            m_changed.wait_for(lock, RemainingLocked());
    }
    // Wakes Wait so that it sees a stop flag just set.
    void Wake() { m_changed.notify_all(); }

private:
    std::chrono::milliseconds RemainingLocked() const
    {
        if (!m_untaken)
            return std::chrono::milliseconds(0);
        auto left = std::chrono::ceil<std::chrono::milliseconds>(m_firedAt + kPatience - Clock::now());
        return left.count() > 0 ? left : std::chrono::milliseconds(0);
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_untaken = false;
    Clock::time_point m_firedAt;
};
