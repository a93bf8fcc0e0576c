#include "ui/DesktopNotifier.h"
#include "platform/AppInfo.h"
#include "platform/qt/QtText.h"
#include "support/PrivateBus.h"
#include "support/Pump.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QImage>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// A notification service on a connection of its own: records every Notify, answers with ids
// counting from 1 (or the id it was asked to replace), and holds its answers back on request.
class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call {
        QString app;
        uint replaces = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
    };

    explicit FakeNotificationService(QDBusConnection connection) : connection_(connection) {}

    bool Start() {
        return connection_.registerObject(kPath, this, QDBusConnection::ExportAllSlots) &&
               connection_.registerService(kService);
    }

    bool Stop() { return connection_.unregisterService(kService); }

    // Sends one of the service's signals.
    void Emit(const QString& name, const QVariantList& arguments) {
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kService, name);
        signal.setArguments(arguments);
        connection_.send(signal);
    }

    // Answers the held calls in order.
    void Release() {
        for (const QDBusMessage& call : held_)
            connection_.send(call.createReply(QVariant::fromValue(Answer(call))));
        held_.clear();
        hold = false;
    }

    std::vector<Call> calls;
    bool hold = false;
    std::size_t Held() const { return held_.size(); }

public Q_SLOTS:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout, const QDBusMessage& message) {
        calls.push_back({app, replaces, icon, summary, body, actions, hints, timeout});
        if (hold) {
            message.setDelayedReply(true);
            held_.push_back(message);
            return 0;
        }
        return Answer(message);
    }
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }

private:
    uint Answer(const QDBusMessage& call) {
        const uint replaces = call.arguments().value(1).toUInt();
        return replaces != 0 ? replaces : nextId_++;
    }

    QDBusConnection connection_;
    std::vector<QDBusMessage> held_;
    uint nextId_ = 1;
};

DesktopNotification Alert(const std::string& key, const std::string& summary) {
    return {key, summary, "127.0.0.1:5432 连续3次连接失败", DesktopNotification::Urgency::Critical};
}

class DesktopNotifierTest : public testing::Test {
protected:
    void SetUp() override {
        if (!bus.Running())
            GTEST_SKIP() << "dbus-daemon is not available";
        app = bus.Connect(QStringLiteral("app"));
        ASSERT_TRUE(app.isConnected());
        notifier = std::make_unique<DesktopNotifier>(
            app, [this](const DesktopNotification& n) { fallbacks.push_back(n.summary); });
        notifier->OnActivated = [this] { ++activations; };
    }

    std::unique_ptr<FakeNotificationService> StartService(const QString& name) {
        auto service = std::make_unique<FakeNotificationService>(bus.Connect(name));
        EXPECT_TRUE(service->Start());
        return service;
    }

    // Sends and waits until the service has answered.
    void ShowAndWait(const DesktopNotification& n) {
        notifier->Show(n);
        ASSERT_TRUE(PumpUntil([&] { return notifier->IdOf(n.key) != 0; }, 10000));
    }

    PrivateBus bus;
    QDBusConnection app{QString()};
    std::unique_ptr<DesktopNotifier> notifier;
    std::vector<std::string> fallbacks;
    int activations = 0;
};

