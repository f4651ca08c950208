#include "tests/hosts/browser/support/GuiTestEnvironment.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <memory>

extern char** environ;

namespace wys::test {
namespace {

// The display server of this test program; ended when the program ends.
class CXvfb {
public:
    bool Start()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return false;
        std::string fd = std::to_string(fds[1]);
        std::vector<std::string> args{"Xvfb", "-displayfd", fd,  "-nolisten",
                                      "tcp",  "-screen",    "0", "1400x1000x24"};
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        int result = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (result != 0) {
            ::close(fds[0]);
            return false;
        }
        std::string number;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (number.empty())
            return false;
        ::setenv("DISPLAY", (":" + number).c_str(), 1);
        return true;
    }
    ~CXvfb()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

private:
    pid_t m_pid = 0;
};

std::unique_ptr<CXvfb> g_display;
// Never destroyed: WebEngine does not survive being torn down after main.
QApplication* g_application = nullptr;
int g_argc = 1;
char g_programName[] = "browser_window_test";
char* g_argv[] = {g_programName, nullptr};

}  // namespace

bool EnsureGuiApplication()
{
    if (g_application)
        return true;
    g_display = std::make_unique<CXvfb>();
    if (!g_display->Start()) {
        ADD_FAILURE() << "Xvfb could not be started";
        return false;
    }
    // Chromium runs without its sandbox (the container's user is the
    // superuser) and without a GPU (Xvfb has none).
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu --disable-dev-shm-usage", 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    g_application = new QApplication(g_argc, g_argv);
    return true;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    return QTest::qWaitFor(done, timeoutMs);
}

void Pump(int ms)
{
    QTest::qWait(ms);
}

QImage SaveScreenshot(QWidget* widget, const std::string& name)
{
    QImage image = widget->grab().toImage();
    QDir().mkpath(WYS_SCREENSHOT_DIR);
    image.save(QString::fromStdString(std::string(WYS_SCREENSHOT_DIR) + "/" + name + ".png"));
    return image;
}

double DifferingShare(const QImage& a, const QImage& b, int tolerance)
{
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    QImage x = a.convertToFormat(QImage::Format_RGB32);
    QImage y = b.convertToFormat(QImage::Format_RGB32);
    long differing = 0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const QRgb* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int column = 0; column < x.width(); ++column) {
            if (std::abs(qRed(p[column]) - qRed(q[column])) > tolerance ||
                std::abs(qGreen(p[column]) - qGreen(q[column])) > tolerance ||
                std::abs(qBlue(p[column]) - qBlue(q[column])) > tolerance)
                ++differing;
        }
    }
    return static_cast<double>(differing) / (static_cast<double>(x.width()) * x.height());
}

}  // namespace wys::test
