#include "history/HistoryDatabase.h"

#include "history/SqliteError.h"
#include "history/SqliteStatement.h"
#include "platform/ErrorText.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS server(
    id INTEGER PRIMARY KEY, name TEXT NOT NULL, address TEXT NOT NULL, port INTEGER NOT NULL,
    UNIQUE(name, address, port));
CREATE TABLE IF NOT EXISTS probe(
    server INTEGER NOT NULL, t INTEGER NOT NULL, result INTEGER NOT NULL, connect_us INTEGER,
    PRIMARY KEY(server, t)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS run(
    id INTEGER PRIMARY KEY, server INTEGER NOT NULL, result INTEGER NOT NULL,
    first_t INTEGER NOT NULL, last_t INTEGER NOT NULL, count INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS run_server ON run(server, last_t);
CREATE INDEX IF NOT EXISTS run_last ON run(last_t);
CREATE TABLE IF NOT EXISTS period(
    server INTEGER NOT NULL, length INTEGER NOT NULL, start INTEGER NOT NULL,
    held INTEGER NOT NULL DEFAULT 0, refused INTEGER NOT NULL DEFAULT 0,
    unreachable INTEGER NOT NULL DEFAULT 0, dropped INTEGER NOT NULL DEFAULT 0,
    connect_n INTEGER NOT NULL DEFAULT 0, connect_sum_us INTEGER NOT NULL DEFAULT 0,
    connect_min_us INTEGER, connect_max_us INTEGER,
    PRIMARY KEY(server, length, start)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS outage(
    id INTEGER PRIMARY KEY, server INTEGER NOT NULL, start INTEGER NOT NULL,
    declared INTEGER NOT NULL, end INTEGER, end_reason INTEGER NOT NULL DEFAULT 0,
    cause INTEGER NOT NULL, last_result INTEGER NOT NULL, failures INTEGER NOT NULL,
    alert INTEGER NOT NULL DEFAULT 0, sms_sent INTEGER NOT NULL DEFAULT 0,
    sms_failed INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS outage_start ON outage(start);
CREATE INDEX IF NOT EXISTS outage_end ON outage(end);
CREATE INDEX IF NOT EXISTS outage_server ON outage(server, start);
CREATE TABLE IF NOT EXISTS event(
    id INTEGER PRIMARY KEY, t INTEGER NOT NULL, kind INTEGER NOT NULL, detail TEXT);
CREATE INDEX IF NOT EXISTS event_t ON event(t);
)sql";

std::string Stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &tm);
    return text;
}

HistoryDatabase::Fault FaultOfErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return HistoryDatabase::Fault::ReadOnly;
    case ENOSPC:
    case EDQUOT:
        return HistoryDatabase::Fault::Full;
    default:
        return HistoryDatabase::Fault::Other;
    }
}

// Moves the damaged file and its companions aside; gives the new name.
std::string MoveAside(const std::string& path) {
    std::string target = path + ".damaged-" + Stamp();
    for (int n = 2; access(target.c_str(), F_OK) == 0; ++n)
        target = path + ".damaged-" + Stamp() + "-" + std::to_string(n);
    if (std::rename(path.c_str(), target.c_str()) != 0)
        throw SqliteError(SQLITE_CANTOPEN, "cannot be moved aside: " + ErrnoText(errno));
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string from = path + suffix;
        if (access(from.c_str(), F_OK) == 0)
            std::rename(from.c_str(), (target + suffix).c_str());
    }
    return target;
}

} // namespace

HistoryDatabase::Fault HistoryDatabase::FaultOf(int code) {
    switch (code & 0xff) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return Fault::Damaged;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Fault::Locked;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
        return Fault::ReadOnly;
    case SQLITE_FULL:
        return Fault::Full;
    default:
        return Fault::Other;
    }
}

HistoryDatabase::~HistoryDatabase() {
    sqlite3_close_v2(db_);
}

void HistoryDatabase::Exec(const std::string& sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const std::string text = message ? message : sqlite3_errstr(rc);
        sqlite3_free(message);
        throw SqliteError(rc, text);
    }
}

