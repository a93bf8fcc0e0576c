#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// What the probe cycle has shown of one listed server, as published for scrapes.
struct ServerMetrics {
    // As in the server table: the name in GBK, the address text, the port.
    std::string name;
    std::string address;
    std::int32_t port = 0;

    // Unset before the server's first probe.
    std::optional<bool> up;
    // When its last probe ended, in seconds since 1970 (UTC); meaningful once `up` is set.
    double lastProbeSeconds = 0;
    // The connect time of its last probe that connected.
    std::optional<double> connectSeconds;
    std::int32_t consecutiveFailures = 0;
    // In an outage as the engine decides it (three failures in a row until a held probe), and
    // the outages it started since start-up.
    bool down = false;
    std::uint64_t outages = 0;
    std::uint64_t successes = 0;
    std::uint64_t failures = 0;

    bool operator==(const ServerMetrics&) const = default;
};

// The engine's numbers at one moment: the listed servers in table order, and the cycle and
// alert counts since start-up.
struct MetricsSnapshot {
    std::vector<ServerMetrics> servers;
    std::uint64_t cycles = 0;
    // The duration of the last cycle that ended.
    std::optional<double> lastCycleSeconds;
    std::uint64_t alerts = 0;

    bool operator==(const MetricsSnapshot&) const = default;
};

// The hand-over point between the GUI thread, which publishes, and the endpoint's thread, which
// reads. Either side holds the lock only to swap or copy one pointer, so neither ever waits for
// the other's work.
class SnapshotBoard {
public:
    SnapshotBoard() : current_(std::make_shared<const MetricsSnapshot>()) {}

    void Publish(MetricsSnapshot snapshot) {
        auto next = std::make_shared<const MetricsSnapshot>(std::move(snapshot));
        std::lock_guard lock(mutex_);
        current_.swap(next);
        // The previous snapshot is released after the lock, by `next` going out of scope (or by
        // a reader still holding it).
    }

    // The last published snapshot (an empty one before the first); it stays valid for as long
    // as the caller keeps the pointer.
    std::shared_ptr<const MetricsSnapshot> Current() const {
        std::lock_guard lock(mutex_);
        return current_;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const MetricsSnapshot> current_;
};
