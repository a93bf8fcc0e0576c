#pragma once

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <string_view>
#include <unistd.h>

// Writes `text` to `fd` only when the descriptor takes it at once, and in one write, so that it is
// not interleaved with another writer's; text beyond PIPE_BUF bytes, which a pipe could not take
// in one piece, is cut. True when written. Header only, for libmondem.so as well.
inline bool WriteIfReady(int fd, std::string_view text) {
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
