#include "engine/ProbeCycle.h"
#include "AlertTestSupport.h"
#include "CycleFixture.h"
#include "FakeView.h"
#include "engine/ProbeFlags.h"
#include "engine/ServerTable.h"
#include "net/SocketError.h"
#include "platform/Clock.h"
#include "platform/ErrorReport.h"
#include "platform/Exception.h"
#include "support/FakeModem.h"
#include "support/Loopback.h"
#include "support/Pump.h"
#include "support/ScopedSeam.h"
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

using Lines = std::vector<std::string>;

constexpr int kHoldMs = 150;

std::string Connecting(const std::string& address) {
    return "正在和" + address + "建立连接...";
}
std::string Connected(const std::string& address) {
    return "连接" + address + "成功!";
}
std::string Disconnected(const std::string& address) {
    return "和" + address + "断开连接!";
}
const Lines kAccepted = {Connecting("127.0.0.1"), Connected("127.0.0.1"),
                         Disconnected("127.0.0.1")};
const Lines kRefused = {Connecting("127.0.0.1")};

struct Server {
    std::string name;
    std::string ip;
    int port;
};

class ProbeCycleTest : public CycleFixture {
protected:
    ProbeCycleTest() : CycleFixture(kHoldMs) {}

    // Writes servers.ini with SMS alerts on and sound off, and loads it.
    void Load(const std::vector<Server>& servers) {
        std::string ini;
        for (const Server& server : servers)
            ini += "[" + server.name + "]\r\nIP=" + server.ip +
                   "\r\nPort=" + std::to_string(server.port) + "\r\nSoundAlert=0\r\nSMSAlert=1\r\n";
        LoadServersFrom(dir.write("servers.ini", ini), view);
    }

    // Runs one cycle through Button1 and returns its probe log lines (alert lines left out).
    // The clock moves on 11 minutes first, so the SMS rate limit never holds an alert back.
    Lines Cycle() {
        clock.advanceSeconds(660);
        const size_t before = view.log.size();
        engine->Button1Click();
        Lines lines;
        for (size_t i = before; i < view.log.size(); ++i)
            if (view.log[i] != "已发送短信到管理员手机!")
                lines.push_back(view.log[i]);
        return lines;
    }

    // The name of the server the last cycle started an alert worker for, "" when none. The
    // worker's SMS is checked to have gone out with that name, and its log line to have arrived,
    // which the worker posts after recording LastSMS (so the next cycle's clock step comes
    // after it).
    std::string Alerted() {
        const int slot = engine->LastAlertSlot();
        if (slot < 0)
            return "";
        ++alerts_;
        auto logged = [&] {
            return static_cast<size_t>(
                std::count(view.log.begin(), view.log.end(), "已发送短信到管理员手机!"));
        };
        PumpUntil([&] { return logged() >= alerts_; }, 10000);
        EXPECT_EQ(logged(), alerts_);
        const auto sent = modem.sent();
        if (sent.size() < alerts_)
            return "no SMS";
        const std::string& text = sent[alerts_ - 1].text;
        EXPECT_NE(text.find("【" + ServerTable[slot].Name + "】"), std::string::npos) << text;
        return ServerTable[slot].Name;
    }

    FakeModem modem;
    FakeTones tones;
    ManualClock clock{EncodeDateTime({2026, 12, 6, 8, 0, 0, 0})};
    Lines errors;
    ScopedSeam clockSeam{SetClock, &clock};
    ScopedSeam reportSeam{SetErrorReportHandler,
                          [this](const std::string& message) { errors.push_back(message); }};

private:
    size_t alerts_ = 0;
};

TEST_F(ProbeCycleTest, ComponentsAtCreation) {
    FakeView other;
    ProbeCycle fresh(other);
    EXPECT_TRUE(fresh.Timer1.isActive());
    EXPECT_EQ(fresh.Timer1.interval(), 1000);
    EXPECT_FALSE(fresh.Timer2.isActive());
    EXPECT_FALSE(fresh.CS1.Active());
}

TEST_F(ProbeCycleTest, FirstTimedCycleProbesAnAcceptingServer) {
    LoopbackServer server(LoopbackServer::Hold);
    Load({{"Web", "127.0.0.1", server.port()}});
    engine->Timer1.start(50);
    PumpUntil([&] { return view.buttons.size() >= 4; }, 10000);
    EXPECT_EQ(view.log, kAccepted);
    EXPECT_EQ(view.rows[0].status, "正常");
    EXPECT_EQ(view.statusWrites, (Lines{"0:检测中", "0:正常", "0:正常"}));
    EXPECT_EQ(ServerTable[0].Online, -1);
    EXPECT_EQ(ServerTable[0].FailCount, 0);
    EXPECT_EQ(server.accepted(), 1);
    EXPECT_FALSE(engine->CS1.Active());
}

