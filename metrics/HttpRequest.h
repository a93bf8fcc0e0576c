#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The most a request line and its headers may take, blank line included.
inline constexpr std::size_t kMaxRequestHead = 8 * 1024;

// What the bytes received so far on a connection make of a request.
struct RequestHead {
    enum class State {
        // No blank line yet, and still within kMaxRequestHead.
        Incomplete,
        // The head is complete and well formed; method and path are set.
        Complete,
        // kMaxRequestHead bytes came without the end of the head.
        TooLarge,
        // Not an HTTP/1.x request line.
        Malformed,
    };
    State state = State::Incomplete;
    std::string method;
    // The target up to "?" (the query is not used).
    std::string path;
};

// Parses the start of what a client sent. The head ends at the first empty line (CR LF CR LF,
// or bare LF line ends). The request line must be "METHOD SP /target SP HTTP/1.x" with an
// upper-case method; header lines are not interpreted, and anything after the head (a body,
// a pipelined request) is ignored.
RequestHead ParseRequestHead(std::string_view received);

// The answer to a complete request, as a status code: 200 for GET or HEAD of /metrics, 404 for
// any other path, 405 for another method on /metrics.
int StatusFor(const RequestHead& head);

// A whole response with "Connection: close" and a Content-Length. `body` is left out of the
// bytes, not out of the length, when `headOnly` (a HEAD request).
std::string BuildResponse(int status, const std::string& contentType, const std::string& body,
                          bool headOnly);
