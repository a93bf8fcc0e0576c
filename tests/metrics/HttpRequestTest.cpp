#include "metrics/HttpRequest.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using State = RequestHead::State;

struct HeadCase {
    std::string received;
    State state;
    std::string method;
    std::string path;
};

std::string Padded(size_t total) {
    // A complete head of exactly `total` bytes.
    const std::string start = "GET /metrics HTTP/1.1\r\nX-Pad: ";
    const std::string end = "\r\n\r\n";
    return start + std::string(total - start.size() - end.size(), 'a') + end;
}

TEST(HttpRequest, HeadsAreJudgedAsTheyArrive) {
    const HeadCase cases[] = {
        {"GET /metrics HTTP/1.1\r\nHost: x\r\nAccept: */*\r\n\r\n", State::Complete, "GET",
         "/metrics"},
        {"HEAD /metrics HTTP/1.0\r\n\r\n", State::Complete, "HEAD", "/metrics"},
        {"GET /metrics?name[]=up HTTP/1.1\r\n\r\n", State::Complete, "GET", "/metrics"},
        {"GET /metrics HTTP/1.1\n\n", State::Complete, "GET", "/metrics"},
        {"POST /other HTTP/1.1\r\nContent-Length: 4\r\n\r\nbody", State::Complete, "POST",
         "/other"},
        // A second request after the first is not looked at.
        {"GET / HTTP/1.1\r\n\r\nGET /metrics HTTP/1.1\r\n\r\n", State::Complete, "GET", "/"},
        {"", State::Incomplete, "", ""},
        {"GE", State::Incomplete, "", ""},
        {"GET /metr", State::Incomplete, "", ""},
        {"GET /metrics HTTP/1.1\r\nHost: x\r\n", State::Incomplete, "", ""},
        // Refused as soon as the first bytes cannot start a request line.
        {"\x16\x03\x01\x02\x00\x01", State::Malformed, "", ""},
        {"get /metrics HTTP/1.1\r\n\r\n", State::Malformed, "", ""},
        {"GET metrics HTTP/1.1\r\n\r\n", State::Malformed, "", ""},
        {"GET /metrics HTTP/2.0\r\n\r\n", State::Malformed, "", ""},
        {"PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n", State::Malformed, "", ""},
        {"GET /metrics\r\n\r\n", State::Malformed, "", ""},
        {"GET  /metrics HTTP/1.1\r\n\r\n", State::Malformed, "", ""},
        {"GET /metrics HTTP/1.1 extra\r\n\r\n", State::Malformed, "", ""},
        {"GET /met\x01rics HTTP/1.1\r\n\r\n", State::Malformed, "", ""},
        {"\r\n\r\n", State::Malformed, "", ""},
    };
    for (const HeadCase& c : cases) {
        const RequestHead head = ParseRequestHead(c.received);
        EXPECT_EQ(head.state, c.state) << c.received;
        EXPECT_EQ(head.method, c.method) << c.received;
        EXPECT_EQ(head.path, c.path) << c.received;
    }
}

TEST(HttpRequest, AHeadMayTakeEightKibibytesAndNoMore) {
    EXPECT_EQ(ParseRequestHead(Padded(kMaxRequestHead)).state, State::Complete);
    EXPECT_EQ(ParseRequestHead(Padded(kMaxRequestHead + 1)).state, State::TooLarge);
    // Without its end, the head is too large once the limit is reached, not before.
    const std::string open = Padded(kMaxRequestHead + 100).substr(0, kMaxRequestHead);
    EXPECT_EQ(ParseRequestHead(open.substr(0, kMaxRequestHead - 1)).state, State::Incomplete);
    EXPECT_EQ(ParseRequestHead(open).state, State::TooLarge);
    // A request line alone longer than the limit.
    EXPECT_EQ(ParseRequestHead("GET /" + std::string(kMaxRequestHead, 'a')).state, State::TooLarge);
}

TEST(HttpRequest, OnlyGetAndHeadOfMetricsAreServed) {
    const std::tuple<std::string, std::string, int> cases[] = {
        {"GET", "/metrics", 200}, {"HEAD", "/metrics", 200}, {"POST", "/metrics", 405},
        {"PUT", "/metrics", 405}, {"GET", "/", 404},         {"GET", "/metrics/", 404},
        {"GET", "/Metrics", 404}, {"POST", "/x", 404},
    };
    for (const auto& [method, path, status] : cases) {
        RequestHead head;
        head.state = State::Complete;
        head.method = method;
        head.path = path;
        EXPECT_EQ(StatusFor(head), status) << method << " " << path;
    }
}

TEST(HttpRequest, ResponsesCarryLengthAndCloseAndHeadLeavesTheBodyOut) {
    EXPECT_EQ(BuildResponse(200, "text/plain; version=0.0.4; charset=utf-8", "a 1\n", false),
              "HTTP/1.1 200 OK\r\n"
              "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"
              "Content-Length: 4\r\n"
              "Connection: close\r\n"
              "\r\n"
              "a 1\n");
    EXPECT_EQ(BuildResponse(200, "text/plain", "a 1\n", true),
              "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 4\r\n"
              "Connection: close\r\n\r\n");
    EXPECT_EQ(BuildResponse(405, "text/plain", "no\n", false),
              "HTTP/1.1 405 Method Not Allowed\r\nContent-Type: text/plain\r\nContent-Length: "
              "3\r\nAllow: GET, HEAD\r\nConnection: close\r\n\r\nno\n");
    EXPECT_EQ(BuildResponse(404, "text/plain", "", false).substr(0, 24),
              "HTTP/1.1 404 Not Found\r\n");
}

} // namespace
