#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

// A TCP listener on 127.0.0.1 served by a thread of its own.
//   Hold:        accepts and keeps each connection until the client closes it;
//   CloseAtOnce: accepts and closes in order at once;
//   ResetAfter:  accepts and resets the connection (SO_LINGER {1, 0}) after `delayMs`.
class Listener {
public:
    enum Mode { Hold, CloseAtOnce, ResetAfter };

    explicit Listener(Mode mode, int delayMs = 0) : mode_(mode), delayMs_(delayMs) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 64);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        stop_ = ::eventfd(0, EFD_CLOEXEC);
        thread_ = std::thread([this] { Serve(); });
    }
    ~Listener() {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto ignored = ::write(stop_, &one, sizeof one);
        thread_.join();
        ::close(fd_);
        ::close(stop_);
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    int port() const { return port_; }
    int accepted() const { return accepted_.load(); }

private:
    struct Peer {
        int fd;
        std::chrono::steady_clock::time_point resetAt;
    };

    void Serve() {
        std::vector<Peer> peers;
        for (;;) {
            std::vector<pollfd> fds{{stop_, POLLIN, 0}, {fd_, POLLIN, 0}};
            for (const Peer& peer : peers)
                fds.push_back({peer.fd, POLLIN, 0});
            ::poll(fds.data(), fds.size(), 10);
            if (fds[0].revents)
                break;
            if (fds[1].revents & POLLIN) {
                const int peer = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (peer >= 0) {
                    ++accepted_;
                    if (mode_ == CloseAtOnce)
                        ::close(peer);
                    else
                        peers.push_back({peer, std::chrono::steady_clock::now() +
                                                   std::chrono::milliseconds(delayMs_)});
                }
            }
            const auto now = std::chrono::steady_clock::now();
            std::vector<Peer> kept;
            for (size_t i = 0; i < peers.size(); ++i) {
                const Peer& peer = peers[i];
                const short events = i + 2 < fds.size() ? fds[i + 2].revents : 0;
                char buffer[256];
                if (mode_ == ResetAfter && now >= peer.resetAt) {
                    linger abort{1, 0};
                    ::setsockopt(peer.fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
                    ::close(peer.fd);
                } else if (events && ::recv(peer.fd, buffer, sizeof buffer, MSG_DONTWAIT) <= 0) {
                    ::close(peer.fd);
                } else {
                    kept.push_back(peer);
                }
            }
            peers = std::move(kept);
        }
        for (const Peer& peer : peers)
            ::close(peer.fd);
    }

    Mode mode_;
    int delayMs_;
    int fd_ = -1;
    int stop_ = -1;
    int port_ = 0;
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

// A port on 127.0.0.1 that refuses connections: bound once, noted, closed.
inline int RefusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}
