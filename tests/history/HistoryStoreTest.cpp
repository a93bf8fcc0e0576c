#include "history/HistoryStore.h"
#include "HistoryTestSupport.h"
#include "history/HistoryDatabase.h"
#include "history/SqliteError.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using Lines = std::vector<std::string>;
constexpr std::int64_t H = HistoryStore::kHourMs;
constexpr std::int64_t D = HistoryStore::kDayMs;
// A day boundary (UTC), far enough from 1970 for every retention.
constexpr std::int64_t kDay0 = 20000 * D;

class HistoryStoreTest : public testing::Test {
protected:
    void SetUp() override {
        opened = HistoryDatabase::OpenForWriting(dir.file("history.db"));
        ASSERT_TRUE(opened.db) << opened.problem;
        store = std::make_unique<HistoryStore>(*opened.db);
    }
    Lines Q(const std::string& sql) { return Rows(opened.db->Handle(), sql); }

    TempDir dir;
    HistoryDatabase::Opened opened;
    std::unique_ptr<HistoryStore> store;
};

TEST_F(HistoryStoreTest, ProbesGiveDetailRunsAndHourlyCountsAsComputedByHand) {
    // web: held 10 ms, held 30 ms, refused, refused, held 20 ms (the last in the next hour);
    // db: unreachable, dropped (connected in 5 ms, which is no answering connect time).
    store->Apply(
        {ProbeRecordAt("web", kDay0 + 1000, 0, 10000), ProbeRecordAt("db", kDay0 + 1500, 2),
         ProbeRecordAt("web", kDay0 + 8000, 0, 30000), ProbeRecordAt("web", kDay0 + 15000, 1),
         ProbeRecordAt("db", kDay0 + 16000, 3, 5000)});
    store->Apply(
        {ProbeRecordAt("web", kDay0 + 22000, 1), ProbeRecordAt("web", kDay0 + H + 5, 0, 20000)});

    EXPECT_EQ(Q("SELECT id, name, address, port FROM server ORDER BY id"),
              (Lines{"1|web|127.0.0.1|80", "2|db|127.0.0.1|5432"}));
    EXPECT_EQ(Q("SELECT server, t - " + std::to_string(kDay0) +
                ", result, connect_us FROM probe ORDER BY t"),
              (Lines{"1|1000|0|10000", "2|1500|2|-", "1|8000|0|30000", "1|15000|1|-",
                     "2|16000|3|5000", "1|22000|1|-", "1|3600005|0|20000"}));
    EXPECT_EQ(Q("SELECT server, result, first_t - " + std::to_string(kDay0) + ", last_t - " +
                std::to_string(kDay0) + ", count FROM run ORDER BY id"),
              (Lines{"1|0|1000|8000|2", "2|2|1500|1500|1", "1|1|15000|22000|2", "2|3|16000|16000|1",
                     "1|0|3600005|3600005|1"}));
    EXPECT_EQ(
        Q("SELECT server, length, start - " + std::to_string(kDay0) +
          ", held, refused, unreachable, dropped, connect_n, connect_sum_us, "
          "connect_min_us, connect_max_us FROM period ORDER BY server, start"),
        (Lines{"1|3600000|0|2|2|0|0|2|40000|10000|30000",
               "1|3600000|3600000|1|0|0|0|1|20000|20000|20000", "2|3600000|0|0|0|1|1|0|0|-|-"}));
}

