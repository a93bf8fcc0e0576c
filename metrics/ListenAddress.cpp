#include "metrics/ListenAddress.h"

#include <arpa/inet.h>

namespace {

// Texts here are built by appending: GCC 12 at -O3 warns (-Wrestrict) on some chains of "+".
ListenError Problem(std::string_view value, std::string_view reason) {
    std::string text = "Listen=";
    text += value;
    text += ": ";
    text += reason;
    return {text};
}

ListenError NotAnAddress(std::string_view value, std::string_view host, std::string_view what) {
    std::string reason = "\"";
    reason += host;
    reason += "\" is not ";
    reason += what;
    return Problem(value, reason);
}

bool IsDigits(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Numeric text in the form inet_ntop writes, so that equal addresses compare equal.
bool Normalise(int family, const std::string& text, std::string& out) {
    unsigned char binary[sizeof(in6_addr)];
    if (::inet_pton(family, text.c_str(), binary) != 1)
        return false;
    char shown[INET6_ADDRSTRLEN];
    if (!::inet_ntop(family, binary, shown, sizeof shown))
        return false;
    out = shown;
    return true;
}

} // namespace

std::string ToText(const ListenAddress& address) {
    std::string text = address.ipv6 ? "[" : "";
    text += address.host;
    text += address.ipv6 ? "]:" : ":";
    text += std::to_string(address.port);
    return text;
}

std::variant<ListenAddress, ListenError> ParseListen(std::string_view value) {
    std::string_view host;
    std::string_view port = value;
    bool bracketed = false;
    if (!value.empty() && value.front() == '[') {
        const size_t close = value.find(']');
        if (close == std::string_view::npos)
            return Problem(value, "an IPv6 address needs its closing \"]\"");
        host = value.substr(1, close - 1);
        bracketed = true;
        if (close + 1 >= value.size() || value[close + 1] != ':')
            return Problem(value, "expected \":port\" after the address");
        port = value.substr(close + 2);
    } else if (const size_t colon = value.rfind(':'); colon != std::string_view::npos) {
        host = value.substr(0, colon);
        port = value.substr(colon + 1);
        if (host.find(':') != std::string_view::npos)
            return Problem(value, "an IPv6 address must be written in brackets, as [::1]:9464");
    }

    if (!IsDigits(port) || port.size() > 5)
        return Problem(value, "the port must be a number from 1 to 65535");
    const unsigned long number = std::stoul(std::string(port));
    if (number < 1 || number > 65535)
        return Problem(value, "the port must be a number from 1 to 65535");

    ListenAddress address;
    address.port = static_cast<std::uint16_t>(number);
    if (bracketed) {
        address.ipv6 = true;
        if (!Normalise(AF_INET6, std::string(host), address.host))
            return NotAnAddress(value, host, "an IPv6 address");
        return address;
    }
    if (host.empty() || host == "localhost") {
        address.host = "127.0.0.1";
        return address;
    }
    if (!Normalise(AF_INET, std::string(host), address.host))
        return NotAnAddress(value, host, "a numeric IPv4 address (host names are not looked up)");
    return address;
}
