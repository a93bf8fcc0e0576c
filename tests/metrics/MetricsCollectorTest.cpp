#include "metrics/MetricsCollector.h"
#include "engine/CycleFixture.h"

#include "engine/AlertTestSupport.h"
#include "engine/FakeView.h"
#include "engine/ProbeCycle.h"
#include "engine/ProbeFlags.h"
#include "engine/ServerTable.h"
#include "platform/ErrorReport.h"
#include "support/FakeModem.h"
#include "support/Loopback.h"
#include "support/ScopedSeam.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

constexpr int kHoldMs = 100;

struct Entry {
    std::string name;
    int port;
};

// The probe cycle over local servers with tones and SMS replaced; every list is loaded through
// the engine from servers.ini in a working directory of the test's own, as the settings
// dialog's reload does.
class MetricsCollectorTest : public CycleFixture {
protected:
    MetricsCollectorTest() : CycleFixture(kHoldMs) {}
    void TearDown() override {
        CycleFixture::TearDown();
        EXPECT_TRUE(errors.empty()) << errors.front();
    }

    void Load(const std::vector<Entry>& entries) {
        std::string ini;
        for (const Entry& e : entries)
            ini += "[" + e.name + "]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(e.port) +
                   "\r\nSoundAlert=0\r\nSMSAlert=0\r\n";
        dir.write("servers.ini", ini);
        engine->LoadServers();
    }

    MetricsSnapshot Current() const { return *board.Current(); }

    WorkingDirectory inDir{dir.path()};
    FakeModem modem;
    FakeTones tones;
    std::vector<std::string> errors;
    ScopedSeam reports{SetErrorReportHandler,
                       ErrorReportHandler([this](const std::string& m) { errors.push_back(m); })};
    SnapshotBoard board;
};

double Now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Reads the board at every probe end, after the collector has heard of it.
class BoardWatcher : public ProbeObserver {
public:
    explicit BoardWatcher(const SnapshotBoard& board) : board_(board) {}
    void ProbeEnded(int, const ProbeRecord&) override { seen.push_back(*board_.Current()); }
    std::vector<MetricsSnapshot> seen;

private:
    const SnapshotBoard& board_;
};

TEST_F(MetricsCollectorTest, TheBoardFollowsEveryProbeCycleAndAlert) {
    LoopbackServer server(LoopbackServer::Hold);
    const int refused = RefusedPort();
    Load({{"网站", server.port()}, {"数据库", refused}});
    MetricsCollector collector(*engine, board);
    BoardWatcher watcher(board);
    engine->AddObserver(&watcher);

    // Listed, not yet probed.
    MetricsSnapshot before = Current();
    ASSERT_EQ(before.servers.size(), 2u);
    EXPECT_EQ(before.servers[0].name, "网站");
    EXPECT_EQ(before.servers[0].address, "127.0.0.1");
    EXPECT_EQ(before.servers[0].port, server.port());
    EXPECT_EQ(before.servers[1].name, "数据库");
    for (const ServerMetrics& s : before.servers) {
        EXPECT_FALSE(s.up.has_value());
        EXPECT_FALSE(s.connectSeconds.has_value());
        EXPECT_EQ(s.successes + s.failures, 0u);
    }
    EXPECT_EQ(before.cycles, 0u);
    EXPECT_FALSE(before.lastCycleSeconds.has_value());

    const double start = Now();
    engine->Button1Click();
    const double end = Now();

    // Published at each probe's end, before the cycle ended: a scrape during a long cycle sees
    // the servers already probed.
    ASSERT_EQ(watcher.seen.size(), 2u);
    EXPECT_EQ(watcher.seen[0].servers[0].up, std::optional<bool>(true));
    EXPECT_FALSE(watcher.seen[0].servers[1].up.has_value());
    EXPECT_EQ(watcher.seen[0].cycles, 0u);
    EXPECT_EQ(watcher.seen[1].servers[1].up, std::optional<bool>(false));

    MetricsSnapshot one = Current();
    const ServerMetrics& web = one.servers[0];
    const ServerMetrics& db = one.servers[1];
    EXPECT_EQ(web.up, std::optional<bool>(true));
    EXPECT_EQ(web.successes, 1u);
    EXPECT_EQ(web.failures, 0u);
    EXPECT_EQ(web.consecutiveFailures, 0);
    ASSERT_TRUE(web.connectSeconds.has_value());
    EXPECT_DOUBLE_EQ(*web.connectSeconds,
                     std::chrono::duration<double>(*engine->Record(0).lastConnectTime).count());
    EXPECT_GE(web.lastProbeSeconds, start);
    EXPECT_LE(web.lastProbeSeconds, end);
    EXPECT_EQ(db.up, std::optional<bool>(false));
    EXPECT_EQ(db.successes, 0u);
    EXPECT_EQ(db.failures, 1u);
    EXPECT_EQ(db.consecutiveFailures, 1);
    EXPECT_FALSE(db.connectSeconds.has_value());
    EXPECT_GE(db.lastProbeSeconds, web.lastProbeSeconds);
    EXPECT_EQ(one.cycles, 1u);
    ASSERT_TRUE(one.lastCycleSeconds.has_value());
    EXPECT_GE(*one.lastCycleSeconds, kHoldMs / 1000.0);
    EXPECT_EQ(one.alerts, 0u);

    engine->Button1Click();
    engine->Button1Click();
    MetricsSnapshot three = Current();
    EXPECT_EQ(three.servers[0].successes, 3u);
    EXPECT_EQ(three.servers[1].failures, 3u);
    EXPECT_EQ(three.servers[1].consecutiveFailures, 3);
    // The third failure in a row is also an outage, as the engine decides it.
    EXPECT_FALSE(three.servers[0].down);
    EXPECT_TRUE(three.servers[1].down);
    EXPECT_EQ(three.servers[1].outages, 1u);
    EXPECT_FALSE(one.servers[1].down);
    EXPECT_EQ(three.cycles, 3u);
    // The third failure in a row starts the alert.
    EXPECT_EQ(three.alerts, 1u);
    engine->RemoveObserver(&watcher);
}

