// The stop flag of one capture. This platform cannot end a thread from the
// outside safely, so a capture that has to end early is asked to: the helper
// object sets the flag, and the capture checks it between its steps and
// between the reads of every download, ending at its next check as if it had
// been terminated there (files written so far stay, no record is added).
//
// Thread-safe: one thread sets, the capture thread reads.
#pragma once

#include <atomic>
#include <memory>

#include "platform/com/ComError.h"

namespace wys::capture {

class CCaptureStop {
public:
    void RequestStop() { m_stop.store(true, std::memory_order_release); }
    bool IsStopRequested() const { return m_stop.load(std::memory_order_acquire); }

    // Throws ComError(E_ABORT) once a stop has been asked for.
    void ThrowIfStopped() const
    {
        if (IsStopRequested())
            throw ComError(E_ABORT);
    }

private:
    std::atomic<bool> m_stop{false};
};

// The flag as captures and their owners share it; may be null where nothing
// can stop the work.
using CaptureStopRef = std::shared_ptr<const CCaptureStop>;

inline bool IsStopRequested(const CaptureStopRef& stop)
{
    return stop && stop->IsStopRequested();
}

}  // namespace wys::capture
