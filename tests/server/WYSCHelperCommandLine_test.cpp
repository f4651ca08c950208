// The server program's own command line: registering and unregistering
// without serving, and serving otherwise.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/registry/Registry.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "tests/platform/rpc/support/ChildProcess.h"
#include "tests/server/ServerProcessTest.h"

using namespace wys::test;
using Clock = std::chrono::steady_clock;

namespace {

std::optional<std::string> LocalServer32()
{
    std::string path = "CLSID\\" + GuidToString(CLSID_WYSCURLBase) + "\\LocalServer32";
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    char buffer[4096];
    DWORD size = sizeof buffer;
    LONG result = RegQueryValueEx(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || size == 0)
        return std::nullopt;
    return std::string(buffer, size - 1);
}

bool ProgIdExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, "WYSCHelper.WYSCURLBase", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class WYSCHelperCommandLine : public ServerProcessTest {};

}  // namespace

TEST_F(WYSCHelperCommandLine, SwitchesRegisterAndUnregisterWithoutServing)
{
    // SetUp registered with "/RegServer".
    EXPECT_EQ(LocalServer32(), std::filesystem::canonical(ServerProgram()).string());
    EXPECT_TRUE(ProgIdExists());

    std::string errors;
    auto started = Clock::now();
    EXPECT_EQ(RunProgram({ServerProgram(), "-unregserver"}, nullptr, &errors), 0) << errors;
    EXPECT_FALSE(LocalServer32());
    EXPECT_FALSE(ProgIdExists());
    EnterApartment();
    HRESULT hr = S_OK;
    EXPECT_FALSE(CreateHistory(&hr));
    EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);

    EXPECT_EQ(RunProgram({ServerProgram(), "/RegServer", "-Embedding"}, nullptr, &errors), 0) << errors;
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(5))
        << "neither run served (serving lasts at least 6 s)";
    EXPECT_EQ(ServerPid(), 0);
    EXPECT_TRUE(LocalServer32());
    auto history = CreateHistory(&hr);
    EXPECT_EQ(hr, S_OK);
}

TEST_F(WYSCHelperCommandLine, ProgramInAFolderWithBlanksStillStarts)
{
    std::string folder = m_home.Path() + "/with blank";
    std::filesystem::create_directories(folder);
    std::string copy = folder + "/WYSCHelper";
    std::filesystem::copy_file(ServerProgram(), copy);
    ASSERT_EQ(RunProgram({copy, "/RegServer"}), 0);
    EXPECT_EQ(LocalServer32(), "\"" + copy + "\"");
    EnterApartment();
    HRESULT hr = S_OK;
    auto history = CreateHistory(&hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(std::filesystem::read_symlink("/proc/" + std::to_string(ServerPid()) + "/exe").string(), copy);
}

TEST_F(WYSCHelperCommandLine, ServerThatNoClientAsksForEndsByItself)
{
    CChildProcess server([](CChildChannel&) {
        std::string program = ServerProgram();
        char* argv[] = {program.data(), const_cast<char*>("-Embedding"), nullptr};
        ::execv(argv[0], argv);
        return 127;
    });
    auto started = Clock::now();
    while (ServerPid() == 0 && Clock::now() - started < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(ServerPid(), server.Pid());
    EXPECT_EQ(server.Wait(12000), 0);
    auto lived = std::chrono::duration<double>(Clock::now() - started).count();
    EXPECT_GE(lived, 5.0);
    m_servers.clear();
}
