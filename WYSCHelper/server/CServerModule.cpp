#include "WYSCHelper/server/CServerModule.h"

#include <system_error>

#include "platform/rpc/MessageLoop.h"

namespace wys::server {

CServerModule::CServerModule(ServerTiming timing) : m_timing(timing) {}

CServerModule::~CServerModule()
{
    if (m_monitor.joinable()) {
        m_stopping = true;
        m_shutdownEvent.Set();
        m_monitor.join();
    }
}

LONG CServerModule::Lock()
{
    return ++m_lockCount;
}

LONG CServerModule::Unlock()
{
    LONG left = --m_lockCount;
    if (left == 0) {
        if (m_timing.delayedShutdown) {
            m_activity = true;
            m_shutdownEvent.Set();
        } else {
            PostQuit();
        }
    }
    return left;
}

bool CServerModule::StartMonitor()
{
    if (m_monitor.joinable())
        return false;
    try {
        m_monitor = std::thread([this] { MonitorShutdown(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CServerModule::ArmShutdown()
{
    m_activity = true;
    m_shutdownEvent.Set();
}

void CServerModule::MonitorShutdown()
{
    for (;;) {
        m_shutdownEvent.Wait();
        if (m_stopping)
            return;
        // Each wake-up within the time-out starts the time-out again.
        do {
            m_activity = false;
        } while (m_shutdownEvent.WaitFor(m_timing.timeOut) && !m_stopping);
        if (m_stopping)
            return;
        if (!m_activity && m_lockCount == 0)
            break;
    }
    PostQuit();
}

void CServerModule::PostQuit()
{
    m_postedQuit = true;
    PostThreadMessage(m_mainThread, WM_QUIT, 0, 0);
}

}  // namespace wys::server
