#include "MonitorProcess.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

std::string MissingDisplayTool() {
    const std::string path = getenv("PATH") ? getenv("PATH") : "";
    for (const char* tool : {"Xvfb", "openbox", "xdotool", "xwininfo"}) {
        bool found = false;
        for (size_t begin = 0; !found && begin <= path.size();) {
            const size_t end = std::min(path.find(':', begin), path.size());
            found = access((path.substr(begin, end - begin) + "/" + tool).c_str(), X_OK) == 0;
            begin = end + 1;
        }
        if (!found)
            return tool;
    }
    return {};
}

std::string DumpLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    return text;
}

MonitorProcess::MonitorProcess(const std::filesystem::path& dir, MonitorScreen screen,
                               const std::filesystem::path& home,
                               const std::filesystem::path& errors)
    : screen_(screen) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    const std::filesystem::path logs = dir / "display";
    // A command written after the script has ended is an error, not the end of the test.
    signal(SIGPIPE, SIG_IGN);
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0);
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        if (!errors.empty()) {
            const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd >= 0)
                dup2(fd, STDERR_FILENO);
        }
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        if (!home.empty())
            setenv("HOME", home.c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("MONDEM_CONFIG"); // the program must find ./mondem.ini by itself
        unsetenv("ALSA_CONFIG_PATH");
        if (screen == MonitorScreen::OwnDisplay) {
            execl("/bin/bash", "bash", SM_MONITOR_ON_DISPLAY, SM_SERVERMONITOR, logs.c_str(),
                  static_cast<char*>(nullptr));
        } else {
            unsetenv("DISPLAY");
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            execl(SM_SERVERMONITOR, SM_SERVERMONITOR, static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    commands_ = in[1];
    fd_ = out[0];
    reader_ = std::thread([this] { Read(); });
}

MonitorProcess::~MonitorProcess() {
    // The end of the commands ends the script, which closes the program first; a script that
    // does not end in time, or the program itself, is killed with all it started.
    close(commands_);
    const auto limit = std::chrono::steady_clock::now() + 20s;
    bool ended = false;
    while (screen_ == MonitorScreen::OwnDisplay &&
           !(ended = waitpid(pid_, nullptr, WNOHANG) == pid_) &&
           std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(100ms);
    kill(-pid_, SIGKILL);
    if (!ended)
        waitpid(pid_, nullptr, 0);
    reader_.join();
    close(fd_);
}

void MonitorProcess::Command(const std::string& command) {
    const std::string line = command + "\n";
    if (write(commands_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        throw std::runtime_error("the display script is gone");
}

bool MonitorProcess::WaitFor(const std::string& line, std::chrono::seconds limit, int count) {
    std::unique_lock lock(lock_);
    changed_.wait_for(lock, limit, [&] { return Occurrences(line) >= count || ended_; });
    return Occurrences(line) >= count;
}

std::vector<std::string> MonitorProcess::lines() {
    std::lock_guard lock(lock_);
    return lines_;
}

int MonitorProcess::Count(const std::string& line) {
    std::lock_guard lock(lock_);
    return Occurrences(line);
}

pid_t MonitorProcess::ProgramPid() const {
    if (screen_ == MonitorScreen::Offscreen)
        return pid_;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        std::getline(stat, text);
        // "pid (comm) state ppid ..."
        const size_t close = text.rfind(')');
        if (close == std::string::npos || text.find("(servermonitor)") == std::string::npos)
            continue;
        std::istringstream rest(text.substr(close + 1));
        std::string state;
        pid_t parent = -1;
        rest >> state >> parent;
        if (parent == pid_ && state != "Z")
            return std::stoi(entry.path().filename().string());
    }
    return -1;
}

int MonitorProcess::Occurrences(const std::string& line) const {
    return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
}

void MonitorProcess::Read() {
    std::string pending;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
        pending.append(buffer, static_cast<size_t>(n));
        std::lock_guard lock(lock_);
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            lines_.push_back(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
        changed_.notify_all();
    }
    std::lock_guard lock(lock_);
    ended_ = true;
    changed_.notify_all();
}