TEST_F(DesktopNotifierTest, SendsTheTextsTheUrgencyTheDefaultActionAndThePicture) {
    auto service = StartService(QStringLiteral("service"));
    QImage picture(32, 32, QImage::Format_ARGB32);
    picture.fill(QColor(0, 255, 0));
    notifier->SetImage(picture);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Monitor"));
    ShowAndWait(Alert("数据库", "服务器故障：数据库"));
    QGuiApplication::setDesktopFileName(QString());

    ASSERT_EQ(service->calls.size(), 1u);
    const FakeNotificationService::Call& call = service->calls[0];
    EXPECT_EQ(call.app, GbkToQString(kDisplayName));
    EXPECT_EQ(call.replaces, 0u);
    // The installed program's menu entry and theme icon.
    EXPECT_EQ(call.icon, QStringLiteral("org.example.Monitor"));
    EXPECT_EQ(call.hints.value(QStringLiteral("desktop-entry")).toString(),
              QStringLiteral("org.example.Monitor"));
    EXPECT_EQ(call.summary, GbkToQString("服务器故障：数据库"));
    EXPECT_EQ(call.body, GbkToQString("127.0.0.1:5432 连续3次连接失败"));
    ASSERT_EQ(call.actions.size(), 2);
    EXPECT_EQ(call.actions[0], QStringLiteral("default"));
    EXPECT_EQ(call.actions[1], GbkToQString("显示界面"));
    EXPECT_EQ(call.timeout, -1);
    // The urgency is a byte on the wire.
    ASSERT_TRUE(call.hints.contains(QStringLiteral("urgency")));
    EXPECT_EQ(call.hints.value(QStringLiteral("urgency")).metaType(), QMetaType::fromType<uchar>());
    EXPECT_EQ(call.hints.value(QStringLiteral("urgency")).value<uchar>(), 2);

    ASSERT_TRUE(call.hints.contains(QStringLiteral("image-data")));
    const auto image = call.hints.value(QStringLiteral("image-data")).value<QDBusArgument>();
    EXPECT_EQ(image.currentSignature(), QStringLiteral("(iiibiiay)"));
    int width = 0, height = 0, stride = 0, bits = 0, channels = 0;
    bool alpha = false;
    QByteArray pixels;
    image.beginStructure();
    image >> width >> height >> stride >> alpha >> bits >> channels >> pixels;
    image.endStructure();
    EXPECT_EQ(width, 32);
    EXPECT_EQ(height, 32);
    EXPECT_EQ(stride, 128);
    EXPECT_TRUE(alpha);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(channels, 4);
    ASSERT_EQ(pixels.size(), 32 * 128);
    // RGBA, byte by byte.
    EXPECT_EQ(pixels.left(4), QByteArray::fromHex("00ff00ff"));
    EXPECT_TRUE(fallbacks.empty());

    notifier->Show({"数据库", "服务器恢复：数据库", "127.0.0.1:5432 已恢复连接",
                    DesktopNotification::Urgency::Normal});
    ASSERT_TRUE(PumpUntil([&] { return service->calls.size() == 2; }, 10000));
    EXPECT_EQ(service->calls[1].hints.value(QStringLiteral("urgency")).value<uchar>(), 1);
    // Not installed: no icon name, no entry.
    EXPECT_EQ(service->calls[1].icon, QString());
    EXPECT_FALSE(service->calls[1].hints.contains(QStringLiteral("desktop-entry")));
}

TEST_F(DesktopNotifierTest, ReplacesTheKeysLastNotificationAndKeepsKeysApart) {
    auto service = StartService(QStringLiteral("service"));
    ShowAndWait(Alert("甲", "first"));
    const uint first = notifier->IdOf("甲");
    ShowAndWait(Alert("乙", "other server"));
    EXPECT_NE(notifier->IdOf("乙"), first);
    notifier->Show(Alert("甲", "second"));
    ASSERT_TRUE(PumpUntil([&] { return service->calls.size() == 3; }, 10000));
    EXPECT_EQ(service->calls[0].replaces, 0u);
    EXPECT_EQ(service->calls[1].replaces, 0u);
    EXPECT_EQ(service->calls[2].replaces, first);
    EXPECT_EQ(service->calls[2].summary, QStringLiteral("second"));
}

TEST_F(DesktopNotifierTest, NotificationsWaitingForAnAnswerFollowItAndOnlyTheLastIsSent) {
    auto service = StartService(QStringLiteral("service"));
    service->hold = true;
    notifier->Show(Alert("甲", "one"));
    ASSERT_TRUE(PumpUntil([&] { return service->Held() == 1; }, 10000));
    notifier->Show(Alert("甲", "two"));
    notifier->Show(Alert("甲", "three"));
    // A notification for another key does not wait.
    notifier->Show(Alert("乙", "other"));
    ASSERT_TRUE(PumpUntil([&] { return service->Held() == 2; }, 10000));
    service->Release();
    ASSERT_TRUE(PumpUntil([&] { return service->calls.size() == 3; }, 10000));
    ASSERT_TRUE(PumpUntil([&] { return notifier->IdOf("甲") != 0; }, 10000));
    std::vector<QString> summaries;
    for (const auto& call : service->calls)
        summaries.push_back(call.summary);
    EXPECT_EQ(summaries, (std::vector<QString>{"one", "other", "three"}));
    EXPECT_EQ(service->calls[2].replaces, 1u);
}

