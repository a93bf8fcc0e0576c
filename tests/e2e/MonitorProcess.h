#pragma once

// The real monitor as a child process of an end-to-end test, its standard output collected line
// by line. On a display of its own it runs under tests/e2e/monitor_on_display.sh, which takes the
// operator's commands; the script and all it starts form a process group of their own, so that
// nothing outlives the test. The program's path and the script's come from the compile
// definitions SM_SERVERMONITOR and SM_MONITOR_ON_DISPLAY of the test program.

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// The display tools the monitor's own display needs: the first one missing, or empty.
std::string MissingDisplayTool();

// The lines, indented one per row, for a failure message.
std::string DumpLines(const std::vector<std::string>& lines);

enum class MonitorScreen { Offscreen, OwnDisplay };

class MonitorProcess {
public:
    // Starts the monitor in `dir`; a non-empty `home` becomes its HOME. A non-empty `errors`
    // names a file that receives the standard error of the monitor (and of the display script).
    MonitorProcess(const std::filesystem::path& dir, MonitorScreen screen,
                   const std::filesystem::path& home = {},
                   const std::filesystem::path& errors = {});
    ~MonitorProcess();

    // One operator command of the display script, such as "interval 5".
    void Command(const std::string& command);

    // Waits until `line` has been logged `count` times, the output has ended, or `limit` has
    // passed; true when it was logged that often.
    bool WaitFor(const std::string& line, std::chrono::seconds limit, int count = 1);

    std::vector<std::string> lines();
    int Count(const std::string& line);

    // The monitor's own process id (on a display of its own, the script's child), or -1 while
    // it is not running.
    pid_t ProgramPid() const;

private:
    int Occurrences(const std::string& line) const;
    void Read();

    MonitorScreen screen_;
    pid_t pid_ = -1;
    int commands_ = -1;
    int fd_ = -1;
    std::thread reader_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    bool ended_ = false;
};
