// What the dialog tests share: the application object, screenshots, finding
// controls by their identifiers, waiting while events run, and a fixture
// with a temporary home, a history folder and the real URL base serving it.
#pragma once

#include <QApplication>
#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/ui/CRecordingMessageBoxPresenter.h"
#include "tests/support/TempHome.h"
#include "tests/tools/dialogs/UrlBaseServerThread.h"

namespace wys::test {

// The process's application, made on first use (offscreen unless the
// environment names a platform).
QApplication* StartQtApplication();

// Saves a picture of `widget` as <dir>/<name>.png, dir being the folder
// named by WAYSCRIBE_SCREENSHOT_DIR, else the build's screenshots folder.
// Returns the file's path; empty when it could not be written.
QString SaveDialogScreenshot(QWidget* widget, const QString& name);

// The control with identifier `id` (its object name) below `root`; fails
// the test when there is none.
template <class T = QWidget>
T* Control(QWidget* root, int id)
{
    T* control = root->findChild<T*>(QString::number(id));
    EXPECT_NE(control, nullptr) << "no control " << id;
    return control;
}

// Runs events until `done` answers true or `timeout` passes; returns `done`.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));
// Runs events for `period`.
void RunEventsFor(std::chrono::milliseconds period);

// Runs `action` with the application's modal dialog once one is shown (for
// dialogs opened with exec()); fails the test when none shows up.
void WithModalDialog(std::function<void(QWidget* dialog)> action);

// The popup that context help shows, when one is up.
QWidget* ShownHelpPopup();

class DialogTest : public TempHomeTest {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string History() const { return m_home.Path() + "/history"; }
    // Starts the URL base on its own thread over the history folder (after
    // the test has written whatever settings it wants).
    void StartServer();

    std::unique_ptr<CUrlBaseServerThread> m_server;
    std::shared_ptr<CRecordingMessageBoxPresenter> m_boxes =
        std::make_shared<CRecordingMessageBoxPresenter>();

private:
    std::unique_ptr<ScopedMessageBoxPresenter> m_presenter;
    bool m_inApartment = false;
};

}  // namespace wys::test
