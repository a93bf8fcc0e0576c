#pragma once

#include "engine/ProbeObserver.h"
#include "engine/ServerTable.h"

#include <string>

// A server's details for its row's tooltip (GBK, one item a line): the address and port, the
// last probe's end time and outcome, the duration of the last connect that succeeded, the
// consecutive failures, and the time of the last SMS sent for it. Times are local, in the user's
// date and time formats; what has not happened yet reads "无" (the probe "尚未检测").
// `server` is a copy taken under the table lock.
std::string ServerDetailsText(const TServers& server, const ProbeRecord& record);
