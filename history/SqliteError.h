#pragma once

#include <stdexcept>
#include <string>

struct sqlite3;

// A failed SQLite call: its primary result code (SQLITE_FULL, SQLITE_CORRUPT, ...) and the
// library's English text.
class SqliteError : public std::runtime_error {
public:
    SqliteError(int code, const std::string& message)
        : std::runtime_error(message), code_(code < 0 ? code : code & 0xff) {}
    // From the connection's last error (or the code's own text without one).
    static SqliteError From(sqlite3* db, int code);

    int Code() const { return code_; }

private:
    int code_;
};
