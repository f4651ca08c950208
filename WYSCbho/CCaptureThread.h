// One capture thread: started by the helper object for a completed page, it
// runs in a single-threaded apartment of its own, reaches the browser only
// through the marshalled pointer of its request, opens its own URL base
// connection and runs the capture (CPageCapture) to its end.
//
// The handle is the helper object's: it tells whether the thread has ended,
// waits for it (dispatching the waiting apartment's incoming calls, so a
// capture waiting on a call into that apartment can go on), and asks it to
// stop. The thread itself is never joined: a thread told to stop ends at its
// next check by itself. While it runs it holds a lock on the component
// library.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "WYSCbho/CCaptureStop.h"
#include "platform/com/ComPtr.h"
#include "platform/rpc/Stream.h"

namespace wys::capture {

// What the browser's thread hands to a capture thread; the thread owns it
// once started.
struct CaptureRequest {
    std::string Url;
    std::int64_t Time = 0;
    ComPtr<IStream> BrowserStream;  // IWebBrowser2 marshalled for another thread
    std::string Title;
};

class CCaptureThread {
public:
    // Starts the thread with `request`. Null (the request freed) when no
    // thread can be started.
    static std::unique_ptr<CCaptureThread> Start(std::unique_ptr<CaptureRequest> request);

    ~CCaptureThread();
    CCaptureThread(const CCaptureThread&) = delete;
    CCaptureThread& operator=(const CCaptureThread&) = delete;

    bool HasEnded() const;
    // Waits up to `timeoutMs` for the end; whether it ended.
    bool WaitForEnd(unsigned timeoutMs) const;
    // The thread ends at its next check, without a record.
    void RequestStop();

    struct State;

private:
    explicit CCaptureThread(std::shared_ptr<State> state) : m_state(std::move(state)) {}

    std::shared_ptr<State> m_state;
};

// Runs one capture on the calling thread, from entering the apartment to
// leaving it; what the thread of CCaptureThread::Start runs. Every failure
// ends the capture silently.
void RunCapture(std::unique_ptr<CaptureRequest> request, const CaptureStopRef& stop);

// Stops every capture still running in this process and waits up to
// `timeoutMs` for them to end; done when the library goes away with the
// process, so that no capture runs on into torn-down state.
void StopAllCaptures(unsigned timeoutMs);

}  // namespace wys::capture
