#pragma once

#include "history/HistoryQuery.h"
#include "viewer/RowTable.h"

#include <cstdint>
#include <map>
#include <vector>

// Every server in the history, one row each: name, address, uptime over 24 h, 7 and 30 days,
// the average connect time of the last 24 h and the outages of the last 30 days. Sorted by the
// 24 h uptime, lowest first (servers without probes last); a click on a heading sorts by that
// column instead. The chosen server stays chosen across refreshes.
class UptimeTable : public RowTable {
    Q_OBJECT
public:
    enum Column { kName, kAddress, kDay, kWeek, kMonth, kConnect, kOutages, kColumns };

    explicit UptimeTable(QWidget* parent = nullptr);

    // `outages`: per server id, its outages of the last 30 days.
    void Show(const std::vector<HistoryQuery::Uptime>& uptimes,
              const std::map<std::int64_t, std::int64_t>& outages);
    // The server id of the chosen row; 0 when none is.
    std::int64_t Chosen() const;
    // The server id in a row.
    std::int64_t ServerAt(int row) const;
    const HistoryQuery::Uptime* UptimeOf(std::int64_t serverId) const;

signals:
    void ServerChosen(qint64 serverId);

private:
    std::vector<HistoryQuery::Uptime> uptimes_;
};
