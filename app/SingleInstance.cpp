#include "app/SingleInstance.h"

#include "platform/ErrorReport.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

namespace {

const QByteArray kShowRequest = "show\n";
const QByteArray kShownReply = "shown\n";
// A request is one short line; anything longer is not one of ours.
constexpr qint64 kMaxRequestBytes = 64;
constexpr int kRetryMs = 100;

} // namespace

SingleInstance::SingleInstance(const QString& folder, const QString& runtimeDir) : folder_(folder) {
    if (runtimeDir.isEmpty())
        return;
    const QString base = runtimeDir + QLatin1Char('/') + KeyFor(folder_);
    lockPath_ = base + QStringLiteral(".lock");
    socketPath_ = base + QStringLiteral(".sock");
    lock_ = std::make_unique<QLockFile>(lockPath_);
    // Never stale by age: a monitor runs for months. Only a lock whose process is gone is.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::KeyFor(const QString& canonicalFolder) {
    const QByteArray hash =
        QCryptographicHash::hash(canonicalFolder.toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("servermonitor-") + QString::fromLatin1(hash.toHex().left(20));
}

SingleInstance::Outcome SingleInstance::Claim(bool askToShow, int timeoutMs) {
    if (!lock_)
        return Outcome::Unavailable;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        // tryLock removes a lock whose owner is gone (crashed, killed) and takes it.
        if (lock_->tryLock(0)) {
            Listen();
            return Outcome::First;
        }
        if (lock_->error() != QLockFile::LockFailedError)
            return Outcome::Unavailable;
        QString host;
        QString app;
        if (!lock_->getLockInfo(&runningPid_, &host, &app))
            runningPid_ = 0;
        if (!askToShow)
            return Outcome::Running;
        // The owner may be starting and not listen yet; ask again until the time is up.
        if (AskToShow(static_cast<int>(deadline.remainingTime())))
            return Outcome::Asked;
        if (deadline.hasExpired())
            return Outcome::Running;
        QThread::msleep(kRetryMs);
    }
}

bool SingleInstance::AskToShow(int timeoutMs) {
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
        return false;
    socket.write(kShowRequest);
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
        return false;
    QByteArray reply;
    while (!reply.endsWith('\n') && reply.size() < kMaxRequestBytes) {
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return false;
        reply += socket.readAll();
    }
    return reply == kShownReply;
}

bool SingleInstance::Listen() {
    // We hold the lock, so a socket file left there belongs to a monitor that is gone.
    QLocalServer::removeServer(socketPath_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socketPath_))
        return false;
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (!client->canReadLine()) {
                    if (client->bytesAvailable() > kMaxRequestBytes)
                        client->abort();
                    return;
                }
                const QByteArray request = client->readLine(kMaxRequestBytes);
                if (request == kShowRequest) {
                    RunGuarded([this] {
                        if (OnShowRequest)
                            OnShowRequest();
                    });
                    client->write(kShownReply);
                    client->flush();
                }
                client->disconnectFromServer();
            });
        }
    });
    return true;
}
