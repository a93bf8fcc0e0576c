// The real monitor, headless, in a working directory of its own: a GBK servers.ini naming an
// accepting and a refused server on 127.0.0.1, no modem, and an ALSA configuration (through a
// private HOME) that captures the tones into files. Its standard output must show every probe of
// the first three cycles, in order, with the outcome of each, and the alert of the refused
// server after its third failure: nine tones, then the failed SMS send.
#include "platform/GbkText.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
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

// The monitor as a child process in `dir` with HOME `home`, its standard output read line by
// line.
class Monitor {
public:
    Monitor(const fs::path& dir, const fs::path& home) {
        int out[2];
        if (pipe(out) != 0)
            throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            if (chdir(dir.c_str()) != 0)
                _exit(126);
            setenv("HOME", home.c_str(), 1);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            unsetenv("MONDEM_CONFIG");
            unsetenv("ALSA_CONFIG_PATH");
            execl(SM_SERVERMONITOR, SM_SERVERMONITOR, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        fd_ = out[0];
        reader_ = std::thread([this] { Read(); });
    }
    ~Monitor() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        reader_.join();
        close(fd_);
    }

    // Waits until `line` has been written, or `limit` has passed.
    bool WaitFor(const std::string& line, std::chrono::seconds limit) {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, limit, [&] {
            return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
        });
    }
    Lines lines() {
        std::lock_guard lock(lock_);
        return lines_;
    }

private:
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
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    std::thread reader_;
    std::mutex lock_;
    std::condition_variable changed_;
    Lines lines_;
};

std::string Dump(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    return text;
}

TEST(EngineE2E, ProbesBothServersEveryCycleAndAlertsAfterTheThirdFailure) {
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

    const std::string failedSend = Out("已发送短时发生错误!");
    Lines lines;
    {
        Monitor monitor(dir, home);
        // Cycles start about 1 s, 63 s and 125 s after start; the tones take 9 s.
        const bool alerted = monitor.WaitFor(failedSend, 200s);
        // Anything logged right after the alert line would show here.
        std::this_thread::sleep_for(1s);
        lines = monitor.lines();
        ASSERT_TRUE(alerted) << Dump(lines);
    }

    const Lines accepted = {Out("正在和127.0.0.1建立连接..."), Out("连接127.0.0.1成功!"),
                            Out("和127.0.0.1断开连接!")};
    const Lines refusedProbe = {Out("正在和127.0.0.1建立连接...")};
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
