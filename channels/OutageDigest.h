#pragma once

#include "channels/Message.h"

#include <chrono>
#include <map>
#include <string>
#include <tuple>
#include <vector>

// Turns one cycle's outage events into the channels' messages: the servers that went down in a
// cycle give one message (or, when every probed server failed, the one that blames this
// machine's network), those that came back one more, and those still down whose reminder is
// due one more. Kept on the GUI thread; no clock of its own, every time comes with the events.
class OutageDigest {
public:
    using TimePoint = std::chrono::system_clock::time_point;

    // `remindMinutes` 0: no reminders.
    explicit OutageDigest(int remindMinutes) : remind_(std::chrono::minutes(remindMinutes)) {}

    // The server list was loaded again: every outage is forgotten.
    void ServersLoaded();
    void CycleStarted();
    // One probe of `server` ended; its `failures` is its count of failures in a row.
    void ProbeEnded(const OutageServer& server, bool success);
    // `server` is down from this probe (its third failure in a row).
    void WentDown(const OutageServer& server);
    // `server` is back (its `backAt` set).
    void CameBack(const OutageServer& server);
    // The cycle ended at `now`: the messages it gave, in the order down, back, reminder.
    std::vector<Message> CycleEnded(TimePoint now);

private:
    using Key = std::tuple<std::string, std::string, std::int32_t>;
    static Key KeyOf(const OutageServer& server) {
        return {server.name, server.address, server.port};
    }
    struct Down {
        OutageServer server;
        TimePoint lastNotice;
    };

    const std::chrono::minutes remind_;
    std::map<Key, Down> down_;
    // This cycle's.
    std::vector<OutageServer> failed_;
    int probed_ = 0;
    std::vector<OutageServer> wentDown_;
    std::vector<OutageServer> cameBack_;
};
