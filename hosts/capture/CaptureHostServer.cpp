#include "hosts/capture/CaptureHostServer.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <cerrno>
#include <cstdio>
#include <vector>

#include "hosts/capture/CaptureCommand.h"
#include "hosts/capture/CaptureHostLink.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/LocalSocket.h"

namespace wys::capture {
namespace {

using wys::base::CFileDescriptor;
using wys::rpc::ListenLocalSocket;
using wys::rpc::PeerIsThisUser;

// A client that connected sends its request at once; one that does not is
// not waited for longer than this.
constexpr int kRequestWaitSeconds = 5;

#if defined(__SANITIZE_ADDRESS__)
// The exit status the leak checker gives a process that leaked.
constexpr int kLeakStatus = 23;
#endif

// Whether the socket file is still the one this host listens on: a test's
// home removed, or a newer host started in its place, ends this one.
bool StillOurs(const std::string& path, const struct stat& ours)
{
    struct stat now;
    return ::lstat(path.c_str(), &now) == 0 && now.st_dev == ours.st_dev && now.st_ino == ours.st_ino;
}

// Serves one request. False when the host must end instead: a helper
// object library it loaded has been replaced on disk, and a command must
// never run the code that was there before; that request is left to the
// client, which runs it in a process of its own.
bool Serve(int connection, int devNull)
{
    if (!PeerIsThisUser(connection))
        return true;
    timeval wait{kRequestWaitSeconds, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::vector<std::string> arguments;
    CFileDescriptor out, err;
    if (!ReceiveCaptureRequest(connection, arguments, out, err) || arguments.empty())
        return true;
    if (InprocServerLibrariesReplaced())
        return false;
    if (::send(connection, &kLinkTaken, 1, MSG_NOSIGNAL) != 1)
        return true;

    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    // The run writes to the client's own output, as in a process of its own.
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(out.Get(), STDOUT_FILENO);
    ::dup2(err.Get(), STDERR_FILENO);
    std::clearerr(stdout);
    std::clearerr(stderr);
    // The client sends nothing after its request: anything to read is its
    // end, a command interrupted or killed, which ends the run as it would
    // have ended the command's own process.
    auto clientGone = [connection] {
        pollfd watch{connection, POLLIN | POLLRDHUP, 0};
        return ::poll(&watch, 1, 0) > 0;
    };
    // The client's output is let go before it hears the status: whoever
    // reads it sees its end when the client ends.
    bool reported = false;
    auto report = [&](int status) {
        reported = true;
        std::fflush(stdout);
        std::fflush(stderr);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
        out.Close();
        err.Close();
        const char code = static_cast<char>(status);
        (void)::send(connection, &code, 1, MSG_NOSIGNAL);  // a client gone meanwhile needs nothing
    };
#if defined(__SANITIZE_ADDRESS__)
    // What a command leaked is told to that command and fails it, as its own
    // process would have at its end: the host's own end is seen by nobody.
    // So the status waits for the command's windows to close.
    int status = RunCaptureCommand(static_cast<int>(arguments.size()), argv.data(), clientGone);
    if (__lsan_do_recoverable_leak_check() != 0 && status == 0)
        status = kLeakStatus;
#else
    // The status goes as soon as the outcome is written; the windows close
    // after it.
    int status = RunCaptureCommand(static_cast<int>(arguments.size()), argv.data(), clientGone, report);
#endif
    if (!reported)
        report(status);
    return true;
}

}  // namespace

int ServeCaptures(const std::string& socketPath, int readyFd)
{
    // A client that goes away while its pages are written to its output
    // must not end the host.
    ::signal(SIGPIPE, SIG_IGN);
    CFileDescriptor ready(readyFd);
    CFileDescriptor listener = ListenLocalSocket(socketPath, 8, /*nonBlocking=*/false);
    if (!listener.IsValid())
        return 1;
    struct stat ours;
    if (::lstat(socketPath.c_str(), &ours) != 0)
        return 1;
    CFileDescriptor devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!devNull.IsValid())
        return 1;
    (void)::write(ready.Get(), "R", 1);  // the client sees a failure as the pipe's end
    ready.Close();

    // Memory freed after a page stays with the host for the next one:
    // handing it back and faulting it in again costs more than parsing a
    // page warm. It goes back once the host has been idle for a while.
    ::mallopt(M_TRIM_THRESHOLD, 512 << 20);
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
    bool trimmed = true;
    auto trimAt = std::chrono::steady_clock::now();
    auto idleUntil = std::chrono::steady_clock::now() + kHostIdle;
    for (int served = 0; served < kHostRequests;) {
        pollfd waiting{listener.Get(), POLLIN, 0};
        int polled = ::poll(&waiting, 1, 1000);
        if (polled < 0 && errno != EINTR)
            break;
        if (!StillOurs(socketPath, ours))
            return 0;
        if (polled > 0) {
            CFileDescriptor connection(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (connection.IsValid()) {
                if (!Serve(connection.Get(), devNull.Get()))
                    break;
                ++served;
                trimmed = false;
                trimAt = std::chrono::steady_clock::now() + kHostIdle / 3;
                idleUntil = std::chrono::steady_clock::now() + kHostIdle;
            }
        } else if (std::chrono::steady_clock::now() >= idleUntil) {
            break;
        } else if (!trimmed && std::chrono::steady_clock::now() >= trimAt) {
            ::malloc_trim(0);
            trimmed = true;
        }
    }
    // Gone from the folder first: a client that connected meanwhile hears
    // the end before kLinkTaken and runs its pages itself. Under the start
    // lock, so that a host started in its place is never the one removed.
    CFileDescriptor lock(
        ::open(HostFilePath(socketPath, ".start").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.IsValid())
        while (::flock(lock.Get(), LOCK_EX) != 0 && errno == EINTR) {
        }
    if (StillOurs(socketPath, ours)) {
        ::unlink(socketPath.c_str());
        // The lock files go too, or the folder would keep two files for every
        // environment a command ever ran in. A client that still holds one of
        // them at worst starts a second host, which takes the socket over;
        // a command that the host it replaces had not taken runs by itself.
        ::unlink(HostFilePath(socketPath, ".use").c_str());
        ::unlink(HostFilePath(socketPath, ".start").c_str());
    }
    return 0;
}

}  // namespace wys::capture
