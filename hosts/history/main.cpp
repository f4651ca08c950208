// wayscribe-history: the history from the command line. A client of the
// history server like any browser window: it creates the URL base class,
// which starts WYSCHelper when it is not running.
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/un.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "common/IWYSCURLBase.h"
#include "common/UrlBaseConnection.h"
#include "hosts/history/CHistoryClient.h"
#include "hosts/history/HistoryCommand.h"
#include "platform/com/ComPtr.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"

using namespace wys::history;

namespace {

// The history object, or the exit status after a message saying why not.
int Connect(ComPtr<IWYSCURLBase>* history)
{
    HRESULT hr = wys::ConnectUrlBase(history);
    if (hr == REGDB_E_CLASSNOTREG) {
        std::cerr << "wayscribe-history: the history server is not registered; register it with "
                     "\"WYSCHelper /RegServer\"\n";
        return kExitUnreachable;
    }
    if (hr == HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE)) {
        std::string socket;
        LocalServerSocketPath(CLSID_WYSCURLBase, &socket);
        std::cerr << "wayscribe-history: the history server cannot be reached: the path of its socket, "
                  << socket << ", is too long for a Unix socket (" << socket.size() << " bytes, at most "
                  << sizeof(sockaddr_un::sun_path) - 1 << "); set XDG_RUNTIME_DIR to a shorter folder ("
                  << HResultText(hr) << ")\n";
        return kExitUnreachable;
    }
    if (FAILED(hr)) {
        std::cerr << "wayscribe-history: the history server cannot be reached (" << HResultText(hr) << ")\n";
        return kExitUnreachable;
    }
    return kExitDone;
}

// A descriptor that becomes readable on SIGINT, SIGTERM or SIGHUP; the
// signals are blocked first, in this thread and so in every later one.
int InterruptionFd()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return ::signalfd(-1, &set, SFD_CLOEXEC);
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    ParsedHistoryCommand parsed = ParseHistoryCommand(args);
    if (!parsed.command) {
        std::cerr << "wayscribe-history: " << parsed.error << "\n"
                  << "Try \"wayscribe-history --help\".\n";
        return kExitUsage;
    }
    const HistoryCommand& command = *parsed.command;
    if (command.verb == HistoryVerb::Help) {
        std::cout << HistoryUsage();
        return kExitDone;
    }
    int interruption = command.verb == HistoryVerb::Watch ? InterruptionFd() : -1;
    if (command.verb == HistoryVerb::Watch && interruption < 0) {
        std::cerr << "wayscribe-history: cannot watch for interruption\n";
        return kExitRefused;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::cerr << "wayscribe-history: cannot start the component runtime\n";
        return kExitUnreachable;
    }
    int status;
    {
        ComPtr<IWYSCURLBase> history;
        status = Connect(&history);
        if (status == kExitDone) {
            CHistoryClient client(history.Get(), std::cout, std::cerr);
            status = command.verb == HistoryVerb::Watch ? client.Watch(interruption) : client.Run(command);
        }
    }
    CoUninitialize();
    if (interruption >= 0)
        ::close(interruption);
    return status;
}
