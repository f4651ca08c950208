#include "tests/support/QtTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

#include <cstdlib>
#include <mutex>

namespace wys::test {

namespace {

std::mutex g_messagesLock;
QStringList g_messages;

void CatchMessage(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    // The offscreen platform's note about size hints says nothing of the code.
    if (type == QtDebugMsg || type == QtInfoMsg || message.contains("propagateSizeHints"))
        return;
    std::lock_guard lock(g_messagesLock);
    g_messages.append(message);
}

}  // namespace

QApplication* EnsureApplication()
{
    static int argc = 1;
    static char name[] = "wayscribe-test";
    static char* argv[] = {name, nullptr};
    if (!qApp) {
        if (!std::getenv("QT_QPA_PLATFORM"))
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        new QApplication(argc, argv);
    }
    return static_cast<QApplication*>(QCoreApplication::instance());
}

QString SaveScreenshot(QWidget* widget, const QString& name)
{
    const char* env = std::getenv("WAYSCRIBE_SCREENSHOT_DIR");
    const QString dir = env && *env ? QString::fromLocal8Bit(env) : QStringLiteral(WYS_SCREENSHOT_DIR);
    if (!QDir().mkpath(dir))
        return QString();
    const QString path = dir + "/" + name + ".png";
    return widget->grab().save(path) ? path : QString();
}

CQtMessageCatcher::CQtMessageCatcher()
{
    {
        std::lock_guard lock(g_messagesLock);
        g_messages.clear();
    }
    m_previous = qInstallMessageHandler(CatchMessage);
}

CQtMessageCatcher::~CQtMessageCatcher()
{
    qInstallMessageHandler(m_previous);
}

QStringList CQtMessageCatcher::Messages() const
{
    std::lock_guard lock(g_messagesLock);
    return g_messages;
}

}  // namespace wys::test

// Read by the leak sanitizer when it is in the program. Fontconfig keeps
// what it loads for the life of the process and never frees it; those
// blocks are the library's, not ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
