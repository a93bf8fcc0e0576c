#include "metrics/MetricsServer.h"

#include "metrics/HttpRequest.h"
#include "platform/ErrorText.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBacklog = 128;
constexpr size_t kReadChunk = 4096;
constexpr size_t kMaxDrained = 64 * 1024;
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

std::string Reason(const ListenAddress& address, const char* what, int error = errno) {
    return std::string("cannot listen on ") + ToText(address) + ": " + what + ": " +
           ErrnoText(error);
}

int Listen(const ListenAddress& address, std::uint16_t& port) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    const int family = address.ipv6 ? AF_INET6 : AF_INET;
    if (address.ipv6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(address.port);
        if (::inet_pton(AF_INET6, address.host.c_str(), &in6->sin6_addr) != 1)
            throw MetricsListenError("cannot listen on " + ToText(address) + ": not an address");
        length = sizeof *in6;
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(address.port);
        if (::inet_pton(AF_INET, address.host.c_str(), &in4->sin_addr) != 1)
            throw MetricsListenError("cannot listen on " + ToText(address) + ": not an address");
        length = sizeof *in4;
    }
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw MetricsListenError(Reason(address, "socket"));
    // A restarted monitor gets its port back while old connections linger in TIME_WAIT.
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
        ::listen(fd, kBacklog) != 0) {
        const std::string reason = Reason(address, "bind");
        ::close(fd);
        throw MetricsListenError(reason);
    }
    length = sizeof storage;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length);
    port = ntohs(address.ipv6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                              : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    return fd;
}

} // namespace

struct MetricsServer::Connection {
    enum class Phase { Reading, Writing, Draining };
    int fd = -1;
    Phase phase = Phase::Reading;
    Clock::time_point deadline;
    std::string received;
    std::string answer;
    size_t sent = 0;
    size_t drained = 0;
};

MetricsServer::MetricsServer(const ListenAddress& address, Render render, std::string contentType)
    : MetricsServer(address, std::move(render), std::move(contentType), Limits{}) {}

MetricsServer::MetricsServer(const ListenAddress& address, Render render, std::string contentType,
                             Limits limits)
    : render_(std::move(render)), contentType_(std::move(contentType)), limits_(limits) {
    listen_ = Listen(address, port_);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) {
        const std::string reason = Reason(address, "eventfd");
        ::close(listen_);
        throw MetricsListenError(reason);
    }
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        // Its what() speaks the user's language; our reasons are English.
        ::close(listen_);
        ::close(wake_);
        throw MetricsListenError(Reason(address, "thread", e.code().value()));
    } catch (...) {
        ::close(listen_);
        ::close(wake_);
        throw;
    }
}

MetricsServer::~MetricsServer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wake_, &one, sizeof one);
    thread_.join();
    if (listen_ >= 0)
        ::close(listen_);
    ::close(wake_);
}

void MetricsServer::Run() noexcept {
    std::vector<Connection> connections;
    bool failed = false;
    try {
        Serve(connections);
    } catch (...) {
        // Out of memory or the like: no answer to anyone from now on, and nothing left that a
        // client could wait on.
        failed = true;
    }
    // After a failure the list can hold entries already closed (fd -1) and ones moved from, which
    // still name their descriptor: each open one is closed once.
    for (Connection& c : connections)
        if (c.fd >= 0)
            ::close(c.fd);
    open_.store(0);
    if (failed) {
        ::close(listen_);
        listen_ = -1;
    }
}

