// Visits in Debian's headless Chromium with the Wayscribe extension loaded
// and its native host registered in the browser's own profile: the real
// wayscribe-native-host, libWYSCbho.so and WYSCHelper record them, and each
// saved copy, rendered with the site gone, looks like the live page. A tab
// closed while its page is being saved leaves no record; a private window
// records nothing, even with the extension allowed there.
#include <gtest/gtest.h>

#include <QDir>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/hosts/extension/support/CChromium.h"
#include "tests/hosts/extension/support/ExtensionTest.h"

namespace wys::test {
namespace {

constexpr int kWidth = 900;
constexpr int kHeight = 700;

std::string ScreenshotPath(const std::string& name)
{
    QDir().mkpath(WYS_SCREENSHOT_DIR);
    return std::string(WYS_SCREENSHOT_DIR) + "/" + name + ".png";
}

bool ExtensionRuns(CChromium& browser)
{
    return !browser.AttachToExtension(kExtensionId).empty();
}

class ExtensionCaptureTest : public ExtensionTest {
protected:
    CVisitSite m_site;
};

TEST_F(ExtensionCaptureTest, VisitsAreRecordedAndTheirSavedCopiesRenderLikeTheLivePages)
{
    const std::vector<std::pair<std::string, std::string>> pages{
        {"static", m_site.Url("/visit/static.html")},
        {"scripted", m_site.Url("/visit/scripted.php")},
        {"frames", m_site.Url("/visit/frames.php")},
    };
    std::vector<std::string> saved;
    {
        CChromium browser({MakeProfile("chromium"), WYS_EXTENSION_DIR, false});
        ASSERT_TRUE(browser.Running());
        ASSERT_TRUE(ExtensionRuns(browser)) << "the extension did not start";
        for (const auto& [name, url] : pages) {
            browser.OpenTab(url);
            std::string path = WaitForRecord(url);
            ASSERT_FALSE(path.empty()) << "no record of " << url;
            saved.push_back(History() + "/" + path);
            ASSERT_TRUE(std::filesystem::exists(saved.back())) << saved.back();
        }
    }
    // One record per page: frames are not visits of their own.
    EXPECT_EQ(CountOf(m_history.Get()), pages.size());
    EXPECT_TRUE(saved[0].ends_with(".mht")) << saved[0];
    EXPECT_TRUE(saved[1].ends_with(".htm")) << saved[1];

    CChromium renderer({m_home.Path() + "/renderer", {}});
    std::vector<std::string> live;
    for (const auto& [name, url] : pages) {
        live.push_back(ScreenshotPath("extension-live-" + name));
        ASSERT_TRUE(renderer.Render(url, kWidth, kHeight, live.back()));
    }
    m_site.Server().Stop();  // the copies are shown from the disk alone
    for (std::size_t i = 0; i < pages.size(); ++i) {
        std::string copy = ScreenshotPath("extension-saved-" + pages[i].first);
        ASSERT_TRUE(renderer.Render("file://" + saved[i], kWidth, kHeight, copy));
        double share = DifferingPixelShare(live[i], copy);
        EXPECT_LT(share, 0.005) << pages[i].second << ": the saved copy " << saved[i] << " differs in "
                                << share * 100 << "% of its pixels (" << live[i] << ", " << copy << ")";
    }
}

TEST_F(ExtensionCaptureTest, ATabClosedWhileItsPageIsSavedLeavesNoRecord)
{
    const std::string url = m_site.Url("/slow/page.php");
    CChromium browser({MakeProfile("chromium"), WYS_EXTENSION_DIR, false});
    ASSERT_TRUE(ExtensionRuns(browser));
    std::string tab = browser.OpenTab(url);
    // The browser fetched the image once; the second fetch is the capture's.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m_site.Server().RequestCount("/slow/pic.png") < 2 && std::chrono::steady_clock::now() < deadline)
        PumpFor(50);
    ASSERT_EQ(m_site.Server().RequestCount("/slow/pic.png"), 2) << "the capture did not start";
    browser.CloseTab(tab);
    // Past the time the image would have taken: a capture that went on
    // after its tab closed would have been recorded by now.
    EXPECT_TRUE(WaitForRecord(url, CVisitSite::kSlowMs + 1500).empty())
        << "the closed tab's page was recorded";
    EXPECT_EQ(CountOf(m_history.Get()), 0u);
}

TEST_F(ExtensionCaptureTest, PrivateWindowsRecordNothingEvenWithTheExtensionAllowedThere)
{
    CChromium browser({MakeProfile("chromium-private", true), WYS_EXTENSION_DIR, true});
    std::string worker = browser.AttachToExtension(kExtensionId);
    ASSERT_FALSE(worker.empty()) << "the extension did not start";
    std::string privateTab;
    for (const ChromiumTarget& target : browser.Targets()) {
        if (target.type == "page")
            privateTab = browser.Attach(target.id);  // the window --incognito opened
    }
    ASSERT_FALSE(privateTab.empty());
    ASSERT_EQ(browser.Evaluate(worker, "chrome.extension.isAllowedIncognitoAccess()"), "[true]")
        << "the extension is not allowed in private windows: the test proves nothing";

    const std::string hidden = m_site.Url("/visit/static.html");
    const std::string shown = m_site.Url("/visit/frames.php");
    browser.Call("Page.navigate", {{"url", QString::fromStdString(hidden)}}, privateTab);
    // The extension sees the private tab load.
    std::string seen = "chrome.tabs.query({}).then(tabs => tabs.some(t => t.incognito && t.url === '" +
                       hidden + "' && t.status === 'complete'))";
    for (int i = 0; i < 50 && browser.Evaluate(worker, seen) != "[true]"; ++i)
        PumpFor(100);
    EXPECT_EQ(browser.Evaluate(worker, seen), "[true]");
    // A normal tab opened after it is recorded, and the private one still is not.
    browser.OpenTab(shown);
    EXPECT_FALSE(WaitForRecord(shown).empty());
    PumpFor(1000);
    EXPECT_FALSE(HasRecord(hidden)) << "a page of a private window was recorded";
    EXPECT_EQ(m_site.Server().RequestCount("/visit/static.html"), 1) << "the private page was fetched again";
}

}  // namespace
}  // namespace wys::test
