// Whole visits in the browser window with the real pieces: the registered
// libWYSCbho.so captures the pages the window completes and the real
// WYSCHelper records them; the saved copies open in the window and look
// like the live pages (screenshots kept in the build's screenshots folder).
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "common/Identifiers.h"
#include "common/StringConvert.h"
#include "hosts/browser/ApartmentPump.h"
#include "hosts/browser/CBrowserWindow.h"
#include "platform/browser/BrowserExtensions.h"
#include "platform/com/Bstr.h"
#include "tests/WYSCbho/CaptureSite.h"
#include "tests/hosts/browser/support/GuiTestEnvironment.h"
#include "tests/server/ServerProcessTest.h"

namespace wys::test {
namespace {

using namespace wys::browser_host;

class BrowserCaptureTest : public ServerProcessTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(EnsureGuiApplication());
        ServerProcessTest::SetUp();
        void* library = ::dlopen(WYS_CAPTURE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << ::dlerror();
        auto registerServer = reinterpret_cast<HRESULT (*)()>(::dlsym(library, "DllRegisterServer"));
        ASSERT_EQ(registerServer(), S_OK);
        ASSERT_EQ(AddBrowserHelperObject(CLSID_WYSCSaver, "WYSCbho"), ERROR_SUCCESS);
        EnterApartment();
        m_pump = std::make_unique<ApartmentPump>();
        m_history = CreateHistory();
        ASSERT_TRUE(m_history);
    }
    void TearDown() override
    {
        if (m_window) {
            m_window->close();
            m_window.reset();
        }
        m_history = nullptr;
        m_pump.reset();
        ServerProcessTest::TearDown();
    }

    bool Load(const std::string& target)
    {
        int before = m_loads;
        m_window->NavigateTo(QString::fromStdString(target));
        bool loaded = WaitUntil([&] { return m_loads > before; }, 20000);
        Pump(800);  // the last paint after the load
        return loaded;
    }
    // Waits for the record of `url`; its Path, empty when none came.
    std::string WaitForRecord(const std::string& url, int timeoutMs = 20000)
    {
        std::string path;
        WaitUntil(
            [&] {
                ULONG count = CountOf(m_history.Get());
                for (ULONG i = 0; i < count && count != kNoRecord && path.empty(); ++i) {
                    CUrlDateHolder data;
                    if (SUCCEEDED(m_history->GetData(data.Receive(), i)) && BstrToNarrow(data.Url) == url)
                        path = BstrToNarrow(data.Path);
                }
                return !path.empty();
            },
            timeoutMs);
        return path;
    }

    CaptureSite m_site;
    std::unique_ptr<ApartmentPump> m_pump;
    ComPtr<IWYSCURLBase> m_history;
    std::unique_ptr<CBrowserWindow> m_window;
    int m_loads = 0;
};

TEST_F(BrowserCaptureTest, VisitsAreRecordedWithinSecondsAndTheirSavedCopiesRenderLikeThePage)
{
    m_window = std::make_unique<CBrowserWindow>();
    m_window->BrowserObject()->onDocumentsReady = [this] { ++m_loads; };
    m_window->resize(1000, 700);
    m_window->show();
    ASSERT_EQ(m_window->HelperCount(), 1u);

    // ".html" takes the single-file (MHTML) route, ".php" the HTML route.
    for (const char* route : {"html", "php"}) {
        SCOPED_TRACE(route);
        const std::string url = m_site.Url(std::string("/site/page.") + route);
        ASSERT_TRUE(Load(url));
        QImage live = SaveScreenshot(m_window->View(), std::string("live-page-") + route);
        QImage blank(live.size(), QImage::Format_RGB32);
        blank.fill(Qt::white);
        ASSERT_GT(DifferingShare(live, blank), 0.005) << "the live page shows nothing";
        const std::string path = WaitForRecord(url);
        ASSERT_FALSE(path.empty()) << "no record of " << url;
        EXPECT_EQ(path.ends_with(".mht"), std::string(route) == "html") << path;
        const std::string saved = History() + "/" + path;
        ASSERT_TRUE(std::filesystem::exists(saved)) << saved;

        ASSERT_TRUE(Load(saved));
        QImage copy = SaveScreenshot(m_window->View(), std::string("saved-copy-") + route);
        double share = DifferingShare(live, copy);
        EXPECT_LT(share, 0.05) << "saved copy " << saved << " differs from the live page in " << share * 100
                               << "% of its pixels";
    }

    // The frameset page: one record for the page, none for its frames.
    const std::string frames = m_site.Url("/site/frames.html");
    ASSERT_TRUE(Load(frames));
    EXPECT_FALSE(WaitForRecord(frames).empty());
    EXPECT_TRUE(WaitForRecord(m_site.Url("/site/left.html"), 0).empty());
}

}  // namespace
}  // namespace wys::test
