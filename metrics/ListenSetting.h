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

// What monitor.ini says about the endpoint.
struct MetricsSetting {
    enum class State {
        // No file, no [Metrics] section, no Listen key or an empty value: no endpoint.
        Off,
        On,
        // The file or the value cannot be used; `problem` says why.
        Unusable,
    };
    State state = State::Off;
    ListenAddress listen;
    std::string problem;
};

// The setting from INI text (GBK or ASCII): section [Metrics], key Listen, both found without
// regard to letter case.
MetricsSetting ParseMetricsSetting(std::string_view text);

// The largest monitor.ini that is read; a bigger file is Unusable.
inline constexpr std::size_t kMetricsSettingMaxBytes = 64 * 1024;

// The setting from the file at `path`. Only a regular file is read, and it is opened without
// waiting, so a pipe or a device at the path never holds up the caller: anything that is not a
// regular file is Unusable, as is a file that cannot be read or is larger than
// kMetricsSettingMaxBytes. No file at all is Off.
MetricsSetting ReadMetricsSetting(const std::string& path);
