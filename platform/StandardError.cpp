#include "platform/StandardError.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <mutex>
#include <poll.h>
#include <unistd.h>

namespace {

std::mutex writerLock;
StandardErrorWriter installedWriter;

StandardErrorWriter Installed() {
    std::lock_guard lock(writerLock);
    return installedWriter;
}

} // namespace

void WriteStandardError(std::string_view textUtf8) {
    if (const StandardErrorWriter writer = Installed(); writer.write)
        writer.write(textUtf8);
    else
        WriteIfReady(STDERR_FILENO, textUtf8);
}

void FlushStandardError() {
    if (const StandardErrorWriter writer = Installed(); writer.flush)
        writer.flush();
}

StandardErrorWriter SetStandardErrorWriter(StandardErrorWriter writer) {
    std::lock_guard lock(writerLock);
    StandardErrorWriter previous = std::move(installedWriter);
    installedWriter = std::move(writer);
    return previous;
}

bool WriteIfReady(int fd, std::string_view text) {
    // A pipe that polls writable has room for PIPE_BUF bytes, so a write of no more cannot block.
    pollfd ready{fd, POLLOUT, 0};
    if (::poll(&ready, 1, 0) != 1 || !(ready.revents & POLLOUT))
        return false;
    const std::size_t size = std::min<std::size_t>(text.size(), PIPE_BUF);
    for (;;) {
        const ssize_t n = ::write(fd, text.data(), size);
        if (n < 0 && errno == EINTR)
            continue;
        return n == static_cast<ssize_t>(size) && size == text.size();
    }
}
