// The program's single entry. Its single exit is TForm1::FormCloseQuery; the return below is
// reached only if the event loop ever ends on its own.
#include "app/ErrorBox.h"
#include "app/HistoryStart.h"
#include "app/RuntimeFolder.h"
#include "app/ShutdownSignals.h"
#include "app/SingleInstance.h"
#include "app/StandardErrorQueue.h"
#include "app/StandardOutputLog.h"
#include "app/StandardStreams.h"
#include "app/ViewerShortcut.h"
#include "channels/AlertChannels.h"
#include "metrics/MetricsExporter.h"
#include "platform/AppInfo.h"
#include "platform/StandardError.h"
#include "platform/qt/QtText.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QDir>

namespace {

void SetUpApplication() {
    // The application title, not QGuiApplication's display name, which Qt would append to the
    // caption of every other window.
    QApplication::setApplicationName(GbkToQString(kDisplayName));
    // Closing the main window ends the process in FormCloseQuery; hiding it must not end the
    // loop.
    QApplication::setQuitOnLastWindowClosed(false);
    // The menu entry the package installs, named like its theme icon; the desktop's
    // notifications show that icon and name for ours.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.vormix.ServerMonitor"));
    InstallErrorBox();
}

// The folder whose servers.ini this monitor watches, as one name however it was reached.
QString WorkingFolder() {
    const QString canonical = QDir::current().canonicalPath();
    return canonical.isEmpty() ? QDir::current().absolutePath() : canonical;
}

} // namespace

int main(int argc, char** argv) {
    // Before anything opens a descriptor or could be stopped by a signal.
    PrepareStandardStreams();
    QueueStandardError();
    InstallShutdownSignals();
    const QString runtimeFolder = PrepareRuntimeFolder();

    QApplication application(argc, argv);
    SetUpApplication();

    // Before anything reads servers.ini or opens the modem: one monitor per folder.
    SingleInstance single(WorkingFolder(), runtimeFolder);
    switch (single.Claim(ShowsWindows(QGuiApplication::platformName()))) {
    case SingleInstance::Outcome::Asked:
        return 0;
    case SingleInstance::Outcome::Running:
        WriteStandardError("servermonitor: a monitor already runs in " +
                           single.Folder().toStdString() + " (pid " +
                           std::to_string(single.RunningPid()) + ")\n");
        FlushStandardError();
        return SingleInstance::kAlreadyRunningStatus;
    case SingleInstance::Outcome::First:
    case SingleInstance::Outcome::Unavailable:
        break;
    }

    // Created before the window, so that it has the modem line FormCreate logs as well.
    StandardOutputLog standardOutput;
    SealOnEarlyClose(&standardOutput);
    TForm1 form(&standardOutput);
    single.OnShowRequest = [&form] { form.BringBack(); };
    RouteShutdownSignals([&form] { form.close(); });
    // Off unless monitor.ini asks for it; started before the first cycle (Timer1's first second).
    const auto metrics = StartMetrics(form.Engine(), form.ModemReady());
    // On unless monitor.ini switches it off; the close path writes what it still holds.
    const auto history = StartHistory(form.Engine());
    if (history)
        form.BeforeExit = [&history] { history->Stop(); };
    AddViewerShortcut(form, QString::fromLatin1(kHistoryPath));
    // The webhook and mail channels, off unless monitor.ini sets them up.
    const auto channels = StartAlertChannels(form.Engine());
    form.show();
    application.exec();
    // A late request must reach neither the window nor the log once they go.
    RouteShutdownSignals({});
    SealOnEarlyClose(nullptr);
    return 0;
}
