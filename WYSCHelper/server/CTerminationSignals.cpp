#include "WYSCHelper/server/CTerminationSignals.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace wys::server {

namespace {

sigset_t TerminationSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

CTerminationSignals::CTerminationSignals()
{
    sigset_t set = TerminationSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

CTerminationSignals::~CTerminationSignals()
{
    if (m_watcher.joinable()) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(m_stopFd, &one, sizeof one);
        m_watcher.join();
    }
    if (m_signalFd >= 0)
        ::close(m_signalFd);
    if (m_stopFd >= 0)
        ::close(m_stopFd);
    sigset_t set = TerminationSet();
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

bool CTerminationSignals::Start(std::function<void(int signal)> onSignal)
{
    if (m_watcher.joinable())
        return false;
    sigset_t set = TerminationSet();
    m_signalFd = ::signalfd(-1, &set, SFD_CLOEXEC);
    m_stopFd = ::eventfd(0, EFD_CLOEXEC);
    if (m_signalFd >= 0 && m_stopFd >= 0) {
        m_onSignal = std::move(onSignal);
        try {
            m_watcher = std::thread([this] { Watch(); });
            return true;
        } catch (const std::system_error&) {
        }
    }
    // Nobody would take them: a blocked signal must not be swallowed.
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return false;
}

void CTerminationSignals::Watch()
{
    for (;;) {
        pollfd fds[2] = {{m_signalFd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        signalfd_siginfo info;
        if (::read(m_signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            m_onSignal(static_cast<int>(info.ssi_signo));
    }
}

}  // namespace wys::server
