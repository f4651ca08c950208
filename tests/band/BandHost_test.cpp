// The band as a browser meets it: libWayscribe.so registers itself, and the
// host creates the band by class identifier through the component runtime.
// This program links none of the band's code; it carries the runtime and
// exports it to the library, as a browser host does.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <QTreeView>

#include "common/Identifiers.h"
#include "platform/browser/BrowserExtensions.h"
#include "platform/com/Utf.h"
#include "platform/registry/Registry.h"
#include "platform/rpc/Activation.h"
#include "tests/band/BandTesting.h"
#include "tests/band/CBandTestHost.h"
#include "tests/tools/dialogs/DialogTesting.h"

namespace wys::test {
namespace {

using DllFunction = HRESULT (*)();

class BandHostTest : public BandServerTest {
protected:
    void SetUp() override
    {
        BandServerTest::SetUp();
        m_library = dlopen(WYS_BAND_LIBRARY, RTLD_NOW);
        ASSERT_NE(m_library, nullptr) << dlerror();
        ASSERT_EQ(Export("DllRegisterServer")(), S_OK);
    }
    void TearDown() override
    {
        m_host.reset();
        PumpFor(std::chrono::milliseconds(10));
        if (m_library)
            dlclose(m_library);
        BandServerTest::TearDown();
    }

    DllFunction Export(const char* name)
    {
        auto function = reinterpret_cast<DllFunction>(dlsym(m_library, name));
        EXPECT_NE(function, nullptr) << name;
        return function;
    }

    std::string ClassValue(const std::string& subKey, const char* name = nullptr)
    {
        HKEY key = nullptr;
        const std::string path = "CLSID\\" + GuidToString(CLSID_SurfBand) + subKey;
        if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return "<missing>";
        char data[1024] = {};
        DWORD size = sizeof data - 1;
        DWORD type = 0;
        const LONG result = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        RegCloseKey(key);
        return result == ERROR_SUCCESS ? std::string(data) : "<missing>";
    }

    void* m_library = nullptr;
    std::unique_ptr<CBandTestHost> m_host;
};

TEST_F(BandHostTest, RegistrationNamesTheLibraryAndListsTheBandAsAnExplorerBar)
{
    EXPECT_EQ(ClassValue(""), "CSurfBand Object");
    EXPECT_EQ(ClassValue("\\ProgID"), "Wayscribe.SurfBand.1");
    EXPECT_EQ(ClassValue("\\VersionIndependentProgID"), "Wayscribe.SurfBand");
    EXPECT_EQ(ClassValue("\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_NE(ClassValue("\\InprocServer32").find("libWayscribe.so"), std::string::npos);
    bool listed = false;
    for (const ExplorerBar& bar : ExplorerBars())
        listed = listed || (bar.clsid == CLSID_SurfBand && bar.name == "CSurfBand Object");
    EXPECT_TRUE(listed);

    EXPECT_EQ(Export("DllUnregisterServer")(), S_OK);
    EXPECT_EQ(ClassValue(""), "<missing>");
    for (const ExplorerBar& bar : ExplorerBars())
        EXPECT_NE(bar.clsid, CLSID_SurfBand);
    EXPECT_EQ(Export("DllUnregisterServer")(), S_OK);
}

TEST_F(BandHostTest, HostLoadsTheBandByClassAndTheBandNavigatesItsBrowser)
{
    ASSERT_EQ(Visit(LocalTime(2024, 4, 5, 8), "http://c.example/", "Charlie"), S_OK);
    ASSERT_EQ(Visit(LocalTime(2024, 4, 6, 9), "http://d.example/", "Delta"), S_OK);
    m_host = std::make_unique<CBandTestHost>();
    m_host->show();
    ASSERT_EQ(m_host->LoadBand(CLSID_SurfBand), S_OK);
    QWidget* window = m_host->BandWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(m_boxes->Shown().empty());
    EXPECT_EQ(window->parentWidget(), m_host->SideArea());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Utf16ToUtf8(m_host->BandInfo().wszTitle), "Quillonix Trailbook Pro");
    EXPECT_EQ(m_host->BandInfo().dwMask & DBIM_BKCOLOR, 0u);
    EXPECT_EQ(Export("DllCanUnloadNow")(), S_FALSE);

    // The History tree opened on the last visit; selecting it shows its
    // saved copy in the page area.
    auto* view = window->findChild<QTreeView*>(QStringLiteral("1"));
    ASSERT_NE(view, nullptr);
    QModelIndex index = view->model()->index(0, 0);
    while (view->model()->rowCount(index) > 0)
        index = view->model()->index(view->model()->rowCount(index) - 1, 0, index);
    EXPECT_EQ(view->model()->data(index).toString(), QStringLiteral("Delta"));
    view->setCurrentIndex(index);
    ASSERT_FALSE(m_host->Browser()->Navigated.empty());
    EXPECT_EQ(m_host->PageText().toStdString(), HistoryFolder() + "/pages/2.htm");
    SaveDialogScreenshot(m_host.get(), "band_test_host");

    // A visit recorded meanwhile appears without the host's help.
    ASSERT_EQ(Visit(LocalTime(2024, 4, 6, 10), "http://e.example/", "Echo"), S_OK);
    EXPECT_TRUE(PumpUntil([&] { return view->model()->rowCount(index.parent()) == 2; }));

    m_host->UnloadBand();
    EXPECT_EQ(Export("DllCanUnloadNow")(), S_OK);
}

}  // namespace
}  // namespace wys::test
