#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// One server as a message tells of it: values taken when the outage changed, never a slot to
// look up later.
struct OutageServer {
    // As in the server list: the name in GBK, the address text, the port.
    std::string name;
    std::string address;
    std::int32_t port = 0;
    // The start of the first failed probe of the run that made the outage.
    std::chrono::system_clock::time_point failingSince{};
    // Failed probes in a row so far.
    std::int32_t failures = 0;
    // Back messages: the end of the probe that held for the whole hold.
    std::chrono::system_clock::time_point backAt{};
};

// A message of the alert channels, composed once and rendered per channel.
struct Message {
    enum class Kind {
        // Servers whose third failure in a row came in this cycle.
        Down,
        // Every listed server failed in the cycle that made servers go down.
        AllDown,
        // Servers back from an outage in this cycle.
        Back,
        // Servers still down when a reminder was due.
        Reminder,
    };
    Kind kind = Kind::Down;
    // UTF-8; the title is one line, the body lines end in "\n".
    std::string title;
    std::string body;
    std::vector<OutageServer> servers;
    // When it was composed (the end of the cycle that made it).
    std::chrono::system_clock::time_point created{};
};

// "down", "all_down", "back", "reminder".
const char* KindName(Message::Kind kind);
