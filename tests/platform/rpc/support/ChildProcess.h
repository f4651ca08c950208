// A forked copy of the test process that runs one function as another
// client, talking with the test through two pipes of text lines. Fork before
// the test enters an apartment or starts threads: the child starts from the
// test's state at that moment.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace wys::test {

// The child's end: lines to and from the test.
class CChildChannel {
public:
    CChildChannel(int in, int out) : m_in(in), m_out(out) {}
    void Send(const std::string& line);
    // The next line, or "" after `timeoutMs` or at the end of input. Keeps
    // the child's apartment dispatching while it waits.
    std::string Receive(int timeoutMs = 20000);

private:
    int m_in;
    int m_out;
    std::string m_buffer;
};

class CChildProcess {
public:
    // The child runs body and exits with its result (without the test's
    // exit handlers, which belong to the parent).
    explicit CChildProcess(const std::function<int(CChildChannel&)>& body);
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    void Send(const std::string& line);
    std::string Receive(int timeoutMs = 20000);
    // The exit code; -1 when it was killed or did not end in time.
    int Wait(int timeoutMs = 20000);
    void Kill();

private:
    pid_t m_pid = -1;
    int m_toChild = -1;
    CChildChannel m_fromChild{-1, -1};
};

// Waits until process `pid` (a child, or an orphan this subreaper adopted)
// has ended, reaping it. False after `timeoutMs`.
bool WaitForProcessEnd(pid_t pid, int timeoutMs);

}  // namespace wys::test
