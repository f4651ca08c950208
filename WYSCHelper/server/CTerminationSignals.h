// Turns SIGTERM, SIGINT and SIGHUP into an orderly end: instead of dying
// with the history unsaved, the server is told on a thread of its own and
// leaves its message loop as it does after the time-out.
//
// Construct it on the main thread before any other thread starts: it blocks
// the signals in the calling thread, and threads started later inherit that,
// so only the watcher takes them.
#pragma once

#include <functional>
#include <thread>

namespace wys::server {

class CTerminationSignals {
public:
    CTerminationSignals();
    // Stops the watcher and unblocks the signals again.
    ~CTerminationSignals();
    CTerminationSignals(const CTerminationSignals&) = delete;
    CTerminationSignals& operator=(const CTerminationSignals&) = delete;

    // Starts watching; `onSignal` runs on the watcher thread with the
    // signal's number for each signal that arrives. False when the watcher
    // cannot be set up (the signals then keep their default action).
    bool Start(std::function<void(int signal)> onSignal);

private:
    void Watch();

    int m_signalFd = -1;
    int m_stopFd = -1;
    std::function<void(int)> m_onSignal;
    std::thread m_watcher;
};

}  // namespace wys::server
