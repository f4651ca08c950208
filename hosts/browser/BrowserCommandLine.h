// The command line of wayscribe-browser:
//   wayscribe-browser [--band[=CLSID]] [--no-band] [TARGET]
// TARGET is a URL or a path (what "iexplore.exe " + target passes).
// --band opens an explorer bar at start: the one named, else the Wayscribe
// band; --no-band opens none. Without either, the window reopens the
// explorer bar the last window had open.
#pragma once

#include <optional>
#include <string>

#include "platform/com/Guid.h"

namespace wys::browser_host {

enum class BandAtStart { Remembered, Open, None };

struct BrowserCommandLine {
    std::string target;  // empty: a blank window
    BandAtStart band = BandAtStart::Remembered;
    std::optional<CLSID> bandClass;  // with Open: the bar asked for; none: the Wayscribe band
    bool help = false;
    std::string error;  // why the line was refused; empty when it was taken
};

BrowserCommandLine ParseBrowserCommandLine(int argc, const char* const* argv);
std::string BrowserUsage();

}  // namespace wys::browser_host
