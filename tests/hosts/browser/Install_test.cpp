// scripts/install into a temporary prefix on a clean home folder: what it
// puts where, what it registers (the browser extension's native host for
// Chromium, Google Chrome and Firefox included), that the installed pieces
// record a visit together, from wayscribe-capture and from Chromium with the
// installed extension, and that --uninstall takes it all back; and that
// installs from one build into two prefixes stay apart.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "common/Identifiers.h"
#include "platform/browser/BrowserExtensions.h"
#include "platform/registry/Registry.h"
#include "tests/server/ServerProcessTest.h"
#include "tests/support/LoopbackHttpServer.h"

extern char** environ;

namespace wys::test {
namespace {

namespace fs = std::filesystem;

// The native host manifests scripts/install writes for this user.
std::vector<std::string> NativeHostManifests(const TempHome& home)
{
    return {home.ConfigHome() + "/chromium/NativeMessagingHosts/wayscribe.native_host.json",
            home.ConfigHome() + "/google-chrome/NativeMessagingHosts/wayscribe.native_host.json",
            home.Home() + "/.mozilla/native-messaging-hosts/wayscribe.native_host.json"};
}

// Headless Chromium with its default profile of this home (where the
// install registered the native host) and the installed extension, on `url`.
pid_t StartChromium(const TempHome& home, const std::string& extension, const std::string& url)
{
    std::vector<std::string> args{"/usr/bin/chromium",
                                  "--headless=new",
                                  "--no-sandbox",
                                  "--disable-gpu",
                                  "--no-first-run",
                                  "--disable-background-networking",
                                  "--disable-component-update",
                                  "--disable-sync",
                                  "--user-data-dir=" + home.ConfigHome() + "/chromium",
                                  "--load-extension=" + extension,
                                  url};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

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
          "bin/wayscribe-register", "bin/wayscribe-help", "bin/wayscribe-native-host", "bin/wayscribe-band",
          "lib/wayscribe/libWYSCbho.so", "share/wayscribe/help/About.htm",
          "share/wayscribe/sample/index.html", "share/wayscribe/extension/manifest.json",
          "share/wayscribe/extension/snapshot.js", "share/wayscribe/wayscribe-extension.xpi",
          "share/applications/wayscribe-browser.desktop", "share/applications/wayscribe-band.desktop"})
        EXPECT_TRUE(fs::exists(prefix + "/" + file)) << file;
    for (const std::string& file : NativeHostManifests(m_home)) {
        std::string text = ReadFile(file);
        EXPECT_NE(text.find("\"path\": \"" + prefix + "/bin/wayscribe-native-host\""), std::string::npos)
            << file << text;
        bool firefox = file.find("/.mozilla/") != std::string::npos;
        EXPECT_NE(text.find(firefox ? "\"wayscribe@wayscribe.local\""
                                    : "\"chrome-extension://fpbfhlogilcibnhbfjlojbgeklhhpjfa/\""),
                  std::string::npos)
            << file << text;
    }

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

    // So do the person's Chromium with the installed extension turned on and
    // the native host the install registered for it.
    const std::string visited = server.Url("/index.html?in=chromium");
    pid_t chromium = StartChromium(m_home, prefix + "/share/wayscribe/extension", visited);
    ASSERT_GT(chromium, 0);
    bool recorded = false;
    for (int i = 0; i < 100 && !recorded; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        recorded = RunProgram({prefix + "/bin/wayscribe-history", "list"}, &output) == 0 &&
                   output.find(visited) != std::string::npos;
    }
    ::kill(chromium, SIGTERM);
    ::waitpid(chromium, nullptr, 0);
    EXPECT_TRUE(recorded) << "Chromium's visit was not recorded: " << output;

    ASSERT_EQ(Script({"--uninstall", "--prefix", prefix}, &errors), 0) << errors;
    for (const char* program : {"wayscribe-browser", "wayscribe-capture", "WYSCHelper", "wayscribe-register"})
        EXPECT_FALSE(fs::exists(prefix + "/bin/" + program)) << program;
    EXPECT_FALSE(fs::exists(prefix + "/lib/wayscribe"));
    EXPECT_FALSE(fs::exists(prefix + "/share/wayscribe"));
    EXPECT_FALSE(fs::exists(prefix + "/share/applications/wayscribe-browser.desktop"));
    EXPECT_FALSE(fs::exists(prefix + "/share/applications/wayscribe-band.desktop"));
    for (const std::string& file : NativeHostManifests(m_home))
        EXPECT_FALSE(fs::exists(file)) << file;
    EXPECT_FALSE(fs::exists(m_home.ConfigHome() + "/google-chrome"))
        << "the folder made for Google Chrome stays";
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

// The regular files at the top of a folder, with the times they were last written.
std::map<std::string, fs::file_time_type> TopFiles(const std::string& folder)
{
    std::map<std::string, fs::file_time_type> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file())
            files[entry.path().filename()] = entry.last_write_time();
    return files;
}

std::vector<std::string> Lines(const std::string& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

TEST_F(InstallTest, InstallsFromOneBuildIntoTwoPrefixesApart)
{
    const auto buildBefore = TopFiles(WYS_BUILD_DIR);
    const std::string first = m_home.Path() + "/first", second = m_home.Path() + "/second";
    int results[2] = {-1, -1};
    std::string errors[2];
    {
        std::jthread a([&] {
            results[0] = Script({"--prefix", first, "--build", WYS_BUILD_DIR}, &errors[0]);
        });
        std::jthread b([&] {
            results[1] = Script({"--prefix", second, "--build", WYS_BUILD_DIR}, &errors[1]);
        });
    }
    ASSERT_EQ(results[0], 0) << errors[0];
    ASSERT_EQ(results[1], 0) << errors[1];
    EXPECT_EQ(TopFiles(WYS_BUILD_DIR), buildBefore) << "an install wrote into the build folder";

    // Each prefix's record of its files names its own, every one of them there.
    const auto secondFiles = Lines(second + "/share/wayscribe/installed-files");
    EXPECT_EQ(Lines(first + "/share/wayscribe/installed-files").size(), secondFiles.size());
    ASSERT_GT(secondFiles.size(), 10u);
    for (const std::string& file : secondFiles) {
        EXPECT_EQ(file.rfind(second + "/", 0), 0u) << file;
        EXPECT_TRUE(fs::is_regular_file(file)) << file;
    }
    EXPECT_EQ(fs::status(second + "/bin/WYSCHelper").permissions() & fs::perms::owner_exec,
              fs::perms::owner_exec);

    // Taking one back leaves the other whole.
    ASSERT_EQ(Script({"--uninstall", "--prefix", first}, &errors[0]), 0) << errors[0];
    EXPECT_FALSE(fs::exists(first + "/bin/WYSCHelper"));
    for (const std::string& file : secondFiles)
        EXPECT_TRUE(fs::is_regular_file(file)) << file;
    ASSERT_EQ(Script({"--uninstall", "--prefix", second}, &errors[1]), 0) << errors[1];
    EXPECT_FALSE(fs::exists(second + "/share/wayscribe"));
}

}  // namespace
}  // namespace wys::test
