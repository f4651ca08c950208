// wayscribe-capture-host: the headless browser host. Loads pages in browser
// windows without a display, with the helper objects installed for browser
// windows, and reports whether each page's capture reached the history.
//
//   wayscribe-capture-host [--timeout SECONDS] URL...   one command, as wayscribe-capture
//   wayscribe-capture-host --serve SOCKET               kept running for wayscribe-capture,
//                                                       readiness told on descriptor 3
#include <string_view>

#include "hosts/capture/CaptureCommand.h"
#include "hosts/capture/CaptureHostServer.h"

int main(int argc, char** argv)
{
    if (argc == 3 && std::string_view(argv[1]) == "--serve")
        return wys::capture::ServeCaptures(argv[2], 3);
    return wys::capture::RunCaptureCommand(argc, argv);
}
