#pragma once

#include "channels/Message.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

// What one attempt to hand a message to its receiver gave.
struct DeliveryAttempt {
    enum class Result {
        Delivered,
        // The receiver could not be reached (no route, refused, no answer in time): retried,
        // and what waits meanwhile is marked late.
        Unreachable,
        // It answered with a failure that may pass (HTTP 5xx, 429; a temporary SMTP reply):
        // retried.
        Failed,
        // It will not take the message as it is (HTTP 4xx, a refused login, a certificate that
        // does not verify): given up at once.
        Refused,
        // The worker is stopping.
        Stopped,
    };
    Result result = Result::Delivered;
    // Why, for the operator; holds no secret.
    std::string reason;
};

// Sends one message once; `late` asks for the late marking; `stop` becomes true when the
// worker stops, and a long attempt should then end early.
using DeliveryTransport = std::function<DeliveryAttempt(const Message& message, bool late,
                                                        const std::atomic<bool>& stop)>;

// One channel's messages on a thread of their own, in the order they were posted. A message
// that cannot be delivered is tried again after 1x, 2x, 4x... the first back-off (at most the
// longest), until `giveUpAfter` has passed since it was posted; then it is dropped with one
// line. A refusal drops it at once with one line. While the receiver cannot be reached, the
// message being tried and every message posted meanwhile are delivered late (marked so) once it
// can. At most `maxQueued` messages wait; past that the oldest waiting one is dropped.
// Outcomes are counted in NotificationCountsOf(channel).
class DeliveryWorker {
public:
    struct Timing {
        std::chrono::milliseconds firstBackOff{std::chrono::seconds(5)};
        std::chrono::milliseconds longestBackOff{std::chrono::minutes(5)};
        std::chrono::milliseconds giveUpAfter{std::chrono::hours(2)};
        std::size_t maxQueued = 200;
    };
    // Lines for standard error (UTF-8, with their line end).
    using ErrorSink = std::function<void(std::string_view lineUtf8)>;

    DeliveryWorker(std::string channel, DeliveryTransport transport, ErrorSink errors,
                   Timing timing);
    // Stops the attempt in flight and joins the thread; what still waits is lost.
    ~DeliveryWorker();
    DeliveryWorker(const DeliveryWorker&) = delete;
    DeliveryWorker& operator=(const DeliveryWorker&) = delete;

    // Queues `message`; never waits for the thread's work.
    void Post(Message message);

    // Messages not yet delivered or dropped, the one in hand included.
    std::size_t Pending() const;

private:
    struct Item {
        Message message;
        std::chrono::steady_clock::time_point posted;
        bool late = false;
    };
    void Run();
    bool Deliver(Item& item);
    void Say(const std::string& lineUtf8);

    const std::string channel_;
    const DeliveryTransport transport_;
    const ErrorSink errors_;
    const Timing timing_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Item> queue_;
    bool busy_ = false;
    // The last attempt could not reach the receiver and none has since.
    bool unreachable_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
