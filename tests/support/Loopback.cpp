#include "support/Loopback.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>

namespace {

sockaddr_in Loopback(std::uint16_t port, std::uint32_t host = htonl(INADDR_LOOPBACK)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = host;
    return address;
}

std::uint32_t LoopbackHost(const std::string& text) {
    in_addr host{};
    if (::inet_pton(AF_INET, text.c_str(), &host) != 1 || (ntohl(host.s_addr) >> 24) != 127)
        throw std::runtime_error("not a loopback address: " + text);
    return host.s_addr;
}

// A socket bound on `host`; `port` 0 is replaced by the port the system chose.
int BoundSocket(std::uint16_t& port, std::uint32_t host = htonl(INADDR_LOOPBACK)) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(port, host);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0)
            ::close(fd);
        throw std::runtime_error("cannot bind a loopback socket");
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

int ListeningSocket(std::uint16_t& port, int backlog) {
    const int fd = BoundSocket(port);
    if (::listen(fd, backlog) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot listen on loopback");
    }
    return fd;
}

} // namespace

LoopbackListener::LoopbackListener(int backlog, std::uint16_t port)
    : host_(htonl(INADDR_LOOPBACK)), port_(port) {
    fd_ = ListeningSocket(port_, backlog);
}

LoopbackListener::LoopbackListener(BoundOnly, std::uint16_t port, const std::string& host)
    : host_(LoopbackHost(host)), port_(port) {
    fd_ = BoundSocket(port_, host_);
}

void LoopbackListener::Listen(int backlog) {
    if (::listen(fd_, backlog) != 0)
        throw std::runtime_error("cannot listen on loopback");
}

LoopbackListener::~LoopbackListener() {
    if (filler_ >= 0)
        ::close(filler_);
    ::close(fd_);
}

int LoopbackListener::Accept() {
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, 5000) != 1)
        return -1;
    return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

void LoopbackListener::Fill() {
    filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(port_, host_);
    if (::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot fill the listener's queue");
}

LoopbackServer::LoopbackServer(Mode mode, int delayMs) : mode_(mode), delayMs_(delayMs) {
    std::uint16_t port = 0;
    fd_ = ListeningSocket(port, 64);
    port_ = port;
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(stop_, &one, sizeof one);
    thread_.join();
    ::close(fd_);
    ::close(stop_);
}

std::vector<std::chrono::milliseconds> LoopbackServer::held() const {
    std::lock_guard lock(lock_);
    return held_;
}

void LoopbackServer::Serve() {
    std::vector<Peer> peers;
    for (;;) {
        std::vector<pollfd> fds{{stop_, POLLIN, 0}, {fd_, POLLIN, 0}};
        for (const Peer& peer : peers)
            fds.push_back({peer.fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 10);
        if (fds[0].revents)
            break;
        const auto now = std::chrono::steady_clock::now();
        if (fds[1].revents & POLLIN) {
            const int peer = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (peer >= 0) {
                ++accepted_;
                const Mode mode = mode_;
                if (mode == CloseAtOnce)
                    ::close(peer);
                else
                    peers.push_back({peer, now, mode});
            }
        }
        std::vector<Peer> kept;
        for (size_t i = 0; i < peers.size(); ++i) {
            const Peer& peer = peers[i];
            const short events = i + 2 < fds.size() ? fds[i + 2].revents : 0;
            char buffer[256];
            const bool due = now >= peer.acceptedAt + std::chrono::milliseconds(delayMs_);
            if (peer.mode == ResetAfter && due) {
                CloseWithReset(peer.fd);
            } else if (peer.mode == CloseAfter && due) {
                CloseInOrder(peer.fd);
            } else if (events && ::recv(peer.fd, buffer, sizeof buffer, MSG_DONTWAIT) <= 0) {
                ::close(peer.fd);
                std::lock_guard lock(lock_);
                held_.push_back(
                    std::chrono::duration_cast<std::chrono::milliseconds>(now - peer.acceptedAt));
            } else {
                kept.push_back(peer);
            }
        }
        peers = std::move(kept);
    }
    for (const Peer& peer : peers)
        ::close(peer.fd);
}

std::uint16_t RefusedPort(int n) {
    static std::mutex lock;
    static std::deque<std::uint16_t> ports;
    std::lock_guard guard(lock);
    while (static_cast<int>(ports.size()) <= n) {
        std::uint16_t port = 0;
        BoundSocket(port); // kept open on purpose: the port stays ours
        ports.push_back(port);
    }
    return ports[static_cast<size_t>(n)];
}

std::uint16_t FreeLoopbackPort() {
    int low = 32768;
    if (std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range"); !(range >> low))
        low = 32768;
    // Well clear of the ports that services commonly use, where the range leaves room for it.
    const int first = low > 21000 ? 20000 : 1024;
    const int last = low - 1;
    if (last < first)
        throw std::runtime_error("no ports below the ephemeral range");
    static std::mutex lock;
    static std::set<int> handedOut;
    static std::mt19937 pick{std::random_device{}()};
    std::lock_guard guard(lock);
    std::uniform_int_distribution<int> among(first, last);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int port = among(pick);
        if (handedOut.count(port))
            continue;
        // Without SO_REUSEADDR, so that a port still in use by a closing connection is passed
        // over too.
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = Loopback(static_cast<std::uint16_t>(port));
        const bool free =
            fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (fd >= 0)
            ::close(fd);
        if (free) {
            handedOut.insert(port);
            return static_cast<std::uint16_t>(port);
        }
    }
    throw std::runtime_error("no free port below the ephemeral range");
}

void CloseInOrder(int fd) {
    ::close(fd);
}

void CloseWithReset(int fd) {
    linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(fd);
}

void SendText(int fd, const std::string& text) {
    if (::send(fd, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size()))
        throw std::runtime_error("cannot send");
}

int OpenDescriptorCount() {
    int count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    while (dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.')
            ++count;
    ::closedir(dir);
    return count - 1; // the directory's own descriptor
}
