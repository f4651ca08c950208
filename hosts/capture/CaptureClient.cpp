#include "hosts/capture/CaptureClient.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "hosts/capture/CaptureHostLink.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/LocalSocket.h"

extern char** environ;

namespace wys::capture {
namespace {

using wys::base::CFileDescriptor;
using wys::rpc::DialLocalSocket;
using wys::rpc::FitsSocketAddress;

// A host takes well under a second to start; one that takes this long is
// not waited for.
constexpr int kHostStartMilliseconds = 10000;

class CFnv64 {
public:
    void Add(std::string_view text)
    {
        for (unsigned char c : text) {
            m_hash ^= c;
            m_hash *= 0x100000001b3ull;
        }
        m_hash ^= 0xFF;  // ends the field: "ab" + "c" is not "a" + "bc"
        m_hash *= 0x100000001b3ull;
    }
    std::uint64_t Value() const { return m_hash; }

private:
    std::uint64_t m_hash = 0xcbf29ce484222325ull;
};

// The name of the host that serves exactly this client: the same host
// program (the very file), working folder, file mask, priority, limits and
// environment. A client that differs in any of them gets a host of its own,
// so a page never comes out otherwise than in a process of its own.
std::optional<std::string> HostName(const std::string& hostProgram)
{
    struct stat program;
    if (::stat(hostProgram.c_str(), &program) != 0)
        return std::nullopt;
    CFnv64 hash;
    hash.Add(hostProgram);
    for (auto value :
         {static_cast<std::uint64_t>(program.st_dev), static_cast<std::uint64_t>(program.st_ino),
          static_cast<std::uint64_t>(program.st_size), static_cast<std::uint64_t>(program.st_mtim.tv_sec),
          static_cast<std::uint64_t>(program.st_mtim.tv_nsec)})
        hash.Add(std::to_string(value));
    std::error_code error;
    std::filesystem::path folder = std::filesystem::current_path(error);
    if (error)
        return std::nullopt;
    hash.Add(folder.string());
    mode_t mask = ::umask(0);
    ::umask(mask);
    hash.Add(std::to_string(mask));
    // What a command started with `nice` or under `ulimit` is held to. A
    // limit of processor time counts over a host's whole life, not per
    // command: such a command runs by itself.
    rlimit cpu{};
    if (::getrlimit(RLIMIT_CPU, &cpu) != 0 || cpu.rlim_cur != RLIM_INFINITY)
        return std::nullopt;
    hash.Add(std::to_string(::getpriority(PRIO_PROCESS, 0)));
    for (int resource : {RLIMIT_AS, RLIMIT_DATA, RLIMIT_FSIZE, RLIMIT_NOFILE, RLIMIT_STACK}) {
        rlimit limit{};
        ::getrlimit(resource, &limit);
        hash.Add(std::to_string(limit.rlim_cur) + "/" + std::to_string(limit.rlim_max));
    }
    std::vector<std::string_view> variables;
    for (char** entry = environ; *entry; ++entry) {
        // The shell's "_" names the command just run, not a setting.
        if (!std::string_view(*entry).starts_with("_="))
            variables.emplace_back(*entry);
    }
    std::sort(variables.begin(), variables.end());
    for (std::string_view variable : variables)
        hash.Add(variable);
    char name[32];
    std::snprintf(name, sizeof name, "capture-%016" PRIx64, hash.Value());
    return std::string(name);
}

CFileDescriptor LockFile(const std::string& path, int operation)
{
    CFileDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.IsValid())
        return fd;
    int result;
    while ((result = ::flock(fd.Get(), operation)) != 0 && errno == EINTR) {
    }
    return result == 0 ? std::move(fd) : CFileDescriptor();
}

// Starts the host in a session of its own (a signal to this client's
// terminal is not one to the host), with nothing of this client's open but
// the pipe it tells its readiness on. True once it listens.
bool StartHost(const std::string& hostProgram, const std::string& socketPath)
{
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return false;
    CFileDescriptor readEnd(pipe[0]), writeEnd(pipe[1]);
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::setsid();
        int devNull = ::open("/dev/null", O_RDWR);
        if (devNull < 0)
            ::_exit(127);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
        ::dup2(writeEnd.Get(), 3);
        ::close_range(4, ~0u, 0);
        ::signal(SIGPIPE, SIG_DFL);
        ::execl(hostProgram.c_str(), hostProgram.c_str(), "--serve", socketPath.c_str(), nullptr);
        ::_exit(127);
    }
    writeEnd.Close();
    pollfd waiting{readEnd.Get(), POLLIN, 0};
    char ready = 0;
    int polled;
    while ((polled = ::poll(&waiting, 1, kHostStartMilliseconds)) < 0 && errno == EINTR) {
    }
    return polled > 0 && ::read(readEnd.Get(), &ready, 1) == 1 && ready == 'R';
}

}  // namespace

std::string CaptureHostProgram()
{
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return "wayscribe-capture-host";
    return (self.parent_path() / "wayscribe-capture-host").string();
}

bool CaptureThroughHost(const std::string& hostProgram, const std::vector<std::string>& arguments,
                        int& status)
{
    std::string folder;
    std::optional<std::string> name = HostName(hostProgram);
    if (!name || FAILED(LocalServerFolderPath(&folder)))
        return false;
    const std::string socketPath = folder + "/" + *name + ".sock";
    if (!FitsSocketAddress(socketPath))
        return false;
    // Held until this client ends: a second client meanwhile runs its pages
    // itself instead of waiting behind this one.
    CFileDescriptor use = LockFile(HostFilePath(socketPath, ".use"), LOCK_EX | LOCK_NB);
    if (!use.IsValid())
        return false;
    CFileDescriptor connection = DialLocalSocket(socketPath);
    if (!connection.IsValid()) {
        CFileDescriptor start = LockFile(HostFilePath(socketPath, ".start"), LOCK_EX);
        if (!start.IsValid())
            return false;
        connection = DialLocalSocket(socketPath);
        if (!connection.IsValid() && StartHost(hostProgram, socketPath))
            connection = DialLocalSocket(socketPath);
        if (!connection.IsValid())
            return false;
    }
    // A host gone while the request is written is an answer, not a reason
    // to end.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    char taken = 0;
    const bool sent = SendCaptureRequest(connection.Get(), arguments, STDOUT_FILENO, STDERR_FILENO) &&
                      ReadExactly(connection.Get(), &taken, 1) && taken == kLinkTaken;
    ::sigaction(SIGPIPE, &previous, nullptr);
    if (!sent)
        return false;
    char code = 0;
    if (!ReadExactly(connection.Get(), &code, 1)) {
        std::fputs("wayscribe-capture: the capture host ended before the pages were done\n", stderr);
        status = 1;
        return true;
    }
    status = static_cast<unsigned char>(code);
    return true;
}

}  // namespace wys::capture
