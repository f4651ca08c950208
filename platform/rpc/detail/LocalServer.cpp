#include "platform/rpc/detail/LocalServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "platform/rpc/LocalSocket.h"
#include "platform/rpc/detail/CConnection.h"

extern char** environ;

namespace wys::rpc {

namespace {

// A server that waits for its predecessor's lock may take as long as that
// one needs to save; beyond this the client gives up.
constexpr int kStartTimeoutMs = 30000;
constexpr const char* kReadyVariable = "WAYSCRIBE_COM_READY";

HRESULT FromErrno(int error)
{
    return HRESULT_FROM_WIN32(Win32ErrorFromErrno(error));
}

HRESULT EnsurePrivateFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return FromErrno(errno);
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return FromErrno(errno);
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return E_ACCESSDENIED;
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0)
        return FromErrno(errno);
    return S_OK;
}

// Server locks, held from the first registration of a class until exit.
std::mutex g_lockMutex;
std::map<CLSID, CFd>& ServerLocks()
{
    static auto* locks = new std::map<CLSID, CFd>;
    return *locks;
}

HRESULT HoldServerLock(const std::string& path, REFCLSID clsid)
{
    std::lock_guard lock(g_lockMutex);
    if (ServerLocks().count(clsid))
        return S_OK;
    CFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.IsValid())
        return FromErrno(errno);
    while (::flock(fd.Get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return FromErrno(errno);
    }
    ServerLocks().emplace(clsid, std::move(fd));
    return S_OK;
}

// Tells the client that started this process that clsid is served, through
// the socket it left as descriptor 3. The variable carries "<fd>:<pid>"; the
// pid keeps programs this server starts from writing into whatever
// descriptor has that number in them.
void AnnounceReady(REFCLSID clsid)
{
    static std::mutex mutex;
    static int readyFd = -2;
    std::lock_guard lock(mutex);
    if (readyFd == -2) {
        readyFd = -1;
        const char* value = std::getenv(kReadyVariable);
        int fd = -1;
        long pid = 0;
        if (value && std::sscanf(value, "%d:%ld", &fd, &pid) == 2 && pid == ::getpid()) {
            struct stat st;
            if (fd > 2 && ::fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode)) {
                ::fcntl(fd, F_SETFD, FD_CLOEXEC);
                readyFd = fd;
            }
        }
    }
    if (readyFd < 0)
        return;
    std::string line = GuidToString(clsid) + "\n";
    // The client may have given up and gone: then nobody needs to know (and
    // a socket, unlike a pipe, tells so without a signal).
    [[maybe_unused]] ssize_t n = ::send(readyFd, line.data(), line.size(), MSG_NOSIGNAL);
}

