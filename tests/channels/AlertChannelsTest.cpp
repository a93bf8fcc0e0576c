// The channels on the real probe cycle (loopback servers, a shortened hold) against a local HTTP
// receiver: grouping, the all-down message, back with its duration, a reminder, the start-up
// lines, and a receiver that never answers while the cycle holds its probes.
#include "channels/AlertChannels.h"
#include "engine/CycleFixture.h"

#include "channels/ChannelNotifier.h"
#include "channels/CurlTransport.h"
#include "channels/DeliveryWorker.h"
#include "platform/GbkText.h"
#include "support/LocalReceiver.h"
#include "support/Loopback.h"
#include "support/Pump.h"
#include "tests/channels/RecordedLines.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <iostream>
#include <mutex>
#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;

std::string U(const std::string& gbk) {
    return GbkToUtf8(gbk);
}

// The JSON body a record carries.
QJsonObject Body(const QJsonObject& record) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(Base64Field(record, "body"))).object();
}

std::vector<std::string> ServerNames(const QJsonObject& body) {
    std::vector<std::string> names;
    for (const QJsonValue& server : body.value("servers").toArray())
        names.push_back(server.toObject().value("name").toString().toStdString());
    return names;
}

class ChannelsOnTheCycle : public CycleFixture {
protected:
    ChannelsOnTheCycle() : CycleFixture(100) {}

    // servers.ini naming (name, port) on 127.0.0.1, without tones or SMS.
    void Servers(const std::vector<std::pair<std::string, int>>& servers) {
        std::string text;
        for (const auto& [name, port] : servers)
            text += "[" + name + "]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(port) +
                    "\r\nSoundAlert=0\r\nSMSAlert=0\r\n";
        dir.write("servers.ini", text);
        // The cycle's own reload, so that its observers hear of the list.
        WorkingDirectory here(dir.path());
        engine->LoadServers();
    }

    // A worker posting to the receiver in JSON, and its notifier on the cycle.
    void Follow(int port, int remindMinutes = 0) {
        InitCurlOnce();
        WebhookSetting setting;
        setting.state = ChannelState::On;
        setting.url = "http://127.0.0.1:" + std::to_string(port) + "/hook";
        DeliveryWorker::Timing timing;
        timing.firstBackOff = 200ms;
        worker = std::make_unique<DeliveryWorker>("webhook", WebhookTransport(setting, {5s, 10s}),
                                                  errors.Sink(), timing);
        notifier = std::make_unique<ChannelNotifier>(
            *engine, remindMinutes, [this](Message m) { worker->Post(std::move(m)); });
    }
    void TearDown() override {
        notifier.reset();
        worker.reset();
        CycleFixture::TearDown();
    }
    void Cycles(int count) {
        for (int i = 0; i < count; ++i)
            engine->Button1Click();
    }
    bool Delivered() {
        return WaitUntil([&] { return worker->Pending() == 0; }, 30s);
    }

    RecordedLines errors;
    std::unique_ptr<DeliveryWorker> worker;
    std::unique_ptr<ChannelNotifier> notifier;
};

TEST_F(ChannelsOnTheCycle, ThreeServersDownInOneCycleGiveOneMessageThenBackWithItsDuration) {
    LocalReceiver receiver("http", {}, dir.path());
    LoopbackServer web(LoopbackServer::Hold);
    LoopbackListener late(LoopbackListener::BoundOnly{});
    Servers({{"网站", web.port()},
             {"数据库", RefusedPort(1)},
             {"邮件", RefusedPort(2)},
             {"备份", late.Port()}});
    Follow(receiver.port());

    Cycles(2);
    ASSERT_TRUE(Delivered());
    EXPECT_EQ(receiver.Records().size(), 0u) << "two failures are no outage";
    Cycles(1);
    ASSERT_TRUE(Delivered());
    ASSERT_TRUE(receiver.WaitForRecords(1));
    QJsonObject down = Body(receiver.Records().at(0));
    EXPECT_EQ(down.value("event").toString(), "down");
    EXPECT_EQ(down.value("title").toString().toStdString(), U("3台服务器故障"));
    EXPECT_EQ(ServerNames(down), (std::vector<std::string>{U("数据库"), U("邮件"), U("备份")}));
    for (const QJsonValue& server : down.value("servers").toArray())
        EXPECT_EQ(server.toObject().value("failures").toInt(), 3);

    // 备份 answers again: one back message with its duration; the other two stay down.
    late.Listen(64);
    Cycles(1);
    ASSERT_TRUE(receiver.WaitForRecords(2));
    const QJsonObject back = Body(receiver.Records().at(1));
    EXPECT_EQ(back.value("event").toString(), "back");
    EXPECT_EQ(ServerNames(back), std::vector<std::string>{U("备份")});
    const QJsonObject server = back.value("servers").toArray().at(0).toObject();
    EXPECT_GE(server.value("duration_seconds").toInt(), 0);
    EXPECT_NE(back.value("message").toString().toStdString().find(U("已恢复，故障持续")),
              std::string::npos);
    Cycles(1);
    ASSERT_TRUE(Delivered());
    EXPECT_EQ(receiver.Records().size(), 2u);
    EXPECT_EQ(errors.lines(), std::vector<std::string>{});
}

