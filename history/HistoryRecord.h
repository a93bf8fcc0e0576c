#pragma once

#include <cstdint>
#include <string>

// One thing the history store keeps, as the monitor's GUI thread hands it to the writer thread.
// Times are milliseconds since 1970-01-01 UTC; texts are UTF-8.
struct HistoryRecord {
    enum class Kind : std::uint8_t {
        // A probe's end: server, time (its end), result, connectMicros (-1: never connected).
        Probe,
        // An outage: outageId (the tracker's), server, time (its start), declared, result (its
        // cause), failures.
        OutageStarted,
        // What changed of an open or ended outage: outageId, alert, smsSent, smsFailed, failures,
        // result (its latest failure).
        OutageChanged,
        // An outage's end: outageId, time (its end), endReason, and what OutageChanged carries.
        OutageEnded,
        // The monitor started / stopped / reloaded its list (detail: how many servers).
        MonitorStarted,
        MonitorStopped,
        ListReloaded,
    };

    Kind kind = Kind::Probe;
    std::string name;
    std::string address;
    std::int32_t port = 0;
    std::int64_t time = 0;
    std::int64_t declared = 0;
    // ProbeResult as its integer value.
    std::int32_t result = 0;
    std::int64_t connectMicros = -1;
    std::uint64_t outageId = 0;
    std::int32_t failures = 0;
    // OutageEnd as its integer value.
    std::int32_t endReason = 0;
    bool alert = false;
    std::int32_t smsSent = 0;
    std::int32_t smsFailed = 0;
    std::string detail;
};
