#pragma once

#include "metrics/MetricsSnapshot.h"
#include "metrics/ProcessStats.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The content type of RenderExposition's text.
inline constexpr const char* kExpositionContentType = "text/plain; version=0.0.4; charset=utf-8";

// What a scrape adds to the engine's snapshot at the moment it is served.
struct ScrapeExtras {
    std::uint64_t smsSent = 0;
    std::uint64_t smsFailed = 0;
    bool modemReady = false;
    // The alert channels' deliveries, one entry per channel in the order given.
    struct Notifications {
        std::string channel;
        std::uint64_t sent = 0;
        std::uint64_t failed = 0;
        std::uint64_t dropped = 0;
    };
    std::vector<Notifications> notifications;
    // Left out of the text when unset.
    std::optional<ProcessStats> process;
};

// The snapshot as Prometheus text exposition (format 0.0.4, UTF-8). Every family has its HELP
// and TYPE lines, also when it has no sample yet. Per server, in table order, with the labels
// server (the name converted from GBK), address and port: servermonitor_up and
// servermonitor_last_probe_timestamp_seconds once it was probed, its connect duration once it
// connected, its consecutive failures and probes by result always. Then the process-wide counts
// and, when given, the process figures.
std::string RenderExposition(const MetricsSnapshot& snapshot, const ScrapeExtras& extras);

// A label value as the format writes it between double quotes: backslash, double quote and line
// feed escaped as \\, \" and \n.
std::string EscapeLabelValue(std::string_view utf8);

// A sample value: the shortest text that reads back as the same double; NaN, +Inf, -Inf.
std::string FormatSampleValue(double value);
