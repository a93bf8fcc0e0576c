#include "ui/AlertNotifier.h"

#include "engine/ProbeCycle.h"

#include <mutex>
#include <string>

namespace {

bool IsSlot(int slot) {
    return slot >= 0 && slot < kServerSlots;
}

// The slot as it is now; Name is shared with the alert workers.
TServers Snapshot(int slot) {
    std::lock_guard lock(ServerTableLock());
    return ServerTable[slot];
}

std::string Address(const TServers& server) {
    return server.IP + ":" + std::to_string(server.Port);
}

} // namespace

AlertNotifier::AlertNotifier(ProbeCycle& cycle, Sink sink) : cycle_(cycle), sink_(std::move(sink)) {
    cycle_.AddObserver(this);
}

AlertNotifier::~AlertNotifier() {
    cycle_.RemoveObserver(this);
}

DesktopNotification AlertNotifier::AlertNotification(const TServers& server) {
    return {server.Name, "服务器故障：" + server.Name,
            Address(server) + " 连续" + std::to_string(server.FailCount) + "次连接失败",
            DesktopNotification::Urgency::Critical};
}

DesktopNotification AlertNotifier::BackNotification(const TServers& server) {
    return {server.Name, "服务器恢复：" + server.Name, Address(server) + " 已恢复连接",
            DesktopNotification::Urgency::Normal};
}

void AlertNotifier::ServersLoaded() {
    alerting_.fill(false);
}

void AlertNotifier::AlertStarted(int slot) {
    if (!IsSlot(slot) || alerting_[slot])
        return;
    alerting_[slot] = true;
    if (sink_)
        sink_(AlertNotification(Snapshot(slot)));
}

void AlertNotifier::ProbeEnded(int slot, const ProbeRecord& record) {
    if (!IsSlot(slot) || !alerting_[slot] || record.lastOutcome != ProbeRecord::Outcome::Success)
        return;
    alerting_[slot] = false;
    if (sink_)
        sink_(BackNotification(Snapshot(slot)));
}
