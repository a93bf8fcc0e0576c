#pragma once

#include "channels/Message.h"

#include <chrono>
#include <string>
#include <vector>

// The texts of the alert channels, in Chinese, UTF-8. Pure functions of their arguments and the
// process's local time zone; `servers` keep their order (the table's).
namespace MessageComposer {

using TimePoint = std::chrono::system_clock::time_point;

// One message for the servers that went down in one cycle: each with its address:port, the
// time its failures began and their number.
Message Down(const std::vector<OutageServer>& servers, TimePoint created);
// The message for a cycle in which every listed server (`servers`, all of them) failed: none can
// be reached from this machine, so its own network is the likely cause.
Message AllDown(const std::vector<OutageServer>& servers, TimePoint created);
// The servers back in one cycle, each with the duration of its outage.
Message Back(const std::vector<OutageServer>& servers, TimePoint created);
// The servers still down when their reminder fell due.
Message Reminder(const std::vector<OutageServer>& servers, TimePoint created);

// A duration in whole seconds as 2天3小时4分5秒, leaving out the leading units that are 0
// ("0秒" for less than a second). UTF-8.
std::string DurationText(std::chrono::seconds duration);
// Local date and time as "2026-12-09 15:04:05".
std::string LocalTimeText(TimePoint time);
// Local date and time as ISO 8601 with the offset, "2026-12-09T15:04:05+08:00".
std::string IsoTimeText(TimePoint time);

} // namespace MessageComposer
