#pragma once

#include <memory>
#include <string>

struct sqlite3;

// The history file: one SQLite connection to it, used by one thread at a time.
//
// Schema version 1 (PRAGMA user_version); times are milliseconds since 1970 UTC, texts UTF-8:
//   server(id, name, address, port)                      one row per name+address+port
//   probe(server, t, result, connect_us)                 every probe's end, for the detail days
//   run(id, server, result, first_t, last_t, count)      runs of unchanged results
//   period(server, length, start, held, refused, unreachable, dropped,
//          connect_n, connect_sum_us, connect_min_us, connect_max_us)
//                                                        per hour (length 3600000), then per day
//   outage(id, server, start, declared, end, end_reason, cause, last_result, failures,
//          alert, sms_sent, sms_failed)
//   event(id, t, kind, detail)                           kind 1 start, 2 stop, 3 reload
// Results: 0 held, 1 refused, 2 unreachable, 3 dropped. End reasons: 0 open, 1 answered,
// 2 list reloaded, 3 stopped.
class HistoryDatabase {
public:
    static constexpr int kSchemaVersion = 1;

    enum class Fault {
        None,
        // Missing (read mode only).
        Missing,
        // Not a database, or damaged.
        Damaged,
        // Another program holds a lock on it.
        Locked,
        // The file or its folder cannot be written.
        ReadOnly,
        // No space left.
        Full,
        // Written by a later version of the monitor.
        TooNew,
        Other,
    };

    struct Opened {
        std::unique_ptr<HistoryDatabase> db;
        Fault fault = Fault::None;
        // What went wrong, in English, without the file's name; empty when nothing did.
        std::string problem;
        // Where a damaged file was moved before a new one was started; empty otherwise.
        std::string movedTo;
    };

    // For the writer: creates the file (mode 0600) when there is none, gives an existing one
    // mode 0600, turns WAL on, checks it (quick_check) and creates or upgrades the schema. A
    // file that is not a database or fails the check is moved aside beside it (with -wal and
    // -shm) as NAME.damaged-YYYYMMDD-HHMMSS and a new one is started.
    static Opened OpenForWriting(const std::string& path);
    // For readers (the report, the viewer): never writes, never creates.
    static Opened OpenForReading(const std::string& path);

    // The fault an SQLite result code stands for.
    static Fault FaultOf(int code);

    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase&) = delete;
    HistoryDatabase& operator=(const HistoryDatabase&) = delete;

    sqlite3* Handle() const { return db_; }
    const std::string& Path() const { return path_; }
    // Runs `sql` (one or more statements); throws SqliteError.
    void Exec(const std::string& sql);
    int UserVersion();

private:
    HistoryDatabase(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
    void Prepare();

    sqlite3* db_;
    std::string path_;
};
