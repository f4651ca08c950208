#include "hosts/browser/BrowserCommandLine.h"

#include <string_view>

namespace wys::browser_host {

BrowserCommandLine ParseBrowserCommandLine(int argc, const char* const* argv)
{
    BrowserCommandLine line;
    bool targetsOnly = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i] ? argv[i] : "";
        if (!targetsOnly && argument == "--") {
            targetsOnly = true;
        } else if (!targetsOnly && (argument == "--help" || argument == "-h")) {
            line.help = true;
        } else if (!targetsOnly && argument == "--band") {
            line.band = BandAtStart::Open;
        } else if (!targetsOnly && argument.starts_with("--band=")) {
            line.band = BandAtStart::Open;
            line.bandClass = GuidFromString(argument.substr(7));
            if (!line.bandClass)
                line.error = "not a class identifier: " + std::string(argument.substr(7));
        } else if (!targetsOnly && argument == "--no-band") {
            line.band = BandAtStart::None;
        } else if (!targetsOnly && argument.starts_with("-") && argument.size() > 1) {
            line.error = "unknown option " + std::string(argument);
        } else if (line.target.empty()) {
            line.target = argument;
        } else {
            line.error = "one target at most; a new window is a new wayscribe-browser";
        }
        if (!line.error.empty())
            break;
    }
    return line;
}

std::string BrowserUsage()
{
    return "Usage: wayscribe-browser [--band[=CLSID] | --no-band] [URL | PATH]\n"
           "A browser window that keeps every page you visit in the Wayscribe history.\n"
           "  --band[=CLSID]  open an explorer bar at start (default: the Wayscribe band)\n"
           "  --no-band       open none (default: the one the last window had open)\n";
}

}  // namespace wys::browser_host
