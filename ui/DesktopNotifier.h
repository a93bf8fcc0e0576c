#pragma once

#include "ui/DesktopNotification.h"

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <string>

class QDBusMessage;
class QDBusPendingCallWatcher;

// Shows notifications through the freedesktop notification service
// (org.freedesktop.Notifications) on a D-Bus connection: the session bus in the program, a
// private bus in tests. Every call to the service is asynchronous, so a missing, slow or
// vanished service never holds up the GUI thread. A notification the service does not take
// (no bus, no service, an error or no answer in time) goes to the fallback instead.
//
// Per key, at most one notification is on the desktop: a later one replaces it. Clicking one of
// ours (its default action) runs OnActivated. Lives on the GUI thread.
class DesktopNotifier : public QObject {
    Q_OBJECT

public:
    using Fallback = std::function<void(const DesktopNotification&)>;

    DesktopNotifier(const QDBusConnection& bus, Fallback fallback, QObject* parent = nullptr);
    ~DesktopNotifier() override;

    // The picture sent with every notification; a null image sends none.
    void SetImage(const QImage& image);

    // Sends `notification`, replacing the one last shown under its key. Returns at once; when
    // the service has not answered for the key's previous notification yet, this one follows
    // the answer (and only the last one that waited is sent).
    void Show(const DesktopNotification& notification);

    // Runs guarded when the operator activates one of our notifications.
    std::function<void()> OnActivated;

    // The service's id of the notification shown under `key`; 0 when there is none (never sent,
    // closed, or the service has changed hands since).
    uint IdOf(const std::string& key) const;

private Q_SLOTS:
    // The service's signals. QtDBus hands them only to slots named by signature.
    void ActionInvoked(uint id, const QString& action, const QDBusMessage& message);
    void NotificationClosed(uint id, uint reason, const QDBusMessage& message);

private:
    struct Entry {
        uint id = 0;
        bool pending = false;
        std::optional<DesktopNotification> waiting;
    };

    void Send(const DesktopNotification& notification);
    void Answered(const DesktopNotification& notification, QDBusPendingCallWatcher* call);
    void ServiceChanged();
    bool FromService(const QDBusMessage& message) const;
    QVariantMap Hints(const DesktopNotification& notification) const;

    QDBusConnection bus_;
    Fallback fallback_;
    QImage image_;
    // The unique bus name of the service that took our last notification; signals from anyone
    // else are not the service's.
    QString owner_;
    std::map<std::string, Entry> entries_;
};
