// The capture host kept running for wayscribe-capture: it listens on the
// socket it was started for and runs each request (CaptureHostLink.h) as
// that command would run in a process of its own, one request at a time.
//
// It was started by the client with the client's environment, folder, file
// mask, priority and limits, and it serves only clients for which all of
// these are the same (the socket's name is made from them), so that a page captured here
// comes out as it would in a process of its own. It ends once nobody has
// asked for kHostIdle, at once when its socket is removed or replaced, and
// after kHostRequests requests, so that whatever a long script's pages
// leave behind in it is given back to the system now and then.
#pragma once

#include <chrono>
#include <string>

namespace wys::capture {

inline constexpr std::chrono::seconds kHostIdle{10};
inline constexpr int kHostRequests = 1000;

// Listens at `socketPath` (an existing socket file there is replaced: the
// client holds the start lock), writes one byte to `readyFd` and closes it
// once clients can connect, and serves until idle. The exit status: 0, or 1
// when the socket could not be made.
int ServeCaptures(const std::string& socketPath, int readyFd);

}  // namespace wys::capture
