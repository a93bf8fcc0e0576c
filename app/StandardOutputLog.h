#pragma once

#include "ui/LogSink.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The copy of every log line on standard output: UTF-8, one line per log line, in the order
// logged, so that the monitor is useful from a terminal and when it runs headless.
//
// The writing is done by a thread of its own; the GUI thread only queues the line. So a reader
// that stops reading (a full pipe) never holds up probing, the log pane or the close path. While
// the output does not take them, lines wait in a queue of at most `queueBytes`; a line that does
// not fit, or that fails to be written (the reader has gone away), is dropped and counted. The
// first dropped line is said once on standard error:
//   servermonitor: standard output is not being read; log lines are dropped until it is
// and Flush, on the close path, gives the count:
//   servermonitor: <n> log lines were dropped from standard output
// Both notices are written only when standard error takes them at once, so a full standard error
// cannot hold anything up either.
class StandardOutputLog : public LogSink {
public:
    static constexpr std::size_t kQueueBytes = 64 * 1024;
    // How long the close path waits for queued lines to be written.
    static constexpr std::chrono::milliseconds kFlushLimit{500};

    // Writes to descriptor `fd` and its notices to `noticeFd`; neither is owned, both must stay
    // open for as long as the process lives.
    explicit StandardOutputLog(int fd = 1, int noticeFd = 2, std::size_t queueBytes = kQueueBytes);
    // Waits for the queue as Flush does, without the notice; a writer that is still stuck in a
    // write is left to end with the process.
    ~StandardOutputLog() override;
    StandardOutputLog(const StandardOutputLog&) = delete;
    StandardOutputLog& operator=(const StandardOutputLog&) = delete;

    void Write(const std::string& lineGbk) override;
    // Waits at most kFlushLimit for the queue to be written, then gives the count of dropped
    // lines, if any.
    void Flush() override;

    // Waits at most `limit` for every queued line to be written; true when they all were.
    bool WaitWritten(std::chrono::milliseconds limit);
    // Lines dropped so far.
    std::uint64_t Dropped() const;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};
