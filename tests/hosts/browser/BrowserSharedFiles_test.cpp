// A page of Debian's Python documentation, served from loopback, visited
// twice in the browser window: the real WYSCHelper stores the files the two
// saved copies have in common once, and when the first visit is removed the
// second copy still renders as the first did.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "common/IWYSCDiskUsage.h"
#include "common/StringConvert.h"
#include "hosts/browser/ApartmentPump.h"
#include "hosts/browser/CBrowserWindow.h"
#include "platform/browser/BrowserExtensions.h"
#include "tests/hosts/browser/support/GuiTestEnvironment.h"
#include "tests/server/ServerProcessTest.h"
#include "tests/support/LoopbackHttpServer.h"

namespace wys::test {
namespace {

using namespace wys::browser_host;

constexpr const char* kDocs = "/usr/share/doc/python3-doc/html";

class BrowserSharedFiles : public ServerProcessTest {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(std::string(kDocs) + "/tutorial/appetite.html"))
            GTEST_SKIP() << "python3-doc is not installed";
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
        m_site.ServeFolder(kDocs);
        // The HTML route is the one for ".php" pages.
        m_site.Handle(
            "/tutorial/appetite.php",
            HttpReply{200, ReadFile(std::string(kDocs) + "/tutorial/appetite.html"), "text/html", {}, {}});
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
    bool WaitForCount(ULONG count)
    {
        return WaitUntil([&] { return CountOf(m_history.Get()) == count; }, 20000);
    }

    LoopbackHttpServer m_site;
    std::unique_ptr<ApartmentPump> m_pump;
    ComPtr<IWYSCURLBase> m_history;
    std::unique_ptr<CBrowserWindow> m_window;
    int m_loads = 0;
};

TEST_F(BrowserSharedFiles, APageVisitedTwiceIsStoredOnceAndTheLaterCopyOutlivesTheFirst)
{
    m_window = std::make_unique<CBrowserWindow>();
    m_window->BrowserObject()->onDocumentsReady = [this] { ++m_loads; };
    m_window->resize(1000, 700);
    m_window->show();
    const std::string url = m_site.Url("/tutorial/appetite.php");
    ASSERT_TRUE(Load(url));
    ASSERT_TRUE(WaitForCount(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a visit of another second
    ASSERT_TRUE(Load(url));
    ASSERT_TRUE(WaitForCount(2));

    ComPtr<IWYSCDiskUsage> usage;
    ASSERT_EQ(m_history->QueryInterface(IWYSCDiskUsage::Iid, usage.PutVoid()), S_OK);
    ULONGLONG onDisk = 0;
    ULONGLONG withoutSharing = 0;
    ASSERT_TRUE(WaitUntil([&] { return usage->GetDiskUsage(&onDisk, &withoutSharing) == S_OK; }, 20000));
    EXPECT_LT(onDisk * 3, withoutSharing * 2) << onDisk << " of " << withoutSharing;

    CUrlDateHolder first, second;
    ASSERT_EQ(m_history->GetData(first.Receive(), 0), S_OK);
    ASSERT_EQ(m_history->GetData(second.Receive(), 1), S_OK);
    auto folderOf = [&](const CUrlDateHolder& visit) {
        const std::string path = BstrToNarrow(visit.Path);
        return History() + "/" + path.substr(0, path.size() - 4) + "_files";
    };
    std::size_t shared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folderOf(second))) {
        struct stat mine, theirs;
        const std::string name = entry.path().filename().string();
        if (::lstat(entry.path().c_str(), &mine) == 0 &&
            ::lstat((folderOf(first) + "/" + name).c_str(), &theirs) == 0 && mine.st_ino == theirs.st_ino)
            ++shared;
    }
    EXPECT_GE(shared, 5u);

    ASSERT_TRUE(Load(History() + "/" + BstrToNarrow(first.Path)));
    QImage earlier = SaveScreenshot(m_window->View(), "shared-files-first-copy");
    ASSERT_EQ(m_history->RemoveRange(first.Time, 1, first.Url), S_OK);
    ASSERT_FALSE(std::filesystem::exists(folderOf(first)));
    ASSERT_TRUE(Load(History() + "/" + BstrToNarrow(second.Path)));
    QImage later = SaveScreenshot(m_window->View(), "shared-files-later-copy");
    const double share = DifferingShare(earlier, later);
    EXPECT_LT(share, 0.01) << "the later copy differs from the first in " << share * 100 << "% of its pixels";
}

}  // namespace
}  // namespace wys::test
