// The history server's command line and exit codes.
//
// The command line is scanned for tokens that follow a "-" or a "/"; each
// token runs up to the next blank or tab and is compared with the switches
// without regard to letter case. The first recognised switch decides;
// anything else (such as the "-Embedding" added when a client starts the
// server) is ignored and the program serves.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/WinError.h"

namespace wys::server {

enum class ServerAction { Serve, RegServer, UnregServer };

ServerAction ParseServerCommandLine(std::string_view commandLine);

// The program's arguments (without its name) joined by single blanks.
std::string JoinArguments(int argc, char** argv);

// The process exit status for an HRESULT: 0 for success. A failure keeps its
// low eight bits, as far as a status can carry them, but never becomes 0:
// a failure whose low byte is 0 exits with 1.
int ServerExitCode(HRESULT hr);

}  // namespace wys::server
