// The real monitor on a virtual display of its own, in a working directory of its own: a GBK
// servers.ini naming an accepting and a refused server on 127.0.0.1, no modem, and an ALSA
// configuration (through a private HOME) that captures the tones into files. The interval field
// is typed into as an operator does. Its standard output must show every probe of the first
// three cycles, in order, with the outcome of each, and the alert of the refused server after
// its third failure: nine tones, then the failed SMS send.
#include "MonitorProcess.h"
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
        MonitorProcess monitor(dir, MonitorScreen::OwnDisplay, home);
        // The operator sets 5 s, then refreshes so that the new interval holds from now on
        // even if the first cycle has already ended (a click during a cycle does nothing).
        monitor.Command("interval 5");
        monitor.Command("refresh");
        // The interval is read as each cycle ends. Once the second cycle has ended (a refused
        // probe ends at once), 600 s keeps a fourth cycle and its alert from mixing into the
        // log and the tones of the first alert, which take 9 s.
        ASSERT_TRUE(monitor.WaitFor(connecting, 150s, 4)) << DumpLines(monitor.lines());
        std::this_thread::sleep_for(1s);
        monitor.Command("interval 600");
        const bool alerted = monitor.WaitFor(failedSend, 200s);
        // Anything logged right after the alert line would show here.
        std::this_thread::sleep_for(1s);
        lines = monitor.lines();
        ASSERT_TRUE(alerted) << DumpLines(lines);
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
    EXPECT_EQ(lines, expected) << DumpLines(lines);

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
