// Visits in Debian's headless Firefox ESR with the Wayscribe extension
// installed from its XPI in a profile of its own (ESR lets a profile take
// an unsigned extension), allowed in private windows, and the native host
// registered for this user; Firefox driven through Marionette. The three
// pages are recorded and each saved copy, rendered with the site gone,
// looks like the live page; a private window records nothing; a tab closed
// while its page is being saved leaves no record.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>

#include "tests/hosts/extension/support/CChromium.h"
#include "tests/hosts/extension/support/CMarionette.h"
#include "tests/hosts/extension/support/ExtensionTest.h"

extern char** environ;

namespace wys::test {
namespace {

constexpr const char* kFirefox = "/usr/bin/firefox-esr";
constexpr const char* kFirefoxId = "wayscribe@wayscribe.local";

class FirefoxCaptureTest : public ExtensionTest {
protected:
    void TearDown() override
    {
        if (m_firefox > 0) {
            ::kill(m_firefox, SIGTERM);
            ::waitpid(m_firefox, nullptr, 0);
        }
        ExtensionTest::TearDown();
    }

    // A profile with the extension, and the native host where Firefox looks for it.
    std::string MakeFirefoxProfile(int marionettePort)
    {
        std::string profile = m_home.Path() + "/firefox";
        std::filesystem::create_directories(profile + "/extensions");
        std::filesystem::copy_file(WYS_EXTENSION_XPI, profile + "/extensions/" + kFirefoxId + ".xpi");
        WriteFile(profile + "/user.js",
                  "user_pref(\"xpinstall.signatures.required\", false);\n"
                  "user_pref(\"extensions.autoDisableScopes\", 0);\n"
                  "user_pref(\"extensions.enabledScopes\", 15);\n"
                  "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
                  "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
                  "user_pref(\"app.update.enabled\", false);\n"
                  // No first-run tabs of pages on the network.
                  "user_pref(\"datareporting.policy.firstRunURL\", \"\");\n"
                  "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
                  "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
                  "user_pref(\"marionette.port\", " +
                      std::to_string(marionettePort) + ");\n");
        // What allowing the extension in private windows stores.
        WriteFile(profile + "/extension-preferences.json",
                  std::string("{\"") + kFirefoxId +
                      "\": {\"permissions\": [\"internal:privateBrowsingAllowed\"], \"origins\": []}}");
        QJsonObject manifest{{"name", "wayscribe.native_host"},
                             {"description", "Wayscribe"},
                             {"path", WYS_NATIVE_HOST},
                             {"type", "stdio"},
                             {"allowed_extensions", QJsonArray{kFirefoxId}}};
        WriteFile(m_home.Home() + "/.mozilla/native-messaging-hosts/wayscribe.native_host.json",
                  QJsonDocument(manifest).toJson().toStdString());
        return profile;
    }

    void StartFirefox(const std::string& profile, const std::vector<std::string>& urls)
    {
        std::vector<std::string> args{kFirefox,       "--headless", "--no-remote",
                                      "--marionette", "--profile",  profile};
        args.insert(args.end(), urls.begin(), urls.end());
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::string log = profile + ".log";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&m_firefox, kFirefox, &actions, nullptr, argv.data(), environ) != 0)
            m_firefox = -1;
        posix_spawn_file_actions_destroy(&actions);
    }

    CVisitSite m_site;
    pid_t m_firefox = -1;
};

TEST_F(FirefoxCaptureTest, VisitsAreRecordedButNotPrivateOnesNorThoseOfTabsClosedWhileSaved)
{
    ASSERT_TRUE(std::filesystem::exists(kFirefox)) << "firefox-esr is not installed (scripts/install-deps)";
    const std::vector<std::pair<std::string, std::string>> pages{
        {"static", m_site.Url("/visit/static.html")},
        {"scripted", m_site.Url("/visit/scripted.php")},
        {"frames", m_site.Url("/visit/frames.php")},
    };
    const int port = FreeLoopbackPort();
    StartFirefox(MakeFirefoxProfile(port), {"about:blank"});
    ASSERT_GT(m_firefox, 0);
    CMarionette firefox;
    // A new profile's first start takes Firefox a while.
    ASSERT_TRUE(firefox.Connect(port, 60000)) << "see " << m_home.Path() << "/firefox.log";

    const std::string hidden = m_site.Url("/visit/static.html?window=private");
    const std::string normalWindow = firefox.CurrentTab();
    ASSERT_FALSE(normalWindow.empty());
    ASSERT_FALSE(firefox.OpenTab(true).empty());
    ASSERT_TRUE(firefox.Navigate(hidden));
    firefox.SwitchTo(normalWindow);

    std::vector<std::string> saved;
    for (const auto& [name, url] : pages) {
        ASSERT_FALSE(firefox.OpenTab().empty());
        ASSERT_TRUE(firefox.Navigate(url));
        std::string path = WaitForRecord(url, 30000);
        ASSERT_FALSE(path.empty()) << "no record of " << url << "; see " << m_home.Path() << "/firefox.log";
        saved.push_back(History() + "/" + path);
    }
    EXPECT_FALSE(HasRecord(hidden)) << "a page of a private window was recorded";

    const std::string slow = m_site.Url("/slow/page.php");
    firefox.OpenTab();
    ASSERT_TRUE(firefox.Navigate(slow));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m_site.Server().RequestCount("/slow/pic.png") < 2 && std::chrono::steady_clock::now() < deadline)
        PumpFor(50);
    ASSERT_EQ(m_site.Server().RequestCount("/slow/pic.png"), 2) << "the capture did not start";
    firefox.CloseTab();
    EXPECT_TRUE(WaitForRecord(slow, CVisitSite::kSlowMs + 1500).empty())
        << "the closed tab's page was recorded";
    EXPECT_EQ(CountOf(m_history.Get()), pages.size());

    ::kill(m_firefox, SIGTERM);
    ::waitpid(m_firefox, nullptr, 0);
    m_firefox = -1;
    CChromium renderer({m_home.Path() + "/renderer", {}, false});
    QDir().mkpath(WYS_SCREENSHOT_DIR);
    std::vector<std::string> live;
    for (const auto& [name, url] : pages) {
        live.push_back(std::string(WYS_SCREENSHOT_DIR) + "/firefox-live-" + name + ".png");
        ASSERT_TRUE(renderer.Render(url, 900, 700, live.back()));
    }
    m_site.Server().Stop();
    for (std::size_t i = 0; i < pages.size(); ++i) {
        std::string copy = std::string(WYS_SCREENSHOT_DIR) + "/firefox-saved-" + pages[i].first + ".png";
        ASSERT_TRUE(renderer.Render("file://" + saved[i], 900, 700, copy));
        double share = DifferingPixelShare(live[i], copy);
        EXPECT_LT(share, 0.005) << pages[i].second << ": the saved copy " << saved[i] << " differs in "
                                << share * 100 << "% of its pixels";
    }
}

}  // namespace
}  // namespace wys::test