TEST_F(ProbeCycleTest, RefusedPortLogsOneLineAndCountsAFailure) {
    Load({{"Web", "127.0.0.1", RefusedPort()}});
    EXPECT_EQ(Cycle(), kRefused);
    EXPECT_EQ(view.statusWrites, (Lines{"0:检测中", "0:故障"}));
    EXPECT_EQ(ServerTable[0].Online, 0);
    EXPECT_EQ(ServerTable[0].FailCount, 1);
    EXPECT_EQ(Cycle(), kRefused);
    EXPECT_EQ(ServerTable[0].FailCount, 2);
    EXPECT_TRUE(errors.empty());
}

TEST_F(ProbeCycleTest, EmptyTableProbesNothingAndRearms) {
    view.interval = 7;
    EXPECT_EQ(Cycle(), Lines{});
    EXPECT_EQ(view.buttons, (Lines{"1-", "2-", "1+", "2+"}));
    EXPECT_TRUE(engine->Timer1.isActive());
    EXPECT_EQ(engine->Timer1.interval(), 7000);
    EXPECT_EQ(Alerted(), "");
}

TEST_F(ProbeCycleTest, ButtonsAreOffWhileTheCycleRunsAndItDoesNotNest) {
    LoopbackServer server(LoopbackServer::Hold);
    Load({{"Web", "127.0.0.1", server.port()}});
    view.onLog = [this](const std::string&) { engine->Button1Click(); };
    EXPECT_EQ(Cycle(), kAccepted);
    EXPECT_EQ(view.buttons, (Lines{"1-", "2-", "1+", "2+"}));
    EXPECT_EQ(view.buttonsOffAtLog, std::vector<bool>(3, true));
    EXPECT_EQ(server.accepted(), 1);
}

TEST_F(ProbeCycleTest, EmptyAddressEndsTheWalk) {
    LoopbackServer server(LoopbackServer::Hold);
    Load({{"A", "127.0.0.1", server.port()},
          {"B", "", server.port()},
          {"C", "127.0.0.1", server.port()}});
    EXPECT_EQ(Cycle(), kAccepted);
    EXPECT_EQ(view.rows[1].status, "检测中");
    EXPECT_EQ(view.rows[2].status, "检测中");
}

TEST_F(ProbeCycleTest, DuplicateAddressLandsOnTheFirstSlot) {
    const int port = RefusedPort();
    Load({{"A", "127.0.0.1", port}, {"B", "127.0.0.1", port}});
    EXPECT_EQ(Cycle(), (Lines{Connecting("127.0.0.1"), Connecting("127.0.0.1")}));
    EXPECT_EQ(view.statusWrites, (Lines{"0:检测中", "0:故障", "0:检测中", "0:故障"}));
    EXPECT_EQ(ServerTable[0].FailCount, 2);
    EXPECT_EQ(ServerTable[1].FailCount, 0);
    EXPECT_EQ(view.rows[1].status, "检测中");
}

TEST_F(ProbeCycleTest, AlertFromTheThirdFailureOnUntilOneSuccess) {
    LoopbackServer server(LoopbackServer::Hold);
    const int refused = RefusedPort();
    Load({{"数据库", "127.0.0.1", refused}});
    const struct {
        bool up;
        const char* alerted;
    } cycles[] = {{false, ""}, {false, ""}, {false, "数据库"}, {false, "数据库"},
                  {true, ""},  {false, ""}, {false, ""},       {false, "数据库"}};
    int n = 0;
    for (const auto& c : cycles) {
        SCOPED_TRACE("cycle " + std::to_string(++n));
        ServerTable[0].Port = c.up ? server.port() : refused;
        Cycle();
        EXPECT_EQ(Alerted(), c.alerted);
    }
}

