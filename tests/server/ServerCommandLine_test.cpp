#include "WYSCHelper/server/ServerCommandLine.h"

#include <gtest/gtest.h>

using namespace wys::server;

TEST(ServerCommandLine, FirstRecognisedSwitchDecides)
{
    struct Case {
        const char* line;
        ServerAction action;
    };
    const Case cases[] = {
        {"", ServerAction::Serve},
        {"-Embedding", ServerAction::Serve},
        {"/RegServer", ServerAction::RegServer},
        {"-regserver", ServerAction::RegServer},
        {"-UNREGSERVER", ServerAction::UnregServer},
        {"/unregserver -Embedding", ServerAction::UnregServer},
        {"-Embedding /RegServer", ServerAction::RegServer},
        {"/RegServer /UnregServer", ServerAction::RegServer},
        {"/UnregServer\t/RegServer", ServerAction::UnregServer},
        // Only the whole token counts, up to the next blank or tab.
        {"/RegServerX", ServerAction::Serve},
        {"/Reg", ServerAction::Serve},
        {"RegServer", ServerAction::Serve},
        {"--RegServer", ServerAction::RegServer},
        {"/x/RegServer", ServerAction::RegServer},
        {"-", ServerAction::Serve},
        {"/", ServerAction::Serve},
        {"/ RegServer", ServerAction::Serve},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseServerCommandLine(c.line), c.action) << '"' << c.line << '"';
}

TEST(ServerCommandLine, FailuresNeverExitWithZero)
{
    EXPECT_EQ(ServerExitCode(S_OK), 0);
    EXPECT_EQ(ServerExitCode(S_FALSE), 0);
    EXPECT_EQ(ServerExitCode(E_FAIL), 0x05);
    EXPECT_EQ(ServerExitCode(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)), 0x05);
    EXPECT_EQ(ServerExitCode(MakeHResult(0x80040100u)), 1);
}
