#pragma once

#include "metrics/ListenAddress.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

// The address could not be listened on; what() says which and why (ASCII).
class MetricsListenError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A small HTTP/1.1 server for one document: GET (or HEAD) /metrics answers 200 with what
// `render` returns, other paths 404, other methods on /metrics 405; every answer closes the
// connection. It runs on a thread of its own with non-blocking sockets and one poll loop, so no
// client can hold up anything else in the process, nor the other clients for longer than one
// render.
//
// What a client gets instead of an answer is a closed connection: when its request line and
// headers exceed kMaxRequestHead bytes, when they are not HTTP/1.x, when they are not complete
// within `requestTimeout` of the connection, and when `maxConnections` are open already (the
// extra one is closed as soon as it is accepted). A client that does not take its answer within
// `responseTimeout` is dropped too.
//
// Should the thread fail for want of memory or the like, the server stops serving quietly: its
// connections are closed, and so is the listening socket, while the rest of the process goes on.
class MetricsServer {
public:
    // New connections taken per turn of the poll loop: clients reconnecting as fast as they are
    // closed cannot keep the thread from the time-outs, the other clients and a stop.
    static constexpr int kAcceptsPerTurn = 32;

    struct Limits {
        int maxConnections = 8;
        std::chrono::milliseconds requestTimeout{5000};
        std::chrono::milliseconds responseTimeout{10000};
        // After the answer: how long the client's remaining bytes are read and dropped, so
        // that closing does not reset the connection under the answer.
        std::chrono::milliseconds lingerTimeout{1000};
    };
    // Called on the server's thread for each 200 answer; must be safe to call from there. An
    // exception closes that one connection without an answer.
    using Render = std::function<std::string()>;

    // Listens on `address` (port 0: one the system chooses), then starts serving. Throws
    // MetricsListenError when the address cannot be listened on or no thread can be had;
    // nothing is left open then.
    MetricsServer(const ListenAddress& address, Render render, std::string contentType,
                  Limits limits);
    MetricsServer(const ListenAddress& address, Render render, std::string contentType);
    // Stops serving and closes every connection.
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    std::uint16_t Port() const { return port_; }
    // Client connections open now.
    int OpenConnections() const { return open_.load(); }

private:
    struct Connection;

    void Run() noexcept;
    void Serve(std::vector<Connection>& connections);
    void Accept(std::vector<Connection>& connections);
    // Advances one connection after poll; false when it is done with and closed.
    bool Step(Connection& connection, short events);
    // Answers once the request is complete; `ended` when the client sent all it will.
    bool Answer(Connection& connection, bool ended);
    bool Send(Connection& connection);

    Render render_;
    std::string contentType_;
    Limits limits_;
    int listen_ = -1;
    int wake_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<int> open_{0};
    std::chrono::steady_clock::time_point acceptPausedUntil_{};
    std::thread thread_;
};
