// wayscribe-native-host: the native messaging host of the Wayscribe browser
// extension. The browser starts it when the extension connects and talks to
// it through standard input and output; see CNativeHost.h.
#include <fcntl.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "hosts/extension/CNativeHost.h"
#include "platform/browser/BrowserExtensions.h"

using namespace wys::extension;

namespace {

const char* const kUsage =
    "Usage: wayscribe-native-host [ORIGIN | MANIFEST EXTENSION-ID]\n"
    "Started by Chromium, Google Chrome or Firefox for the Wayscribe extension, which it\n"
    "talks to through standard input and output (native messaging): it keeps every page\n"
    "the browser's normal windows load in the Wayscribe history. Not for use by hand.\n";

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    if (::isatty(0)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // The channel to the browser is kept apart, and standard output goes to
    // standard error: whatever else writes to it (a helper object's
    // library) must never break the channel's framing.
    int channel = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    if (channel < 0 || ::dup2(2, 1) < 0) {
        std::fputs("wayscribe-native-host: cannot take over standard output\n", stderr);
        return 1;
    }
    // Termination signals end the host in order (every thread started
    // later inherits the mask, so only the signal descriptor sees them).
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC);
    ::signal(SIGPIPE, SIG_IGN);

    NativeHostOptions options;
    options.input = 0;
    options.output = channel;
    options.helperClasses = BrowserHelperObjects();
    if (options.helperClasses.empty())
        std::fputs("wayscribe-native-host: no helper object is registered; pages are not kept\n", stderr);
    int status = 0;
    {
        CNativeHost host(std::move(options));
        status = host.Run(signalFd);
    }
    return status;
}
