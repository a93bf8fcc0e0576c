#include "engine/Alert.h"
#include "AlertTestSupport.h"
#include "engine/AlertSmsText.h"
#include "engine/ServerTable.h"
#include "platform/Clock.h"
#include "platform/ErrorReport.h"
#include "platform/Exception.h"
#include "support/FakeModem.h"
#include "support/Pump.h"
#include "support/ScopedSeam.h"

#include <QCoreApplication>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const std::vector<std::pair<int, int>> kNineTones = {{1000, 1000}, {2000, 1000}, {3000, 1000},
                                                     {1000, 1000}, {2000, 1000}, {3000, 1000},
                                                     {1000, 1000}, {2000, 1000}, {3000, 1000}};

const TDateTime kNoon = EncodeDateTime({2026, 12, 6, 12, 0, 0, 0});
const RegionalFormats kIsoFormats{"%Y-%m-%d", "%H:%M:%S", '.'};

class AlertTest : public testing::Test {
protected:
    void SetUp() override {
        for (TServers& slot : ServerTable)
            slot = TServers{};
        Fill(3, "数据库", false, false);
    }

    static void Fill(int slot, const std::string& name, bool sound, bool sms) {
        ServerTable[slot].Name = name;
        ServerTable[slot].IP = "127.0.0.1";
        ServerTable[slot].SoundAlert = sound ? -1 : 0;
        ServerTable[slot].SMSAlert = sms ? -1 : 0;
        ServerTable[slot].SMSInterval = 10;
    }

    // Runs one worker's body on this thread and collects its log lines.
    void RunWorker(int slot) {
        TAlert alert(collector.log);
        alert.ServerIndex = slot;
        alert.Execute();
        collector.drain();
    }

    ManualClock clock{kNoon};
    ScopedSeam clockSeam{SetClock, &clock};
    ScopedSeam formatsSeam{SetUserFormats, &kIsoFormats};
    FakeModem modem;
    FakeTones tones;
    LogCollector collector;
};

TEST_F(AlertTest, SoundOnlyPlaysNineRisingTonesAndNothingElse) {
    Fill(3, "数据库", true, false);
    RunWorker(3);
    EXPECT_EQ(tones.tones(), kNineTones);
    EXPECT_EQ(modem.sent().size(), 0u);
    EXPECT_EQ(collector.lines.size(), 0u);
}

TEST_F(AlertTest, SmsOnlySendsAtOnceAndRecordsTheTime) {
    Fill(3, "数据库", false, true);
    RunWorker(3);
    EXPECT_EQ(tones.tones().size(), 0u);
    const auto sent = modem.sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].port, -1);
    EXPECT_EQ(sent[0].number, AdminNumber());
    EXPECT_EQ(sent[0].text, "Vormix服务器智能检测程序:【数据库】发生故障!--2026-12-06 12:00:00");
    EXPECT_EQ(ServerTable[3].LastSMS, kNoon);
    EXPECT_EQ(collector.lines, std::vector<std::string>{"已发送短信到管理员手机!"});
}

TEST_F(AlertTest, BothSwitchesOffDoesNothing) {
    RunWorker(3);
    EXPECT_EQ(tones.tones().size(), 0u);
    EXPECT_EQ(modem.sent().size(), 0u);
    EXPECT_EQ(collector.lines.size(), 0u);
    EXPECT_EQ(ServerTable[3].LastSMS, 0.0);
}

