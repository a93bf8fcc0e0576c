#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

// What the channels' workers did, since start-up, for the metrics: per channel, the messages
// delivered, the attempts that failed (each retry that failed counts again) and the messages
// given up. Any thread may read them.
struct NotificationCounts {
    std::atomic<std::uint64_t> sent{0};
    std::atomic<std::uint64_t> failed{0};
    std::atomic<std::uint64_t> dropped{0};
};

// The process's counts of `channel` ("webhook" or "mail"; any other name gets the mail's).
NotificationCounts& NotificationCountsOf(std::string_view channel);
