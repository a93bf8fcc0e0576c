#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The usual process figures of a metrics endpoint, from /proc.
struct ProcessStats {
    double cpuSeconds = 0;
    double startTimeSeconds = 0;
    std::uint64_t virtualBytes = 0;
    std::uint64_t residentBytes = 0;
    std::uint64_t openFds = 0;
    std::uint64_t maxFds = 0;
};

// The fields of /proc/<pid>/stat that ProcessStats takes, in the kernel's units.
struct ProcStat {
    std::uint64_t utimeTicks = 0;
    std::uint64_t stimeTicks = 0;
    std::uint64_t startTicks = 0; // since boot
    std::uint64_t virtualBytes = 0;
    std::uint64_t residentPages = 0;
};

// Parses the one line of /proc/<pid>/stat. The command name in parentheses may hold blanks and
// parentheses of its own, so fields are counted from the last ")". Nullopt for a line that is
// cut short or not numeric where numbers belong.
std::optional<ProcStat> ParseProcStat(std::string_view line);

// The "btime" value (boot time, seconds since 1970) of /proc/stat text; nullopt without one.
std::optional<std::uint64_t> ParseBootTime(std::string_view procStat);

// This process's figures now; nullopt when /proc cannot be read. Costs a few small reads and a
// walk over /proc/self/fd.
std::optional<ProcessStats> ReadProcessStats();
