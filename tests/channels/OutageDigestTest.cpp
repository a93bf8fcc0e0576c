#include "channels/OutageDigest.h"

#include "platform/GbkText.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using TimePoint = std::chrono::system_clock::time_point;
using Kind = Message::Kind;

const TimePoint kStart = std::chrono::system_clock::from_time_t(1796799600);

OutageServer Server(const std::string& name, int failures, TimePoint since = kStart) {
    OutageServer server;
    server.name = name;
    server.address = "127.0.0.1";
    server.port = 80;
    server.failingSince = since;
    server.failures = failures;
    return server;
}

std::vector<std::string> Names(const Message& message) {
    std::vector<std::string> names;
    for (const OutageServer& server : message.servers)
        names.push_back(server.name);
    return names;
}

// One cycle over (name, failures, wentDown) probes; failures 0 is a success.
struct Probe {
    std::string name;
    int failures;
    bool wentDown = false;
    bool cameBack = false;
};

std::vector<Message> Cycle(OutageDigest& digest, const std::vector<Probe>& probes, TimePoint end) {
    digest.CycleStarted();
    for (const Probe& probe : probes) {
        OutageServer server = Server(probe.name, probe.failures);
        digest.ProbeEnded(server, probe.failures == 0);
        if (probe.wentDown)
            digest.WentDown(server);
        if (probe.cameBack) {
            server.backAt = end;
            digest.CameBack(server);
        }
    }
    return digest.CycleEnded(end);
}

TEST(OutageDigest, ServersDownInOneCycleShareOneMessage) {
    OutageDigest digest(0);
    EXPECT_TRUE(Cycle(digest, {{"a", 2}, {"b", 2}, {"c", 2}, {"d", 0}}, kStart).empty());
    const auto messages =
        Cycle(digest, {{"a", 3, true}, {"b", 3, true}, {"c", 3, true}, {"d", 0}}, kStart + 10s);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, Kind::Down);
    EXPECT_EQ(Names(messages[0]), (std::vector<std::string>{"a", "b", "c"}));
    // Staying down says nothing more without reminders.
    EXPECT_TRUE(Cycle(digest, {{"a", 4}, {"b", 4}, {"c", 4}, {"d", 0}}, kStart + 1h).empty());
}

TEST(OutageDigest, EveryServerFailingGivesTheOneNetworkMessage) {
    OutageDigest digest(0);
    const auto messages = Cycle(digest, {{"a", 3, true}, {"b", 3, true}, {"c", 1}}, kStart);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, Kind::AllDown);
    EXPECT_EQ(Names(messages[0]), (std::vector<std::string>{"a", "b", "c"}));
    // One server alone is just down.
    OutageDigest single(0);
    EXPECT_EQ(Cycle(single, {{"a", 3, true}}, kStart).at(0).kind, Kind::Down);
}

TEST(OutageDigest, BackOnlyAfterADownAndTogether) {
    OutageDigest digest(0);
    Cycle(digest, {{"a", 3, true}, {"b", 3, true}, {"c", 0}}, kStart);
    // A server that was never down is not "back".
    auto messages =
        Cycle(digest, {{"a", 0, false, true}, {"b", 0, false, true}, {"c", 0, false, true}},
              kStart + 1min);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, Kind::Back);
    EXPECT_EQ(Names(messages[0]), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(messages[0].servers[0].backAt - messages[0].servers[0].failingSince, 1min);
    messages = Cycle(digest, {{"a", 3, true}, {"b", 0, false, true}, {"c", 0}}, kStart + 2min);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, Kind::Down);
}

TEST(OutageDigest, RemindersEveryRemindMinutesWhileDown) {
    OutageDigest digest(10);
    Cycle(digest, {{"a", 3, true}, {"b", 0}, {"c", 0}}, kStart);
    EXPECT_TRUE(Cycle(digest, {{"a", 50}, {"b", 0}, {"c", 0}}, kStart + 9min + 59s).empty());
    auto messages = Cycle(digest, {{"a", 51}, {"b", 3, true}, {"c", 0}}, kStart + 10min);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].kind, Kind::Down);
    EXPECT_EQ(Names(messages[0]), std::vector<std::string>{"b"});
    EXPECT_EQ(messages[1].kind, Kind::Reminder);
    EXPECT_EQ(Names(messages[1]), std::vector<std::string>{"a"});
    EXPECT_EQ(messages[1].servers[0].failures, 51);
    // The next reminder of each counts from its own last notice; due together, one message.
    messages = Cycle(digest, {{"a", 60}, {"b", 9}, {"c", 0}}, kStart + 20min);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(Names(messages[0]), (std::vector<std::string>{"a", "b"}));
    // Back: no more reminders.
    Cycle(digest, {{"a", 0, false, true}, {"b", 0, false, true}}, kStart + 25min);
    EXPECT_TRUE(Cycle(digest, {{"a", 0}, {"b", 0}}, kStart + 2h).empty());
}

TEST(OutageDigest, AReloadForgetsTheOutages) {
    OutageDigest digest(1);
    Cycle(digest, {{"a", 3, true}, {"b", 0}}, kStart);
    digest.ServersLoaded();
    EXPECT_TRUE(Cycle(digest, {{"a", 0, false, true}, {"b", 0}}, kStart + 5min).empty());
}

} // namespace
