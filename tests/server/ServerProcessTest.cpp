#include "tests/server/ServerProcessTest.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "WYSCHelper/CIndexFile.h"
#include "common/StringConvert.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/registry/Registry.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "tests/platform/rpc/support/ChildProcess.h"

namespace wys::test {

std::string ServerProgram()
{
    return WYS_SERVER_PROGRAM;
}

int RunProgram(const std::vector<std::string>& argv, std::string* output, std::string* errors, int timeoutMs)
{
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        return -1;
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string collected[2];
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    bool killed = false;
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid, SIGKILL);
            killed = true;
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents)
                continue;
            char buffer[4096];
            ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                collected[i].append(buffer, static_cast<std::size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& fd : fds) {
        if (fd.fd >= 0)
            ::close(fd.fd);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (output)
        *output = collected[0];
    if (errors)
        *errors = collected[1];
    if (killed || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

ComPtr<IWYSCURLBase> CreateHistory(HRESULT* result)
{
    ComPtr<IUnknown> object;
    ComPtr<IWYSCURLBase> history;
    HRESULT hr = CoCreateInstance(CLSID_WYSCURLBase, nullptr, CLSCTX_SERVER, IID_IUnknown, object.PutVoid());
    if (SUCCEEDED(hr))
        hr = OleRun(object.Get());
    if (SUCCEEDED(hr))
        hr = object.As(&history);
    if (result)
        *result = hr;
    return SUCCEEDED(hr) ? history : nullptr;
}

ULONG CountOf(IWYSCURLBase* history)
{
    ULONG count = 0;
    return SUCCEEDED(history->get_DataCount(&count)) ? count : kNoRecord;
}

std::string UrlAt(IWYSCURLBase* history, ULONG index)
{
    CUrlDateHolder record;
    if (FAILED(history->GetData(record.Receive(), index)))
        return "?";
    return BstrToNarrow(record.Url);
}

HRESULT AddVisit(IWYSCURLBase* history, const std::string& folder, std::int64_t time, const std::string& url)
{
    std::string name = url.substr(url.find_last_of('/') + 1) + ".htm";
    WriteFile(folder + "/" + name, "<html></html>");
    CComBSTR u(url);
    CComBSTR p(name);
    _URL_DATE_ record{time, u, p, nullptr};
    return history->AddData(record);
}

DWORD AdviseSink(IWYSCURLBase* history, IUnknown* sink)
{
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    if (FAILED(FindConnectionPointOf(history, DIID_IWYSCURLBaseEvents, point.GetAddressOf())) ||
        FAILED(point->Advise(sink, &cookie)))
        return 0;
    return cookie;
}

pid_t ListenerPid(const std::string& socketPath)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    pid_t pid = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        ucred credentials{};
        socklen_t size = sizeof credentials;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0)
            pid = credentials.pid;
    }
    ::close(fd);
    return pid;
}

std::int64_t Now()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

void ServerProcessTest::SetUp()
{
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);  // servers are orphans: let them end here
    std::string errors;
    ASSERT_EQ(RunProgram({ServerProgram(), "/RegServer"}, nullptr, &errors), 0) << errors;
    std::filesystem::create_directories(History());
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Quillonix\\WYSCUrlBase", 0, nullptr, 0, KEY_WRITE,
                             nullptr, &key, nullptr),
              ERROR_SUCCESS);
    std::string folder = History();
    RegSetValueEx(key, "BasePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                  static_cast<DWORD>(folder.size() + 1));
    RegCloseKey(key);
}

void ServerProcessTest::TearDown()
{
    LeaveApartment();
    if (pid_t serving = ListenerPid(SocketPath()))
        m_servers.insert(serving);
    for (pid_t pid : m_servers) {
        ::kill(pid, SIGTERM);
        if (!WaitForProcessEnd(pid, 10000)) {
            ADD_FAILURE() << "server " << pid << " did not end on SIGTERM";
            ::kill(pid, SIGKILL);
            WaitForProcessEnd(pid, 5000);
        }
    }
    std::string log = Log();
    EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << log;
    EXPECT_EQ(log.find("runtime error"), std::string::npos) << log;
}

void ServerProcessTest::EnterApartment()
{
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    m_inApartment = true;
}

void ServerProcessTest::LeaveApartment()
{
    if (m_inApartment)
        CoUninitialize();
    m_inApartment = false;
}

pid_t ServerProcessTest::ServerPid()
{
    pid_t pid = ListenerPid(SocketPath());
    if (pid > 0)
        m_servers.insert(pid);
    return pid;
}

std::string ServerProcessTest::SocketPath() const
{
    return m_home.RuntimeDir() + "/wayscribe/com/" + GuidToString(CLSID_WYSCURLBase) + ".sock";
}

std::string ServerProcessTest::Log() const
{
    return ReadFile(m_home.Home() + "/.local/state/wayscribe/WYSCHelper.log");
}

std::vector<std::string> ServerProcessTest::IndexUrls() const
{
    CUrlRecordList list;
    CIndexFile::Read(CIndexFile::PathIn(History()), &list);
    std::vector<std::string> urls;
    for (const CUrlRecord& record : list)
        urls.push_back(BstrToNarrow(record.Url));
    return urls;
}

}  // namespace wys::test
