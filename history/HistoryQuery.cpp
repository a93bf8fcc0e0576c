#include "history/HistoryQuery.h"

#include "history/HistoryDatabase.h"
#include "history/HistoryStore.h"
#include "history/SqliteStatement.h"

#include <sqlite3.h>

namespace {

constexpr const char* kOutageColumns =
    "SELECT o.id, s.id, s.name, s.address, s.port, o.start, o.declared, o.end, o.end_reason, "
    "o.cause, o.last_result, o.failures, o.alert, o.sms_sent, o.sms_failed "
    "FROM outage o JOIN server s ON s.id = o.server ";

} // namespace

std::optional<double> HistoryQuery::Count::Percent() const {
    if (total <= 0)
        return std::nullopt;
    return 100.0 * static_cast<double>(held) / static_cast<double>(total);
}

std::vector<HistoryQuery::Server> HistoryQuery::Servers() {
    std::vector<Server> servers;
    SqliteStatement all(db_.Handle(), "SELECT id, name, address, port FROM server ORDER BY id");
    while (all.Step() == SQLITE_ROW)
        servers.push_back(
            {all.Int(0), all.Text(1), all.Text(2), static_cast<std::int32_t>(all.Int(3))});
    return servers;
}

HistoryQuery::OutageRow HistoryQuery::ReadOutage(SqliteStatement& s) {
    OutageRow row;
    row.id = s.Int(0);
    row.server = {s.Int(1), s.Text(2), s.Text(3), static_cast<std::int32_t>(s.Int(4))};
    row.start = s.Int(5);
    row.declared = s.Int(6);
    row.end = s.OptionalInt(7);
    row.endReason = static_cast<int>(s.Int(8));
    row.cause = static_cast<int>(s.Int(9));
    row.lastResult = static_cast<int>(s.Int(10));
    row.failures = static_cast<std::int32_t>(s.Int(11));
    row.alert = s.Int(12) != 0;
    row.smsSent = static_cast<std::int32_t>(s.Int(13));
    row.smsFailed = static_cast<std::int32_t>(s.Int(14));
    return row;
}

std::vector<HistoryQuery::OutageRow> HistoryQuery::Outages(std::int64_t since) {
    std::vector<OutageRow> rows;
    SqliteStatement s(db_.Handle(),
                      std::string(kOutageColumns) +
                          "WHERE o.end IS NULL OR o.end >= ?1 ORDER BY o.start, o.id");
    s.Bind(1, since);
    while (s.Step() == SQLITE_ROW)
        rows.push_back(ReadOutage(s));
    return rows;
}

std::vector<HistoryQuery::OutageRow> HistoryQuery::OutagesFrom(std::int64_t fromId) {
    std::vector<OutageRow> rows;
    SqliteStatement s(db_.Handle(), std::string(kOutageColumns) + "WHERE o.id >= ?1 ORDER BY o.id");
    s.Bind(1, fromId);
    while (s.Step() == SQLITE_ROW)
        rows.push_back(ReadOutage(s));
    return rows;
}

std::vector<HistoryQuery::Uptime> HistoryQuery::Uptimes(std::int64_t now) {
    const std::int64_t day = HistoryStore::kDayMs;
    // Server by server, so that each reads only its own periods of the last 30 days along the
    // primary key (server, length, start), hours and days apart; a period counts when it ends
    // after the window's start.
    SqliteStatement s(db_.Handle(),
                      "SELECT start + length > ?2, start + length > ?3, "
                      "sum(held), sum(held + refused + unreachable + dropped), "
                      "sum(connect_n), sum(connect_sum_us), min(connect_min_us), "
                      "max(connect_max_us) FROM period "
                      "WHERE server = ?1 AND ((length = 3600000 AND start > ?4 - 3600000) OR "
                      "(length = 86400000 AND start > ?4 - 86400000)) GROUP BY 1, 2");
    std::vector<Uptime> result;
    for (Server& server : Servers()) {
        Uptime u;
        u.server = std::move(server);
        s.Reset();
        s.Bind(1, u.server.id).Bind(2, now - day).Bind(3, now - 7 * day).Bind(4, now - 30 * day);
        while (s.Step() == SQLITE_ROW) {
            const bool inDay = s.Int(0) != 0;
            const bool inWeek = s.Int(1) != 0;
            const std::int64_t held = s.Int(2);
            const std::int64_t total = s.Int(3);
            u.month.held += held;
            u.month.total += total;
            if (inWeek) {
                u.week.held += held;
                u.week.total += total;
            }
            if (inDay) {
                u.day.held += held;
                u.day.total += total;
                if (const std::int64_t n = s.Int(4); n > 0) {
                    u.connectAvg = static_cast<double>(s.Int(5)) / static_cast<double>(n);
                    u.connectMin = s.OptionalInt(6);
                    u.connectMax = s.OptionalInt(7);
                }
            }
        }
        result.push_back(std::move(u));
    }
    return result;
}