TEST_F(AlertTest, RateLimitIsStrictAndCountedFromTheLastSend) {
    const double interval = 10 / 60.0 / 24.0;
    struct {
        const char* title;
        double lastSms;
        double now;
        bool sends;
    } const cases[] = {
        {"none sent yet", 0.0, kNoon, true},
        {"one minute after", kNoon, kNoon + 1 / 60.0 / 24.0, false},
        {"9:59 after", kNoon, kNoon + 599 / 86400.0, false},
        {"exactly the interval", 0.0, interval, false},
        {"just over the interval", 0.0, std::nextafter(interval, 1.0), true},
        {"10:01 after", kNoon, kNoon + 601 / 86400.0, true},
        {"clock set back", kNoon, kNoon - 1.0, false},
    };
    Fill(3, "数据库", false, true);
    size_t expectedSends = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ServerTable[3].LastSMS = c.lastSms;
        clock.set(c.now);
        RunWorker(3);
        expectedSends += c.sends ? 1 : 0;
        EXPECT_EQ(modem.sent().size(), expectedSends);
        EXPECT_EQ(ServerTable[3].LastSMS, c.sends ? c.now : c.lastSms);
    }
}

TEST_F(AlertTest, FailedSendLogsAndLeavesLastSmsSoTheNextWorkerRetries) {
    Fill(3, "数据库", false, true);
    ServerTable[3].LastSMS = kNoon - 1.0;
    modem.answer(-1);
    const std::uint64_t sentBefore = SmsOutcomeCounts().sent;
    const std::uint64_t failedBefore = SmsOutcomeCounts().failed;
    RunWorker(3);
    EXPECT_EQ(ServerTable[3].LastSMS, kNoon - 1.0);
    EXPECT_EQ(collector.lines, std::vector<std::string>{"已发送短时发生错误!"});
    EXPECT_EQ(SmsOutcomeCounts().failed, failedBefore + 1);
    EXPECT_EQ(SmsOutcomeCounts().sent, sentBefore);

    modem.answer(0);
    clock.advanceSeconds(1);
    RunWorker(3);
    EXPECT_EQ(SmsOutcomeCounts().sent, sentBefore + 1);
    EXPECT_EQ(SmsOutcomeCounts().failed, failedBefore + 1);
    EXPECT_EQ(modem.sent().size(), 2u);
    EXPECT_EQ(ServerTable[3].LastSMS, kNoon + 1 / 86400.0);
    EXPECT_EQ(collector.lines,
              (std::vector<std::string>{"已发送短时发生错误!", "已发送短信到管理员手机!"}));
}

TEST_F(AlertTest, SlotEmptiedDuringTheTonesSendsNothing) {
    Fill(3, "数据库", true, true);
    tones.onTone = [] {
        std::lock_guard lock(ServerTableLock());
        ServerTable[3] = TServers{};
    };
    RunWorker(3);
    EXPECT_EQ(tones.tones(), kNineTones);
    EXPECT_EQ(modem.sent().size(), 0u);
    EXPECT_EQ(collector.lines.size(), 0u);
}

TEST_F(AlertTest, IndexOutsideTheTableDoesNothing) {
    for (int index : {-1, kServerSlots, 1000}) {
        Fill(0, "A", true, true);
        RunWorker(index);
    }
    EXPECT_EQ(tones.tones().size(), 0u);
    EXPECT_EQ(modem.sent().size(), 0u);
}

// A worker's body on a thread of the test's own, so that the test can wait for its end.
class Worker {
public:
    Worker(std::shared_ptr<AlertLog> log, int slot) : alert_(std::move(log)) {
        alert_.ServerIndex = slot;
        thread_ = std::thread([this] { alert_.Execute(); });
    }
    ~Worker() { join(); }
    void join() {
        if (thread_.joinable())
            thread_.join();
    }

private:
    TAlert alert_;
    std::thread thread_;
};

// Two workers of one slot overlapping: the second must see the first one's LastSMS. Both play
// their tones first, so once all eighteen have played, the second is on its way to the send
// while the first is held inside it.
TEST_F(AlertTest, OverlappingWorkersSendOnceWithinTheInterval) {
    Fill(3, "数据库", true, true);
    modem.hold();
    Worker first(collector.log, 3);
    ASSERT_TRUE(modem.waitForSends(1));
    Worker second(collector.log, 3);
    ASSERT_TRUE(WaitUntil([&] { return tones.tones().size() == 18; }));
    modem.release();
    first.join();
    second.join();
    ASSERT_TRUE(collector.waitForLines(1));
    collector.drain();
    EXPECT_EQ(modem.sent().size(), 1u);
    EXPECT_EQ(collector.lines, std::vector<std::string>{"已发送短信到管理员手机!"});
}