// Splits a command line at blanks; double quotes group.
std::vector<std::string> SplitCommandLine(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

CFd OpenLog(const std::string& program)
{
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/')
        base = state;
    else if (const char* home = std::getenv("HOME"))
        base = std::string(home) + "/.local/state";
    else
        return CFd(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    std::string folder = base + "/wayscribe";
    for (std::size_t slash = 1; slash != std::string::npos; slash = folder.find('/', slash + 1))
        ::mkdir(folder.substr(0, slash).c_str(), 0700);  // existing parts stay as they are
    ::mkdir(folder.c_str(), 0700);
    std::string name = program.substr(program.find_last_of('/') + 1);
    CFd fd(::open((folder + "/" + name + ".log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    if (!fd.IsValid())
        fd = CFd(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    return fd;
}

// Writes a decimal number; async-signal-safe, for use between fork and exec.
char* FormatNumber(char* out, long value)
{
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (n > 0)
        *out++ = digits[--n];
    return out;
}

// Runs the program detached (its own session, reparented away from this
// process) so that it neither dies with the client nor stays its zombie.
HRESULT Spawn(const std::vector<std::string>& words, int readyFd, int logFd)
{
    std::vector<char*> argv;
    for (const auto& w : words)
        argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    std::size_t prefix = std::strlen(kReadyVariable);
    for (char** e = environ; *e; ++e) {
        if (!(std::strncmp(*e, kReadyVariable, prefix) == 0 && (*e)[prefix] == '='))
            envp.push_back(*e);
    }
    char readySlot[96];
    envp.push_back(readySlot);
    envp.push_back(nullptr);
    int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0)
        return FromErrno(errno);
    pid_t child = ::fork();
    if (child < 0) {
        ::close(devNull);
        return FromErrno(errno);
    }
    if (child == 0) {
        ::setsid();
        if (::fork() != 0)
            ::_exit(0);
        // The server gets standard input and output on /dev/null, standard
        // error on its log, the ready socket as descriptor 3, and nothing
        // else of this process.
        constexpr int kReadyFd = 3;
        char* p = readySlot;
        for (const char* v = kReadyVariable; *v;)
            *p++ = *v++;
        *p++ = '=';
        p = FormatNumber(p, kReadyFd);
        *p++ = ':';
        p = FormatNumber(p, ::getpid());
        *p = '\0';
        int ready = ::fcntl(readyFd, F_DUPFD_CLOEXEC, 10);
        int log = ::fcntl(logFd, F_DUPFD_CLOEXEC, 10);
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(log, 2);
        ::dup2(ready, kReadyFd);
        ::close_range(kReadyFd + 1, ~0u, 0);
        ::signal(SIGPIPE, SIG_DFL);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(devNull);
    int status;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return S_OK;
}

}  // namespace

HRESULT LocalServerFolder(std::string* folder)
{
    std::string root;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        root = runtime;
    } else {
        root = "/tmp/wayscribe-" + std::to_string(::geteuid());
        if (HRESULT hr = EnsurePrivateFolder(root); FAILED(hr))
            return hr;
    }
    for (const char* part : {"/wayscribe", "/wayscribe/com"}) {
        if (HRESULT hr = EnsurePrivateFolder(root + part); FAILED(hr))
            return hr;
    }
    *folder = root + "/wayscribe/com";
    return S_OK;
}

std::string LocalServerPath(const std::string& folder, REFCLSID clsid, const char* suffix)
{
    return folder + "/" + GuidToString(clsid) + suffix;
}

CFd DialLocalServer(const std::string& path)
{
    CFd fd = DialLocalSocket(path);
    if (!fd.IsValid())
        return fd;
    ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) | O_NONBLOCK);
    return fd;
}

CListener::CListener(std::shared_ptr<CApartment> apartment, CFd fd, std::string path)
    : m_apartment(std::move(apartment)), m_fd(std::move(fd)), m_path(std::move(path))
{
}

void CListener::OnEvents(std::uint32_t)
{
    static std::atomic<std::uint64_t> s_nextPeer{1};
    for (;;) {
        CFd peer(::accept4(m_fd.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!peer.IsValid()) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;  // EAGAIN: all taken; anything else: try again on the next wake-up
        }
        if (!PeerIsThisUser(peer.Get()))
            continue;  // closes it: another user may not call this user's objects
        m_apartment->AddConnection(std::make_shared<CConnection>(
            m_apartment, std::move(peer), CConnection::Origin::Accepted, CConnection::Scope::OtherProcess,
            "peer:" + std::to_string(s_nextPeer++)));
    }
}

void CListener::Stop()
{
    if (!m_fd.IsValid())
        return;
    // Only this server may have bound the path: it holds the class's lock.
    ::unlink(m_path.c_str());
    m_apartment->Unwatch(this);
    m_fd.Close();
}

HRESULT ListenLocalServer(const std::shared_ptr<CApartment>& apartment, REFCLSID clsid,
                          std::shared_ptr<CListener>* listener)
{
    std::string folder;
    if (HRESULT hr = LocalServerFolder(&folder); FAILED(hr))
        return hr;
    if (HRESULT hr = HoldServerLock(LocalServerPath(folder, clsid, ".lock"), clsid); FAILED(hr))
        return hr;
    std::string path = LocalServerPath(folder, clsid, ".sock");
    if (!FitsSocketAddress(path))
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    // A socket file there was left by a server that was killed: the lock
    // held above says that none serves the class.
    CFd fd = ListenLocalSocket(path, 64, /*nonBlocking=*/true);
    if (!fd.IsValid())
        return FromErrno(errno);
    auto made = std::make_shared<CListener>(apartment, std::move(fd), path);
    apartment->Watch(made);
    *listener = made;
    AnnounceReady(clsid);
    return S_OK;
}

HRESULT StartLocalServer(CApartment& apartment, REFCLSID clsid, const std::string& commandLine,
                         FunctionRef<bool()> running)
{
    std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty())
        return CO_E_APPNOTFOUND;
    words.push_back("-Embedding");
    std::string folder;
    if (HRESULT hr = LocalServerFolder(&folder); FAILED(hr))
        return hr;
    CFd startLock(
        ::open(LocalServerPath(folder, clsid, ".start").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!startLock.IsValid())
        return FromErrno(errno);
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    // Another client may be starting the server: wait for it, dispatching.
    while (::flock(startLock.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return FromErrno(errno);
        if (Clock::now() > deadline)
            return CO_E_SERVER_EXEC_FAILURE;
        apartment.Wait([] { return false; }, 5);
    }
    if (running())
        return S_OK;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return FromErrno(errno);
    CFd readEnd(pair[0]);
    CFd writeEnd(pair[1]);
    CFd log = OpenLog(words.front());
    if (HRESULT hr = Spawn(words, writeEnd.Get(), log.Get()); FAILED(hr))
        return hr;
    writeEnd.Close();
    std::string wanted = GuidToString(clsid) + "\n";
    std::string heard;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return CO_E_SERVER_EXEC_FAILURE;
        auto result = apartment.Wait([] { return false; }, static_cast<int>(left), readEnd.Get());
        if (result != CApartment::WaitResult::FdReady)
            continue;
        char buffer[256];
        ssize_t n = ::read(readEnd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return CO_E_SERVER_EXEC_FAILURE;  // it ended (or never ran) without serving
        heard.append(buffer, static_cast<std::size_t>(n));
        if (heard.find(wanted) != std::string::npos)
            return S_OK;
    }
}

}  // namespace wys::rpc
