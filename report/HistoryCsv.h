#pragma once

#include "history/HistoryQuery.h"

#include <cstdint>
#include <iosfwd>
#include <vector>

// The history as comma-separated values, for the report's --csv and the viewer's export:
// English column names, ISO 8601 UTC times, fields quoted as RFC 4180 does, lines ending in
// CR LF.
namespace history_csv {

// Outages; an open one has an empty end and lasts until `now`.
void WriteOutages(const std::vector<HistoryQuery::OutageRow>& rows, std::int64_t now,
                  std::ostream& out);
// One server's probes, oldest first. The connect time is in milliseconds, empty when the probe
// never connected.
void WriteProbes(const HistoryQuery::Server& server, const std::vector<HistoryQuery::Probe>& rows,
                 std::ostream& out);

} // namespace history_csv
