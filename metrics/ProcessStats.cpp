#include "metrics/ProcessStats.h"

#include <charconv>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

bool ToNumber(std::string_view text, std::uint64_t& out) {
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc{} && end == text.data() + text.size();
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\n'))
            ++at;
        const size_t begin = at;
        while (at < text.size() && text[at] != ' ' && text[at] != '\n')
            ++at;
        if (at > begin)
            words.push_back(text.substr(begin, at - begin));
    }
    return words;
}

std::string ReadAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint64_t OpenDescriptors() {
    std::uint64_t count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        ::closedir(dir);
        // The walk's own descriptor is not the process's.
        if (count > 0)
            --count;
    }
    return count;
}

} // namespace

std::optional<ProcStat> ParseProcStat(std::string_view line) {
    const size_t close = line.rfind(')');
    if (close == std::string_view::npos)
        return std::nullopt;
    // After the name: field 3 (state) is the first word; utime is field 14, stime 15,
    // starttime 22, vsize 23, rss 24.
    const std::vector<std::string_view> words = Words(line.substr(close + 1));
    constexpr size_t kFirst = 3;
    auto field = [&](size_t number, std::uint64_t& out) {
        return number - kFirst < words.size() && ToNumber(words[number - kFirst], out);
    };
    ProcStat stat;
    if (!field(14, stat.utimeTicks) || !field(15, stat.stimeTicks) || !field(22, stat.startTicks) ||
        !field(23, stat.virtualBytes) || !field(24, stat.residentPages))
        return std::nullopt;
    return stat;
}

std::optional<std::uint64_t> ParseBootTime(std::string_view procStat) {
    size_t at = 0;
    while (at < procStat.size()) {
        size_t end = procStat.find('\n', at);
        if (end == std::string_view::npos)
            end = procStat.size();
        const std::string_view line = procStat.substr(at, end - at);
        at = end + 1;
        const std::vector<std::string_view> words = Words(line);
        std::uint64_t value = 0;
        if (words.size() == 2 && words[0] == "btime" && ToNumber(words[1], value))
            return value;
    }
    return std::nullopt;
}

std::optional<ProcessStats> ReadProcessStats() {
    const std::optional<ProcStat> stat = ParseProcStat(ReadAll("/proc/self/stat"));
    const std::optional<std::uint64_t> boot = ParseBootTime(ReadAll("/proc/stat"));
    const long ticks = ::sysconf(_SC_CLK_TCK);
    const long page = ::sysconf(_SC_PAGESIZE);
    if (!stat || !boot || ticks <= 0 || page <= 0)
        return std::nullopt;
    ProcessStats stats;
    stats.cpuSeconds = static_cast<double>(stat->utimeTicks + stat->stimeTicks) / ticks;
    stats.startTimeSeconds =
        static_cast<double>(*boot) + static_cast<double>(stat->startTicks) / ticks;
    stats.virtualBytes = stat->virtualBytes;
    stats.residentBytes = stat->residentPages * static_cast<std::uint64_t>(page);
    stats.openFds = OpenDescriptors();
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        stats.maxFds = limit.rlim_cur;
    return stats;
}