TEST_F(ChannelsOnTheCycle, EveryServerFailingGivesTheNetworkMessageAndRemindersFollow) {
    LocalReceiver receiver("http", {}, dir.path());
    Servers({{"网站", RefusedPort(1)}, {"数据库", RefusedPort(2)}});
    Follow(receiver.port(), 1);
    Cycles(3);
    ASSERT_TRUE(receiver.WaitForRecords(1));
    const QJsonObject all = Body(receiver.Records().at(0));
    EXPECT_EQ(all.value("event").toString(), "all_down");
    EXPECT_EQ(all.value("title").toString().toStdString(), U("本机无法连接任何服务器"));
    EXPECT_EQ(ServerNames(all), (std::vector<std::string>{U("网站"), U("数据库")}));

    // A minute on (the cycle's edges, at a time the test chooses): one reminder for both.
    notifier->CycleStarted();
    notifier->CycleEnded(std::chrono::system_clock::now() + 61s);
    ASSERT_TRUE(receiver.WaitForRecords(2));
    const QJsonObject reminder = Body(receiver.Records().at(1));
    EXPECT_EQ(reminder.value("event").toString(), "reminder");
    EXPECT_EQ(reminder.value("title").toString().toStdString(), U("2台服务器仍故障"));
    EXPECT_NE(reminder.value("message").toString().toStdString().find(U("仍然故障")),
              std::string::npos);
    // Not again within the minute.
    Cycles(1);
    ASSERT_TRUE(Delivered());
    EXPECT_EQ(receiver.Records().size(), 2u);
}

// Records when the engine declared each outage (the end of its third failed probe).
class Declared : public OutageObserver {
public:
    void OutageStarted(const Outage& outage) override { times.push_back(outage.declared); }
    std::vector<WallTime> times;
};

TEST_F(ChannelsOnTheCycle, LatencyFromTheThirdFailureToTheReceiver) {
    LocalReceiver receiver("http", {}, dir.path());
    LoopbackServer web(LoopbackServer::Hold);
    Servers({{"数据库", RefusedPort(1)}, {"网站", web.port()}});
    Follow(receiver.port());
    Declared declared;
    engine->Outages().AddObserver(&declared);
    constexpr int kOutages = 10;
    for (int i = 0; i < kOutages; ++i) {
        Cycles(3);
        ASSERT_TRUE(receiver.WaitForRecords(i + 1));
        // A reload ends the outage without a message; the next one starts from nothing.
        WorkingDirectory here(dir.path());
        engine->LoadServers();
    }
    engine->Outages().RemoveObserver(&declared);
    const auto records = receiver.Records();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(kOutages));
    ASSERT_EQ(declared.times.size(), static_cast<std::size_t>(kOutages));
    std::vector<double> latencies;
    for (int i = 0; i < kOutages; ++i) {
        const double received = records[i].value("time").toDouble();
        const double third =
            std::chrono::duration<double>(declared.times[i].time_since_epoch()).count();
        latencies.push_back((received - third) * 1000);
    }
    std::sort(latencies.begin(), latencies.end());
    std::cout << "third failure -> receiver, median of " << kOutages << ": "
              << (latencies[kOutages / 2 - 1] + latencies[kOutages / 2]) / 2 << " ms (min "
              << latencies.front() << ", max " << latencies.back() << ")\n";
    // Only a sanity bound: the figure is for the record, not a timing assertion.
    EXPECT_LT(latencies.back(), 10000);
    EXPECT_GT(latencies.front(), 0);
}