TEST_F(HistoryStoreTest, OutagesAndEventsAreWrittenAndOrphansEndAtTheLastProbe) {
    HistoryRecord start = ProbeRecordAt("db", kDay0 + 100, 1);
    start.kind = HistoryRecord::Kind::OutageStarted;
    start.outageId = 7;
    start.declared = kDay0 + 12100;
    start.failures = 3;
    HistoryRecord alert = start;
    alert.kind = HistoryRecord::Kind::OutageChanged;
    alert.alert = true;
    alert.smsSent = 1;
    alert.failures = 4;
    alert.result = 2;
    HistoryRecord end = alert;
    end.kind = HistoryRecord::Kind::OutageEnded;
    end.time = kDay0 + 30000;
    end.endReason = 1;
    HistoryRecord unknown = end;
    unknown.outageId = 99; // an end whose start this store never saw: nothing
    HistoryRecord started;
    started.kind = HistoryRecord::Kind::MonitorStarted;
    started.time = kDay0;
    HistoryRecord reload;
    reload.kind = HistoryRecord::Kind::ListReloaded;
    reload.time = kDay0 + 5;
    reload.detail = "2";
    store->Apply({started, reload, start, alert, end, unknown});

    HistoryRecord again = start;
    again.outageId = 8;
    again.time = kDay0 + 40000;
    again.declared = kDay0 + 52000;
    store->Apply({again, ProbeRecordAt("db", kDay0 + 57000, 1)});
    store->EndOrphanOutages();

    EXPECT_EQ(Q("SELECT server, start - " + std::to_string(kDay0) + ", declared - " +
                std::to_string(kDay0) + ", end - " + std::to_string(kDay0) +
                ", end_reason, cause, last_result, failures, alert, sms_sent, sms_failed "
                "FROM outage ORDER BY id"),
              (Lines{"1|100|12100|30000|1|1|2|4|1|1|0", "1|40000|52000|57000|3|1|1|3|0|0|0"}));
    EXPECT_EQ(Q("SELECT t - " + std::to_string(kDay0) + ", kind, detail FROM event ORDER BY id"),
              (Lines{"0|1|", "5|3|2"}));
}

TEST_F(HistoryStoreTest, CleanUpKeepsEachPartForItsDaysAndFoldsWholeDays) {
    HistoryRetention r; // 1 day of detail, 35 of hours, 400 of roll-ups and outages
    const std::int64_t now = kDay0 + 500 * D + 12 * H;
    const std::int64_t detailCut = now - D;
    store->Apply({ProbeRecordAt("web", detailCut - 1, 0, 1000),
                  ProbeRecordAt("web", detailCut, 0, 3000),
                  // Two hours of one day 36 days ago fold into that day; the day 35 days ago
                  // (which holds the hourly cut) keeps its hours.
                  ProbeRecordAt("web", now - 36 * D - 3 * H, 1),
                  ProbeRecordAt("web", now - 36 * D - 2 * H, 0, 5000),
                  ProbeRecordAt("web", now - 35 * D - H, 0, 7000),
                  // A day, a run and an event older than 400 days go.
                  ProbeRecordAt("db", now - 401 * D, 2)});
    HistoryRecord old;
    old.kind = HistoryRecord::Kind::MonitorStarted;
    old.time = now - 400 * D - 1;
    HistoryRecord kept = old;
    kept.time = now - 400 * D;
    HistoryRecord outage = ProbeRecordAt("db", now - 500 * D, 2);
    outage.kind = HistoryRecord::Kind::OutageStarted;
    outage.outageId = 1;
    HistoryRecord ended = outage;
    ended.kind = HistoryRecord::Kind::OutageEnded;
    ended.time = now - 400 * D - 1;
    HistoryRecord open = outage;
    open.outageId = 2;
    HistoryRecord recent = outage;
    recent.outageId = 3;
    HistoryRecord recentEnd = recent;
    recentEnd.kind = HistoryRecord::Kind::OutageEnded;
    recentEnd.time = now - 400 * D;
    store->Apply({old, kept, outage, ended, open, recent, recentEnd});

    store->CleanUp(now, r);
    const std::string n = std::to_string(now);
    EXPECT_EQ(Q("SELECT " + n + " - t FROM probe ORDER BY t"), (Lines{"86400000"}));
    std::int64_t foldedDay = now - 36 * D - 3 * H;
    foldedDay -= foldedDay % D;
    EXPECT_EQ(Q("SELECT server, length, start, held, refused, unreachable, connect_n, "
                "connect_sum_us FROM period ORDER BY server, length, start"),
              (Lines{"1|3600000|" + std::to_string(now - 35 * D - H) + "|1|0|0|1|7000",
                     "1|3600000|" + std::to_string(detailCut - H) + "|1|0|0|1|1000",
                     "1|3600000|" + std::to_string(detailCut) + "|1|0|0|1|3000",
                     "1|86400000|" + std::to_string(foldedDay) + "|1|1|0|1|5000"}));
    EXPECT_EQ(Q("SELECT server, count FROM run WHERE server=2"), Lines{});
    EXPECT_EQ(Q("SELECT " + n + " - t FROM event"), (Lines{std::to_string(400 * D)}));
    EXPECT_EQ(Q("SELECT id FROM outage ORDER BY id"), (Lines{"2", "3"}));

    // Outages stay for at least 400 days whatever the setting says.
    r.outageDays = 10;
    store->CleanUp(now, r);
    EXPECT_EQ(Q("SELECT id FROM outage ORDER BY id"), (Lines{"2", "3"}));
}

