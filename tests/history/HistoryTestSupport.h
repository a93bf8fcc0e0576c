#pragma once

#include "history/HistoryDatabase.h"
#include "history/HistoryRecord.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

// The rows `sql` gives, each as its columns joined by '|' (NULL reads "-").
inline std::vector<std::string> Rows(sqlite3* db, const std::string& sql) {
    std::vector<std::string> rows;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
        return {std::string("<") + sqlite3_errmsg(db) + ">"};
    while (sqlite3_step(s) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(s); ++i) {
            if (i)
                row += "|";
            const auto* text = sqlite3_column_text(s, i);
            row += text ? reinterpret_cast<const char*>(text) : "-";
        }
        rows.push_back(row);
    }
    sqlite3_finalize(s);
    return rows;
}

inline HistoryRecord ProbeRecordAt(const std::string& name, std::int64_t t, int result,
                                   std::int64_t connectMicros = -1) {
    HistoryRecord r;
    r.kind = HistoryRecord::Kind::Probe;
    r.name = name;
    r.address = "127.0.0.1";
    r.port = name == "web" ? 80 : 5432;
    r.time = t;
    r.result = result;
    r.connectMicros = connectMicros;
    return r;
}
