#include "app/ViewerShortcut.h"

#include "platform/StandardError.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QKeySequence>
#include <QProcess>
#include <QShortcut>
#include <QWidget>

void AddViewerShortcut(QWidget& window, const QString& historyPath, ProgramStarter start) {
    if (!start)
        start = [](const QString& program, const QStringList& arguments) {
            return QProcess::startDetached(program, arguments);
        };
    auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(kViewerShortcut)), &window);
    // Taken now: the file stays where the monitor was started whatever changes the working
    // folder later.
    const QString file = QFileInfo(historyPath).absoluteFilePath();
    QObject::connect(shortcut, &QShortcut::activated, &window, [file, start] {
        const QString beside =
            QCoreApplication::applicationDirPath() + QStringLiteral("/servermonitor-history");
        const QString program =
            QFileInfo(beside).isExecutable() ? beside : QStringLiteral("servermonitor-history");
        if (!start(program, {QStringLiteral("--window"), QStringLiteral("--file"), file}))
            WriteStandardError("servermonitor: cannot start " + program.toStdString() + "\n");
    });
}