void MetricsServer::Serve(std::vector<Connection>& connections) {
    std::vector<pollfd> fds;
    for (;;) {
        const auto now = Clock::now();
        const bool accepting = now >= acceptPausedUntil_;
        fds.clear();
        fds.push_back({wake_, POLLIN, 0});
        fds.push_back({accepting ? listen_ : -1, POLLIN, 0});
        auto next = accepting ? Clock::time_point::max() : acceptPausedUntil_;
        for (const Connection& c : connections) {
            const short events = c.phase == Connection::Phase::Writing ? POLLOUT : POLLIN;
            fds.push_back({c.fd, events, 0});
            next = std::min(next, c.deadline);
        }
        int timeoutMs = -1;
        if (next != Clock::time_point::max()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now);
            timeoutMs = static_cast<int>(std::max<std::int64_t>(0, wait.count()));
        }
        if (::poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR)
            break;
        if (fds[0].revents)
            break;

        // Connections are stepped before new ones are accepted, so `fds` still matches them.
        std::vector<Connection> kept;
        kept.reserve(connections.size());
        for (size_t i = 0; i < connections.size(); ++i)
            if (Step(connections[i], fds[i + 2].revents))
                kept.push_back(std::move(connections[i]));
        connections = std::move(kept);
        if (fds[1].revents & POLLIN)
            Accept(connections);
        open_.store(static_cast<int>(connections.size()));
    }
}

void MetricsServer::Accept(std::vector<Connection>& connections) {
    for (int turn = 0; turn < kAcceptsPerTurn; ++turn) {
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // The pending connection stays queued and the socket readable; look again a
                // little later instead of spinning.
                acceptPausedUntil_ = Clock::now() + kAcceptPause;
                return;
            }
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        if (static_cast<int>(connections.size()) >= limits_.maxConnections) {
            ::close(fd);
            continue;
        }
        Connection c;
        c.fd = fd;
        c.deadline = Clock::now() + limits_.requestTimeout;
        try {
            connections.push_back(std::move(c));
        } catch (...) {
            ::close(fd);
            throw;
        }
    }
}

bool MetricsServer::Step(Connection& c, short events) {
    auto done = [&c] {
        ::close(c.fd);
        c.fd = -1;
        return false;
    };
    if (Clock::now() >= c.deadline)
        return done();
    if (events == 0)
        return true;

    switch (c.phase) {
    case Connection::Phase::Reading: {
        char buffer[kReadChunk];
        // A client may send its request and then close its side; it still gets the answer.
        bool ended = false;
        while (!ended && c.received.size() < kMaxRequestHead) {
            const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
            if (n > 0)
                c.received.append(buffer, static_cast<size_t>(n));
            else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
            else if (!(n < 0 && errno == EINTR))
                ended = true;
        }
        return Answer(c, ended) ? true : done();
    }
    case Connection::Phase::Writing:
        return Send(c) ? true : done();
    case Connection::Phase::Draining: {
        char buffer[kReadChunk];
        for (;;) {
            const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                c.drained += static_cast<size_t>(n);
                if (c.drained > kMaxDrained)
                    return done();
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return true;
            if (n < 0 && errno == EINTR)
                continue;
            return done();
        }
    }
    }
    return done();
}

bool MetricsServer::Answer(Connection& c, bool ended) {
    const RequestHead head = ParseRequestHead(c.received);
    switch (head.state) {
    case RequestHead::State::Incomplete:
        return !ended;
    case RequestHead::State::TooLarge:
    case RequestHead::State::Malformed:
        return false;
    case RequestHead::State::Complete:
        break;
    }
    const int status = StatusFor(head);
    std::string body;
    std::string type = "text/plain; charset=utf-8";
    if (status == 200) {
        try {
            body = render_();
        } catch (...) {
            return false;
        }
        type = contentType_;
    } else {
        body = status == 404 ? "Not Found\n" : "Method Not Allowed\n";
    }
    c.answer = BuildResponse(status, type, body, head.method == "HEAD");
    c.received.clear();
    c.received.shrink_to_fit();
    c.phase = Connection::Phase::Writing;
    c.deadline = Clock::now() + limits_.responseTimeout;
    return Send(c);
}

bool MetricsServer::Send(Connection& c) {
    while (c.sent < c.answer.size()) {
        const ssize_t n = ::send(c.fd, c.answer.data() + c.sent, c.answer.size() - c.sent,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            c.sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        return false;
    }
    ::shutdown(c.fd, SHUT_WR);
    c.answer.clear();
    c.answer.shrink_to_fit();
    c.phase = Connection::Phase::Draining;
    c.deadline = Clock::now() + limits_.lingerTimeout;
    return true;
}
