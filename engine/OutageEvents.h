#pragma once

#include "engine/ProbeResult.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// The values the outage tracker hands its observers. They are copies: an observer may keep
// them, queue them to another thread or store them, and never needs the server table.

using WallTime = std::chrono::system_clock::time_point;

// A server as the operator and the metrics know it: its section name (GBK, as in servers.ini),
// its address as written there, and its port. Two list entries with the same three are the same
// server, across reloads of the list and restarts of the monitor.
struct ServerKey {
    std::string name;
    std::string address;
    std::int32_t port = 0;

    friend bool operator==(const ServerKey&, const ServerKey&) = default;
    friend auto operator<=>(const ServerKey&, const ServerKey&) = default;
};

// One probe's end.
struct ProbeEvent {
    ServerKey server;
    // When the attempt started and when the probe ended (the hold's end for a held one).
    WallTime start{};
    WallTime end{};
    ProbeResult result = ProbeResult::Unreachable;
    // From the start of the attempt to the connection; empty when it never connected.
    std::optional<std::chrono::nanoseconds> connectTime;
    // Failures in a row including this probe; 0 after a held probe.
    std::int32_t consecutiveFailures = 0;
};

// Why an outage ended.
enum class OutageEnd {
    // Not ended yet.
    Open,
    // A probe held its connection for the whole hold.
    Answered,
    // The server list was reloaded, which starts every server's count again.
    ListReloaded,
    // The monitor stopped.
    Stopped,
};

// One outage of one server: from the first of three or more failed probes in a row until the
// next held probe.
struct Outage {
    // Unique within the process, in the order outages started; ties later events (the end, an
    // SMS outcome) to the start.
    std::uint64_t id = 0;
    ServerKey server;
    // The start of the first failed probe of the run.
    WallTime start{};
    // The end of the probe that made the third failure in a row: when the tracker declared it.
    WallTime declared{};
    // The start of the held probe that ended it (or the reload's or the stop's time); empty
    // while it lasts.
    std::optional<WallTime> end;
    OutageEnd endReason = OutageEnd::Open;
    // How the first failed probe of the run ended, and how the latest did.
    ProbeResult cause = ProbeResult::Unreachable;
    ProbeResult lastResult = ProbeResult::Unreachable;
    // Failed probes in a row so far (at the end: all of the run's).
    std::int32_t failures = 0;
    // Whether the probe cycle started an alert worker for the server during the outage, and how
    // the workers' SMS sends went.
    bool alertStarted = false;
    std::int32_t smsSent = 0;
    std::int32_t smsFailed = 0;
};

// An alert worker's SMS send for a server, reported after the send.
struct SmsEvent {
    ServerKey server;
    // The outage the alert belonged to (its id); 0 when the server was not in an outage.
    std::uint64_t outageId = 0;
    WallTime time{};
    bool sent = false;
};
