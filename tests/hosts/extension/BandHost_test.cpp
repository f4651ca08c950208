// wayscribe-band beside headless Chromium with the extension: a visit the
// extension recorded shows in the band's history, and choosing it opens its
// saved copy in a new tab of the browser, through the native host, without
// recording it again; with no browser running, the desktop's handler gets
// it. The band's window is saved as a screenshot.
#ifdef WYS_BAND_LIBRARY
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTreeView>
#include <QUrl>
#include <chrono>

#include "common/Identifiers.h"
#include "hosts/band/CBandHostWindow.h"
#include "hosts/browser/ApartmentPump.h"
#include "hosts/extension/BrowserLink.h"
#include "platform/browser/BrowserExtensions.h"
#include "tests/hosts/extension/support/CChromium.h"
#include "tests/hosts/extension/support/ExtensionTest.h"

namespace wys::test {
namespace {

using namespace wys::band_host;

int g_argc = 1;
char g_name[] = "extension_host_test";
char* g_argv[] = {g_name, nullptr};

void EnsureApplication()
{
    // Never destroyed: widgets of the band library may outlive a test.
    static QApplication* application = new QApplication(g_argc, g_argv);
    (void)application;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        PumpFor(10);
    }
    return true;
}

// The first row under `root` whose text holds `text`, rows expanded on the way.
QModelIndex FindRow(QWidget* root, const QString& text, QTreeView** where)
{
    for (QTreeView* view : root->findChildren<QTreeView*>()) {
        QAbstractItemModel* model = view->model();
        std::vector<QModelIndex> pending{QModelIndex()};
        while (model && !pending.empty()) {
            QModelIndex parent = pending.back();
            pending.pop_back();
            if (parent.isValid() && !view->isExpanded(parent)) {
                view->expand(parent);
                QCoreApplication::processEvents();
            }
            for (int row = 0; row < model->rowCount(parent); ++row) {
                QModelIndex index = model->index(row, 0, parent);
                if (index.data().toString().contains(text)) {
                    *where = view;
                    return index;
                }
                if (model->hasChildren(index) || model->canFetchMore(index))
                    pending.push_back(index);
            }
        }
    }
    return {};
}

struct Opening {
    QString url;
    OpenedBy how = OpenedBy::Nothing;
    QString detail;
};

class BandHostTest : public ExtensionTest {
protected:
    void SetUp() override
    {
        EnsureApplication();
        ExtensionTest::SetUp();
        RegisterLibrary(WYS_BAND_LIBRARY);
        ASSERT_EQ(AddExplorerBar(CLSID_SurfBand), ERROR_SUCCESS);
        m_pump = std::make_unique<browser_host::ApartmentPump>();
    }
    void TearDown() override
    {
        m_window.reset();
        m_pump.reset();
        ExtensionTest::TearDown();
    }

    CVisitSite m_site;
    std::unique_ptr<browser_host::ApartmentPump> m_pump;
    std::unique_ptr<CBandHostWindow> m_window;
    std::vector<QString> m_desktop;
    std::vector<Opening> m_openings;
};

TEST_F(BandHostTest, AVisitOpensInThePersonsBrowserWithoutBeingRecordedAgain)
{
    const std::string url = m_site.Url("/visit/static.html");
    CChromium browser({MakeProfile("chromium"), WYS_EXTENSION_DIR, false});
    ASSERT_FALSE(browser.AttachToExtension(kExtensionId).empty()) << "the extension did not start";
    browser.OpenTab(url);
    const std::string path = WaitForRecord(url);
    ASSERT_FALSE(path.empty());
    const QString savedCopy = QUrl::fromLocalFile(QString::fromStdString(History() + "/" + path)).toString();

    BandHostOptions options;
    options.desktop = [this](const QString& target) {
        m_desktop.push_back(target);
        return true;
    };
    m_window = std::make_unique<CBandHostWindow>(std::move(options));
    ASSERT_TRUE(m_window->IsOpen()) << m_window->StatusText().toStdString();
    QObject::connect(m_window->Opener(), &CBrowserOpener::opened, m_window.get(),
                     [this](const QString& target, OpenedBy how, const QString& detail) {
                         m_openings.push_back({target, how, detail});
                     });
    m_window->resize(360, 640);
    m_window->show();

    QTreeView* tree = nullptr;
    QModelIndex row;
    ASSERT_TRUE(WaitFor(
        [&] {
            row = FindRow(m_window.get(), "A static page", &tree);
            return row.isValid();
        },
        15000))
        << "the visit is not in the band's history";
    tree->setCurrentIndex(row);
    ASSERT_TRUE(WaitFor([&] { return !m_openings.empty(); }, 15000));
    EXPECT_EQ(m_openings.back().how, OpenedBy::Browser) << m_openings.back().detail.toStdString();
    EXPECT_TRUE(m_desktop.empty());
    bool shown = false;
    ASSERT_TRUE(WaitFor(
        [&] {
            for (const ChromiumTarget& target : browser.Targets())
                shown = shown || (target.type == "page" &&
                                  QUrl(QString::fromStdString(target.url)) == QUrl(savedCopy));
            return shown;
        },
        10000))
        << "the browser shows no tab with " << savedCopy.toStdString();
    QCoreApplication::processEvents();
    QDir().mkpath(WYS_SCREENSHOT_DIR);
    m_window->grab().save(QString(WYS_SCREENSHOT_DIR) + "/wayscribe-band.png");
    // The saved copy has loaded in the browser by now; it is not a visit.
    WaitFor([] { return false; }, 1500);
    EXPECT_EQ(CountOf(m_history.Get()), 1u) << "opening the saved copy recorded it again";

    // With no browser to take it, the desktop's handler opens the visit.
    browser.Close();
    ASSERT_TRUE(WaitFor([] { return extension::BrowserLinkSockets().empty(); }, 10000));
    tree->setCurrentIndex(row.parent());  // a day: nothing to open
    tree->setCurrentIndex(row);
    ASSERT_TRUE(WaitFor([&] { return m_openings.size() == 2; }, 15000));
    EXPECT_EQ(m_openings.back().how, OpenedBy::Desktop) << m_openings.back().detail.toStdString();
    ASSERT_EQ(m_desktop.size(), 1u);
    EXPECT_EQ(QUrl(m_desktop[0]), QUrl(savedCopy));
}

}  // namespace
}  // namespace wys::test
#endif
