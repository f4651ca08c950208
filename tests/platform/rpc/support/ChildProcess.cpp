#include "tests/platform/rpc/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/rpc/Apartment.h"

namespace wys::test {

void CChildChannel::Send(const std::string& line)
{
    std::string text = line + "\n";
    [[maybe_unused]] ssize_t n = ::write(m_out, text.data(), text.size());
}

std::string CChildChannel::Receive(int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (auto end = m_buffer.find('\n'); end != std::string::npos) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return "";
        DWORD index;
        HRESULT hr = CoWaitForMultipleHandles(0, static_cast<DWORD>(left.count()), 1, &m_in, &index);
        if (hr == CO_E_NOTINITIALIZED || hr == E_INVALIDARG) {
            pollfd fd{m_in, POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0)
                return "";
        } else if (FAILED(hr)) {
            return "";
        }
        char chunk[256];
        ssize_t n = ::read(m_in, chunk, sizeof chunk);
        if (n <= 0)
            return "";
        m_buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

CChildProcess::CChildProcess(const std::function<int(CChildChannel&)>& body)
{
    int down[2];
    int up[2];
    if (::pipe2(down, O_CLOEXEC) != 0 || ::pipe2(up, O_CLOEXEC) != 0)
        return;
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(down[1]);
        ::close(up[0]);
        CChildChannel channel(down[0], up[1]);
        ::_exit(body(channel));
    }
    ::close(down[0]);
    ::close(up[1]);
    m_toChild = down[1];
    m_fromChild = CChildChannel(up[0], -1);
}

CChildProcess::~CChildProcess()
{
    if (m_pid > 0) {
        Kill();
        Wait(5000);
    }
    ::close(m_toChild);
}

void CChildProcess::Send(const std::string& line)
{
    std::string text = line + "\n";
    [[maybe_unused]] ssize_t n = ::write(m_toChild, text.data(), text.size());
}

std::string CChildProcess::Receive(int timeoutMs)
{
    return m_fromChild.Receive(timeoutMs);
}

int CChildProcess::Wait(int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_pid > 0) {
        int status = 0;
        pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

void CChildProcess::Kill()
{
    if (m_pid > 0)
        ::kill(m_pid, SIGKILL);
}

bool WaitForProcessEnd(pid_t pid, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return true;
        if (::kill(pid, 0) != 0 && errno == ESRCH)
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace wys::test
