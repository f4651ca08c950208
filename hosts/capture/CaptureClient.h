// The side of wayscribe-capture that finds a running capture host for its
// command line, or starts one, and waits for the host to run it
// (CaptureHostLink.h, CaptureHostServer.h).
#pragma once

#include <string>
#include <vector>

namespace wys::capture {

// The host program beside this one: "<folder of this program>/wayscribe-capture-host".
std::string CaptureHostProgram();

// Runs the command line `arguments` (argv[0] first) in a capture host and
// sets `status` to its exit status. False when no host took it, with
// nothing started: the host is busy with another client, cannot be started,
// or ended before taking it; the caller then runs the command itself. A host
// that ends after taking it is reported on standard error, status 1.
bool CaptureThroughHost(const std::string& hostProgram, const std::vector<std::string>& arguments,
                        int& status);

}  // namespace wys::capture
