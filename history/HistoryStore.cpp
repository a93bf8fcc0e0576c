#include "history/HistoryStore.h"

#include "history/HistoryDatabase.h"
#include "history/SqliteError.h"

#include <sqlite3.h>

#include <algorithm>

namespace {

// Rolls back unless committed.
class Transaction {
public:
    explicit Transaction(HistoryDatabase& db) : db_(db) { db_.Exec("BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (!done_)
            sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void Commit() {
        db_.Exec("COMMIT");
        done_ = true;
    }

private:
    HistoryDatabase& db_;
    bool done_ = false;
};

constexpr int kHeld = 0;

// A period row that is there already adds the new counts to its own.
constexpr const char* kAddToPeriod =
    "ON CONFLICT(server, length, start) DO UPDATE SET "
    "held=held+excluded.held, refused=refused+excluded.refused, "
    "unreachable=unreachable+excluded.unreachable, dropped=dropped+excluded.dropped, "
    "connect_n=connect_n+excluded.connect_n, "
    "connect_sum_us=connect_sum_us+excluded.connect_sum_us, "
    "connect_min_us=min(coalesce(connect_min_us, excluded.connect_min_us), "
    "coalesce(excluded.connect_min_us, connect_min_us)), "
    "connect_max_us=max(coalesce(connect_max_us, excluded.connect_max_us), "
    "coalesce(excluded.connect_max_us, connect_max_us))";

} // namespace

HistoryStore::HistoryStore(HistoryDatabase& db)
    : db_(db),
      findServer_(db.Handle(), "SELECT id FROM server WHERE name=?1 AND address=?2 AND port=?3"),
      addServer_(db.Handle(), "INSERT INTO server(name, address, port) VALUES(?1, ?2, ?3)"),
      addProbe_(db.Handle(),
                "INSERT OR REPLACE INTO probe(server, t, result, connect_us) VALUES(?1,?2,?3,?4)"),
      lastRun_(db.Handle(), "SELECT id, result FROM run WHERE server=?1 ORDER BY id DESC LIMIT 1"),
      extendRun_(db.Handle(), "UPDATE run SET last_t=max(last_t, ?2), count=count+1 WHERE id=?1"),
      addRun_(db.Handle(), "INSERT INTO run(server, result, first_t, last_t, count) "
                           "VALUES(?1, ?2, ?3, ?3, 1)"),
      countHour_(db.Handle(),
                 "INSERT INTO period(server, length, start, held, refused, unreachable, dropped, "
                 "connect_n, connect_sum_us, connect_min_us, connect_max_us) "
                 "VALUES(?1, 3600000, ?2, ?3=0, ?3=1, ?3=2, ?3=3, ?4 IS NOT NULL, "
                 "coalesce(?4, 0), ?4, ?4) " +
                     std::string(kAddToPeriod)),
      addOutage_(db.Handle(), "INSERT INTO outage(server, start, declared, cause, last_result, "
                              "failures) VALUES(?1, ?2, ?3, ?4, ?4, ?5)"),
      changeOutage_(db.Handle(), "UPDATE outage SET alert=?2, sms_sent=?3, sms_failed=?4, "
                                 "failures=?5, last_result=?6 WHERE id=?1"),
      endOutage_(db.Handle(), "UPDATE outage SET alert=?2, sms_sent=?3, sms_failed=?4, "
                              "failures=?5, last_result=?6, end=?7, end_reason=?8 WHERE id=?1"),
      addEvent_(db.Handle(), "INSERT INTO event(t, kind, detail) VALUES(?1, ?2, ?3)") {}

std::int64_t HistoryStore::ServerId(const HistoryRecord& record) {
    Key key{record.name, record.address, record.port};
    if (auto found = servers_.find(key); found != servers_.end())
        return found->second;
    findServer_.Reset();
    findServer_.Bind(1, record.name).Bind(2, record.address).Bind(3, record.port);
    std::int64_t id;
    if (findServer_.Step() == SQLITE_ROW) {
        id = findServer_.Int(0);
        findServer_.Reset();
    } else {
        findServer_.Reset();
        addServer_.Reset();
        addServer_.Bind(1, record.name).Bind(2, record.address).Bind(3, record.port).Run();
        id = sqlite3_last_insert_rowid(db_.Handle());
    }
    servers_.emplace(std::move(key), id);
    return id;
}

void HistoryStore::WriteProbe(const HistoryRecord& r) {
    const std::int64_t server = ServerId(r);
    addProbe_.Reset();
    addProbe_.Bind(1, server).Bind(2, r.time).Bind(3, r.result);
    if (r.connectMicros >= 0)
        addProbe_.Bind(4, r.connectMicros);
    addProbe_.Run();

    auto run = runs_.find(server);
    if (run == runs_.end()) {
        lastRun_.Reset();
        lastRun_.Bind(1, server);
        if (lastRun_.Step() == SQLITE_ROW)
            run = runs_
                      .emplace(server, std::make_pair(lastRun_.Int(0),
                                                      static_cast<std::int32_t>(lastRun_.Int(1))))
                      .first;
        lastRun_.Reset();
    }
    if (run != runs_.end() && run->second.second == r.result) {
        extendRun_.Reset();
        extendRun_.Bind(1, run->second.first).Bind(2, r.time).Run();
    } else {
        addRun_.Reset();
        addRun_.Bind(1, server).Bind(2, r.result).Bind(3, r.time).Run();
        runs_[server] = {sqlite3_last_insert_rowid(db_.Handle()), r.result};
    }

    countHour_.Reset();
    countHour_.Bind(1, server).Bind(2, r.time - r.time % kHourMs).Bind(3, r.result);
    // Only a held probe's connect time describes an answering server.
    if (r.connectMicros >= 0 && r.result == kHeld)
        countHour_.Bind(4, r.connectMicros);
    countHour_.Run();
}

void HistoryStore::WriteOutage(const HistoryRecord& r) {
    if (r.kind == HistoryRecord::Kind::OutageStarted) {
        addOutage_.Reset();
        addOutage_.Bind(1, ServerId(r))
            .Bind(2, r.time)
            .Bind(3, r.declared)
            .Bind(4, r.result)
            .Bind(5, r.failures)
            .Run();
        outages_[r.outageId] = sqlite3_last_insert_rowid(db_.Handle());
        return;
    }
    const auto row = outages_.find(r.outageId);
    if (row == outages_.end())
        return;
    SqliteStatement& statement =
        r.kind == HistoryRecord::Kind::OutageEnded ? endOutage_ : changeOutage_;
    statement.Reset();
    statement.Bind(1, row->second)
        .Bind(2, r.alert ? 1 : 0)
        .Bind(3, r.smsSent)
        .Bind(4, r.smsFailed)
        .Bind(5, r.failures)
        .Bind(6, r.result);
    if (r.kind == HistoryRecord::Kind::OutageEnded)
        statement.Bind(7, r.time).Bind(8, r.endReason);
    statement.Run();
}

void HistoryStore::WriteEvent(const HistoryRecord& r, int kind) {
    addEvent_.Reset();
    addEvent_.Bind(1, r.time).Bind(2, kind).Bind(3, r.detail).Run();
}

void HistoryStore::Apply(const std::vector<HistoryRecord>& batch) {
    if (batch.empty())
        return;
    Transaction transaction(db_);
    for (const HistoryRecord& r : batch) {
        switch (r.kind) {
        case HistoryRecord::Kind::Probe:
            WriteProbe(r);
            break;
        case HistoryRecord::Kind::OutageStarted:
        case HistoryRecord::Kind::OutageChanged:
        case HistoryRecord::Kind::OutageEnded:
            WriteOutage(r);
            break;
        case HistoryRecord::Kind::MonitorStarted:
            WriteEvent(r, 1);
            break;
        case HistoryRecord::Kind::MonitorStopped:
            WriteEvent(r, 2);
            break;
        case HistoryRecord::Kind::ListReloaded:
            WriteEvent(r, 3);
            break;
        }
    }
    transaction.Commit();
}

void HistoryStore::EndOrphanOutages() {
    Transaction transaction(db_);
    db_.Exec("UPDATE outage SET end_reason=3, end=max(declared, coalesce((SELECT max(t) FROM "
             "probe WHERE probe.server=outage.server), declared)) WHERE end IS NULL");
    transaction.Commit();
}

void HistoryStore::CleanUp(std::int64_t nowMs, const HistoryRetention& retention) {
    const std::int64_t detailCut = nowMs - retention.detailDays * kDayMs;
    {
        // Per server, so that the delete walks the probe table's own order.
        std::vector<std::int64_t> ids;
        SqliteStatement all(db_.Handle(), "SELECT id FROM server");
        while (all.Step() == SQLITE_ROW)
            ids.push_back(all.Int(0));
        SqliteStatement drop(db_.Handle(), "DELETE FROM probe WHERE server=?1 AND t<?2");
        for (std::int64_t id : ids) {
            Transaction transaction(db_);
            drop.Reset();
            drop.Bind(1, id).Bind(2, detailCut).Run();
            transaction.Commit();
        }
    }
    {
        // Whole days only: the hours of the day that holds the cut stay hours.
        std::int64_t hourCut = nowMs - retention.hourlyDays * kDayMs;
        hourCut -= hourCut % kDayMs;
        Transaction transaction(db_);
        SqliteStatement fold(
            db_.Handle(),
            "INSERT INTO period(server, length, start, held, refused, unreachable, dropped, "
            "connect_n, connect_sum_us, connect_min_us, connect_max_us) "
            "SELECT server, 86400000, start - start % 86400000, sum(held), sum(refused), "
            "sum(unreachable), sum(dropped), sum(connect_n), sum(connect_sum_us), "
            "min(connect_min_us), max(connect_max_us) FROM period "
            "WHERE length=3600000 AND start<?1 GROUP BY server, start - start % 86400000 " +
                std::string(kAddToPeriod));
        fold.Bind(1, hourCut).Run();
        SqliteStatement dropHours(db_.Handle(),
                                  "DELETE FROM period WHERE length=3600000 AND start<?1");
        dropHours.Bind(1, hourCut).Run();
        transaction.Commit();
    }
    {
        const std::int64_t rollupCut = nowMs - retention.rollupDays * kDayMs;
        const int outageDays = std::max(retention.outageDays, kMinOutageDays);
        const std::int64_t outageCut = nowMs - outageDays * kDayMs;
        Transaction transaction(db_);
        SqliteStatement days(db_.Handle(), "DELETE FROM period WHERE length=86400000 AND start<?1");
        days.Bind(1, rollupCut - rollupCut % kDayMs).Run();
        SqliteStatement runs(db_.Handle(), "DELETE FROM run WHERE last_t<?1");
        runs.Bind(1, rollupCut).Run();
        SqliteStatement events(db_.Handle(), "DELETE FROM event WHERE t<?1");
        events.Bind(1, rollupCut).Run();
        SqliteStatement outages(db_.Handle(),
                                "DELETE FROM outage WHERE end IS NOT NULL AND end<?1");
        outages.Bind(1, outageCut).Run();
        transaction.Commit();
    }
    // The latest run of a server may have gone; the next probe looks it up again.
    runs_.clear();
}
