#pragma once

#include "engine/OutageEvents.h"
#include "engine/OutageObserver.h"
#include "engine/ServerTable.h"

#include <array>
#include <optional>
#include <vector>

// Decides when a server is down and when it is back, from the probe cycle's results, and tells
// its observers in values.
//
// A server is down from the probe that makes its third failure in a row; it is back at the first
// probe after that whose connection was held for the whole hold. Only a held probe resets the
// count: a connection dropped during the hold is a failure. A reload of the list ends every open
// outage (OutageEnd::ListReloaded) and starts every count again, as it does the table's own
// FailCount. The alert selection stays the probe cycle's (the first slot whose FailCount is
// above 2); AlertStarted is reported once per outage.
//
// The probe cycle owns one and feeds it; everything runs on the GUI thread. A probe's server is
// read from its slot of the table when the probe is reported, so a slot that holds another
// server than before starts again even without ServersLoaded. Slots outside 0..254, or empty,
// are ignored.
class OutageTracker {
public:
    // Failed probes in a row that make an outage.
    static constexpr int kFailuresForOutage = 3;

    OutageTracker() = default;
    OutageTracker(const OutageTracker&) = delete;
    OutageTracker& operator=(const OutageTracker&) = delete;

    // Observers are not owned; one that goes away first removes itself.
    void AddObserver(OutageObserver* observer);
    void RemoveObserver(OutageObserver* observer);

    // The feed. ServersLoaded reads the names, addresses and ports of the table as loaded.
    void ServersLoaded(WallTime now);
    void ProbeEnded(int slot, ProbeResult result, WallTime start, WallTime end,
                    std::optional<std::chrono::nanoseconds> connectTime);
    void AlertStarted(int slot);
    void SmsOutcome(std::uint64_t outageId, const ServerKey& server, WallTime time, bool sent);
    // Ends every open outage with OutageEnd::Stopped; for the close path.
    void Stop(WallTime now);

    // The slot's server, its failures in a row, and its open outage (null when it is up).
    const ServerKey* Server(int slot) const;
    std::int32_t Failures(int slot) const;
    const Outage* OpenOutage(int slot) const;

private:
    struct Slot {
        ServerKey server;
        bool listed = false;
        std::int32_t failures = 0;
        WallTime runStart{};
        ProbeResult runCause = ProbeResult::Unreachable;
        std::optional<Outage> open;
    };

    void EndAll(WallTime now, OutageEnd reason);
    void End(Slot& slot, WallTime at, OutageEnd reason);
    template <class Call> void Notify(Call&& call);

    std::array<Slot, kServerSlots> slots_{};
    std::vector<OutageObserver*> observers_;
    std::uint64_t nextId_ = 1;
    // The last few ended outages, so that an SMS reported after the end still finds its outage.
    std::vector<Outage> recentlyEnded_;
};
