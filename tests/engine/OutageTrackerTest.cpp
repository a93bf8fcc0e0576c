#include "engine/OutageTracker.h"
#include "CycleFixture.h"
#include "support/Loopback.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using std::chrono::seconds;

const WallTime kT0 = WallTime{} + seconds(1700000000);

// Every event as one line, so a sequence compares in one expectation.
class Recorder : public OutageObserver {
public:
    std::vector<std::string> events;
    std::vector<Outage> started, alerted, ended;
    std::vector<std::vector<ServerKey>> loads;
    std::vector<std::pair<SmsEvent, bool>> sms;

    static std::string At(WallTime t) { return std::to_string((t - kT0) / seconds(1)); }

    void ServersLoaded(const std::vector<ServerKey>& servers) override {
        loads.push_back(servers);
        events.push_back("loaded " + std::to_string(servers.size()));
    }
    void ProbeEnded(const ProbeEvent& p) override {
        events.push_back("probe " + p.server.address + " " + ProbeResultWord(p.result) + " " +
                         std::to_string(p.consecutiveFailures));
    }
    void OutageStarted(const Outage& o) override {
        started.push_back(o);
        events.push_back("down " + o.server.address + " from " + At(o.start));
    }
    void AlertStarted(const Outage& o) override {
        alerted.push_back(o);
        events.push_back("alert " + o.server.address);
    }
    void SmsOutcome(const SmsEvent& s, const Outage* o) override {
        sms.emplace_back(s, o != nullptr);
        events.push_back(std::string("sms ") + (s.sent ? "sent" : "failed"));
    }
    void OutageEnded(const Outage& o) override {
        ended.push_back(o);
        events.push_back("up " + o.server.address + " at " + At(*o.end));
    }
};

// The tracker fed by hand, over a loaded table of two servers; probe n of a slot starts at
// kT0 + 10n s and ends 2 s later.
class OutageTrackerTest : public CycleFixture {
protected:
    OutageTrackerTest() : CycleFixture(100) {}
    void SetUp() override {
        CycleFixture::SetUp();
        LoadServersFrom(dir.write("servers.ini", "[网站]\r\nIP=127.0.0.1\r\nPort=80\r\n"
                                                 "[数据库]\r\nIP=127.0.0.2\r\nPort=5432\r\n"),
                        view);
        tracker.ServersLoaded(kT0);
        tracker.AddObserver(&recorder);
    }
    void Probe(int slot, ProbeResult result) {
        const WallTime start = kT0 + seconds(10 * ++n_);
        tracker.ProbeEnded(
            slot, result, start, start + seconds(2),
            result == ProbeResult::Held || result == ProbeResult::Dropped
                ? std::optional<std::chrono::nanoseconds>(std::chrono::milliseconds(1))
                : std::nullopt);
    }

    OutageTracker tracker;
    Recorder recorder;

private:
    int n_ = 0;
};

TEST_F(OutageTrackerTest, DownAtTheThirdFailureInARowAndBackAtTheNextHeldProbe) {
    using R = ProbeResult;
    for (R r : {R::Held, R::Refused, R::Unreachable, R::Held, R::Refused, R::Refused, R::Dropped,
                R::Unreachable, R::Held, R::Held})
        Probe(1, r);
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"probe 127.0.0.2 held 0", "probe 127.0.0.2 refused 1",
                                        "probe 127.0.0.2 unreachable 2", "probe 127.0.0.2 held 0",
                                        "probe 127.0.0.2 refused 1", "probe 127.0.0.2 refused 2",
                                        "probe 127.0.0.2 dropped 3", "down 127.0.0.2 from 50",
                                        "probe 127.0.0.2 unreachable 4", "probe 127.0.0.2 held 0",
                                        "up 127.0.0.2 at 90", "probe 127.0.0.2 held 0"}));
    ASSERT_EQ(recorder.ended.size(), 1u);
    const Outage& o = recorder.ended[0];
    EXPECT_EQ(o.server, (ServerKey{"数据库", "127.0.0.2", 5432}));
    EXPECT_EQ(o.declared, kT0 + seconds(72));
    EXPECT_EQ(o.cause, R::Refused);
    EXPECT_EQ(o.lastResult, R::Unreachable);
    EXPECT_EQ(o.failures, 4);
    EXPECT_EQ(o.endReason, OutageEnd::Answered);
    EXPECT_FALSE(o.alertStarted);
    EXPECT_EQ(o.id, recorder.started[0].id);
    EXPECT_EQ(recorder.started[0].endReason, OutageEnd::Open);
    EXPECT_FALSE(recorder.started[0].end.has_value());
}

TEST_F(OutageTrackerTest, ADroppedConnectionNeverResetsTheCount) {
    // A connection that is made and dropped during the hold is a failure like any other.
    for (int i = 0; i < 3; ++i)
        Probe(0, ProbeResult::Dropped);
    ASSERT_EQ(recorder.started.size(), 1u);
    EXPECT_EQ(recorder.started[0].cause, ProbeResult::Dropped);
    EXPECT_EQ(tracker.Failures(0), 3);
    ASSERT_NE(tracker.OpenOutage(0), nullptr);
    EXPECT_EQ(tracker.OpenOutage(1), nullptr);
}

