#pragma once

#include <string>
#include <string_view>

// How long the history keeps what, in days.
struct HistoryRetention {
    // Every probe.
    int detailDays = 1;
    // Hourly counts per server; older hours are folded into days.
    int hourlyDays = 35;
    // Daily counts, runs of unchanged outcomes, and the monitor's starts, stops and reloads.
    int rollupDays = 400;
    // Outages; never fewer than kMinOutageDays.
    int outageDays = 400;
};

inline constexpr int kMinOutageDays = 400;

// What monitor.ini's [History] says: Enabled (1 or 0, default 1), DetailDays, HourlyDays,
// RollupDays, OutageDays. Keys are found without regard to letter case; a value that is not a
// whole number in range keeps its default and is named in `problem`.
struct HistorySetting {
    bool enabled = true;
    HistoryRetention retention;
    // Empty when everything could be used.
    std::string problem;
};

HistorySetting ParseHistorySetting(std::string_view text);

// The setting from the file at `path`; no file is the defaults, an unreadable one the defaults
// with a problem.
HistorySetting ReadHistorySetting(const std::string& path);
