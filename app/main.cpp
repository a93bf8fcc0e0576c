// The program's single entry. Its single exit is TForm1::FormCloseQuery; the return below is
// reached only if the event loop ever ends on its own.
#include "app/ErrorBox.h"
#include "app/ShutdownSignals.h"
#include "metrics/MetricsExporter.h"
#include "platform/AppInfo.h"
#include "platform/qt/QtText.h"
#include "ui/TForm1.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The application title, not QGuiApplication's display name, which Qt would append to the
    // caption of every other window.
    QApplication::setApplicationName(GbkToQString(kDisplayName));
    // Closing the main window ends the process in FormCloseQuery; hiding it must not end the
    // loop.
    QApplication::setQuitOnLastWindowClosed(false);
    InstallErrorBox();

    TForm1 form;
    InstallShutdownSignals([&form] { form.close(); });
    // Off unless monitor.ini asks for it; started before the first cycle (Timer1's first second).
    const auto metrics = StartMetrics(form.Engine(), form.ModemReady());
    form.show();
    application.exec();
    return 0;
}
