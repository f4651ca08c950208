// Tests against the real history server program: each test gets a
// temporary home, registers WYSCHelper there with its own "/RegServer", and
// points the history folder into the home. Servers the tests started are
// ended at the end (SIGTERM: the orderly way, which saves and lets the
// sanitizers report into the server's log), and the log is checked.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "common/IWYSCURLBase.h"
#include "platform/com/ComPtr.h"
#include "tests/support/TempHome.h"

namespace wys::test {

// The server program under test.
std::string ServerProgram();

// Runs `argv` (argv[0] a path) to its end with standard input from
// /dev/null; *output (optional) gets standard output, *errors (optional)
// standard error. The exit code, or -1 when it was killed or outlived
// `timeoutMs` (it is killed then).
int RunProgram(const std::vector<std::string>& argv, std::string* output = nullptr,
               std::string* errors = nullptr, int timeoutMs = 30000);

// Creates the URL base class as every client does (any server context,
// running state, IWYSCURLBase). Null on failure, with the result in *hr.
ComPtr<IWYSCURLBase> CreateHistory(HRESULT* hr = nullptr);
// The number of records; kNoRecord when the call fails.
ULONG CountOf(IWYSCURLBase* history);
// The Url of the record at `index`, "?" when GetData fails.
std::string UrlAt(IWYSCURLBase* history, ULONG index);
// Makes a saved copy "<url's last part>.htm" in `folder` and adds the visit.
HRESULT AddVisit(IWYSCURLBase* history, const std::string& folder, std::int64_t time, const std::string& url);
// Advises `sink` on the history's events; 0 on failure.
DWORD AdviseSink(IWYSCURLBase* history, IUnknown* sink);
// The pid of the process that listens on `socketPath`; 0 when nobody does.
pid_t ListenerPid(const std::string& socketPath);
// The current time in seconds since 1970.
std::int64_t Now();

class ServerProcessTest : public TempHomeTest {
protected:
    void SetUp() override;
    void TearDown() override;

    void EnterApartment();
    void LeaveApartment();
    // The server serving the class now (0 when none), remembered for TearDown.
    pid_t ServerPid();
    std::string History() const { return m_home.Path() + "/history"; }
    std::string SocketPath() const;
    std::string Log() const;
    // The Urls in the history folder's index file, in file order.
    std::vector<std::string> IndexUrls() const;

    bool m_inApartment = false;
    std::set<pid_t> m_servers;
};

}  // namespace wys::test