int HistoryDatabase::UserVersion() {
    SqliteStatement statement(db_, "PRAGMA user_version");
    if (statement.Step() != SQLITE_ROW)
        throw SqliteError::From(db_, sqlite3_errcode(db_));
    return static_cast<int>(statement.Int(0));
}

void HistoryDatabase::Prepare() {
    sqlite3_busy_timeout(db_, 1000);
    sqlite3_extended_result_codes(db_, 1);
    {
        SqliteStatement wal(db_, "PRAGMA journal_mode=WAL");
        const int rc = wal.Step();
        if (rc != SQLITE_ROW)
            throw SqliteError::From(db_, rc);
        if (wal.Text(0) != "wal")
            throw SqliteError(SQLITE_BUSY, "cannot be switched to WAL mode");
    }
    // NORMAL in WAL mode: a commit survives a crash of the process; only a power cut may take
    // the last transactions.
    Exec("PRAGMA synchronous=NORMAL");
    // A large clean-up grows the WAL; past a checkpoint it goes back to this size, so the files
    // together stay near the database's own size.
    Exec("PRAGMA journal_size_limit=4194304");
    {
        SqliteStatement check(db_, "PRAGMA quick_check(1)");
        const int rc = check.Step();
        if (rc != SQLITE_ROW)
            throw SqliteError::From(db_, rc);
        if (check.Text(0) != "ok")
            throw SqliteError(SQLITE_CORRUPT, "fails its check: " + check.Text(0));
    }
    const int version = UserVersion();
    if (version > kSchemaVersion)
        throw SqliteError(-1, "was written by a later version (schema " + std::to_string(version) +
                                  ")");
    Exec("BEGIN IMMEDIATE");
    try {
        Exec(kSchema);
        Exec("PRAGMA user_version=" + std::to_string(kSchemaVersion));
        Exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

HistoryDatabase::Opened HistoryDatabase::OpenForWriting(const std::string& path) {
    Opened result;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd < 0) {
            result.fault = FaultOfErrno(errno);
            result.problem = "cannot be opened for writing: " + ErrnoText(errno);
            return result;
        }
        struct stat st {};
        if (fstat(fd, &st) == 0 && (st.st_mode & 07777) != 0600)
            fchmod(fd, 0600);
        ::close(fd);

        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        std::unique_ptr<HistoryDatabase> db(new HistoryDatabase(raw, path));
        try {
            if (rc != SQLITE_OK)
                throw SqliteError::From(raw, rc);
            db->Prepare();
            result.db = std::move(db);
            result.fault = Fault::None;
            return result;
        } catch (const SqliteError& error) {
            db.reset();
            result.fault = error.Code() == -1 ? Fault::TooNew : FaultOf(error.Code());
            result.problem = error.what();
            if (result.fault != Fault::Damaged || attempt > 0)
                return result;
            try {
                result.movedTo = MoveAside(path);
            } catch (const SqliteError& moveError) {
                result.problem += std::string("; it ") + moveError.what();
                return result;
            }
        }
    }
    return result;
}

HistoryDatabase::Opened HistoryDatabase::OpenForReading(const std::string& path) {
    Opened result;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        result.fault = errno == ENOENT ? Fault::Missing : FaultOfErrno(errno);
        result.problem = ErrnoText(errno);
        return result;
    }
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<HistoryDatabase> db(new HistoryDatabase(raw, path));
    try {
        if (rc != SQLITE_OK)
            throw SqliteError::From(raw, rc);
        sqlite3_busy_timeout(raw, 2000);
        const int version = db->UserVersion();
        if (version > kSchemaVersion)
            throw SqliteError(-1, "was written by a later version (schema " +
                                      std::to_string(version) + ")");
        if (version < 1)
            throw SqliteError(SQLITE_NOTADB, "holds no history");
        result.db = std::move(db);
    } catch (const SqliteError& error) {
        result.fault = error.Code() == -1 ? Fault::TooNew : FaultOf(error.Code());
        result.problem = error.what();
    }
    return result;
}
