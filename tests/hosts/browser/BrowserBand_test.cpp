// The real band in the browser window with the real server and helper
// object: a visit shows up in the band's history within seconds, a word of
// its content finds it, choosing it shows the saved copy in the window, and
// Remove takes it off the tree and the disk. Built when the band
// library (libWayscribe.so) is part of the build.
#ifdef WYS_BAND_LIBRARY
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <filesystem>
#include <map>

#include "common/Identifiers.h"
#include "common/StringConvert.h"
#include "hosts/browser/ApartmentPump.h"
#include "hosts/browser/CBrowserWindow.h"
#include "platform/browser/BrowserExtensions.h"
#include "platform/com/Bstr.h"
#include "platform/ui/CConsoleMessageBoxPresenter.h"
#include "platform/ui/MessageBox.h"
#include "tests/hosts/browser/support/GuiTestEnvironment.h"
#include "tests/server/ServerProcessTest.h"
#include "tests/support/LoopbackHttpServer.h"

namespace wys::test {
namespace {

using namespace wys::browser_host;

void RegisterLibrary(const char* path)
{
    void* library = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    auto registerServer = reinterpret_cast<HRESULT (*)()>(::dlsym(library, "DllRegisterServer"));
    ASSERT_NE(registerServer, nullptr);
    ASSERT_EQ(registerServer(), S_OK);
}

// The first row of any tree view under `root` whose text contains `text`,
// expanding rows (the band makes child rows as they expand) as it goes.
QModelIndex FindRow(QWidget* root, const QString& text, QTreeView** where)
{
    for (QTreeView* view : root->findChildren<QTreeView*>()) {
        QAbstractItemModel* model = view->model();
        if (!model)
            continue;
        std::vector<QModelIndex> pending{QModelIndex()};
        while (!pending.empty()) {
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

// Answers the band's context menu and its confirmation while they are open:
// chooses `item` in the next popup menu and Yes in a message box.
void ChooseFromNextMenu(const QString& item)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, item] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions()) {
                if (action->text().remove('&') == item) {
                    // As the user chooses it, so that the menu's exec() returns it.
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, Qt::Key_Return);
                    return;
                }
            }
        }
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            for (QAbstractButton* button : box->buttons()) {
                if (box->buttonRole(button) == QMessageBox::YesRole || button->text().remove('&') == "Yes") {
                    button->click();
                    timer->deleteLater();
                    return;
                }
            }
        }
    });
    timer->start(50);
    QTimer::singleShot(10000, timer, &QObject::deleteLater);
}

class BrowserBandTest : public ServerProcessTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(EnsureGuiApplication());
        ServerProcessTest::SetUp();
        RegisterLibrary(WYS_CAPTURE_LIBRARY);
        RegisterLibrary(WYS_BAND_LIBRARY);
        ASSERT_EQ(AddBrowserHelperObject(CLSID_WYSCSaver, "WYSCbho"), ERROR_SUCCESS);
        EnterApartment();
        m_pump = std::make_unique<ApartmentPump>();
    }
    void TearDown() override
    {
        if (m_window) {
            m_window->close();
            m_window.reset();
        }
        m_pump.reset();
        ServerProcessTest::TearDown();
    }

    LoopbackHttpServer m_server;
    std::unique_ptr<ApartmentPump> m_pump;
    std::unique_ptr<CBrowserWindow> m_window;
};

TEST_F(BrowserBandTest, VisitIsListedFoundOpenedFromItsSavedCopyAndRemoved)
{
    m_server.ServeFolder(WYS_SAMPLE_DIR);
    m_window = std::make_unique<CBrowserWindow>();
    m_window->resize(1200, 760);
    m_window->show();
    ASSERT_TRUE(m_window->OpenExplorerBar(CLSID_SurfBand)) << m_window->StatusText().toStdString();
    int loads = 0;
    m_window->BrowserObject()->onDocumentsReady = [&] { ++loads; };

    const std::string url = m_server.Url("/index.html");
    m_window->NavigateTo(QString::fromStdString(url));
    ASSERT_TRUE(WaitUntil([&] { return loads > 0; }, 20000));

    QTreeView* tree = nullptr;
    QModelIndex row;
    ASSERT_TRUE(WaitUntil(
        [&] {
            row = FindRow(m_window->ExplorerBarPane(), "Wayscribe sample page", &tree);
            return row.isValid();
        },
        15000))
        << "the visit did not reach the band's history";
    Pump(500);
    SaveScreenshot(m_window.get(), "browser-with-band");

    // A word of the page's content finds it in the search pane.
    QWidget* search = m_window->ExplorerBarPane()->findChild<QWidget*>("236");
    ASSERT_NE(search, nullptr);
    auto* expression = search->findChild<QLineEdit*>("245");
    auto* content = search->findChild<QCheckBox*>("252");
    auto* searchNow = search->findChild<QAbstractButton*>("243");
    ASSERT_TRUE(expression && content && searchNow);
    expression->setText("marmalade");
    content->setChecked(true);
    searchNow->click();
    QTreeView* results = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return FindRow(search, "Wayscribe sample page", &results).isValid(); }, 15000))
        << "the search for a word of the content found nothing";

    CUrlDateHolder record;
    ComPtr<IWYSCURLBase> history = CreateHistory();
    ASSERT_TRUE(history);
    ASSERT_EQ(history->GetData(record.Receive(), 0), S_OK);
    const std::string savedPath = History() + "/" + BstrToNarrow(record.Path);
    ASSERT_TRUE(std::filesystem::exists(savedPath)) << savedPath;

    // Choosing the page in the tree opens its saved copy from the history folder.
    tree->setCurrentIndex(row);
    ASSERT_TRUE(WaitUntil(
        [&] {
            CComBSTR location;
            m_window->Browser()->get_LocationURL(&location);
            return location.ToUtf8().starts_with("file://" + History());
        },
        15000));
    Pump(800);
    SaveScreenshot(m_window.get(), "browser-with-band-saved-copy");

    // Remove on the month takes its visits off the tree and their files off the disk.
    QModelIndex month = tree->model()->index(0, 0);
    ASSERT_TRUE(month.isValid());
    QRect place = tree->visualRect(month);
    // The confirmation is answered Yes, as the user would.
    auto answers = std::make_shared<CConsoleMessageBoxPresenter>();
    answers->SetAnswer(IDYES);
    ScopedMessageBoxPresenter confirm(answers);
    ChooseFromNextMenu("Remove");
    QContextMenuEvent request(QContextMenuEvent::Mouse, place.center(),
                              tree->viewport()->mapToGlobal(place.center()));
    QCoreApplication::sendEvent(tree->viewport(), &request);
    EXPECT_TRUE(WaitUntil([&] { return tree->model()->rowCount() == 0; }, 15000));
    EXPECT_TRUE(WaitUntil([&] { return !std::filesystem::exists(savedPath); }, 10000)) << savedPath;
    EXPECT_EQ(CountOf(history.Get()), 0u);
}

