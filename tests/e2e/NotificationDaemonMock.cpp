#include "NotificationDaemonMock.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kMock = QStringLiteral("org.freedesktop.DBus.Mock");
const QString kBusName = QStringLiteral("notification-daemon-mock");

// Debian's python3-dbusmock is a module of the system's python3, which need not be the first
// python3 on the PATH.
QString PythonWithDbusmock() {
    QStringList candidates{QStringLiteral("/usr/bin/python3")};
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (!onPath.isEmpty())
        candidates.push_back(onPath);
    for (const QString& python : candidates) {
        if (!QFileInfo(python).isExecutable())
            continue;
        QProcess probe;
        probe.start(python, {QStringLiteral("-c"), QStringLiteral("import dbusmock")});
        if (probe.waitForFinished(20000) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0)
            return python;
    }
    return {};
}

} // namespace

NotificationDaemonMock::NotificationDaemonMock(const QString& address)
    : bus_(QDBusConnection::connectToBus(address, kBusName)) {
    if (!bus_.isConnected()) {
        problem_ = "cannot connect to the bus at " + address.toStdString();
        return;
    }
    const QString python = PythonWithDbusmock();
    if (python.isEmpty()) {
        problem_ = "python3-dbusmock is not installed";
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    process_.setProcessEnvironment(environment);
    // The mock prints every call it gets; nobody reads that, and a full pipe would stop it.
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(python, {QStringLiteral("-m"), QStringLiteral("dbusmock"),
                            QStringLiteral("--template"), QStringLiteral("notification_daemon")});
    const QDeadlineTimer limit(30000);
    while (!bus_.interface()->isServiceRegistered(kService)) {
        if (limit.hasExpired() || process_.state() == QProcess::NotRunning) {
            problem_ = "the notification mock did not come up";
            return;
        }
        QThread::msleep(50);
    }
}

NotificationDaemonMock::~NotificationDaemonMock() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    QDBusConnection::disconnectFromBus(kBusName);
}

std::vector<NotificationDaemonMock::Notify> NotificationDaemonMock::Calls() {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kMock, QStringLiteral("GetMethodCalls"));
    call << QStringLiteral("Notify");
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 10000);
    std::vector<Notify> calls;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return calls;
    // a(tav): time stamp and arguments of each call.
    const auto list = reply.arguments().first().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        qulonglong time = 0;
        QVariantList arguments;
        list.beginStructure();
        list >> time >> arguments;
        list.endStructure();
        if (arguments.size() < 8)
            continue;
        Notify notify;
        notify.replaces = arguments[1].toUInt();
        notify.summary = arguments[3].toString().toStdString();
        notify.body = arguments[4].toString().toStdString();
        notify.actions = arguments[5].toStringList();
        const QVariantMap hints = qdbus_cast<QVariantMap>(arguments[6]);
        if (hints.contains(QStringLiteral("urgency")))
            notify.urgency = hints.value(QStringLiteral("urgency")).toInt();
        calls.push_back(notify);
    }
    list.endArray();
    return calls;
}

void NotificationDaemonMock::Invoke(unsigned id, const QString& key) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kMock, QStringLiteral("EmitSignal"));
    call << kService << QStringLiteral("ActionInvoked") << QStringLiteral("us")
         << QVariantList{QVariant::fromValue(QDBusVariant(id)),
                         QVariant::fromValue(QDBusVariant(key))};
    bus_.call(call, QDBus::Block, 10000);
}
