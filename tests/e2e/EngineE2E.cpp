// The real monitor on a virtual display of its own, in a working directory of its own: a GBK
// servers.ini naming an accepting and a refused server on 127.0.0.1, no modem, and an ALSA
// configuration (through a private HOME) that captures the tones into files. The interval field
// is typed into as an operator does. Its standard output must show every probe of the first
// three cycles, in order, with the outcome of each, and the alert of the refused server after
// its third failure: nine tones, then the failed SMS send.
#include "platform/GbkText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// The program writes UTF-8; the literals of this file are GBK.
std::string Out(const std::string& gbk) {
    return GbkToUtf8(gbk);
}

int LoopbackSocket() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return fd;
}

int PortOf(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// Accepts and keeps each connection until the client closes it.
class AcceptingServer {
public:
    AcceptingServer() : fd_(LoopbackSocket()) {
        listen(fd_, 16);
        thread_ = std::thread([this] { Serve(); });
    }
    ~AcceptingServer() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    int port() const { return PortOf(fd_); }

private:
    void Serve() {
        std::vector<int> peers;
        while (!stop_) {
            std::vector<pollfd> fds{{fd_, POLLIN, 0}};
            for (int peer : peers)
                fds.push_back({peer, POLLIN, 0});
            poll(fds.data(), fds.size(), 50);
            if (fds[0].revents & POLLIN) {
                const int peer = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (peer >= 0)
                    peers.push_back(peer);
            }
            std::vector<int> kept;
            for (size_t i = 1; i < fds.size(); ++i) {
                char buffer[64];
                if (fds[i].revents && recv(fds[i].fd, buffer, sizeof buffer, MSG_DONTWAIT) <= 0)
                    close(fds[i].fd);
                else
                    kept.push_back(fds[i].fd);
            }
            peers = std::move(kept);
        }
        for (int peer : peers)
            close(peer);
    }

    int fd_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The display tools the monitor's own display needs; the first one missing, or empty.
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

// The monitor on a display of its own (tests/e2e/monitor_on_display.sh) in `dir` with HOME
// `home`, its standard output read line by line and the operator's commands written to the
// script. The script and everything it starts form a process group of their own, so that
// nothing outlives the test.
class Monitor {
public:
    Monitor(const fs::path& dir, const fs::path& home) {
        int in[2];
        int out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        const fs::path logs = dir / "display";
        // A command written after the script has ended is an error, not the end of the test.
        signal(SIGPIPE, SIG_IGN);
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            if (chdir(dir.c_str()) != 0)
                _exit(126);
            setenv("HOME", home.c_str(), 1);
            unsetenv("WAYLAND_DISPLAY");
            unsetenv("MONDEM_CONFIG");
            unsetenv("ALSA_CONFIG_PATH");
            execl("/bin/bash", "bash", SM_MONITOR_ON_DISPLAY, SM_SERVERMONITOR, logs.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        commands_ = in[1];
        fd_ = out[0];
        reader_ = std::thread([this] { Read(); });
    }
    ~Monitor() {
        // The end of the commands ends the script, which closes the program first; a script
        // that does not end in time is killed with all it started.
        close(commands_);
        const auto limit = std::chrono::steady_clock::now() + 20s;
        bool ended = false;
        while (!(ended = waitpid(pid_, nullptr, WNOHANG) == pid_) &&
               std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(100ms);
        kill(-pid_, SIGKILL);
        if (!ended)
            waitpid(pid_, nullptr, 0);
        reader_.join();
        close(fd_);
    }

    // One operator command of the script, such as "interval 5".
    void Command(const std::string& command) {
        const std::string line = command + "\n";
        if (write(commands_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            throw std::runtime_error("the display script is gone");
    }

    // Waits until `line` has been written `count` times, the output has ended, or `limit` has
    // passed.
    bool WaitFor(const std::string& line, std::chrono::seconds limit, int count = 1) {
        std::unique_lock lock(lock_);
        changed_.wait_for(lock, limit, [&] { return Count(line) >= count || ended_; });
        return Count(line) >= count;
    }
    Lines lines() {
        std::lock_guard lock(lock_);
        return lines_;
    }

private:
    int Count(const std::string& line) const {
        return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
    }

    void Read() {
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

    pid_t pid_ = -1;
    int commands_ = -1;
    int fd_ = -1;
    std::thread reader_;
    std::mutex lock_;
    std::condition_variable changed_;
    Lines lines_;
    bool ended_ = false;
};

std::string Dump(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    return text;
}

TEST(EngineE2E, ProbesBothServersEveryCycleAndAlertsAfterTheThirdFailure) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    char pattern[] = "/tmp/engine-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    const fs::path home = dir / "home";
    fs::create_directory(home);

    AcceptingServer web;
    const int refusedFd = LoopbackSocket();
    const int refused = PortOf(refusedFd);
    close(refusedFd);

    std::ofstream(dir / "servers.ini", std::ios::binary)
        << "[网站]\r\nIP=127.0.0.1\r\nPort=" << web.port() << "\r\nSoundAlert=1\r\nSMSAlert=1\r\n"
        << "[数据库]\r\nIP=127.0.0.1\r\nPort=" << refused << "\r\nSoundAlert=1\r\nSMSAlert=1\r\n";
    // No modem: initialisation and the alert's send fail, and say so in the log.
    std::ofstream(dir / "mondem.ini")
        << "[Modem]\nDevice=" << (dir / "no-such-tty").string() << "\nProbeTimeout=200\n";
    const fs::path capture = dir / "tone.wav";
    std::ofstream(home / ".asoundrc")
        << "pcm.!default { type file; slave.pcm \"null\"; file \"" << capture.string()
        << "\"; format \"wav\"; truncate false }\n";

    const std::string connecting = Out("正在和127.0.0.1建立连接...");
    const std::string failedSend = Out("已发送短时发生错误!");
    Lines lines;
    {
        Monitor monitor(dir, home);
        // The operator sets 5 s, then refreshes so that the new interval holds from now on
        // even if the first cycle has already ended (a click during a cycle does nothing).
        monitor.Command("interval 5");
        monitor.Command("refresh");
        // The interval is read as each cycle ends. Once the second cycle has ended (a refused
        // probe ends at once), 600 s keeps a fourth cycle and its alert from mixing into the
        // log and the tones of the first alert, which take 9 s.
        ASSERT_TRUE(monitor.WaitFor(connecting, 150s, 4)) << Dump(monitor.lines());
        std::this_thread::sleep_for(1s);
        monitor.Command("interval 600");
        const bool alerted = monitor.WaitFor(failedSend, 200s);
        // Anything logged right after the alert line would show here.
        std::this_thread::sleep_for(1s);
        lines = monitor.lines();
        ASSERT_TRUE(alerted) << Dump(lines);
    }

    const Lines accepted = {Out("正在和127.0.0.1建立连接..."), Out("连接127.0.0.1成功!"),
                            Out("和127.0.0.1断开连接!")};
    const Lines refusedProbe = {connecting};
    Lines expected = {Out("初始化短信设备失败！")};
    for (int cycle = 0; cycle < 3; ++cycle) {
        expected.insert(expected.end(), accepted.begin(), accepted.end());
        expected.insert(expected.end(), refusedProbe.begin(), refusedProbe.end());
    }
    expected.push_back(failedSend);
    EXPECT_EQ(lines, expected) << Dump(lines);

    // Nine tones, one capture file per tone: tone.wav, tone.wav.0001 ... tone.wav.0008.
    int tones = 0;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().rfind("tone.wav", 0) == 0 &&
            fs::file_size(entry.path()) > 48000)
            ++tones;
    EXPECT_EQ(tones, 9);

    fs::remove_all(dir);
}

} // namespace
