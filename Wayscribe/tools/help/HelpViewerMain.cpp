// wayscribe-help: the help viewer the band starts with the argument
// "mk:@MSITStore:<help folder>::/<topic>".
//
// --print-title: print the window's title after loading and exit, with 0
// when the topic was found (for scripts and tests).

#include <QApplication>
#include <QStringList>

#include <cstdio>

#include "Wayscribe/tools/help/CHelpViewer.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("wayscribe-help"));
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    const bool printTitle = arguments.removeAll(QStringLiteral("--print-title")) > 0;

    CHelpViewer viewer;
    const bool found = viewer.OpenCommand(arguments.value(0).toStdString());
    if (printTitle) {
        std::printf("%s\n", viewer.windowTitle().toUtf8().constData());
        return found ? 0 : 1;
    }
    viewer.show();
    return application.exec();
}