TEST_F(OutageTrackerTest, OneAlertPerOutageAndSmsOutcomesFindTheirOutage) {
    tracker.AlertStarted(0); // no outage: nothing
    for (int i = 0; i < 3; ++i)
        Probe(0, ProbeResult::Refused);
    tracker.AlertStarted(0);
    tracker.AlertStarted(0);
    const std::uint64_t id = tracker.OpenOutage(0)->id;
    const ServerKey web{"网站", "127.0.0.1", 80};
    tracker.SmsOutcome(id, web, kT0, true);
    Probe(0, ProbeResult::Held);
    // A send reported after the end still counts for its outage; one of no outage stands alone.
    tracker.SmsOutcome(id, web, kT0, false);
    tracker.SmsOutcome(0, web, kT0, true);
    ASSERT_EQ(recorder.alerted.size(), 1u);
    EXPECT_TRUE(recorder.alerted[0].alertStarted);
    ASSERT_EQ(recorder.ended.size(), 1u);
    EXPECT_TRUE(recorder.ended[0].alertStarted);
    EXPECT_EQ(recorder.ended[0].smsSent, 1);
    ASSERT_EQ(recorder.sms.size(), 3u);
    EXPECT_TRUE(recorder.sms[0].second);
    EXPECT_TRUE(recorder.sms[1].second);
    EXPECT_EQ(recorder.sms[1].first.outageId, id);
    EXPECT_FALSE(recorder.sms[2].second);
    EXPECT_EQ(recorder.sms[2].first.outageId, 0u);
}

TEST_F(OutageTrackerTest, AReloadEndsOpenOutagesAndStartsEveryCountAgain) {
    for (int i = 0; i < 3; ++i)
        Probe(0, ProbeResult::Refused);
    Probe(1, ProbeResult::Refused);
    Probe(1, ProbeResult::Refused);
    tracker.ServersLoaded(kT0 + seconds(500));
    ASSERT_EQ(recorder.ended.size(), 1u);
    EXPECT_EQ(recorder.ended[0].endReason, OutageEnd::ListReloaded);
    EXPECT_EQ(*recorder.ended[0].end, kT0 + seconds(500));
    ASSERT_EQ(recorder.loads.size(), 1u);
    EXPECT_EQ(recorder.loads[0],
              (std::vector<ServerKey>{{"网站", "127.0.0.1", 80}, {"数据库", "127.0.0.2", 5432}}));
    // Two failures before the reload and one after are not three in a row.
    Probe(1, ProbeResult::Refused);
    EXPECT_EQ(recorder.started.size(), 1u);
    EXPECT_EQ(tracker.Failures(1), 1);

    // A slot that holds another server than before starts again even without a word.
    Probe(1, ProbeResult::Refused);
    LoadServersFrom(dir.write("other.ini", "[网站]\r\nIP=127.0.0.1\r\nPort=80\r\n"
                                           "[缓存]\r\nIP=127.0.0.9\r\nPort=6379\r\n"),
                    view);
    Probe(1, ProbeResult::Refused);
    EXPECT_EQ(tracker.Failures(1), 1);
    EXPECT_EQ(tracker.Server(1)->address, "127.0.0.9");
    // Empty or impossible slots are ignored.
    Probe(2, ProbeResult::Refused);
    Probe(-1, ProbeResult::Refused);
    tracker.AlertStarted(kServerSlots);
    EXPECT_EQ(tracker.Server(2), nullptr);

    tracker.Stop(kT0 + seconds(900));
    EXPECT_EQ(recorder.ended.size(), 1u); // nothing was open
}

// The real cycle feeds its tracker: refused, held and dropped probes are told apart.
class OutageFromCycleTest : public CycleFixture {
protected:
    OutageFromCycleTest() : CycleFixture(150) {}
};

TEST_F(OutageFromCycleTest, TheCycleReportsHowEachProbeEndedAndDecidesTheOutage) {
    LoopbackServer held(LoopbackServer::Hold);
    LoopbackServer reset(LoopbackServer::ResetAfter, 20);
    const int refused = RefusedPort();
    auto entry = [](const std::string& name, int port) {
        return "[" + name + "]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(port) +
               "\r\nSoundAlert=0\r\nSMSAlert=0\r\n";
    };
    Recorder recorder;
    engine->Outages().AddObserver(&recorder);
    engine->LoadServers(); // no servers.ini in this folder: an empty list
    LoadServersFrom(dir.write("servers.ini", entry("held", held.port()) +
                                                 entry("reset", reset.port()) +
                                                 entry("refused", refused)),
                    view);
    for (int cycle = 0; cycle < 3; ++cycle)
        engine->Button1Click();
    std::vector<std::string> probes;
    for (const std::string& e : recorder.events)
        if (e.rfind("probe", 0) == 0)
            probes.push_back(e.substr(0, e.rfind(' ')));
        else if (e.rfind("down", 0) == 0)
            probes.push_back(e.substr(0, e.find(' ', 5)));
    EXPECT_EQ(probes, (std::vector<std::string>{"probe 127.0.0.1 held", "probe 127.0.0.1 dropped",
                                                "probe 127.0.0.1 refused", "probe 127.0.0.1 held",
                                                "probe 127.0.0.1 dropped",
                                                "probe 127.0.0.1 refused", "probe 127.0.0.1 held",
                                                "probe 127.0.0.1 dropped", "down 127.0.0.1",
                                                "probe 127.0.0.1 refused", "down 127.0.0.1"}));
    // The cycle's alert (the first slot whose FailCount is above 2) belongs to an outage.
    ASSERT_EQ(recorder.alerted.size(), 1u);
    ASSERT_GE(engine->LastAlertSlot(), 1);
    EXPECT_EQ(recorder.alerted[0].server, *engine->Outages().Server(engine->LastAlertSlot()));
    ASSERT_EQ(recorder.started.size(), 2u);
    EXPECT_EQ(recorder.started[0].server.name, "reset");
    EXPECT_EQ(recorder.started[1].server.name, "refused");
    engine->Outages().RemoveObserver(&recorder);
}

} // namespace
