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
    // `backlog` 0 with Fill() gives a silent host: the accept queue is full, so further SYNs get
    // no answer. `port` 0 lets the system choose; a taken port throws std::runtime_error.
    explicit LoopbackListener(int backlog = 64, std::uint16_t port = 0);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    std::uint16_t Port() const { return port_; }
    // Accepts one pending connection (waits up to a few seconds); -1 when none came.
    int Accept();
    // Connects once from a plain blocking socket and keeps that connection, filling the queue.
    void Fill();

private:
    int fd_ = -1;
    int filler_ = -1;
    std::uint16_t port_ = 0;
};

// A listener served by a thread of its own, which records how long each connection lasted.
//   Hold:        accepts and keeps each connection until the client closes it;
//   CloseAtOnce: accepts and closes in order at once;
//   ResetAfter:  accepts and resets the connection (SO_LINGER {1, 0}) after `delayMs`.
class LoopbackServer {
public:
    enum Mode { Hold, CloseAtOnce, ResetAfter };

    explicit LoopbackServer(Mode mode, int delayMs = 0);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    int accepted() const { return accepted_.load(); }
    // How long each connection the client closed was open, in the order they closed.
    std::vector<std::chrono::milliseconds> held() const;

private:
    struct Peer {
        int fd;
        std::chrono::steady_clock::time_point acceptedAt;
    };
    void Serve();

    Mode mode_;
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

// Closes an accepted connection in order (a FIN), or with a reset (SO_LINGER {1, 0}).
void CloseInOrder(int fd);
void CloseWithReset(int fd);
// Sends all of `text` or throws std::runtime_error.
void SendText(int fd, const std::string& text);

// The number of descriptors the process holds open.
int OpenDescriptorCount();
