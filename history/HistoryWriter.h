#pragma once

#include "history/HistoryRecord.h"
#include "history/HistorySetting.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The history's writer thread: records are queued by any thread without waiting for the disk,
// and written in one transaction per batch (every `batchInterval`, or at once when the queue is
// half full), so a process killed at any moment loses at most the last batch. A clean-up runs on
// the same thread at start and every `cleanUpInterval`.
//
// Faults (a file that is not a database or is damaged, one another program locks, one that
// cannot be written, a full disk) are told once through `faults`, as one line in English
// without its line end, on the writer thread. A damaged file is moved aside and a new one
// started; after any other fault the writer drops what it is given.
class HistoryWriter {
public:
    struct Options {
        std::string path = "history.db";
        HistoryRetention retention;
        std::chrono::milliseconds batchInterval{500};
        std::chrono::milliseconds cleanUpInterval{10 * 60 * 1000};
        std::size_t capacity = 100'000;
        // Milliseconds since 1970 for the clean-up; the system clock by default.
        std::function<std::int64_t()> now;
    };
    using FaultSink = std::function<void(const std::string& line)>;

    HistoryWriter(Options options, FaultSink faults);
    // Writes what is queued (waiting at most `closeWait`) and ends the thread.
    ~HistoryWriter();
    HistoryWriter(const HistoryWriter&) = delete;
    HistoryWriter& operator=(const HistoryWriter&) = delete;

    // Any thread; never waits for the disk. False when the record was dropped: the queue is
    // full or the writer has stopped after a fault.
    bool Push(HistoryRecord record);
    // Waits until everything pushed so far is written (or dropped), `timeout` at most; true
    // when it got there.
    bool Flush(std::chrono::milliseconds timeout);

    std::uint64_t Dropped() const { return dropped_.load(); }
    std::uint64_t Written() const { return written_.load(); }
    // Whether the file is open and being written.
    bool Writing() const { return writing_.load(); }

    static constexpr std::chrono::milliseconds kCloseWait{1000};

private:
    void Run();
    void Fault(const std::string& line);

    Options options_;
    FaultSink faults_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::vector<HistoryRecord> queue_;
    std::uint64_t pushed_ = 0;
    std::uint64_t handled_ = 0;
    bool stopping_ = false;
    bool flush_ = false;
    bool off_ = false;
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> written_{0};
    std::atomic<bool> writing_{false};
    std::thread thread_;
};
