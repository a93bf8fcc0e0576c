#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// What the probe cycle has seen of one slot since the server list was last loaded, beyond the
// slot's own fields. Kept on the GUI thread.
struct ProbeRecord {
    enum class Outcome { None, Success, Failure };

    // The outcome of the slot's last probe; None before its first.
    Outcome lastOutcome = Outcome::None;
    // When the last probe ended (wall clock).
    std::chrono::system_clock::time_point lastProbeEnd{};
    // From the start of the attempt to the connection, for the last probe that connected.
    std::optional<std::chrono::nanoseconds> lastConnectTime;
    std::uint64_t successes = 0;
    std::uint64_t failures = 0;
};

// Follows the probe cycle from the GUI thread. Every call is made there, inside the cycle or the
// reload that caused it; an observer must return quickly and must not throw. The defaults do
// nothing, so an observer overrides what it needs.
class ProbeObserver {
public:
    virtual ~ProbeObserver() = default;

    // The table was rebuilt from the server list (or emptied by a list that could not be read);
    // every slot's record starts again.
    virtual void ServersLoaded() {}
    virtual void CycleStarted() {}
    // A probe of `slot` ended; `record` is its record, already updated.
    virtual void ProbeEnded(int slot, const ProbeRecord& record) {
        (void)slot;
        (void)record;
    }
    // The walk and the alert selection are done; `duration` is the time they took.
    virtual void CycleEnded(std::chrono::nanoseconds duration) { (void)duration; }
    // The cycle started an alert worker for `slot`.
    virtual void AlertStarted(int slot) { (void)slot; }
};
