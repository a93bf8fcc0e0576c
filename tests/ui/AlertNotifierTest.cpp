#include "ui/AlertNotifier.h"
#include "engine/FakeView.h"
#include "engine/ProbeCycle.h"
#include "support/Loopback.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using Urgency = DesktopNotification::Urgency;

// A cycle that never runs by itself, and a table of three servers; what is notified is kept as
// "summary|body|urgency".
class AlertNotifierTest : public testing::Test {
protected:
    void SetUp() override {
        engine.Timer1.stop();
        LoadServersFrom(dir.write("servers.ini", "[网站]\r\nIP=127.0.0.1\r\nPort=80\r\n"
                                                 "[数据库]\r\nIP=127.0.0.2\r\nPort=5432\r\n"
                                                 "[邮件]\r\nIP=127.0.0.3\r\nPort=25\r\n"),
                        view);
    }
    void TearDown() override { LoadServersFrom(dir.file("none.ini"), view); }

    // The engine's outage tracker is fed as the cycle feeds it.
    void Fail(int slot, int times) {
        const auto now = std::chrono::system_clock::now();
        for (int i = 0; i < times; ++i)
            engine.Outages().ProbeEnded(slot, ProbeResult::Refused, now, now, {});
    }
    void Succeed(int slot) {
        const auto now = std::chrono::system_clock::now();
        engine.Outages().ProbeEnded(slot, ProbeResult::Held, now, now,
                                    std::chrono::milliseconds(1));
    }
    void AlertStarted(int slot) { engine.Outages().AlertStarted(slot); }

    TempDir dir;
    FakeView view;
    ProbeCycle engine{view};
    std::vector<std::string> shown;
    std::vector<std::string> keys;
    AlertNotifier notifier{engine, [this](const DesktopNotification& n) {
                               shown.push_back(n.summary + "|" + n.body + "|" +
                                               std::to_string(static_cast<int>(n.urgency)));
                               keys.push_back(n.key);
                           }};
};

TEST_F(AlertNotifierTest, OneNotificationPerAlertAndOneWhenTheServerIsBack) {
    Fail(1, 3);
    AlertStarted(1);
    Fail(1, 1);
    AlertStarted(1); // the same alert, a cycle later
    Succeed(1);
    Succeed(1); // back already: nothing more
    EXPECT_EQ(shown,
              (std::vector<std::string>{"服务器故障：数据库|127.0.0.2:5432 连续3次连接失败|2",
                                        "服务器恢复：数据库|127.0.0.2:5432 已恢复连接|1"}));
    // One key per server, so the recovery replaces the alert on the desktop.
    EXPECT_EQ(keys, (std::vector<std::string>{"数据库", "数据库"}));

    // A new run of failures is a new alert.
    shown.clear();
    Fail(1, 5);
    AlertStarted(1);
    EXPECT_EQ(shown,
              std::vector<std::string>{"服务器故障：数据库|127.0.0.2:5432 连续5次连接失败|2"});
}

TEST_F(AlertNotifierTest, AServerThatNeverAlertedIsNotAnnouncedWhenItAnswers) {
    Fail(0, 2);
    Succeed(0);
    Fail(2, 4); // failing, but a server above it takes the alert
    Succeed(2);
    EXPECT_TRUE(shown.empty());
}

TEST_F(AlertNotifierTest, ServersAlertApartAndAReloadForgetsTheirAlerts) {
    Fail(0, 3);
    AlertStarted(0);
    Succeed(0);
    Fail(2, 3);
    AlertStarted(2);
    Fail(0, 3);
    AlertStarted(0);
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(keys, (std::vector<std::string>{"网站", "网站", "邮件", "网站"}));

    // After a reload a server that is still failing alerts again, and one that answers is not
    // announced as back.
    shown.clear();
    engine.Outages().ServersLoaded(std::chrono::system_clock::now());
    Succeed(2);
    Fail(0, 3);
    AlertStarted(0);
    EXPECT_EQ(shown, std::vector<std::string>{"服务器故障：网站|127.0.0.1:80 连续3次连接失败|2"});
    // Out-of-range slots are ignored.
    AlertStarted(-1);
    AlertStarted(kServerSlots);
    Succeed(kServerSlots);
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(AlertNotifierTest, FollowsTheRealCycleUntilItGoesAway) {
    // Both switches off: the alert workers end at once.
    LoopbackServer server(LoopbackServer::Hold);
    engine.Timer2.setInterval(20);
    const int refused = RefusedPort();
    LoadServersFrom(dir.write("servers.ini",
                              "[网站]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(server.port()) +
                                  "\r\nSoundAlert=0\r\nSMSAlert=0\r\n"
                                  "[数据库]\r\nIP=127.0.0.1\r\nPort=" +
                                  std::to_string(refused) + "\r\nSoundAlert=0\r\nSMSAlert=0\r\n"),
                    view);
    for (int cycle = 1; cycle <= 4; ++cycle) {
        engine.Button1Click();
        EXPECT_EQ(shown.size(), cycle < 3 ? 0u : 1u) << "after cycle " << cycle;
    }
    ASSERT_EQ(engine.LastAlertSlot(), 1);
    EXPECT_EQ(shown, std::vector<std::string>{"服务器故障：数据库|127.0.0.1:" +
                                              std::to_string(refused) + " 连续3次连接失败|2"});

    {
        AlertNotifier second(engine, [this](const DesktopNotification&) { shown.push_back("x"); });
    }
    engine.Button1Click(); // the observer that went away hears nothing
    EXPECT_EQ(shown.size(), 1u);
}

// A server that accepts and then drops every connection is announced after its third probe,
// and back only after a probe held for the whole hold.
TEST_F(AlertNotifierTest, ADroppingServerIsAnnouncedAndBackOnlyAfterAWholeHold) {
    LoopbackServer dropping(LoopbackServer::CloseAfter, 20);
    engine.Timer2.setInterval(1000);
    LoadServersFrom(dir.write("servers.ini",
                              "[代理]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(dropping.port()) +
                                  "\r\nSoundAlert=0\r\nSMSAlert=0\r\n"),
                    view);
    for (int cycle = 1; cycle <= 4; ++cycle) {
        engine.Button1Click();
        EXPECT_EQ(shown.size(), cycle < 3 ? 0u : 1u) << "after cycle " << cycle;
    }
    const std::string address = "127.0.0.1:" + std::to_string(dropping.port());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "服务器故障：代理|" + address + " 连续3次连接失败|2");

    // The same server, now holding its connections: an outage is known by name, address and
    // port, so it is this one that ends.
    dropping.setMode(LoopbackServer::Hold);
    engine.Button1Click();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1], "服务器恢复：代理|" + address + " 已恢复连接|1");
}

} // namespace