TEST_F(ProbeCycleTest, OnlyTheFirstFailingServerAlerts) {
    // Every slot needs an address and port of its own, or FindServer sends its results to
    // the first slot with the same pair.
    std::vector<std::unique_ptr<LoopbackServer>> up;
    std::vector<Server> servers;
    for (int i = 0; i < 6; ++i) {
        int port = RefusedPort(i);
        if (i != 2 && i != 5) {
            up.push_back(std::make_unique<LoopbackServer>(LoopbackServer::Hold));
            port = up.back()->port();
        }
        servers.push_back({"S" + std::to_string(i), "127.0.0.1", port});
    }
    Load(servers);
    for (const char* name : {"", "", "S2", "S2"}) {
        Cycle();
        EXPECT_EQ(Alerted(), name);
    }
    EXPECT_EQ(ServerTable[5].FailCount, 4);

    LoopbackServer recovered(LoopbackServer::Hold);
    ServerTable[2].Port = recovered.port();
    Cycle();
    EXPECT_EQ(Alerted(), "S5");
    EXPECT_EQ(ServerTable[2].FailCount, 0);
    EXPECT_EQ(ServerTable[5].FailCount, 5);
}

TEST_F(ProbeCycleTest, IntervalIsReadAtTheEndOfACycleAndClamped) {
    view.interval = 60;
    Cycle();
    EXPECT_EQ(engine->Timer1.interval(), 60000);
    // A change while idle does not touch the pending wait.
    view.interval = 5;
    EXPECT_EQ(engine->Timer1.interval(), 60000);
    EXPECT_EQ(view.intervalReads, 1);
    const struct {
        int typed;
        int armedMs;
    } cases[] = {{5, 5000},
                 {600, 600000},
                 {0, 5000},
                 {-3, 5000},
                 {601, 600000},
                 {2147483647, 600000},
                 {-2147483647 - 1, 5000},
                 {42, 42000}};
    for (const auto& c : cases) {
        view.interval = c.typed;
        Cycle();
        EXPECT_EQ(engine->Timer1.interval(), c.armedMs) << c.typed;
        EXPECT_TRUE(engine->Timer1.isActive());
    }
}

TEST_F(ProbeCycleTest, ManualCycleReplacesThePendingTimedOne) {
    view.interval = 30;
    engine->Timer1.start(1000);
    Cycle();
    EXPECT_TRUE(engine->Timer1.isActive());
    EXPECT_GT(engine->Timer1.remainingTime(), 25000);
}

// An address the system refuses at once must not end the cycle.
TEST_F(ProbeCycleTest, AttemptFailingAtOnceCountsAndTheWalkGoesOn) {
    LoopbackServer server(LoopbackServer::Hold);
    Load({{"Bad", "not an address", 80}, {"Web", "127.0.0.1", server.port()}});
    const Lines lines = Cycle();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], Connecting("not an address"));
    EXPECT_EQ(Lines(lines.end() - 3, lines.end()), kAccepted);
    EXPECT_EQ(ServerTable[0].FailCount, 1);
    EXPECT_EQ(view.rows[0].status, "故障");
    EXPECT_EQ(view.rows[1].status, "正常");
    EXPECT_TRUE(errors.empty());
}

// No socket to be had (descriptor limit reached): each probe fails at once, the walk goes on.
TEST_F(ProbeCycleTest, NoSocketToBeHadCountsEveryProbeAndTheCycleEnds) {
    // Accepting servers: a probe that got a socket would succeed.
    LoopbackServer first(LoopbackServer::Hold);
    LoopbackServer second(LoopbackServer::Hold);
    Load({{"A", "127.0.0.1", first.port()}, {"B", "127.0.0.1", second.port()}});
    // The sanitizers need a descriptor for each type check they have not cached yet: one cycle
    // before the limit runs the same calls.
    engine->Button1Click();
    ASSERT_EQ(view.rows[1].status, "正常");
    try {
        throw ESocketError("warm-up");
    } catch (const Exception&) {
    }
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    // The lowest free descriptor becomes the limit, so no new descriptor can be had.
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    engine->Button1Click();
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_EQ(ServerTable[0].FailCount, 1);
    EXPECT_EQ(ServerTable[1].FailCount, 1);
    EXPECT_EQ(view.rows[0].status, "故障");
    EXPECT_EQ(view.rows[1].status, "故障");
    EXPECT_EQ(view.buttons.back(), "2+");
    EXPECT_TRUE(errors.empty());
}

