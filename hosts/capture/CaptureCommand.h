// What wayscribe-capture does with its command line, in the process that
// holds the browser windows: the whole run of one command, its outcome
// printed to standard output and error. See CaptureCommandLine.h for usage.
#pragma once

#include <functional>

namespace wys::capture {

// The exit status: 0 when every page was recorded, 1 when any was not or
// the history could not be reached, 2 for a usage error. Initialises the
// component runtime on the calling thread for the run and uninitialises it
// after. `abandoned`, when given, tells that nobody waits for the outcome
// any more (CCaptureSession). `finished`, when given, hears the exit status
// as soon as the outcome is printed, before the windows close.
int RunCaptureCommand(int argc, const char* const* argv, std::function<bool()> abandoned = {},
                      std::function<void(int)> finished = {});

}  // namespace wys::capture