std::vector<HistoryQuery::Probe> HistoryQuery::LatestProbes(std::int64_t serverId, int limit) {
    std::vector<Probe> probes;
    SqliteStatement s(db_.Handle(), "SELECT t, result, connect_us FROM probe WHERE server=?1 "
                                    "ORDER BY t DESC LIMIT ?2");
    s.Bind(1, serverId).Bind(2, limit);
    while (s.Step() == SQLITE_ROW)
        probes.push_back({s.Int(0), static_cast<int>(s.Int(1)), s.OptionalInt(2)});
    return probes;
}

std::vector<HistoryQuery::Probe> HistoryQuery::Probes(std::int64_t serverId, std::int64_t since) {
    std::vector<Probe> probes;
    SqliteStatement s(db_.Handle(), "SELECT t, result, connect_us FROM probe WHERE server=?1 "
                                    "AND t >= ?2 ORDER BY t");
    s.Bind(1, serverId).Bind(2, since);
    while (s.Step() == SQLITE_ROW)
        probes.push_back({s.Int(0), static_cast<int>(s.Int(1)), s.OptionalInt(2)});
    return probes;
}

std::vector<HistoryQuery::OutageRow> HistoryQuery::ServerOutages(std::int64_t serverId, int limit) {
    std::vector<OutageRow> rows;
    SqliteStatement s(db_.Handle(), std::string(kOutageColumns) +
                                        "WHERE o.server = ?1 ORDER BY o.start DESC, o.id DESC "
                                        "LIMIT ?2");
    s.Bind(1, serverId).Bind(2, limit);
    while (s.Step() == SQLITE_ROW)
        rows.push_back(ReadOutage(s));
    return rows;
}

std::map<std::int64_t, std::int64_t> HistoryQuery::OutageCounts(std::int64_t since) {
    std::map<std::int64_t, std::int64_t> counts;
    SqliteStatement s(db_.Handle(), "SELECT server, count(*) FROM outage "
                                    "WHERE end IS NULL OR end >= ?1 GROUP BY server");
    s.Bind(1, since);
    while (s.Step() == SQLITE_ROW)
        counts[s.Int(0)] = s.Int(1);
    return counts;
}

std::vector<HistoryQuery::Hour> HistoryQuery::Hours(std::int64_t serverId, std::int64_t since) {
    std::vector<Hour> hours;
    SqliteStatement s(db_.Handle(),
                      "SELECT start, held, held + refused + unreachable + dropped, connect_n, "
                      "connect_sum_us, connect_min_us, connect_max_us FROM period "
                      "WHERE server = ?1 AND length = 3600000 AND start >= ?2 ORDER BY start");
    s.Bind(1, serverId).Bind(2, since);
    while (s.Step() == SQLITE_ROW) {
        Hour hour;
        hour.start = s.Int(0);
        hour.probes = {s.Int(1), s.Int(2)};
        if (const std::int64_t n = s.Int(3); n > 0) {
            hour.connectAvg = static_cast<double>(s.Int(4)) / static_cast<double>(n);
            hour.connectMin = s.OptionalInt(5);
            hour.connectMax = s.OptionalInt(6);
        }
        hours.push_back(hour);
    }
    return hours;
}
