#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

// Where the metrics endpoint listens: a numeric IPv4 or IPv6 address and a TCP port.
struct ListenAddress {
    // Dotted IPv4 text, or IPv6 text without brackets.
    std::string host;
    std::uint16_t port = 0;
    bool ipv6 = false;

    bool operator==(const ListenAddress&) const = default;
};

// "host:port" as shown to the operator ("[::1]:9464" for IPv6).
std::string ToText(const ListenAddress& address);

// A Listen value that cannot be used, with the reason in plain words (ASCII).
struct ListenError {
    std::string reason;
};

// Reads a Listen value (already trimmed). Accepted forms:
//   "9464" or ":9464"      port on 127.0.0.1 (loopback unless an address is written);
//   "localhost:9464"       the same;
//   "127.0.0.2:9464"       a dotted IPv4 address, any one, "0.0.0.0" for every interface;
//   "[::1]:9464"           an IPv6 address in brackets, "[::]" for every interface.
// The port is 1..65535 in decimal digits. Host names other than "localhost" are refused: the
// monitor does not look names up at start-up.
std::variant<ListenAddress, ListenError> ParseListen(std::string_view value);
