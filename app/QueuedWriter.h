#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Bytes for a descriptor that may stop taking them (a pipe nobody reads): the caller only queues
// them, and a thread of this writer's own writes them in the order queued. The queue holds at
// most `queueBytes`; a piece that does not fit, or that fails to be written (the reader has gone
// away), is dropped and counted, so a caller never waits for the reader.
//
// The thread is detached and owns its share of the state: one stuck in a write to a reader that
// never reads holds up neither the end of this object nor of the process.
class QueuedWriter {
public:
    // Writes to `fd`, which is not owned and must stay open for as long as the process lives.
    // `onFirstDrop`, when given, runs once, on the thread that drops the first piece; it must not
    // wait.
    QueuedWriter(int fd, std::size_t queueBytes, std::function<void()> onFirstDrop = {});
    // How long the end of the process waits for queued pieces: in all, and while the descriptor
    // takes nothing.
    static constexpr std::chrono::milliseconds kCloseLimit{500};
    static constexpr std::chrono::milliseconds kCloseStall{100};

    // Waits for the queue as the end of the process does, then lets the thread end.
    ~QueuedWriter();
    QueuedWriter(const QueuedWriter&) = delete;
    QueuedWriter& operator=(const QueuedWriter&) = delete;

    // Queues `bytes`, one piece (a line with its line end): it is written whole or dropped whole.
    void Queue(std::string bytes);

    // From now on, pieces are refused without being counted; those already queued are still
    // written. For the end of the process, when nothing may come out after a certain point.
    void Seal();

    // Waits until every queued piece is written: at most `limit` in all, and no longer than
    // `stall` while the descriptor takes nothing. True when everything was written.
    bool WaitWritten(std::chrono::milliseconds limit, std::chrono::milliseconds stall);
    bool WaitWritten(std::chrono::milliseconds limit) { return WaitWritten(limit, limit); }

    // Pieces dropped so far.
    std::uint64_t Dropped() const;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};