// A reset during the hold ends the probe once, closes the broken connection, and goes on.
TEST_F(ProbeCycleTest, ResetDuringTheHoldCountsOnceAndTheWalkGoesOn) {
    LoopbackServer reset(LoopbackServer::ResetAfter, 100);
    LoopbackServer server(LoopbackServer::Hold);
    engine->Timer2.setInterval(600);
    Load({{"Reset", "127.0.0.1", reset.port()}, {"Web", "127.0.0.1", server.port()}});
    const Lines expected = {Connecting("127.0.0.1"),   Connected("127.0.0.1"),
                            Disconnected("127.0.0.1"), Connecting("127.0.0.1"),
                            Connected("127.0.0.1"),    Disconnected("127.0.0.1")};
    EXPECT_EQ(Cycle(), expected);
    EXPECT_EQ(ServerTable[0].FailCount, 1);
    EXPECT_EQ(view.rows[0].status, "故障");
    EXPECT_EQ(view.rows[1].status, "正常");
    EXPECT_FALSE(engine->CS1.Active());
    EXPECT_FALSE(engine->Timer2.isActive());
    // No late end of the first hold after the cycle.
    PumpFor(800);
    EXPECT_EQ(view.log.size(), expected.size());
    EXPECT_EQ(ServerTable[0].FailCount, 1);
    EXPECT_TRUE(errors.empty());
}

// A peer closing during the hold is a failure, whatever the previous hold ended with.
TEST_F(ProbeCycleTest, EarlyCloseByThePeerIsAFailureAfterASuccessfulHold) {
    LoopbackServer server(LoopbackServer::Hold);
    LoopbackServer closer(LoopbackServer::CloseAtOnce);
    Load({{"Web", "127.0.0.1", server.port()}, {"Closer", "127.0.0.1", closer.port()}});
    EXPECT_EQ(Cycle(),
              (Lines{Connecting("127.0.0.1"), Connected("127.0.0.1"), Disconnected("127.0.0.1"),
                     Connecting("127.0.0.1"), Connected("127.0.0.1"), Disconnected("127.0.0.1")}));
    EXPECT_EQ(view.rows[0].status, "正常");
    EXPECT_EQ(view.rows[1].status, "故障");
    EXPECT_EQ(ServerTable[1].FailCount, 1);
    EXPECT_EQ(ServerTable[1].Online, 0);
}

// A handler that fails reaches the error report, and the cycle still ends.
TEST_F(ProbeCycleTest, FailingHandlersAreReportedAndEveryProbeEnds) {
    const struct {
        std::string failingLine;
        int firstFailCount;
    } cases[] = {
        {Connecting("127.0.0.1"), 0},
        {Connected("127.0.0.1"), 1},
        {Disconnected("127.0.0.1"), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failingLine);
        LoopbackServer first(LoopbackServer::Hold);
        LoopbackServer second(LoopbackServer::Hold);
        Load({{"A", "127.0.0.1", first.port()}, {"B", "127.0.0.1", second.port()}});
        errors.clear();
        bool thrown = false;
        view.onLog = [&](const std::string& line) {
            if (line == c.failingLine && !thrown) {
                thrown = true;
                throw Exception("window failed");
            }
        };
        Cycle();
        view.onLog = nullptr;
        EXPECT_EQ(errors, Lines{"window failed"});
        EXPECT_EQ(ServerTable[0].FailCount, c.firstFailCount);
        EXPECT_EQ(view.rows[1].status, "正常");
        EXPECT_EQ(view.buttons.back(), "2+");
        EXPECT_FALSE(engine->CS1.Active());
    }
}

TEST_F(ProbeCycleTest, ReloadThroughTheEngineResetsRows) {
    dir.write("servers.ini", "[A]\r\nIP=127.0.0.1\r\n");
    {
        WorkingDirectory inDir(dir.path());
        engine->LoadServers();
    }
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(ServerTable[0].Port, 7000);
}

// Records every observer call as a line, and the records it was handed.
class RecordingObserver : public ProbeObserver {
public:
    Lines calls;
    std::vector<ProbeRecord> ended;
    std::chrono::nanoseconds lastCycle{};

    void ServersLoaded() override { calls.push_back("loaded"); }
    void CycleStarted() override { calls.push_back("start"); }
    void ProbeEnded(int slot, const ProbeRecord& record) override {
        const bool up = record.lastOutcome == ProbeRecord::Outcome::Success;
        calls.push_back(std::to_string(slot) + (up ? ":up" : ":down"));
        ended.push_back(record);
    }
    void CycleEnded(std::chrono::nanoseconds duration) override {
        calls.push_back("end");
        lastCycle = duration;
    }
    void AlertStarted(int slot) override { calls.push_back("alert " + std::to_string(slot)); }
};

