// scripts/install into a temporary prefix on a clean home folder: what it
// puts where, what it registers, that the installed pieces record a visit
// together, and that --uninstall takes it all back.
#include <sys/prctl.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/Identifiers.h"
#include "platform/browser/BrowserExtensions.h"
#include "platform/registry/Registry.h"
#include "tests/server/ServerProcessTest.h"
#include "tests/support/LoopbackHttpServer.h"

namespace wys::test {
namespace {

namespace fs = std::filesystem;

std::string RegistryText(HKEY root, const std::string& key, const char* value)
{
    HKEY handle = nullptr;
    if (RegOpenKeyEx(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return "<missing>";
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    LONG result = RegQueryValueEx(handle, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(handle);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::string(data) : "<missing>";
}

bool Listed(const std::vector<CLSID>& list, REFCLSID clsid)
{
    return std::find(list.begin(), list.end(), clsid) != list.end();
}

class InstallTest : public TempHomeTest {
protected:
    void SetUp() override { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }
    void TearDown() override
    {
        // The installed server ends by itself a few seconds after its last client.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (::waitpid(-1, nullptr, WNOHANG) >= 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    int Script(std::vector<std::string> args, std::string* errors)
    {
        args.insert(args.begin(), std::string(WYS_SOURCE_DIR) + "/scripts/install");
        return RunProgram(args, nullptr, errors, 120000);
    }
};

TEST_F(InstallTest, InstallsRegistersRecordsAndUninstalls)
{
    const std::string prefix = m_home.Path() + "/prefix";
    std::string errors;
    ASSERT_EQ(Script({"--prefix", prefix, "--build", WYS_BUILD_DIR}, &errors), 0) << errors;

    for (const char* file :
         {"bin/wayscribe-browser", "bin/wayscribe-capture", "bin/wayscribe-history", "bin/WYSCHelper",
          "bin/wayscribe-register", "bin/wayscribe-help", "lib/wayscribe/libWYSCbho.so",
          "share/wayscribe/help/About.htm", "share/wayscribe/sample/index.html",
          "share/applications/wayscribe-browser.desktop"})
        EXPECT_TRUE(fs::exists(prefix + "/" + file)) << file;

    EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(CLSID_WYSCURLBase) + "\\LocalServer32",
                           nullptr),
              prefix + "/bin/WYSCHelper");
    EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(CLSID_WYSCSaver) + "\\InprocServer32",
                           nullptr),
              prefix + "/lib/wayscribe/libWYSCbho.so");
    EXPECT_TRUE(Listed(BrowserHelperObjects(), CLSID_WYSCSaver));
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, "Software\\Quillonix\\WYSC", "HelpPath"),
              prefix + "/share/wayscribe/help");
    bool bandBuilt = fs::exists(prefix + "/lib/wayscribe/libWayscribe.so");
    if (bandBuilt) {
        auto bars = ExplorerBars();
        EXPECT_TRUE(std::any_of(bars.begin(), bars.end(),
                                [](const ExplorerBar& bar) { return bar.clsid == CLSID_SurfBand; }));
    }

    // The installed pieces work together: the headless host captures the
    // shipped sample page and the history lists it.
    LoopbackHttpServer server;
    server.ServeFolder(prefix + "/share/wayscribe/sample");
    std::string output;
    ASSERT_EQ(RunProgram({prefix + "/bin/wayscribe-capture", "--timeout", "30", server.Url("/index.html")},
                         &output, &errors, 60000),
              0)
        << output << errors;
    ASSERT_EQ(RunProgram({prefix + "/bin/wayscribe-history", "list"}, &output, &errors), 0) << errors;
    EXPECT_NE(output.find(server.Url("/index.html")), std::string::npos) << output;

    ASSERT_EQ(Script({"--uninstall", "--prefix", prefix}, &errors), 0) << errors;
    for (const char* program : {"wayscribe-browser", "wayscribe-capture", "WYSCHelper", "wayscribe-register"})
        EXPECT_FALSE(fs::exists(prefix + "/bin/" + program)) << program;
    EXPECT_FALSE(fs::exists(prefix + "/lib/wayscribe"));
    EXPECT_FALSE(fs::exists(prefix + "/share/wayscribe"));
    EXPECT_FALSE(fs::exists(prefix + "/share/applications/wayscribe-browser.desktop"));
    EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(CLSID_WYSCSaver) + "\\InprocServer32",
                           nullptr),
              "<missing>");
    EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(CLSID_WYSCURLBase) + "\\LocalServer32",
                           nullptr),
              "<missing>");
    EXPECT_FALSE(Listed(BrowserHelperObjects(), CLSID_WYSCSaver));
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, "Software\\Quillonix\\WYSC", "HelpPath"), "<missing>");
    // Uninstalling again finds nothing to do and says so without failing.
    EXPECT_EQ(Script({"--uninstall", "--prefix", prefix}, &errors), 0) << errors;
}

}  // namespace
}  // namespace wys::test
