#pragma once

#include <fcntl.h>
#include <string>
#include <unistd.h>

// A pipe whose ends close with it, for tests of what the program writes to a descriptor.
struct Pipe {
    Pipe() {
        if (::pipe2(fds, O_CLOEXEC) != 0)
            fds[0] = fds[1] = -1;
    }
    ~Pipe() {
        for (int fd : fds)
            if (fd >= 0)
                ::close(fd);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int reader() const { return fds[0]; }
    int writer() const { return fds[1]; }
    void closeReader() {
        ::close(fds[0]);
        fds[0] = -1;
    }
    // Makes the pipe hold one page only and fills it, so that the next write would wait.
    bool fill() const {
        if (::fcntl(fds[1], F_SETPIPE_SZ, 4096) <= 0)
            return false;
        const int flags = ::fcntl(fds[1], F_GETFL);
        ::fcntl(fds[1], F_SETFL, flags | O_NONBLOCK);
        const std::string page(4096, 'x');
        while (::write(fds[1], page.data(), page.size()) > 0) {
        }
        ::fcntl(fds[1], F_SETFL, flags);
        return true;
    }
    // Everything written so far.
    std::string drain() const {
        const int flags = ::fcntl(fds[0], F_GETFL);
        ::fcntl(fds[0], F_SETFL, flags | O_NONBLOCK);
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        ::fcntl(fds[0], F_SETFL, flags);
        return text;
    }
    int fds[2];
};