TEST_F(AlertTest, OverlappingWorkerRetriesAtOnceAfterAFailedSend) {
    Fill(3, "数据库", true, true);
    modem.hold();
    modem.answer(-1);
    Worker first(collector.log, 3);
    ASSERT_TRUE(modem.waitForSends(1));
    Worker second(collector.log, 3);
    ASSERT_TRUE(WaitUntil([&] { return tones.tones().size() == 18; }));
    modem.release();
    first.join();
    second.join();
    ASSERT_TRUE(collector.waitForLines(2));
    EXPECT_EQ(modem.sent().size(), 2u);
    EXPECT_EQ(collector.lines,
              (std::vector<std::string>{"已发送短时发生错误!", "已发送短时发生错误!"}));
}

TEST(AlertLogTest, LinesFromOneThreadArriveInOrderAndNotAfterDetach) {
    LogCollector collector;
    std::thread poster([&] {
        for (int i = 0; i < 200; ++i)
            collector.log->Post("line " + std::to_string(i));
    });
    poster.join();
    ASSERT_TRUE(collector.waitForLines(200));
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(collector.lines[i], "line " + std::to_string(i));

    collector.log->Detach();
    collector.log->Post("late");
    collector.drain();
    EXPECT_EQ(collector.lines.size(), 200u);
}

TEST(AlertLogTest, AFailingAppendIsReportedAndLaterLinesStillArrive) {
    // The append runs from Qt's event dispatch: an exception must reach the default error
    // report there instead of unwinding through Qt's frames.
    std::vector<std::string> reports;
    ScopedSeam reportSeam(SetErrorReportHandler,
                          [&](const std::string& message) { reports.push_back(message); });
    QObject receiver;
    std::vector<std::string> lines;
    auto log = std::make_shared<AlertLog>(&receiver, [&](const std::string& line) {
        if (line == "bad")
            throw Exception("window gone");
        lines.push_back(line);
    });
    std::thread([&] {
        log->Post("bad");
        log->Post("good");
    }).join();
    bool escaped = false;
    for (int i = 0; i < 20 && lines.empty(); ++i) {
        try {
            QCoreApplication::processEvents();
        } catch (...) {
            escaped = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    log->Detach();
    EXPECT_FALSE(escaped);
    EXPECT_EQ(reports, std::vector<std::string>{"window gone"});
    EXPECT_EQ(lines, std::vector<std::string>{"good"});
}

TEST(SmsTextTest, PrefixNameSuffixAndDateTime) {
    struct {
        RegionalFormats formats;
        DateParts when;
        std::string text;
    } const cases[] = {
        {{"%Y-%m-%d", "%H:%M:%S", '.'},
         {2026, 12, 6, 20, 15, 0, 0},
         "Vormix服务器智能检测程序:【数据库】发生故障!--2026-12-06 20:15:00"},
        {{"%Y/%m/%d", "%H:%M:%S", '.'},
         {2026, 12, 6, 20, 15, 0, 0},
         "Vormix服务器智能检测程序:【数据库】发生故障!--2026/12/06 20:15:00"},
        {{"%Y-%m-%d", "%H:%M:%S", '.'},
         {2026, 12, 7, 0, 0, 0, 0},
         "Vormix服务器智能检测程序:【数据库】发生故障!--2026-12-07"},
        {{"%Y-%m-%d", "%H:%M:%S", '.'},
         {2026, 12, 7, 0, 0, 1, 0},
         "Vormix服务器智能检测程序:【数据库】发生故障!--2026-12-07 00:00:01"},
    };
    for (const auto& c : cases) {
        ScopedSeam formats(SetUserFormats, &c.formats);
        EXPECT_EQ(AlertSmsText("数据库", EncodeDateTime(c.when)), c.text);
    }
}

} // namespace
