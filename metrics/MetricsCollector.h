#pragma once

#include "engine/OutageObserver.h"
#include "engine/ProbeObserver.h"
#include "metrics/MetricsSnapshot.h"

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

class ProbeCycle;

// Follows the probe cycle on the GUI thread and publishes a fresh snapshot to `board` after every
// probe, cycle, alert and reload of the list.
//
// A server is known by its name, address and port together. When the list is reloaded, what was
// seen of a server still listed under the same three is kept (its probe counts, its last probe's
// outcome, time and connect time); a server no longer listed is forgotten, and one renamed or
// moved starts again from nothing. The consecutive failures are the table's own count, which a
// reload restarts. The cycle and alert counts are kept for the life of the process.
//
// Registers itself with `cycle` and removes itself when destroyed; `cycle` and `board` must
// outlive it. Creating it takes over what the cycle already saw of the current list. Whether a
// server is down, and its outages, come from the cycle's outage tracker.
class MetricsCollector : public ProbeObserver, public OutageObserver {
public:
    MetricsCollector(ProbeCycle& cycle, SnapshotBoard& board);
    ~MetricsCollector() override;
    MetricsCollector(const MetricsCollector&) = delete;
    MetricsCollector& operator=(const MetricsCollector&) = delete;

    void ServersLoaded() override;
    void ProbeEnded(int slot, const ProbeRecord& record) override;
    void CycleEnded(std::chrono::nanoseconds duration) override;
    void AlertStarted(int slot) override;
    void OutageStarted(const Outage& outage) override;
    void OutageEnded(const Outage& outage) override;

private:
    using Key = std::tuple<std::string, std::string, std::int32_t>;

    void ReadList();
    void Publish();
    ServerMetrics* Find(const ServerKey& server);

    ProbeCycle& cycle_;
    SnapshotBoard& board_;
    MetricsSnapshot snapshot_;
    // The snapshot entry of each listed slot, -1 for a slot whose server repeats an earlier
    // one's name, address and port (a duplicate series would make the whole scrape invalid).
    std::vector<int> entryOfSlot_;
    // What was seen of servers by key, for those still listed.
    std::map<Key, ServerMetrics> seen_;
};
