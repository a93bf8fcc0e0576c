#include "Loopback.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int BoundSocket(std::uint16_t& port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(port);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0)
            close(fd);
        throw std::runtime_error("cannot bind a loopback socket");
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

} // namespace

TLoopbackListener::TLoopbackListener(int backlog, std::uint16_t port) : port_(port) {
    fd_ = BoundSocket(port_);
    if (listen(fd_, backlog) != 0)
        throw std::runtime_error("cannot listen on loopback");
}

TLoopbackListener::~TLoopbackListener() {
    if (filler_ >= 0)
        close(filler_);
    close(fd_);
}

int TLoopbackListener::Accept() {
    pollfd ready{fd_, POLLIN, 0};
    if (poll(&ready, 1, 5000) != 1)
        return -1;
    return accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

void TLoopbackListener::Fill() {
    filler_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(port_);
    if (connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot fill the listener's queue");
}

std::uint16_t RefusedPort() {
    // Bound and never listening: a SYN gets a reset, and no other process (tests run in
    // parallel) can take the port over, as it could after a plain close.
    static const std::uint16_t port = [] {
        std::uint16_t chosen = 0;
        BoundSocket(chosen);
        return chosen;
    }();
    return port;
}

void CloseInOrder(int fd) {
    close(fd);
}

void CloseWithReset(int fd) {
    linger hard{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    close(fd);
}

void SendText(int fd, const std::string& text) {
    if (send(fd, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size()))
        throw std::runtime_error("cannot send");
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    // Wakes the blocking pump now and then, so the deadline is seen even when nothing happens.
    QTimer wake;
    wake.start(20);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

int OpenDescriptorCount() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(dir);
    return count - 1; // the directory's own descriptor
}
