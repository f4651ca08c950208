// wayscribe-capture: captures pages through the headless browser host (see
// CaptureCommandLine.h for usage). The host is kept running between
// commands, so that a script that captures one page after another pays for
// starting it once; when it is busy with another command or cannot be had,
// this command runs in a host process of its own, as the same command.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "hosts/capture/CaptureClient.h"
#include "hosts/capture/CaptureCommandLine.h"

using namespace wys::capture;

int main(int argc, char** argv)
{
    // Usage is answered here: it needs no browser.
    CaptureCommandLine line = ParseCaptureCommandLine(argc, argv);
    if (std::optional<int> answered = AnswerUsage(line))
        return *answered;
    const std::string host = CaptureHostProgram();
    std::vector<std::string> arguments(argv, argv + argc);
    int status = 1;
    if (CaptureThroughHost(host, arguments, status))
        return status;
    std::fflush(stdout);
    ::execv(host.c_str(), argv);
    std::fprintf(stderr, "wayscribe-capture: cannot run %s: %s\n", host.c_str(), std::strerror(errno));
    return 1;
}