TEST_F(ChannelsOnTheCycle, SettingsThatCannotBeUsedAreOneLineEachAndNeverShowTheSecret) {
    RecordedLines lines;
    const std::string path =
        dir.write("monitor.ini",
                  "[Webhook]\r\nURL=https://127.0.0.1:1/x?token=tk_s3cr3t\r\n[Mail]\r\n"
                  "Server=127.0.0.1\r\nUser=u\r\nPassword=pw_s3cr3t\r\nFrom=a@b\r\nTo=c@d\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    EXPECT_EQ(StartAlertChannels(*engine, path, lines.Sink()), nullptr);
    const std::vector<std::string> expected = {
        "servermonitor: " + path +
            ": [Webhook] holds a token of [Webhook] but its permissions "
            "0644 let others read it; allow its owner only (chmod 600 " +
            path + "); the webhook channel is off\n",
        "servermonitor: " + path +
            ": [Mail] holds the password of [Mail] but its permissions "
            "0644 let others read it; allow its owner only (chmod 600 " +
            path + "); the mail channel is off\n"};
    EXPECT_EQ(lines.lines(), expected);

    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    const auto channels = StartAlertChannels(*engine, path, lines.Sink());
    ASSERT_NE(channels, nullptr);
    EXPECT_EQ(channels->On(), (std::vector<std::string>{"webhook", "mail"}));
    EXPECT_EQ(lines.lines().size(), 2u);

    dir.write("monitor.ini",
              "[Webhook]\r\nURL=http://h/\r\nCAFile=" + dir.file("none.pem") + "\r\n");
    EXPECT_EQ(StartAlertChannels(*engine, path, lines.Sink()), nullptr);
    EXPECT_EQ(lines.lines().back(), "servermonitor: " + path +
                                        ": [Webhook] CAFile=" + dir.file("none.pem") +
                                        " cannot be read: No such file or directory; the webhook "
                                        "channel is off\n");
    for (const std::string& line : lines.lines())
        EXPECT_EQ(line.find("s3cr3t"), std::string::npos) << line;
    EXPECT_EQ(Redacted("a tk_s3cr3t b pw c", {"tk_s3cr3t", "pw"}), "a *** b pw c");
}

class HangingReceiver : public CycleFixture {
protected:
    HangingReceiver() : CycleFixture(2000) {}
};

TEST_F(HangingReceiver, TheProbeHoldsStayTwoSecondsWhileTheReceiverNeverAnswers) {
    LocalReceiver receiver("http", {"--hang"}, dir.path());
    LoopbackServer web(LoopbackServer::Hold);
    const std::string path = dir.write(
        "monitor.ini",
        "[Webhook]\r\nURL=http://127.0.0.1:" + std::to_string(receiver.port()) + "/hook\r\n");
    dir.write("servers.ini", "[网站]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(web.port()) +
                                 "\r\nSoundAlert=0\r\nSMSAlert=0\r\n[数据库]\r\nIP=127.0.0.1\r\n"
                                 "Port=" +
                                 std::to_string(RefusedPort(1)) +
                                 "\r\nSoundAlert=0\r\nSMSAlert=0\r\n");
    WorkingDirectory here(dir.path());
    engine->LoadServers();
    RecordedLines lines;
    AlertChannels::Timing timing;
    timing.timeouts = {5s, 30s};
    const auto channels = StartAlertChannels(*engine, path, lines.Sink(), timing);
    ASSERT_NE(channels, nullptr);

    for (int i = 0; i < 5; ++i)
        engine->Button1Click();
    // The down message went out at the third cycle and hangs in its worker since.
    ASSERT_TRUE(receiver.WaitForRecords(1));
    EXPECT_EQ(channels->Pending(), 1u);
    // The server's thread records a connection once it sees the close.
    ASSERT_TRUE(WaitUntil([&] { return web.held().size() == 5; }));
    const auto held = web.held();
    std::string shown;
    for (const auto hold : held)
        shown += " " + std::to_string(hold.count()) + " ms";
    std::cout << "holds while the receiver hung:" << shown << "\n";
    for (const auto hold : held) {
        EXPECT_GE(hold, 1950ms);
        EXPECT_LT(hold, 2600ms) << "a hold stretched while the receiver hung";
    }
}

} // namespace
