// How wayscribe-capture hands its command line to a capture host that is
// already running, so that the pages of a script that captures one page
// after another do not each pay for starting a browser host: loading its
// libraries and its helper objects.
//
// One request per connection, on a Unix socket in the user's private
// runtime folder of local servers:
//   client -> host  kLinkGreeting, the length of the arguments (4 bytes,
//                   host order), then the arguments, each ended by a NUL;
//                   the client's standard output and error go with the first
//                   bytes (SCM_RIGHTS), and the host writes the outcome of
//                   each page to them as the client itself would.
//   host -> client  kLinkTaken once the request is read and its pages are
//                   about to be loaded, then the exit status as one byte.
// A host that closes the connection before kLinkTaken has started nothing.
#pragma once

#include <string>
#include <vector>

#include "platform/base/CFileDescriptor.h"

namespace wys::capture {

inline constexpr char kLinkGreeting[] = "wayscribe-capture 1\n";
inline constexpr char kLinkTaken = 'T';
// More than any command line the system passes to a program.
inline constexpr std::size_t kMaxLinkArguments = 8u << 20;

// The files of one host, beside its socket "<name>.sock": "<name>.start",
// held (flock) by whoever starts the host or ends it, and "<name>.use", held
// by the one client the host is serving.
std::string HostFilePath(const std::string& socketPath, const char* suffix);

// Sends the request. False when the socket fails.
bool SendCaptureRequest(int socket, const std::vector<std::string>& arguments, int out, int err);

// Reads a request. False, with nothing kept, for one that breaks the
// protocol or does not come whole; the socket's own time-out bounds the wait.
bool ReceiveCaptureRequest(int socket, std::vector<std::string>& arguments, wys::base::CFileDescriptor& out,
                           wys::base::CFileDescriptor& err);

// Reads exactly `size` bytes. False at the end of the stream or on failure.
bool ReadExactly(int fd, void* data, std::size_t size);

}  // namespace wys::capture
