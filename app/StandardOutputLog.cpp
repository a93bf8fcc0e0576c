#include "app/StandardOutputLog.h"

#include "platform/GbkText.h"
#include "platform/StandardError.h"

StandardOutputLog::StandardOutputLog(int fd, int noticeFd, std::size_t queueBytes)
    : noticeFd_(noticeFd), writer_(fd, queueBytes, [noticeFd] {
          WriteIfReady(noticeFd, "servermonitor: standard output is not being read; log lines "
                                 "are dropped until it is\n");
      }) {}

void StandardOutputLog::Write(const std::string& lineGbk) {
    std::string line = GbkToUtf8(lineGbk);
    line.push_back('\n');
    writer_.Queue(std::move(line));
}

void StandardOutputLog::Flush() {
    writer_.WaitWritten(QueuedWriter::kCloseLimit, QueuedWriter::kCloseStall);
    if (const std::uint64_t dropped = Dropped())
        WriteIfReady(noticeFd_, "servermonitor: " + std::to_string(dropped) +
                                    " log lines were dropped from standard output\n");
}

void StandardOutputLog::Seal() {
    writer_.Seal();
}

bool StandardOutputLog::WaitWritten(std::chrono::milliseconds limit) {
    return writer_.WaitWritten(limit);
}

std::uint64_t StandardOutputLog::Dropped() const {
    return writer_.Dropped();
}