TEST_F(HistoryStoreTest, AServerKeepsItsIdentityAcrossReloadsAndRestarts) {
    store->Apply({ProbeRecordAt("web", kDay0, 0, 1)});
    HistoryRecord reload;
    reload.kind = HistoryRecord::Kind::ListReloaded;
    reload.time = kDay0 + 1;
    HistoryRecord moved = ProbeRecordAt("web", kDay0 + 2, 0, 1);
    moved.port = 8080; // another port is another server
    store->Apply({reload, ProbeRecordAt("web", kDay0 + 3, 0, 1), moved});
    // A new store on the same file (a restart of the monitor).
    store = std::make_unique<HistoryStore>(*opened.db);
    store->Apply({ProbeRecordAt("web", kDay0 + 4, 0, 1)});
    EXPECT_EQ(Q("SELECT server, t - " + std::to_string(kDay0) + " FROM probe ORDER BY t"),
              (Lines{"1|0", "2|2", "1|3", "1|4"}));
    // The run of the server goes on after the restart.
    EXPECT_EQ(Q("SELECT server, count FROM run ORDER BY id"), (Lines{"1|3", "2|1"}));
}

TEST(HistoryDatabase, ANewFileIsPrivateInWalModeAndCarriesItsSchemaVersion) {
    TempDir dir;
    const std::string path = dir.file("history.db");
    {
        auto opened = HistoryDatabase::OpenForWriting(path);
        ASSERT_TRUE(opened.db) << opened.problem;
        EXPECT_EQ(opened.db->UserVersion(), HistoryDatabase::kSchemaVersion);
        EXPECT_EQ(Rows(opened.db->Handle(), "PRAGMA journal_mode"), Lines{"wal"});
    }
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    // An existing file with a wider mode is narrowed.
    chmod(path.c_str(), 0644);
    ASSERT_TRUE(HistoryDatabase::OpenForWriting(path).db);
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    auto reading = HistoryDatabase::OpenForReading(path);
    EXPECT_TRUE(reading.db) << reading.problem;
}

TEST(HistoryDatabase, FilesItCannotUseAreToldApart) {
    TempDir dir;
    // Not a database: moved aside, and a new one started.
    const std::string junk = dir.write("history.db", std::string(4096, 'x'));
    auto opened = HistoryDatabase::OpenForWriting(junk);
    ASSERT_TRUE(opened.db) << opened.problem;
    EXPECT_EQ(opened.fault, HistoryDatabase::Fault::None);
    ASSERT_FALSE(opened.movedTo.empty());
    EXPECT_EQ(opened.movedTo.rfind(junk + ".damaged-", 0), 0u) << opened.movedTo;
    EXPECT_EQ(ReadBytes(opened.movedTo), std::string(4096, 'x'));
    opened.db.reset();

    // A later version's file is left alone.
    const std::string later = dir.file("later.db");
    {
        auto db = HistoryDatabase::OpenForWriting(later);
        ASSERT_TRUE(db.db);
        db.db->Exec("PRAGMA user_version=99");
    }
    EXPECT_EQ(HistoryDatabase::OpenForWriting(later).fault, HistoryDatabase::Fault::TooNew);
    EXPECT_EQ(HistoryDatabase::OpenForReading(later).fault, HistoryDatabase::Fault::TooNew);

    // A folder that cannot be written.
    const std::string locked = dir.file("ro");
    mkdir(locked.c_str(), 0500);
    if (geteuid() != 0) {
        EXPECT_EQ(HistoryDatabase::OpenForWriting(locked + "/history.db").fault,
                  HistoryDatabase::Fault::ReadOnly);
    }
    EXPECT_EQ(HistoryDatabase::OpenForReading(dir.file("none.db")).fault,
              HistoryDatabase::Fault::Missing);
    EXPECT_EQ(HistoryDatabase::OpenForReading(dir.write("text.db", "hello")).fault,
              HistoryDatabase::Fault::Damaged);
}

} // namespace
