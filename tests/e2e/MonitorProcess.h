#pragma once

// The real monitor as a child process of an end-to-end test, its standard output and standard
// error collected line by line. On a display of its own it runs under
// tests/e2e/monitor_on_display.sh, which takes the operator's commands; the script and all it
// starts form a process group of their own, so that nothing outlives the test. The program's path
// and the script's come from the compile definitions SM_SERVERMONITOR and SM_MONITOR_ON_DISPLAY of
// the test program.

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

// The display tools the monitor's own display needs: the first one missing, or empty.
std::string MissingDisplayTool();

// The lines, indented one per row, for a failure message.
std::string DumpLines(const std::vector<std::string>& lines);

enum class MonitorScreen { Offscreen, OwnDisplay };

// How the monitor is started, beyond its folder and its screen.
struct MonitorLaunch {
    // Non-empty: its HOME.
    std::filesystem::path home{};
    // More environment variables, set after the harness's own.
    std::vector<std::pair<std::string, std::string>> environment{};
    // Offscreen only: runs as the unprivileged user "nobody" (the test must be root).
    bool asNobody = false;
    // Standard output is a pipe of one page that nobody reads.
    bool unreadOutput = false;
    // Non-empty: a file that receives standard error instead of errorLines().
    std::filesystem::path errors{};
    // Non-empty: the D-Bus address of its session bus. Without one it has none, so that nothing
    // outside the test is talked to.
    std::string sessionBus{};
};

class MonitorProcess {
public:
    // Starts the monitor in `dir`; a non-empty `home` becomes its HOME. A non-empty `errors`
    // names a file that receives the standard error of the monitor (and of the display script).
    MonitorProcess(const std::filesystem::path& dir, MonitorScreen screen,
                   const std::filesystem::path& home = {},
                   const std::filesystem::path& errors = {});
    MonitorProcess(const std::filesystem::path& dir, MonitorScreen screen,
                   const MonitorLaunch& launch);
    ~MonitorProcess();

    // One operator command of the display script, such as "interval 5".
    void Command(const std::string& command);

    // Waits until `line` has been logged `count` times, the output has ended, or `limit` has
    // passed; true when it was logged that often.
    bool WaitFor(const std::string& line, std::chrono::seconds limit, int count = 1);
    // Waits until a line of standard error holds `text`, the stream has ended, or `limit` has
    // passed; true when one does.
    bool WaitForError(const std::string& text, std::chrono::seconds limit);

    std::vector<std::string> lines();
    std::vector<std::string> errorLines();
    int Count(const std::string& line);

    // The monitor's own process id (on a display of its own, the script's child), or -1 while
    // it is not running.
    pid_t ProgramPid() const;

    // Offscreen only: sends `signal` to the program.
    void Signal(int signal);
    // Offscreen only: waits at most `limit` for the program to end. Its exit code, 128 + the
    // signal that ended it, or nothing when it still runs.
    std::optional<int> WaitForExit(std::chrono::seconds limit);

private:
    struct Stream {
        int fd = -1;
        std::vector<std::string> lines;
        bool ended = false;
        std::thread reader;
    };
    void Start(const std::filesystem::path& dir, const MonitorLaunch& launch);
    void Read(Stream& stream, bool echo);
    std::optional<int> Reap(bool block);

    MonitorScreen screen_;
    pid_t pid_ = -1;
    std::optional<int> status_;
    int commands_ = -1;
    Stream out_;
    Stream err_;
    std::mutex lock_;
    std::condition_variable changed_;
};
