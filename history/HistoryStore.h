#pragma once

#include "history/HistoryRecord.h"
#include "history/HistorySetting.h"
#include "history/SqliteStatement.h"

#include <cstdint>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

class HistoryDatabase;

// Writes records into an open history file and keeps it within its retention. Used by one
// thread (the writer's); every call throws SqliteError when the file fails, after rolling back
// what it had begun.
class HistoryStore {
public:
    static constexpr std::int64_t kHourMs = 3'600'000;
    static constexpr std::int64_t kDayMs = 24 * kHourMs;

    explicit HistoryStore(HistoryDatabase& db);

    // One transaction for the whole batch, in order. A probe adds its detail row, extends its
    // server's run (or starts one when the result changed) and counts into its hour. An outage
    // the store has not seen start is not written.
    void Apply(const std::vector<HistoryRecord>& batch);

    // Deletes and folds what is past `retention` at `nowMs`: probes older than the detail days,
    // hours older than the hourly days (folded into their days first, whole days only), days,
    // runs and events older than the roll-up days, and outages that ended longer ago than the
    // outage days. Short transactions of its own.
    void CleanUp(std::int64_t nowMs, const HistoryRetention& retention);

    // Outages a previous run left open (it was killed) end at their server's last probe, or at
    // their declaration when none came after, as stopped.
    void EndOrphanOutages();

private:
    using Key = std::tuple<std::string, std::string, std::int32_t>;

    std::int64_t ServerId(const HistoryRecord& record);
    void WriteProbe(const HistoryRecord& record);
    void WriteOutage(const HistoryRecord& record);
    void WriteEvent(const HistoryRecord& record, int kind);

    HistoryDatabase& db_;
    SqliteStatement findServer_, addServer_, addProbe_, lastRun_, extendRun_, addRun_, countHour_,
        addOutage_, changeOutage_, endOutage_, addEvent_;
    std::map<Key, std::int64_t> servers_;
    // Per server id: the row and result of its latest run.
    std::map<std::int64_t, std::pair<std::int64_t, std::int32_t>> runs_;
    // The tracker's outage ids to rows.
    std::map<std::uint64_t, std::int64_t> outages_;
};
