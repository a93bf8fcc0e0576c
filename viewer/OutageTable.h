#pragma once

#include "history/HistoryQuery.h"
#include "viewer/RowTable.h"

#include <cstdint>
#include <vector>

// One server's outages, newest first: start, end, duration, cause, failures, how it ended, and
// whether an alert and an SMS went out. An open outage lasts until `now`.
class OutageTable : public RowTable {
public:
    enum Column { kStart, kEnd, kDuration, kCause, kFailures, kEnded, kAlert, kSms, kColumns };

    explicit OutageTable(QWidget* parent = nullptr);
    void Show(const std::vector<HistoryQuery::OutageRow>& outages, std::int64_t now);
};
