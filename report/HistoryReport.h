#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

// servermonitor-history as a terminal report: reads the history file and writes outages,
// uptimes or, following the file, each change of a server's state. Human output is Chinese,
// aligned for a terminal, times local; CSV output has English column names, ISO 8601 UTC
// times, and quotes as RFC 4180 does.
class HistoryReport {
public:
    // Window: the viewer, which the program opens instead of a report.
    enum class Mode { Outages, Uptime, Follow, Help, Window };
    // Exit statuses.
    static constexpr int kOk = 0;
    static constexpr int kUsage = 1;
    static constexpr int kNoFile = 2;
    static constexpr int kUnusableFile = 3;

    struct Options {
        Mode mode = Mode::Outages;
        std::string path = "history.db";
        bool csv = false;
        // Milliseconds since 1970 UTC; empty: everything.
        std::optional<std::int64_t> since;
        // The report's "now" (milliseconds since 1970 UTC): uptime windows and open outages
        // end there.
        std::int64_t now = 0;
        // For --follow: the pause between looks at the file.
        int pollMs = 500;
    };

    // Parses the arguments (without the program's name). On an error gives nullopt and sets
    // `error` to one line without its end.
    static std::optional<Options> Parse(const std::vector<std::string>& args, std::int64_t nowMs,
                                        std::string& error);
    // A --since value: "YYYY-MM-DD", "YYYY-MM-DD HH:MM", "YYYY-MM-DD HH:MM:SS" (local time),
    // or a number followed by m, h or d: that long before `nowMs`.
    static std::optional<std::int64_t> ParseSince(const std::string& text, std::int64_t nowMs);

    static const char* Usage();

    // Runs the report; gives the exit status. `keepFollowing` is asked before every look at the
    // file in --follow (empty: for ever).
    static int Run(const Options& options, std::ostream& out, std::ostream& err,
                   const std::function<bool()>& keepFollowing = {});
};
