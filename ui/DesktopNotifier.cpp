#include "ui/DesktopNotifier.h"

#include "platform/AppInfo.h"
#include "platform/ErrorReport.h"
#include "platform/qt/QtText.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QStringList>
#include <QVariant>

namespace {

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
const char* const kInterface = "org.freedesktop.Notifications";
const char* const kDefaultAction = "default";

// A service that is started on demand may take a while; past this the notification goes to the
// fallback.
constexpr int kCallTimeoutMs = 10000;
// The server decides how long a notification stays.
constexpr int kServerDefaultExpiry = -1;

QString Latin1(const char* text) {
    return QString::fromLatin1(text);
}

// The "image-data" hint: width, height, row stride, alpha, bits per sample, channels, pixels.
QVariant ImageData(const QImage& image) {
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    QDBusArgument argument;
    argument.beginStructure();
    argument << rgba.width() << rgba.height() << static_cast<int>(rgba.bytesPerLine()) << true << 8
             << 4
             << QByteArray(reinterpret_cast<const char*>(rgba.constBits()),
                           static_cast<qsizetype>(rgba.sizeInBytes()));
    argument.endStructure();
    return QVariant::fromValue(argument);
}

} // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, Fallback fallback, QObject* parent)
    : QObject(parent), bus_(bus), fallback_(std::move(fallback)) {
    if (!bus_.isConnected())
        return;
    // No service name in the match: naming it would make QtDBus look its owner up with a
    // blocking call. FromService() tells the service's signals from anyone else's.
    bus_.connect(QString(), Latin1(kPath), Latin1(kInterface), QStringLiteral("ActionInvoked"),
                 this, SLOT(ActionInvoked(uint, QString, QDBusMessage)));
    bus_.connect(QString(), Latin1(kPath), Latin1(kInterface), QStringLiteral("NotificationClosed"),
                 this, SLOT(NotificationClosed(uint, uint, QDBusMessage)));
    // Ids belong to one run of the service: a new one starts counting again and would take our
    // old ids for other notifications.
    auto* watcher = new QDBusServiceWatcher(Latin1(kService), bus_,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] { ServiceChanged(); });
}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::SetImage(const QImage& image) {
    image_ = image;
}

uint DesktopNotifier::IdOf(const std::string& key) const {
    const auto found = entries_.find(key);
    return found == entries_.end() ? 0 : found->second.id;
}

void DesktopNotifier::Show(const DesktopNotification& notification) {
    if (!bus_.isConnected()) {
        if (fallback_)
            fallback_(notification);
        return;
    }
    Entry& entry = entries_[notification.key];
    if (entry.pending) {
        // Sending now would stack a second notification beside the one whose id is not known
        // yet.
        entry.waiting = notification;
        return;
    }
    Send(notification);
}

void DesktopNotifier::Send(const DesktopNotification& notification) {
    Entry& entry = entries_[notification.key];
    QDBusMessage call = QDBusMessage::createMethodCall(
        Latin1(kService), Latin1(kPath), Latin1(kInterface), QStringLiteral("Notify"));
    // The theme icon of the installed program; the picture in the hints is there for a
    // program that is not installed.
    call << GbkToQString(kDisplayName) << entry.id << QGuiApplication::desktopFileName()
         << GbkToQString(notification.summary) << GbkToQString(notification.body)
         << QStringList{Latin1(kDefaultAction), GbkToQString("显示界面")} << Hints(notification)
         << kServerDefaultExpiry;
    entry.pending = true;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, notification](QDBusPendingCallWatcher* call) {
                RunGuarded([&] { Answered(notification, call); });
                call->deleteLater();
            });
}

QVariantMap DesktopNotifier::Hints(const DesktopNotification& notification) const {
    QVariantMap hints;
    // A byte on the wire; any other integer type would be marshalled as something else.
    hints.insert(QStringLiteral("urgency"),
                 QVariant::fromValue(static_cast<uchar>(notification.urgency)));
    if (!image_.isNull())
        hints.insert(QStringLiteral("image-data"), ImageData(image_));
    if (const QString entry = QGuiApplication::desktopFileName(); !entry.isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), entry);
    return hints;
}

void DesktopNotifier::Answered(const DesktopNotification& notification,
                               QDBusPendingCallWatcher* call) {
    Entry& entry = entries_[notification.key];
    entry.pending = false;
    const QDBusPendingReply<uint> reply = *call;
    if (reply.isError()) {
        entry.id = 0;
        if (fallback_)
            fallback_(notification);
    } else {
        entry.id = reply.value();
        owner_ = reply.reply().service();
    }
    if (entry.waiting) {
        const DesktopNotification next = *entry.waiting;
        entry.waiting.reset();
        Send(next);
    }
}

void DesktopNotifier::ServiceChanged() {
    owner_.clear();
    for (auto& [key, entry] : entries_)
        entry.id = 0;
}

bool DesktopNotifier::FromService(const QDBusMessage& message) const {
    return !owner_.isEmpty() && message.service() == owner_;
}

void DesktopNotifier::ActionInvoked(uint id, const QString& action, const QDBusMessage& message) {
    if (id == 0 || action != Latin1(kDefaultAction) || !FromService(message))
        return;
    for (const auto& [key, entry] : entries_) {
        if (entry.id == id) {
            if (OnActivated)
                RunGuarded([this] { OnActivated(); });
            return;
        }
    }
}

void DesktopNotifier::NotificationClosed(uint id, uint, const QDBusMessage& message) {
    if (id == 0 || !FromService(message))
        return;
    for (auto& [key, entry] : entries_)
        if (entry.id == id)
            entry.id = 0;
}
