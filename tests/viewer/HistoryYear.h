#pragma once

#include "history/HistoryDatabase.h"

#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>

// Writes a history as the monitor leaves it after a year, straight into the tables: for each
// server hourly counts for the last 35 days and daily ones for the 330 days before, its probes
// of the last two hours (one every 5 s) and one outage every `outageEveryDays` days (0: none).
// Server i (from 0) answers in (1 + i % 7) ms on average; every 5th server refuses a twelfth of
// its probes, so the servers' uptimes differ. `now` should fall on a whole hour.
struct HistoryYear {
    int servers = 255;
    int outageEveryDays = 3;
    std::int64_t now = 0;

    static constexpr std::int64_t kHour = 3'600'000;
    static constexpr std::int64_t kDay = 24 * kHour;

    void Write(const std::string& path) const {
        auto opened = HistoryDatabase::OpenForWriting(path);
        if (!opened.db)
            throw std::runtime_error(opened.problem);
        sqlite3* db = opened.db->Handle();
        Exec(db, "BEGIN");
        sqlite3_stmt* server = Prepare(db, "INSERT INTO server(id, name, address, port) "
                                           "VALUES(?1, ?2, '127.0.0.1', ?3)");
        sqlite3_stmt* period = Prepare(
            db,
            "INSERT INTO period(server, length, start, held, refused, connect_n, "
            "connect_sum_us, connect_min_us, connect_max_us) VALUES(?1,?2,?3,?4,?5,?4,?6,?7,?8)");
        sqlite3_stmt* probe =
            Prepare(db, "INSERT INTO probe(server, t, result, connect_us) VALUES(?1,?2,?3,?4)");
        sqlite3_stmt* outage = Prepare(
            db, "INSERT INTO outage(server, start, declared, end, end_reason, cause, last_result, "
                "failures, alert, sms_sent) VALUES(?1, ?2, ?2 + 10000, ?3, 1, 1, 1, ?4, 1, ?5)");
        for (int i = 0; i < servers; ++i) {
            const std::int64_t id = i + 1;
            const std::string name = "server" + std::to_string(id);
            Run(server, {id}, name, 10000 + i);
            const std::int64_t avg = 1000 * (1 + i % 7);
            const bool flaky = i % 5 == 0;
            for (std::int64_t h = 1; h <= 35 * 24; ++h) {
                const std::int64_t refused = flaky ? 60 : 0;
                Run(period, {id, kHour, now - h * kHour, 720 - refused, refused,
                             (720 - refused) * avg, avg / 2, avg * 3});
            }
            for (std::int64_t d = 36; d <= 365; ++d) {
                const std::int64_t refused = flaky ? 24 * 60 : 0;
                Run(period, {id, kDay, (now / kDay - d) * kDay, 24 * 720 - refused, refused,
                             (24 * 720 - refused) * avg, avg / 2, avg * 3});
            }
            for (std::int64_t t = now - 2 * kHour; t < now; t += 5000) {
                const bool refusedNow = flaky && (t / 5000) % 12 == 0;
                Run(probe, {id, t, refusedNow ? 1 : 0, refusedNow ? -1 : avg + (t / 5000) % 900});
            }
            if (outageEveryDays > 0)
                for (std::int64_t d = 1 + i % outageEveryDays; d <= 365; d += outageEveryDays)
                    Run(outage,
                        {id, now - d * kDay, now - d * kDay + 20 * 60 * 1000, 3 + d % 5, d % 2});
        }
        for (sqlite3_stmt* s : {server, period, probe, outage})
            sqlite3_finalize(s);
        Exec(db, "COMMIT");
    }

private:
    static void Exec(sqlite3* db, const char* sql) {
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
    }
    static sqlite3_stmt* Prepare(sqlite3* db, const char* sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
        return s;
    }
    // Binds the numbers from 1 on, then `text` (if any) at 2 and `last` at 3; a connect time
    // below 0 binds NULL.
    static void Run(sqlite3_stmt* s, std::initializer_list<std::int64_t> numbers,
                    const std::string& text = {}, std::int64_t last = 0) {
        sqlite3_reset(s);
        int index = 1;
        for (std::int64_t n : numbers) {
            if (n < 0)
                sqlite3_bind_null(s, index++);
            else
                sqlite3_bind_int64(s, index++, n);
        }
        if (!text.empty()) {
            sqlite3_bind_text(s, 2, text.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(s, 3, last);
        }
        if (sqlite3_step(s) != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(sqlite3_db_handle(s)));
    }
};
