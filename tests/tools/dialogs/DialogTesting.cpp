#include "tests/tools/dialogs/DialogTesting.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

#include "WYSCHelper/CWYSCURLBase.h"
#include "platform/registry/Registry.h"
#include "platform/rpc/Apartment.h"

namespace wys::test {

QApplication* StartQtApplication()
{
    static int argc = 1;
    static char name[] = "wayscribe-dialogs-test";
    static char* argv[] = {name, nullptr};
    if (!qApp) {
        if (!std::getenv("QT_QPA_PLATFORM"))
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        new QApplication(argc, argv);
    }
    return static_cast<QApplication*>(QCoreApplication::instance());
}

QString SaveDialogScreenshot(QWidget* widget, const QString& name)
{
    const char* env = std::getenv("WAYSCRIBE_SCREENSHOT_DIR");
    const QString dir = env && *env ? QString::fromLocal8Bit(env) : QStringLiteral(WYS_SCREENSHOT_DIR);
    if (!QDir().mkpath(dir))
        return QString();
    const QString path = dir + "/" + name + ".png";
    return widget->grab().save(path) ? path : QString();
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        DispatchApartmentMessages();
    }
    return true;
}

void RunEventsFor(std::chrono::milliseconds period)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < period.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        DispatchApartmentMessages();
    }
}

void WithModalDialog(std::function<void(QWidget* dialog)> action)
{
    auto* poll = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(poll, &QTimer::timeout, [poll, started, action = std::move(action)] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            action(dialog);
        } else if (started->elapsed() > 20000) {
            poll->stop();
            poll->deleteLater();
            ADD_FAILURE() << "no modal dialog appeared";
        }
    });
    poll->start(10);
}

QWidget* ShownHelpPopup()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && QByteArray(widget->metaObject()->className()) == "QWhatsThat")
            return widget;
    }
    return nullptr;
}

void DialogTest::SetUp()
{
    StartQtApplication();
    m_inApartment = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ASSERT_TRUE(m_inApartment);
    m_presenter = std::make_unique<ScopedMessageBoxPresenter>(m_boxes);
    std::filesystem::create_directories(History());
    const std::string folder = History() + std::string(1, '\0');
    SetUserValue(CWYSCURLBase::kSettingsKey, "BasePath", REG_SZ, folder);
}

void DialogTest::TearDown()
{
    m_server.reset();
    m_presenter.reset();
    if (m_inApartment)
        CoUninitialize();
}

void DialogTest::StartServer()
{
    m_server = std::make_unique<CUrlBaseServerThread>();
}

}  // namespace wys::test

// Read by the leak sanitizer when it is in the program. Fontconfig keeps
// what it loads for the life of the process and never frees it; those
// blocks are the library's, not ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
