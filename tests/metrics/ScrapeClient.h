#pragma once

// A plain blocking client for the metrics endpoint on 127.0.0.1, for the unit and end-to-end
// tests: raw connections that send what a test wants, and a GET that parses the answer.

#include <chrono>
#include <map>
#include <string>
#include <string_view>

class TestConnection {
public:
    // Connects to 127.0.0.1:`port`; connected() tells whether that worked.
    explicit TestConnection(int port);
    ~TestConnection();
    TestConnection(const TestConnection&) = delete;
    TestConnection& operator=(const TestConnection&) = delete;

    bool connected() const { return fd_ >= 0; }
    // False when not every byte could be sent (the peer has gone).
    bool Send(std::string_view bytes);
    // Ends the sending side; the answer can still be read.
    void CloseSending();

    struct Received {
        std::string bytes;
        // The peer closed (in order or with a reset); false when `limit` passed first.
        bool closed = false;
    };
    // Reads until the peer closes or `limit` passes.
    Received ReadToEnd(std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    int fd_ = -1;
};

struct HttpAnswer {
    // 0 when no complete status line came.
    int status = 0;
    std::string head;
    std::string body;
};

// Sends "<method> <path> HTTP/1.1" with Host and "Connection: close" and reads the answer to its
// end; a chunked body is put together.
HttpAnswer HttpRequest(int port, const std::string& method = "GET",
                       const std::string& path = "/metrics");

// The value of one header of `head` (name compared without regard to case), or "".
std::string HeaderValue(const std::string& head, const std::string& name);

// The samples of an exposition text: "name{labels}" (as written) -> value text.
std::map<std::string, std::string> Samples(const std::string& text);
