#pragma once

// A notification service for end-to-end tests: python3-dbusmock's notification_daemon template
// on a bus of the test's own, asked through its mock interface what it was sent. Needs a
// QCoreApplication.

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

class NotificationDaemonMock {
public:
    // One Notify call as the service received it; texts UTF-8.
    struct Notify {
        unsigned replaces = 0;
        std::string summary;
        std::string body;
        QStringList actions;
        // The "urgency" hint; -1 when there was none.
        int urgency = -1;
    };

    // Starts the mock on the bus at `address` and waits until it owns its name.
    explicit NotificationDaemonMock(const QString& address);
    ~NotificationDaemonMock();
    NotificationDaemonMock(const NotificationDaemonMock&) = delete;
    NotificationDaemonMock& operator=(const NotificationDaemonMock&) = delete;

    // Empty when the mock runs; otherwise why it does not.
    const std::string& Problem() const { return problem_; }

    // Every Notify call so far, in order.
    std::vector<Notify> Calls();
    // The operator activates the action `key` of notification `id`.
    void Invoke(unsigned id, const QString& key);

private:
    QProcess process_;
    QDBusConnection bus_;
    std::string problem_;
};
