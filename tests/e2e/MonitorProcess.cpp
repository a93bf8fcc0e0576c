#include "MonitorProcess.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
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
    MonitorLaunch launch;
    launch.home = home;
    launch.errors = errors;
    Start(dir, launch);
}

MonitorProcess::MonitorProcess(const std::filesystem::path& dir, MonitorScreen screen,
                               const MonitorLaunch& launch)
    : screen_(screen) {
    if (screen == MonitorScreen::OwnDisplay && launch.asNobody)
        throw std::invalid_argument("the display script runs as the caller");
    Start(dir, launch);
}

void MonitorProcess::Start(const std::filesystem::path& dir, const MonitorLaunch& launch) {
    int in[2];
    int out[2];
    int err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    // A pipe of one page fills after a few dozen log lines.
    if (launch.unreadOutput && fcntl(out[1], F_SETPIPE_SZ, 4096) < 0)
        throw std::runtime_error("F_SETPIPE_SZ");
    uid_t uid = 0;
    gid_t gid = 0;
    if (launch.asNobody) {
        const passwd* nobody = getpwnam("nobody");
        if (!nobody)
            throw std::runtime_error("no user nobody");
        uid = nobody->pw_uid;
        gid = nobody->pw_gid;
    }
    const std::filesystem::path logs = dir / "display";
    // A command written after the script has ended is an error, not the end of the test.
    signal(SIGPIPE, SIG_IGN);
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0);
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        if (launch.errors.empty()) {
            dup2(err[1], STDERR_FILENO);
        } else {
            const int fd =
                open(launch.errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd >= 0)
                dup2(fd, STDERR_FILENO);
        }
        if (launch.asNobody && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
            _exit(125);
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        if (!launch.home.empty())
            setenv("HOME", launch.home.c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("MONDEM_CONFIG"); // the program must find ./mondem.ini by itself
        unsetenv("ALSA_CONFIG_PATH");
        const std::string bus = launch.sessionBus.empty() ? "unix:path=" + (dir / "no-bus").string()
                                                          : launch.sessionBus;
        setenv("SM_SESSION_BUS", bus.c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
        // Nor a system bus, unless the test gives one: no ModemManager of the machine answers.
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (dir / "no-system-bus").string()).c_str(),
               1);
        for (const auto& [name, value] : launch.environment)
            setenv(name.c_str(), value.c_str(), 1);
        if (screen_ == MonitorScreen::OwnDisplay) {
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
    close(err[1]);
    commands_ = in[1];
    out_.fd = out[0];
    err_.fd = err[0];
    if (launch.unreadOutput)
        out_.ended = true;
    else
        out_.reader = std::thread([this] { Read(out_, false); });
    // Standard error is passed on as it comes, so that the test's own output still shows it.
    err_.reader = std::thread([this] { Read(err_, true); });
}

MonitorProcess::~MonitorProcess() {
    // The end of the commands ends the script, which closes the program first; a script that
    // does not end in time, or the program itself, is killed with all it started.
    close(commands_);
    const auto limit = std::chrono::steady_clock::now() + 20s;
    while (screen_ == MonitorScreen::OwnDisplay && !Reap(false) &&
           std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(100ms);
    // Whatever the group's leader started goes with it, also when the leader has ended.
    kill(-pid_, SIGKILL);
    Reap(true);
    if (out_.reader.joinable())
        out_.reader.join();
    err_.reader.join();
    close(out_.fd);
    close(err_.fd);
}

void MonitorProcess::Command(const std::string& command) {
    const std::string line = command + "\n";
    if (write(commands_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        throw std::runtime_error("the display script is gone");
}

bool MonitorProcess::WaitFor(const std::string& line, std::chrono::seconds limit, int count) {
    std::unique_lock lock(lock_);
    auto seen = [&] { return std::count(out_.lines.begin(), out_.lines.end(), line) >= count; };
    changed_.wait_for(lock, limit, [&] { return seen() || out_.ended; });
    return seen();
}

bool MonitorProcess::WaitForError(const std::string& text, std::chrono::seconds limit) {
    std::unique_lock lock(lock_);
    auto seen = [&] {
        return std::any_of(err_.lines.begin(), err_.lines.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    };
    changed_.wait_for(lock, limit, [&] { return seen() || err_.ended; });
    return seen();
}

std::vector<std::string> MonitorProcess::lines() {
    std::lock_guard lock(lock_);
    return out_.lines;
}

std::vector<std::string> MonitorProcess::errorLines() {
    std::lock_guard lock(lock_);
    return err_.lines;
}

int MonitorProcess::Count(const std::string& line) {
    std::lock_guard lock(lock_);
    return static_cast<int>(std::count(out_.lines.begin(), out_.lines.end(), line));
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

void MonitorProcess::Signal(int signal) {
    if (screen_ != MonitorScreen::Offscreen)
        throw std::logic_error("on its own display the program is the script's child");
    if (!status_)
        kill(pid_, signal);
}

std::optional<int> MonitorProcess::WaitForExit(std::chrono::seconds limit) {
    if (screen_ != MonitorScreen::Offscreen)
        throw std::logic_error("on its own display the program is the script's child");
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!Reap(false) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(50ms);
    return status_;
}

std::optional<int> MonitorProcess::Reap(bool block) {
    if (status_)
        return status_;
    int status = 0;
    if (waitpid(pid_, &status, block ? 0 : WNOHANG) != pid_)
        return std::nullopt;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
}

void MonitorProcess::Read(Stream& stream, bool echo) {
    std::string pending;
    char buffer[4096];
    ssize_t n;
    while ((n = read(stream.fd, buffer, sizeof buffer)) > 0) {
        pending.append(buffer, static_cast<size_t>(n));
        std::lock_guard lock(lock_);
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            if (echo)
                std::fprintf(stderr, "%s\n", pending.substr(0, end).c_str());
            stream.lines.push_back(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
        changed_.notify_all();
    }
    std::lock_guard lock(lock_);
    stream.ended = true;
    changed_.notify_all();
}
