#pragma once

// A message bus of the test's own: a dbus-daemon on a socket in a temporary folder, with no
// services to start on demand (so a notification daemon installed on the machine cannot answer
// for a test), ended with the object. Needs a QCoreApplication.

#include <QByteArray>
#include <QDBusConnection>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <vector>

class PrivateBus {
public:
    PrivateBus() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (program.isEmpty() || !dir_.isValid())
            return;
        const QString config = dir_.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return;
        // Listening in our own folder; anyone may own any name and talk to anyone.
        const QByteArray listen = "unix:dir=" + dir_.path().toUtf8();
        file.write("<!DOCTYPE busconfig PUBLIC\n"
                   " \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                   " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig>\n"
                   "  <type>session</type>\n");
        file.write("  <listen>" + listen + "</listen>\n");
        file.write("  <policy context=\"default\">\n"
                   "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                   "    <allow eavesdrop=\"true\"/>\n"
                   "    <allow own=\"*\"/>\n"
                   "  </policy>\n"
                   "</busconfig>\n");
        file.close();
        daemon_.start(program, {QStringLiteral("--config-file=") + config,
                                QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(10000))
            return;
        QByteArray line;
        while (!line.contains('\n') && daemon_.waitForReadyRead(10000))
            line += daemon_.readAllStandardOutput();
        address_ = QString::fromUtf8(line).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : names_)
            QDBusConnection::disconnectFromBus(name);
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.kill();
            daemon_.waitForFinished(5000);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool Running() const { return !address_.isEmpty(); }
    // The address clients connect to (DBUS_SESSION_BUS_ADDRESS).
    const QString& Address() const { return address_; }
    // A connection of its own, named `name` within this process; closed with the bus.
    QDBusConnection Connect(const QString& name) {
        names_.push_back(name);
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
    std::vector<QString> names_;
};
