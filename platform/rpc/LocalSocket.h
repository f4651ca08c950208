// Unix stream sockets between the processes of this user: what the local
// servers of the runtime use, for other programs of the system that keep a
// socket of their own in the same private folder (LocalServerFolderPath).
#pragma once

#include <string>

#include "platform/base/CFileDescriptor.h"

namespace wys::rpc {

// Whether `path` fits the address of a Unix socket.
bool FitsSocketAddress(const std::string& path);

// Connects to the socket at `path`; a blocking, close-on-exec descriptor,
// or an invalid one when nobody listens there or the path does not fit.
wys::base::CFileDescriptor DialLocalSocket(const std::string& path);

// Listens at `path`, replacing a socket file left there (the caller makes
// sure that no live listener owns it). A close-on-exec descriptor, made
// non-blocking when `nonBlocking`; an invalid one with errno set on failure
// (ENAMETOOLONG for a path that does not fit).
wys::base::CFileDescriptor ListenLocalSocket(const std::string& path, int backlog, bool nonBlocking);

// Whether the peer of a connected socket runs as this user.
bool PeerIsThisUser(int fd);

}  // namespace wys::rpc
