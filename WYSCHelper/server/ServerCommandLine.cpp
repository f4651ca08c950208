#include "WYSCHelper/server/ServerCommandLine.h"

#include "platform/base/AsciiText.h"

namespace wys::server {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool SwitchIs(std::string_view token, std::string_view name)
{
    return wys::base::EqualsIgnoringAsciiCase(token, name);
}

}  // namespace

ServerAction ParseServerCommandLine(std::string_view commandLine)
{
    for (std::size_t at = commandLine.find_first_of("-/"); at != std::string_view::npos;
         at = commandLine.find_first_of("-/", at + 1)) {
        std::size_t start = at + 1;
        std::size_t end = start;
        while (end < commandLine.size() && !IsBlank(commandLine[end]))
            ++end;
        std::string_view token = commandLine.substr(start, end - start);
        if (SwitchIs(token, "UnregServer"))
            return ServerAction::UnregServer;
        if (SwitchIs(token, "RegServer"))
            return ServerAction::RegServer;
    }
    return ServerAction::Serve;
}

std::string JoinArguments(int argc, char** argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    return line;
}

int ServerExitCode(HRESULT hr)
{
    if (SUCCEEDED(hr))
        return 0;
    int low = static_cast<int>(static_cast<std::uint32_t>(hr) & 0xFFu);
    return low == 0 ? 1 : low;
}

}  // namespace wys::server
