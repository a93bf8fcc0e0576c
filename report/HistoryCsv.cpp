#include "report/HistoryCsv.h"

#include "report/ReportText.h"

#include <cstdio>
#include <ostream>

using namespace report_text;

namespace history_csv {

void WriteOutages(const std::vector<HistoryQuery::OutageRow>& rows, std::int64_t now,
                  std::ostream& out) {
    out << "start,end,duration_seconds,server,address,port,cause,end_reason,failures,alert,"
           "sms_sent,sms_failed\r\n";
    for (const auto& o : rows) {
        const std::int64_t end = o.end.value_or(now);
        out << IsoUtc(o.start) << "," << (o.end ? IsoUtc(*o.end) : "") << ","
            << (end - o.start) / 1000 << "," << CsvField(o.server.name) << ","
            << CsvField(o.server.address) << "," << o.server.port << "," << ResultWord(o.cause)
            << "," << EndWord(o.endReason) << "," << o.failures << "," << (o.alert ? 1 : 0) << ","
            << o.smsSent << "," << o.smsFailed << "\r\n";
    }
}

void WriteProbes(const HistoryQuery::Server& server, const std::vector<HistoryQuery::Probe>& rows,
                 std::ostream& out) {
    out << "time,server,address,port,result,connect_ms\r\n";
    const std::string who = CsvField(server.name) + "," + CsvField(server.address) + "," +
                            std::to_string(server.port) + ",";
    for (const auto& p : rows) {
        char connect[32] = "";
        if (p.connectMicros)
            std::snprintf(connect, sizeof connect, "%.3f",
                          static_cast<double>(*p.connectMicros) / 1000.0);
        out << IsoUtc(p.t) << "," << who << ResultWord(p.result) << "," << connect << "\r\n";
    }
}

} // namespace history_csv