TEST_F(DesktopNotifierTest, OnlyTheDefaultActionOfOurNotificationFromTheServiceActivates) {
    auto service = StartService(QStringLiteral("service"));
    ShowAndWait(Alert("甲", "ours"));
    const uint id = notifier->IdOf("甲");

    // The same signal from someone who is not the service; then, from the service, another
    // action and someone else's notification. A bus delivers one sender's messages in order,
    // and the round trip makes the stranger's signal arrive first.
    QDBusConnection stranger = bus.Connect(QStringLiteral("stranger"));
    QDBusMessage forged = QDBusMessage::createSignal(kPath, kService, "ActionInvoked");
    forged << id << QStringLiteral("default");
    stranger.send(forged);
    stranger.interface()->isServiceRegistered(kService);
    service->Emit("ActionInvoked", {id, QStringLiteral("other")});
    service->Emit("ActionInvoked", {id + 100, QStringLiteral("default")});
    service->Emit("ActionInvoked", {id, QStringLiteral("default")});
    // Seen only after everything the service sent before it.
    service->Emit("NotificationClosed", {id, 2u});
    ASSERT_TRUE(PumpUntil([&] { return notifier->IdOf("甲") == 0; }, 10000));
    EXPECT_EQ(activations, 1);
}

TEST_F(DesktopNotifierTest, AClosedNotificationIsNotReplacedButShownAnew) {
    auto service = StartService(QStringLiteral("service"));
    ShowAndWait(Alert("甲", "first"));
    service->Emit("NotificationClosed", {notifier->IdOf("甲"), 2u});
    ASSERT_TRUE(PumpUntil([&] { return notifier->IdOf("甲") == 0; }, 10000));
    notifier->Show(Alert("甲", "again"));
    ASSERT_TRUE(PumpUntil([&] { return service->calls.size() == 2; }, 10000));
    EXPECT_EQ(service->calls[1].replaces, 0u);
    ASSERT_TRUE(PumpUntil([&] { return notifier->IdOf("甲") != 0; }, 10000));
    // A click on the closed one does nothing, one on the new one shows the window.
    service->Emit("ActionInvoked", {1u, QStringLiteral("default")});
    service->Emit("ActionInvoked", {notifier->IdOf("甲"), QStringLiteral("default")});
    service->Emit("NotificationClosed", {notifier->IdOf("甲"), 2u});
    ASSERT_TRUE(PumpUntil([&] { return notifier->IdOf("甲") == 0; }, 10000));
    EXPECT_EQ(activations, 1);
}

TEST_F(DesktopNotifierTest, ANewServiceStartsWithoutTheOldIds) {
    auto first = StartService(QStringLiteral("first"));
    ShowAndWait(Alert("甲", "to the first"));
    ASSERT_TRUE(first->Stop());
    auto second = StartService(QStringLiteral("second"));
    ASSERT_TRUE(PumpUntil([&] { return notifier->IdOf("甲") == 0; }, 10000));
    ShowAndWait(Alert("甲", "to the second"));
    ASSERT_EQ(second->calls.size(), 1u);
    EXPECT_EQ(second->calls[0].replaces, 0u);
    EXPECT_TRUE(fallbacks.empty());
}

TEST_F(DesktopNotifierTest, WithoutAServiceTheFallbackShowsIt) {
    notifier->Show(Alert("甲", "nobody listens"));
    ASSERT_TRUE(PumpUntil([&] { return !fallbacks.empty(); }, 15000));
    EXPECT_EQ(fallbacks, std::vector<std::string>{"nobody listens"});
    EXPECT_EQ(notifier->IdOf("甲"), 0u);
}

TEST(DesktopNotifierWithoutBus, GoesToTheFallbackAtOnce) {
    QDBusConnection none =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), "none");
    ASSERT_FALSE(none.isConnected());
    std::vector<std::string> fallbacks;
    DesktopNotifier notifier(none,
                             [&](const DesktopNotification& n) { fallbacks.push_back(n.body); });
    notifier.Show(Alert("甲", "x"));
    EXPECT_EQ(fallbacks, std::vector<std::string>{"127.0.0.1:5432 连续3次连接失败"});
    DesktopNotifier silent(none, nullptr);
    silent.Show(Alert("甲", "y")); // no fallback: nothing at all
    QDBusConnection::disconnectFromBus(QStringLiteral("none"));
}

} // namespace

#include "DesktopNotifierTest.moc"
