// servermonitor-history: the monitor's history as a report in the terminal, or with --window as
// a viewer of its own.
#include "report/HistoryReport.h"
#include "viewer/HistoryWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <chrono>
#include <csignal>
#include <iostream>

namespace {

// The viewer started from the menu runs in the home folder, while the monitor started from the
// menu keeps its history in the configuration folder its launcher uses. Without --file, a
// history.db in the working folder comes first, then that one.
QString ViewerFile(const std::vector<std::string>& args, const std::string& path) {
    for (const auto& a : args)
        if (a == "--file")
            return QString::fromStdString(path);
    const QString here = QString::fromStdString(path);
    if (QFileInfo::exists(here))
        return here;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/servermonitor/history.db");
    return QFileInfo::exists(config) ? config : here;
}

} // namespace

int main(int argc, char** argv) {
    // A reader that goes away ends the report quietly.
    std::signal(SIGPIPE, SIG_DFL);
    std::vector<std::string> args(argv + 1, argv + argc);
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    std::string error;
    const auto options = HistoryReport::Parse(args, now, error);
    if (!options) {
        std::cerr << "servermonitor-history: " << error << "\n" << HistoryReport::Usage();
        return HistoryReport::kUsage;
    }
    if (options->mode != HistoryReport::Mode::Window)
        return HistoryReport::Run(*options, std::cout, std::cerr);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("servermonitor-history"));
    QApplication::setDesktopFileName(QStringLiteral("com.vormix.ServerMonitor.History"));
    HistoryWindow window(ViewerFile(args, options->path));
    window.show();
    return QApplication::exec();
}
