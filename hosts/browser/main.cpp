// wayscribe-browser: a browser window on Qt WebEngine with the registered
// helper objects attached and the explorer bars offered in its View menu.
// One window per process; a new window is a new process.
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "Wayscribe/tools/widgets/CQtMessageBoxPresenter.h"
#include "common/Identifiers.h"
#include "hosts/browser/ApartmentPump.h"
#include "hosts/browser/BrowserCommandLine.h"
#include "hosts/browser/CBrowserWindow.h"
#include "platform/rpc/Apartment.h"
#include "platform/ui/IMessageBoxPresenter.h"

using namespace wys::browser_host;

namespace {

void OpenBandAtStart(CBrowserWindow& window, const BrowserCommandLine& line)
{
    std::optional<CLSID> wanted;
    if (line.band == BandAtStart::Open)
        wanted = line.bandClass.value_or(CLSID_SurfBand);
    else if (line.band == BandAtStart::Remembered)
        wanted = RememberedExplorerBar();
    if (wanted)
        window.OpenExplorerBar(*wanted);
}

}  // namespace

int main(int argc, char** argv)
{
    BrowserCommandLine line = ParseBrowserCommandLine(argc, argv);
    if (line.help) {
        std::fputs(BrowserUsage().c_str(), stdout);
        return 0;
    }
    if (!line.error.empty()) {
        std::fprintf(stderr, "wayscribe-browser: %s\nTry 'wayscribe-browser --help'.\n", line.error.c_str());
        return 2;
    }
    // Chromium's sandbox cannot start for the superuser (containers run as one).
    if (::geteuid() == 0 && !std::getenv("QTWEBENGINE_DISABLE_SANDBOX"))
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName("wayscribe-browser");
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fputs("wayscribe-browser: cannot start the component runtime\n", stderr);
        return 1;
    }
    int status = 0;
    {
        ApartmentPump pump;
        ScopedMessageBoxPresenter boxes(std::make_shared<CQtMessageBoxPresenter>());
        CBrowserWindow window;
        window.show();
        OpenBandAtStart(window, line);
        if (!line.target.empty())
            window.NavigateTo(QString::fromStdString(line.target));
        status = app.exec();
    }
    CoUninitialize();
    return status;
}
