#include "engine/OutageTracker.h"

#include "platform/ErrorReport.h"

#include <algorithm>
#include <limits>
#include <mutex>

namespace {

constexpr size_t kRecentlyEnded = 64;

bool IsSlot(int slot) {
    return slot >= 0 && slot < kServerSlots;
}

} // namespace

void OutageTracker::AddObserver(OutageObserver* observer) {
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void OutageTracker::RemoveObserver(OutageObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

template <class Call> void OutageTracker::Notify(Call&& call) {
    // A copy: an observer may remove itself while it is called.
    const std::vector<OutageObserver*> observers = observers_;
    for (OutageObserver* observer : observers) {
        try {
            call(*observer);
        } catch (...) {
            ReportCurrentException();
        }
    }
}

void OutageTracker::ServersLoaded(WallTime now) {
    EndAll(now, OutageEnd::ListReloaded);
    std::vector<ServerKey> servers;
    {
        // Names are shared with the alert workers.
        std::lock_guard lock(ServerTableLock());
        for (int i = 0; i < kServerSlots; ++i) {
            Slot& slot = slots_[i];
            slot = Slot{};
            const TServers& row = ServerTable[i];
            if (row.IP.empty())
                continue;
            // The list ends at the first empty slot; later ones are never probed.
            if (i > 0 && !slots_[i - 1].listed)
                continue;
            slot.server = ServerKey{row.Name, row.IP, row.Port};
            slot.listed = true;
            servers.push_back(slot.server);
        }
    }
    Notify([&servers](OutageObserver& o) { o.ServersLoaded(servers); });
}

void OutageTracker::ProbeEnded(int index, ProbeResult result, WallTime start, WallTime end,
                               std::optional<std::chrono::nanoseconds> connectTime) {
    if (!IsSlot(index))
        return;
    ServerKey key;
    {
        std::lock_guard lock(ServerTableLock());
        const TServers& row = ServerTable[index];
        if (row.IP.empty())
            return;
        key = ServerKey{row.Name, row.IP, row.Port};
    }
    Slot& slot = slots_[index];
    // The table may have been filled without a word to the tracker (or a slot now holds another
    // server): the slot starts again.
    if (!slot.listed || slot.server != key) {
        if (slot.open)
            End(slot, start, OutageEnd::ListReloaded);
        slot = Slot{};
        slot.server = std::move(key);
        slot.listed = true;
    }
    if (result == ProbeResult::Held) {
        slot.failures = 0;
    } else {
        if (slot.failures == 0) {
            slot.runStart = start;
            slot.runCause = result;
        }
        if (slot.failures < std::numeric_limits<std::int32_t>::max())
            ++slot.failures;
    }

    ProbeEvent probe{slot.server, start, end, result, connectTime, slot.failures};
    Notify([&probe](OutageObserver& o) { o.ProbeEnded(probe); });

    if (result == ProbeResult::Held) {
        if (slot.open)
            End(slot, start, OutageEnd::Answered);
        return;
    }
    if (slot.open) {
        slot.open->failures = slot.failures;
        slot.open->lastResult = result;
        return;
    }
    if (slot.failures >= kFailuresForOutage) {
        Outage outage;
        outage.id = nextId_++;
        outage.server = slot.server;
        outage.start = slot.runStart;
        outage.declared = end;
        outage.cause = slot.runCause;
        outage.lastResult = result;
        outage.failures = slot.failures;
        slot.open = outage;
        Notify([&outage](OutageObserver& o) { o.OutageStarted(outage); });
    }
}

void OutageTracker::AlertStarted(int index) {
    if (!IsSlot(index) || !slots_[index].listed || !slots_[index].open ||
        slots_[index].open->alertStarted)
        return;
    Outage& outage = *slots_[index].open;
    outage.alertStarted = true;
    const Outage copy = outage;
    Notify([&copy](OutageObserver& o) { o.AlertStarted(copy); });
}

void OutageTracker::SmsOutcome(std::uint64_t outageId, const ServerKey& server, WallTime time,
                               bool sent) {
    Outage* found = nullptr;
    if (outageId != 0) {
        for (Slot& slot : slots_)
            if (slot.open && slot.open->id == outageId)
                found = &*slot.open;
        for (Outage& ended : recentlyEnded_)
            if (!found && ended.id == outageId)
                found = &ended;
    }
    if (found)
        ++(sent ? found->smsSent : found->smsFailed);
    const SmsEvent sms{server, found ? outageId : 0, time, sent};
    std::optional<Outage> copy;
    if (found)
        copy = *found;
    Notify([&sms, &copy](OutageObserver& o) { o.SmsOutcome(sms, copy ? &*copy : nullptr); });
}

void OutageTracker::Stop(WallTime now) {
    EndAll(now, OutageEnd::Stopped);
}

void OutageTracker::EndAll(WallTime now, OutageEnd reason) {
    for (Slot& slot : slots_) {
        if (slot.open)
            End(slot, now, reason);
        slot.failures = 0;
    }
}

void OutageTracker::End(Slot& slot, WallTime at, OutageEnd reason) {
    Outage outage = std::move(*slot.open);
    slot.open.reset();
    outage.end = at;
    outage.endReason = reason;
    if (recentlyEnded_.size() >= kRecentlyEnded)
        recentlyEnded_.erase(recentlyEnded_.begin());
    recentlyEnded_.push_back(outage);
    Notify([&outage](OutageObserver& o) { o.OutageEnded(outage); });
}

const ServerKey* OutageTracker::Server(int slot) const {
    return IsSlot(slot) && slots_[slot].listed ? &slots_[slot].server : nullptr;
}

std::int32_t OutageTracker::Failures(int slot) const {
    return IsSlot(slot) ? slots_[slot].failures : 0;
}

const Outage* OutageTracker::OpenOutage(int slot) const {
    return IsSlot(slot) && slots_[slot].open ? &*slots_[slot].open : nullptr;
}
