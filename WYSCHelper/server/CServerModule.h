// The process state of the history server: the reasons to stay alive (the
// lock count), and the monitor thread that ends the server a while after
// the last reason went away.
//
// The lock count holds one for the clients of the URL base object (taken and
// given back by the class object) and one for each outstanding LockServer.
// Whenever it falls to 0 the module notes activity and wakes the monitor;
// the monitor posts WM_QUIT to the main thread once the count has stayed at 0
// for a whole time-out without activity. A client that comes back within the
// time-out keeps the server.
//
// Threads: Lock and Unlock may be called from any thread (the count is
// atomic); the monitor only reads the count and the activity flag and posts
// the quit message.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "WYSCHelper/server/CAutoResetEvent.h"
#include "platform/base/WinTypes.h"

namespace wys::server {

struct ServerTiming {
    // How long the count must stay at 0 without activity before the server quits.
    std::chrono::milliseconds timeOut{5000};
    // Slept after the class object was revoked and before the object is released.
    std::chrono::milliseconds pause{1000};
    // Off: the last Unlock posts the quit message at once.
    bool delayedShutdown = true;
};

class CServerModule {
public:
    explicit CServerModule(ServerTiming timing = {});
    // Stops a monitor that is still waiting (without posting anything) and joins it.
    ~CServerModule();
    CServerModule(const CServerModule&) = delete;
    CServerModule& operator=(const CServerModule&) = delete;

    // The thread whose message loop serves the clients; the quit message goes there.
    void SetMainThread(DWORD threadId) { m_mainThread = threadId; }
    DWORD MainThread() const { return m_mainThread; }
    const ServerTiming& Timing() const { return m_timing; }

    // One more reason to stay alive; returns the new count.
    LONG Lock();
    // One reason fewer; returns the new count. At 0 the shutdown begins: the
    // monitor is woken (delayed shutdown) or the quit message posted at once.
    LONG Unlock();
    LONG LockCount() const { return m_lockCount.load(); }

    // Starts the monitor thread; false when it cannot be started. Once.
    bool StartMonitor();
    // Wakes the monitor as a last Unlock would, so that a server that no
    // client ever asks for ends after the time-out instead of never.
    void ArmShutdown();
    // Whether the monitor has decided to quit and posted the quit message.
    bool MonitorPostedQuit() const { return m_postedQuit.load(); }

private:
    void MonitorShutdown();
    void PostQuit();

    ServerTiming m_timing;
    DWORD m_mainThread = 0;
    std::atomic<LONG> m_lockCount{0};
    std::atomic<bool> m_activity{false};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_postedQuit{false};
    CAutoResetEvent m_shutdownEvent;
    std::thread m_monitor;
};

}  // namespace wys::server
