#pragma once

// Loopback fixtures: real TCP peers on 127.0.0.1 for the socket, engine and end-to-end tests.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A listener that the test drives itself: it accepts only when asked.
class LoopbackListener {
public:
    struct BoundOnly {};

    // `backlog` 0 with Fill() gives a silent host: the accept queue is full, so further SYNs get
    // no answer. `port` 0 lets the system choose; a taken port throws std::runtime_error.
    explicit LoopbackListener(int backlog = 64, std::uint16_t port = 0);
    // Bound to `host` (an address of 127.0.0.0/8) but not listening: connects are refused until
    // Listen(). The port is the test's all along, so no other socket can take it meanwhile.
    explicit LoopbackListener(BoundOnly, std::uint16_t port = 0,
                              const std::string& host = "127.0.0.1");
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    std::uint16_t Port() const { return port_; }
    // Starts listening, or changes the backlog of a listener already listening (connections
    // queued beyond the new one stay queued); throws std::runtime_error when it cannot.
    void Listen(int backlog);
    // Accepts one pending connection (waits up to a few seconds); -1 when none came.
    int Accept();
    // Connects once from a plain blocking socket and keeps that connection, filling the queue.
    void Fill();

private:
    int fd_ = -1;
    int filler_ = -1;
    std::uint32_t host_ = 0; // in network order
    std::uint16_t port_ = 0;
};

// A listener served by a thread of its own, which records how long each connection lasted.
//   Hold:        accepts and keeps each connection until the client closes it;
//   CloseAtOnce: accepts and closes in order at once;
//   CloseAfter:  accepts and closes the connection in order (a FIN) after `delayMs`;
//   ResetAfter:  accepts and resets the connection (SO_LINGER {1, 0}) after `delayMs`.
class LoopbackServer {
public:
    enum Mode { Hold, CloseAtOnce, CloseAfter, ResetAfter };

    explicit LoopbackServer(Mode mode, int delayMs = 0);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    int accepted() const { return accepted_.load(); }
    // For connections accepted from now on.
    void setMode(Mode mode) { mode_ = mode; }
    // How long each connection the client closed was open, in the order they closed.
    std::vector<std::chrono::milliseconds> held() const;

private:
    struct Peer {
        int fd;
        std::chrono::steady_clock::time_point acceptedAt;
        Mode mode;
    };
    void Serve();

    std::atomic<Mode> mode_;
    int delayMs_;
    int fd_ = -1;
    int stop_ = -1;
    int port_ = 0;
    std::atomic<int> accepted_{0};
    mutable std::mutex lock_;
    std::vector<std::chrono::milliseconds> held_;
    std::thread thread_;
};

// Ports on 127.0.0.1 on which nothing listens. Each is bound (never listening) for the process's
// life, so that connects to it are refused every time and no other process can take it over;
// RefusedPort(n) is the same port on every call, and different n give different ports.
std::uint16_t RefusedPort(int n = 0);

// A port on 127.0.0.1 that nothing uses now, for a test to hand to a server that binds it later,
// in this process or another. Source ports of outgoing connections come from the kernel's
// ephemeral range (/proc/sys/net/ipv4/ip_local_port_range), so a port that the system chose for
// a bind of port 0 can be taken by any connection of a test running beside this one before the
// server binds it; this one is chosen below that range, where the kernel never picks on its own,
// at random (so that tests running at the same time hardly ever pick the same one) and checked
// with a bind. Never the same port twice in one process. Throws std::runtime_error when no such
// port can be found.
std::uint16_t FreeLoopbackPort();

// Closes an accepted connection in order (a FIN), or with a reset (SO_LINGER {1, 0}).
void CloseInOrder(int fd);
void CloseWithReset(int fd);
// Sends all of `text` or throws std::runtime_error.
void SendText(int fd, const std::string& text);

// The number of descriptors the process holds open.
int OpenDescriptorCount();
