#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class HistoryDatabase;

// What the report and the viewer read from a history file, which the monitor may be writing
// meanwhile (WAL: readers never wait for the writer). Times are milliseconds since 1970 UTC,
// texts UTF-8. Every call throws SqliteError when the file fails.
class HistoryQuery {
public:
    struct Server {
        std::int64_t id = 0;
        std::string name;
        std::string address;
        std::int32_t port = 0;
    };
    struct OutageRow {
        std::int64_t id = 0;
        Server server;
        std::int64_t start = 0;
        std::int64_t declared = 0;
        std::optional<std::int64_t> end;
        // As in the file: end reason 0 open, 1 answered, 2 list reloaded, 3 stopped; results
        // 0 held, 1 refused, 2 unreachable, 3 dropped.
        int endReason = 0;
        int cause = 0;
        int lastResult = 0;
        std::int32_t failures = 0;
        bool alert = false;
        std::int32_t smsSent = 0;
        std::int32_t smsFailed = 0;
    };
    // Held probes and all probes over a window.
    struct Count {
        std::int64_t held = 0;
        std::int64_t total = 0;
        // Percent, empty without probes.
        std::optional<double> Percent() const;
    };
    struct Uptime {
        Server server;
        Count day, week, month;
        // Connect times of the held probes of the last 24 h, in microseconds.
        std::optional<std::int64_t> connectMin, connectMax;
        std::optional<double> connectAvg;
    };
    struct Probe {
        std::int64_t t = 0;
        int result = 0;
        std::optional<std::int64_t> connectMicros;
    };
    // One hour of a server's probes.
    struct Hour {
        std::int64_t start = 0;
        Count probes;
        // Connect times of its held probes, in microseconds; empty without any.
        std::optional<double> connectAvg;
        std::optional<std::int64_t> connectMin, connectMax;
    };

    explicit HistoryQuery(HistoryDatabase& db) : db_(db) {}

    std::vector<Server> Servers();
    // Outages that were going on at or after `since`, oldest first.
    std::vector<OutageRow> Outages(std::int64_t since);
    // Outages with an id of at least `fromId`, by id.
    std::vector<OutageRow> OutagesFrom(std::int64_t fromId);
    // Per server (in the order first seen): held and all probes over the 24 h, 7 and 30 days
    // before `now`, counted from the hourly and daily roll-ups (whole periods: the hour or day
    // that holds the window's start counts in full).
    std::vector<Uptime> Uptimes(std::int64_t now);
    // The server's latest `limit` probes, newest first.
    std::vector<Probe> LatestProbes(std::int64_t serverId, int limit);
    // The server's probes at or after `since`, oldest first (the detail days only).
    std::vector<Probe> Probes(std::int64_t serverId, std::int64_t since);
    // The server's latest `limit` outages, newest first.
    std::vector<OutageRow> ServerOutages(std::int64_t serverId, int limit);
    // Per server id: how many outages were going on at or after `since`.
    std::map<std::int64_t, std::int64_t> OutageCounts(std::int64_t since);
    // The server's hourly counts that start at or after `since`, oldest first (the hourly days
    // only).
    std::vector<Hour> Hours(std::int64_t serverId, std::int64_t since);

private:
    OutageRow ReadOutage(class SqliteStatement& statement);

    HistoryDatabase& db_;
};
