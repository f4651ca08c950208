// wayscribe-band: the Wayscribe history band in a small window of its own,
// beside the browser a person already uses; opening a visit shows it there
// (through the Wayscribe extension, or the desktop's default handler).
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "Wayscribe/tools/widgets/CQtMessageBoxPresenter.h"
#include "hosts/band/CBandHostWindow.h"
#include "hosts/browser/ApartmentPump.h"
#include "platform/rpc/Apartment.h"
#include "platform/ui/IMessageBoxPresenter.h"

using namespace wys::band_host;

namespace {

const char* const kUsage =
    "Usage: wayscribe-band [--band=CLSID]\n"
    "The Wayscribe history beside your own browser: choosing a visit opens its saved\n"
    "copy (or its address) in the browser that runs the Wayscribe extension.\n"
    "  --band=CLSID  the explorer bar to show (default: the Wayscribe band)\n";

}  // namespace

int main(int argc, char** argv)
{
    BandHostOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (argument.starts_with("--band=") && GuidFromString(argument.substr(7))) {
            options.band = GuidFromString(argument.substr(7));
            continue;
        }
        std::fprintf(stderr, "wayscribe-band: unknown argument %s\n%s", argv[i], kUsage);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("wayscribe-band");
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fputs("wayscribe-band: cannot start the component runtime\n", stderr);
        return 1;
    }
    int status = 0;
    {
        wys::browser_host::ApartmentPump pump;
        ScopedMessageBoxPresenter boxes(std::make_shared<CQtMessageBoxPresenter>());
        CBandHostWindow window(std::move(options));
        window.show();
        status = app.exec();
    }
    CoUninitialize();
    return status;
}
