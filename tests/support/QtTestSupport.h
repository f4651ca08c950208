// What the widget tests share: one application object for the process, a
// place for screenshots, and a catcher for the warnings Qt prints.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

class QApplication;
class QWidget;

namespace wys::test {

// The process's application, made on first use (tests run offscreen).
QApplication* EnsureApplication();

// Saves a picture of `widget` as <dir>/<name>.png, where dir is the folder
// named by WAYSCRIBE_SCREENSHOT_DIR, else build/screenshots. Returns the
// file's path; empty when it could not be written.
QString SaveScreenshot(QWidget* widget, const QString& name);

// Collects the warnings and errors Qt reports while it lives (the model
// tester reports its findings so).
class CQtMessageCatcher {
public:
    CQtMessageCatcher();
    ~CQtMessageCatcher();
    CQtMessageCatcher(const CQtMessageCatcher&) = delete;
    CQtMessageCatcher& operator=(const CQtMessageCatcher&) = delete;

    QStringList Messages() const;

private:
    QtMessageHandler m_previous;
};

}  // namespace wys::test