// Every saved file below `folder` with its size (the files directly in the
// folder are the server's own, its index and caches, saved when it likes).
std::map<std::string, std::uintmax_t> SavedFiles(const std::string& folder)
{
    std::map<std::string, std::uintmax_t> files;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it.depth() == 0 && it->is_regular_file())
            continue;
        files[it->path().string()] = it->is_regular_file() ? it->file_size() : 0;
    }
    return files;
}

TEST_F(BrowserBandTest, OpeningSavedVisitsFromTheTreeRecordsNothing)
{
    constexpr int kVisits = 10;
    for (int i = 0; i < kVisits; ++i) {
        HttpReply page;
        page.body = "<!DOCTYPE html><title>Visit " + std::to_string(i) + "</title><h1>Visit " +
                    std::to_string(i) + "</h1><img src=\"/pic.png\"><p>" + std::string(1500, 'v') + "</p>";
        m_server.Handle("/visit/" + std::to_string(i) + ".html", page);
    }
    HttpReply picture;
    picture.body = std::string(64, 'x');
    picture.contentType = "image/png";
    m_server.Handle("/pic.png", picture);
    m_window = std::make_unique<CBrowserWindow>();
    m_window->resize(1200, 760);
    m_window->show();
    ASSERT_TRUE(m_window->OpenExplorerBar(CLSID_SurfBand)) << m_window->StatusText().toStdString();
    int loads = 0;
    m_window->BrowserObject()->onDocumentsReady = [&] { ++loads; };
    ComPtr<IWYSCURLBase> history = CreateHistory();
    ASSERT_TRUE(history);
    for (int i = 0; i < kVisits; ++i) {
        int before = loads;
        m_window->NavigateTo(QString::fromStdString(m_server.Url("/visit/" + std::to_string(i) + ".html")));
        ASSERT_TRUE(WaitUntil([&] { return loads > before; }, 20000)) << i;
        ASSERT_TRUE(WaitUntil([&] { return CountOf(history.Get()) == ULONG(i + 1); }, 20000)) << i;
    }
    std::vector<QModelIndex> rows;
    QTreeView* tree = nullptr;
    for (int i = 0; i < kVisits; ++i) {
        QModelIndex row;
        ASSERT_TRUE(WaitUntil(
            [&] {
                row = FindRow(m_window->ExplorerBarPane(), "Visit " + QString::number(i), &tree);
                return row.isValid();
            },
            15000))
            << i;
        rows.push_back(row);
    }
    Pump(1000);
    const auto files = SavedFiles(History());
    const int requests = m_server.TotalRequests();

    // Each choice shows a saved copy from the history folder in the window.
    auto opensSavedCopy = [&](const std::function<void()>& choose) {
        int before = loads;
        choose();
        return WaitUntil(
            [&] {
                CComBSTR location;
                m_window->Browser()->get_LocationURL(&location);
                return loads > before && location.ToUtf8().starts_with("file://" + History());
            },
            15000);
    };
    // Five by the mouse, on every other page, so that each click changes the selection.
    for (int i = 0; i < kVisits; i += 2) {
        QRect place = tree->visualRect(rows[i]);
        ASSERT_TRUE(opensSavedCopy([&] {
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, place.center());
        })) << "click on visit "
            << i;
    }
    // Five by the keyboard, moving up the tree from the last page.
    tree->setFocus();
    tree->setCurrentIndex(rows[kVisits - 1]);
    Pump(500);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(opensSavedCopy([&] { QTest::keyClick(tree, Qt::Key_Up); })) << "key press " << i;
    Pump(1500);
    SaveScreenshot(m_window.get(), "browser-band-opened-visits");

    EXPECT_EQ(CountOf(history.Get()), ULONG(kVisits));
    EXPECT_EQ(SavedFiles(History()), files);
    EXPECT_EQ(m_server.TotalRequests(), requests) << "opening saved copies went to the network";
}

}  // namespace
}  // namespace wys::test
#endif