TEST_F(MetricsCollectorTest, AReloadKeepsOnlyWhatStillDescribesAListedServer) {
    LoopbackServer server(LoopbackServer::Hold);
    const int refused = RefusedPort();
    Load({{"网站", server.port()}, {"数据库", refused}});
    MetricsCollector collector(*engine, board);
    engine->Button1Click();
    engine->Button1Click();
    const MetricsSnapshot two = Current();

    // The first server stays as it was; the second is renamed; a third is new.
    const int otherRefused = RefusedPort(1);
    Load({{"新", otherRefused}, {"网站", server.port()}, {"旧库", refused}});
    MetricsSnapshot reloaded = Current();
    ASSERT_EQ(reloaded.servers.size(), 3u);
    EXPECT_EQ(reloaded.servers[0].name, "新");
    EXPECT_FALSE(reloaded.servers[0].up.has_value());
    ServerMetrics kept = two.servers[0];
    EXPECT_EQ(reloaded.servers[1], kept);
    EXPECT_EQ(reloaded.servers[2].name, "旧库");
    EXPECT_FALSE(reloaded.servers[2].up.has_value());
    EXPECT_EQ(reloaded.servers[2].failures, 0u);
    // The table's failure count restarts with the reload.
    EXPECT_EQ(two.servers[1].consecutiveFailures, 2);
    EXPECT_EQ(reloaded.servers[2].consecutiveFailures, 0);
    EXPECT_EQ(reloaded.cycles, 2u);
    EXPECT_EQ(reloaded.lastCycleSeconds, two.lastCycleSeconds);

    engine->Button1Click();
    const MetricsSnapshot after = Current();
    EXPECT_EQ(after.servers[1].successes, 3u);
    EXPECT_EQ(after.servers[2].failures, 1u);
    EXPECT_EQ(after.cycles, 3u);

    // An empty list: nothing is listed, the process-wide counts stay.
    Load({});
    EXPECT_TRUE(Current().servers.empty());
    EXPECT_EQ(Current().cycles, 3u);
}

TEST_F(MetricsCollectorTest, ARepeatedServerIsListedOnceAndALateCollectorKnowsThePast) {
    LoopbackServer server(LoopbackServer::Hold);
    Load({{"网站", server.port()}, {"网站", server.port()}, {"镜像", server.port()}});
    engine->Button1Click();
    {
        // Created after a cycle: what the cycle already saw is taken over.
        MetricsCollector collector(*engine, board);
        const MetricsSnapshot snapshot = Current();
        ASSERT_EQ(snapshot.servers.size(), 2u) << "one series per name, address and port";
        EXPECT_EQ(snapshot.servers[0].name, "网站");
        EXPECT_EQ(snapshot.servers[1].name, "镜像");
        EXPECT_EQ(snapshot.servers[0].up, std::optional<bool>(true));
        EXPECT_TRUE(snapshot.servers[0].connectSeconds.has_value());
        // The engine books every probe of an address and port on the first slot that has
        // them, so the first server counts all three and the one after it is never probed.
        EXPECT_EQ(snapshot.servers[0].successes, 3u);
        EXPECT_FALSE(snapshot.servers[1].up.has_value());
    }
    // The collector has left the cycle: nothing is published any more.
    const auto last = board.Current();
    engine->Button1Click();
    EXPECT_EQ(board.Current(), last);
}

} // namespace
