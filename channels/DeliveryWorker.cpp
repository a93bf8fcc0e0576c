#include "channels/DeliveryWorker.h"

#include "channels/NotificationCounts.h"

#include <algorithm>

DeliveryWorker::DeliveryWorker(std::string channel, DeliveryTransport transport, ErrorSink errors,
                               Timing timing)
    : channel_(std::move(channel)), transport_(std::move(transport)), errors_(std::move(errors)),
      timing_(timing), thread_([this] { Run(); }) {}

DeliveryWorker::~DeliveryWorker() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void DeliveryWorker::Post(Message message) {
    std::string dropped;
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= std::max<std::size_t>(timing_.maxQueued, 1)) {
            dropped = queue_.front().message.title;
            queue_.pop_front();
        }
        queue_.push_back({std::move(message), std::chrono::steady_clock::now(), unreachable_});
    }
    wake_.notify_all();
    if (!dropped.empty()) {
        ++NotificationCountsOf(channel_).dropped;
        Say("too many messages wait; dropped \"" + dropped + "\"");
    }
}

std::size_t DeliveryWorker::Pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size() + (busy_ ? 1 : 0);
}

void DeliveryWorker::Say(const std::string& lineUtf8) {
    if (errors_)
        errors_("servermonitor: " + channel_ + ": " + lineUtf8 + "\n");
}

void DeliveryWorker::Run() {
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_)
            return;
        Item item = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        const bool stopped = !Deliver(item);
        lock.lock();
        busy_ = false;
        if (stopped)
            return;
    }
}

// Tries `item` until it is delivered, refused or given up; false when the worker stops first.
bool DeliveryWorker::Deliver(Item& item) {
    NotificationCounts& counts = NotificationCountsOf(channel_);
    auto backOff = timing_.firstBackOff;
    while (true) {
        const DeliveryAttempt attempt = transport_(item.message, item.late, stop_);
        switch (attempt.result) {
        case DeliveryAttempt::Result::Stopped:
            return false;
        case DeliveryAttempt::Result::Delivered: {
            ++counts.sent;
            std::lock_guard lock(mutex_);
            unreachable_ = false;
            return true;
        }
        case DeliveryAttempt::Result::Refused:
            ++counts.failed;
            ++counts.dropped;
            Say("\"" + item.message.title + "\" not delivered: " + attempt.reason);
            return true;
        case DeliveryAttempt::Result::Unreachable: {
            ++counts.failed;
            // Everything that waits now was composed while the receiver could not be reached.
            std::lock_guard lock(mutex_);
            unreachable_ = true;
            item.late = true;
            for (Item& waiting : queue_)
                waiting.late = true;
            break;
        }
        case DeliveryAttempt::Result::Failed:
            ++counts.failed;
            break;
        }
        const auto waited = std::chrono::steady_clock::now() - item.posted;
        if (waited + backOff > timing_.giveUpAfter) {
            ++counts.dropped;
            const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(waited).count();
            Say("\"" + item.message.title + "\" dropped after trying for " +
                (minutes > 0
                     ? std::to_string(minutes) + " min"
                     : std::to_string(
                           std::chrono::duration_cast<std::chrono::seconds>(waited).count()) +
                           " s") +
                ": " + attempt.reason);
            return true;
        }
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, backOff, [this] { return stop_.load(); }))
            return false;
        backOff = std::min(backOff * 2, timing_.longestBackOff);
    }
}
