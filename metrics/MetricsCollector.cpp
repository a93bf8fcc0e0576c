#include "metrics/MetricsCollector.h"

#include "engine/ProbeCycle.h"
#include "engine/ServerTable.h"

#include <chrono>
#include <mutex>
#include <set>

namespace {

double Seconds(std::chrono::nanoseconds duration) {
    return std::chrono::duration<double>(duration).count();
}

} // namespace

MetricsCollector::MetricsCollector(ProbeCycle& cycle, SnapshotBoard& board)
    : cycle_(cycle), board_(board) {
    ReadList();
    for (size_t slot = 0; slot < entryOfSlot_.size(); ++slot) {
        const ProbeRecord& record = cycle_.Record(static_cast<int>(slot));
        const int entry = entryOfSlot_[slot];
        if (entry < 0 || record.lastOutcome == ProbeRecord::Outcome::None)
            continue;
        ServerMetrics& server = snapshot_.servers[entry];
        server.up = record.lastOutcome == ProbeRecord::Outcome::Success;
        server.lastProbeSeconds = Seconds(record.lastProbeEnd.time_since_epoch());
        if (record.lastConnectTime)
            server.connectSeconds = Seconds(*record.lastConnectTime);
        server.successes = record.successes;
        server.failures = record.failures;
    }
    for (size_t slot = 0; slot < entryOfSlot_.size(); ++slot)
        if (entryOfSlot_[slot] >= 0 && cycle_.Outages().OpenOutage(static_cast<int>(slot)))
            snapshot_.servers[entryOfSlot_[slot]].down = true;
    cycle_.AddObserver(this);
    cycle_.Outages().AddObserver(this);
    Publish();
}

MetricsCollector::~MetricsCollector() {
    cycle_.Outages().RemoveObserver(this);
    cycle_.RemoveObserver(this);
}

void MetricsCollector::ReadList() {
    std::map<Key, ServerMetrics> seen;
    for (ServerMetrics& server : snapshot_.servers) {
        Key key{server.name, server.address, server.port};
        seen.emplace(std::move(key), std::move(server));
    }
    snapshot_.servers.clear();
    entryOfSlot_.clear();

    std::set<Key> listed;
    // Names are shared with the alert workers; the rest of a slot belongs to this thread.
    std::lock_guard lock(ServerTableLock());
    for (int slot = 0; slot < kServerSlots && !ServerTable[slot].IP.empty(); ++slot) {
        const TServers& row = ServerTable[slot];
        Key key{row.Name, row.IP, row.Port};
        if (!listed.insert(key).second) {
            entryOfSlot_.push_back(-1);
            continue;
        }
        entryOfSlot_.push_back(static_cast<int>(snapshot_.servers.size()));
        if (auto kept = seen.find(key); kept != seen.end()) {
            snapshot_.servers.push_back(std::move(kept->second));
        } else {
            ServerMetrics fresh;
            fresh.name = row.Name;
            fresh.address = row.IP;
            fresh.port = row.Port;
            snapshot_.servers.push_back(std::move(fresh));
        }
    }
}

void MetricsCollector::Publish() {
    for (size_t slot = 0; slot < entryOfSlot_.size(); ++slot)
        if (const int entry = entryOfSlot_[slot]; entry >= 0)
            snapshot_.servers[entry].consecutiveFailures = ServerTable[slot].FailCount;
    board_.Publish(snapshot_);
}

void MetricsCollector::ServersLoaded() {
    ReadList();
    Publish();
}

void MetricsCollector::ProbeEnded(int slot, const ProbeRecord& record) {
    if (slot < 0 || static_cast<size_t>(slot) >= entryOfSlot_.size() || entryOfSlot_[slot] < 0 ||
        record.lastOutcome == ProbeRecord::Outcome::None)
        return;
    ServerMetrics& server = snapshot_.servers[entryOfSlot_[slot]];
    const bool up = record.lastOutcome == ProbeRecord::Outcome::Success;
    server.up = up;
    server.lastProbeSeconds = Seconds(record.lastProbeEnd.time_since_epoch());
    if (up) {
        ++server.successes;
        if (record.lastConnectTime)
            server.connectSeconds = Seconds(*record.lastConnectTime);
    } else {
        ++server.failures;
    }
    Publish();
}

void MetricsCollector::CycleEnded(std::chrono::nanoseconds duration) {
    ++snapshot_.cycles;
    snapshot_.lastCycleSeconds = Seconds(duration);
    Publish();
}

void MetricsCollector::AlertStarted(int) {
    ++snapshot_.alerts;
    Publish();
}

ServerMetrics* MetricsCollector::Find(const ServerKey& key) {
    for (ServerMetrics& server : snapshot_.servers)
        if (server.name == key.name && server.address == key.address && server.port == key.port)
            return &server;
    return nullptr;
}

void MetricsCollector::OutageStarted(const Outage& outage) {
    if (ServerMetrics* server = Find(outage.server)) {
        server->down = true;
        ++server->outages;
        Publish();
    }
}

void MetricsCollector::OutageEnded(const Outage& outage) {
    if (ServerMetrics* server = Find(outage.server)) {
        server->down = false;
        Publish();
    }
}