TEST_F(ProbeCycleTest, ObserversFollowEveryProbeAndTheRecordsCountOutcomes) {
    LoopbackServer server(LoopbackServer::Hold);
    const int refused = RefusedPort();
    Load({{"Up", "127.0.0.1", server.port()}, {"Down", "127.0.0.1", refused}});
    RecordingObserver observer;
    engine->AddObserver(&observer);

    EXPECT_EQ(engine->Record(0).lastOutcome, ProbeRecord::Outcome::None);
    const auto before = std::chrono::system_clock::now();
    Cycle();
    EXPECT_EQ(observer.calls, (Lines{"start", "0:up", "1:down", "end"}));
    const ProbeRecord& up = engine->Record(0);
    EXPECT_EQ(up.successes, 1u);
    EXPECT_EQ(up.failures, 0u);
    ASSERT_TRUE(up.lastConnectTime.has_value());
    EXPECT_GT(up.lastConnectTime->count(), 0);
    EXPECT_GE(up.lastProbeEnd, before);
    const ProbeRecord& down = engine->Record(1);
    EXPECT_EQ(down.lastOutcome, ProbeRecord::Outcome::Failure);
    EXPECT_EQ(down.failures, 1u);
    EXPECT_FALSE(down.lastConnectTime.has_value());
    // The hold alone takes kHoldMs.
    EXPECT_GE(observer.lastCycle, std::chrono::milliseconds(kHoldMs));

    observer.calls.clear();
    Cycle();
    Cycle();
    EXPECT_EQ(observer.calls, (Lines{"start", "0:up", "1:down", "end", "start", "0:up", "1:down",
                                     "alert 1", "end"}));
    EXPECT_EQ(engine->Record(1).failures, 3u);
    EXPECT_EQ(Alerted(), "Down");

    // A reload starts every record again; an observer that left hears nothing more.
    observer.calls.clear();
    dir.write("servers.ini", "[A]\r\nIP=127.0.0.1\r\n");
    {
        WorkingDirectory inDir(dir.path());
        engine->LoadServers();
    }
    EXPECT_EQ(observer.calls, Lines{"loaded"});
    EXPECT_EQ(engine->Record(0).successes, 0u);
    EXPECT_EQ(engine->Record(1).failures, 0u);
    engine->RemoveObserver(&observer);
    Cycle();
    EXPECT_EQ(observer.calls, Lines{"loaded"});
}

// A server that accepts every connection and then drops it (FIN) or resets it during the hold
// fails every probe: the connect alone does not reset the count, so the third such probe in a row
// alerts as a refused server's third does. Only a hold that ends with the connection still open
// resets the count, and only at its end.
TEST_F(ProbeCycleTest, ConnectionsDroppedDuringTheHoldCountUntilTheAlert) {
    for (const auto mode : {LoopbackServer::CloseAfter, LoopbackServer::ResetAfter}) {
        SCOPED_TRACE(mode == LoopbackServer::CloseAfter ? "closed" : "reset");
        LoopbackServer dropping(mode, 100);
        LoopbackServer holding(LoopbackServer::Hold);
        engine->Timer2.setInterval(1000);
        Load({{"Drops", "127.0.0.1", dropping.port()}});
        RecordingObserver observer;
        engine->AddObserver(&observer);
        std::vector<int> countAtConnect;
        view.onLog = [&](const std::string& line) {
            if (line == Connected("127.0.0.1"))
                countAtConnect.push_back(ServerTable[0].FailCount);
        };
        for (int cycle = 1; cycle <= 3; ++cycle) {
            EXPECT_EQ(Cycle(), kAccepted) << "cycle " << cycle;
            EXPECT_EQ(ServerTable[0].FailCount, cycle);
            EXPECT_EQ(ServerTable[0].Online, 0);
            EXPECT_EQ(view.rows[0].status, "故障");
            EXPECT_EQ(engine->LastAlertSlot(), cycle < 3 ? -1 : 0);
        }
        EXPECT_EQ(Alerted(), "Drops");

        // The same slot held for the whole hold: the count stands while the hold runs.
        ServerTable[0].Port = holding.port();
        EXPECT_EQ(Cycle(), kAccepted);
        EXPECT_EQ(countAtConnect, (std::vector<int>{0, 1, 2, 3}));
        EXPECT_EQ(ServerTable[0].FailCount, 0);
        EXPECT_EQ(ServerTable[0].Online, -1);
        EXPECT_EQ(view.rows[0].status, "正常");
        EXPECT_EQ(engine->LastAlertSlot(), -1);
        EXPECT_EQ(observer.calls,
                  (Lines{"start", "0:down", "end", "start", "0:down", "end", "start", "0:down",
                         "alert 0", "end", "start", "0:up", "end"}));
        view.onLog = nullptr;
        engine->RemoveObserver(&observer);
        EXPECT_TRUE(errors.empty());
    }
}

} // namespace
