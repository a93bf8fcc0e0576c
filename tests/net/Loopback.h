#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Loopback fixtures for socket tests: real listeners on 127.0.0.1, started and stopped by the test.

// A listener on 127.0.0.1 with a port chosen by the system.
class TLoopbackListener {
public:
    // `backlog` 0 with Fill() gives a silent host: the accept queue is full, so further SYNs get
    // no answer.
    // `port` 0 lets the system choose; a taken port throws std::runtime_error.
    explicit TLoopbackListener(int backlog = 64, std::uint16_t port = 0);
    ~TLoopbackListener();
    TLoopbackListener(const TLoopbackListener&) = delete;
    TLoopbackListener& operator=(const TLoopbackListener&) = delete;

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

// A port on 127.0.0.1 on which nothing listens; it stays bound for the process's life so that
// connects to it are refused every time.
std::uint16_t RefusedPort();

// Closes an accepted connection in order, or with a reset (SO_LINGER {1, 0}).
void CloseInOrder(int fd);
void CloseWithReset(int fd);
void SendText(int fd, const std::string& text);

// Pumps the Qt event queue until `done` holds or `timeoutMs` passes; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);
// Pumps for a while, to let notices that should not come have their chance.
void PumpFor(int ms);

// The number of descriptors the process holds open.
int OpenDescriptorCount();
