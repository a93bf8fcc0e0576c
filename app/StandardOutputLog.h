#pragma once

#include "app/QueuedWriter.h"
#include "ui/LogSink.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

// The copy of every log line on standard output: UTF-8, one line per log line, in the order
// logged, so that the monitor is useful from a terminal and when it runs headless.
//
// The GUI thread only queues the line (QueuedWriter), so a reader that stops reading (a full
// pipe) never holds up probing, the log pane or the close path. Lines that the queue of at most
// `queueBytes` cannot take, or that fail to be written, are dropped and counted. The first
// dropped line is said once on the notice descriptor (standard error):
//   servermonitor: standard output is not being read; log lines are dropped until it is
// and Flush, on the close path, gives the count:
//   servermonitor: <n> log lines were dropped from standard output
// Both notices are written only when the descriptor takes them at once, so a full standard error
// cannot hold anything up either.
class StandardOutputLog : public LogSink {
public:
    static constexpr std::size_t kQueueBytes = 64 * 1024;

    // Writes to descriptor `fd` and its notices to `noticeFd`; neither is owned, both must stay
    // open for as long as the process lives.
    explicit StandardOutputLog(int fd = 1, int noticeFd = 2, std::size_t queueBytes = kQueueBytes);

    void Write(const std::string& lineGbk) override;
    // Waits for the queue as the end of the process does (QueuedWriter::kCloseLimit in all,
    // kCloseStall while nothing is taken), then gives the count of dropped lines, if any.
    void Flush() override;

    // Lines logged from now on are left out, without being counted; those already logged are
    // still written. For a close that must not show what start-up logs after it.
    void Seal();

    // Waits at most `limit` for every queued line to be written; true when they all were.
    bool WaitWritten(std::chrono::milliseconds limit);
    // Lines dropped so far.
    std::uint64_t Dropped() const;

private:
    const int noticeFd_;
    QueuedWriter writer_;
};
