#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class AlertLog;

// How the alert workers' SMS sends went since start-up: sends the modem confirmed, and sends that
// failed. Counted by the workers; read from any thread.
struct SmsOutcomes {
    std::atomic<std::uint64_t> sent{0};
    std::atomic<std::uint64_t> failed{0};
};
SmsOutcomes& SmsOutcomeCounts();

// The alert worker for one failing server: tones when the slot's sound switch is on, then an SMS
// to the administrator when its SMS switch is on and the slot's last SMS is older than its
// interval, each outcome of a send logged through `log`.
//
// Created with new, ServerIndex set, then Start(): the body runs on a detached thread of its own
// and the object deletes itself when the body ends. Nobody waits for it.
class TAlert {
public:
    // `log` may be null: the outcome lines are then dropped.
    explicit TAlert(std::shared_ptr<AlertLog> log);

    std::int32_t ServerIndex = 0;
    // Called on the worker's thread after each SMS send with whether the modem took it; may be
    // empty.
    std::function<void(bool sent)> OnSmsOutcome;

    // Starts the thread. If no thread can be had, the object is deleted and the error thrown.
    void Start();

    // The body. Table fields are read and LastSMS written under the table lock, never held across
    // a tone or a send. For one slot, the rate-limit check, the send and the recording of
    // LastSMS are one step: a second worker for the same slot waits for the first to finish it.
    // Exceptions end the body quietly.
    void Execute() noexcept;

private:
    void Run();
    void Log(const std::string& line);

    std::shared_ptr<AlertLog> log_;
};
