// The real monitor with a refused local server whose SMS switch is on and the simulated modem as
// its GSM modem (through mondem.ini beside servers.ini, as an operator sets it up). The alert
// case runs it on a virtual display of its own, where the interval field is set to 5 s by typing
// into it as an operator does; the value is stored nowhere.
#include "PduDecoder.h"
#include "SimulatedModem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The program logs UTF-8 on stdout; this file's plain literals are GBK.
std::string Utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

// A loopback port nobody listens on.
int RefusedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

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

enum class Screen { Offscreen, OwnDisplay };

// The monitor as a child process in `dir`, its standard output collected line by line. On a
// display of its own it runs under tests/e2e/monitor_on_display.sh, which takes the operator's
// commands; the script and all it starts form a process group of their own, so that nothing
// outlives the test.
class Monitor {
public:
    Monitor(const fs::path& dir, Screen screen) : screen_(screen) {
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
            unsetenv("MONDEM_CONFIG"); // the program must find ./mondem.ini by itself
            unsetenv("WAYLAND_DISPLAY");
            if (screen == Screen::OwnDisplay) {
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
        reader_ = std::thread([this] { read(); });
    }

    ~Monitor() {
        // The end of the commands ends the script, which closes the program first; a script
        // that does not end in time, or the program itself, is killed with all it started.
        close(commands_);
        const auto limit = std::chrono::steady_clock::now() + 20s;
        bool ended = false;
        while (screen_ == Screen::OwnDisplay &&
               !(ended = waitpid(pid_, nullptr, WNOHANG) == pid_) &&
               std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(100ms);
        kill(-pid_, SIGKILL);
        if (!ended)
            waitpid(pid_, nullptr, 0);
        reader_.join();
        close(fd_);
    }

    // One operator command of the script, such as "interval 5".
    void command(const std::string& command) {
        const std::string line = command + "\n";
        if (write(commands_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            throw std::runtime_error("the display script is gone");
    }

    // Waits until a line equal to `line` has been logged `count` times, or the output has ended.
    bool waitFor(const std::string& line, int count, std::chrono::seconds timeout) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return occurrences(line) >= count || ended_; });
        return occurrences(line) >= count;
    }

    std::vector<std::string> lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }

    int count(const std::string& line) {
        std::lock_guard lock(mutex_);
        return occurrences(line);
    }

private:
    int occurrences(const std::string& line) const {
        return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
    }

    void read() {
        std::string pending;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) {
            pending.append(buffer, static_cast<size_t>(n));
            size_t end;
            std::lock_guard lock(mutex_);
            while ((end = pending.find('\n')) != std::string::npos) {
                lines_.push_back(pending.substr(0, end));
                pending.erase(0, end + 1);
            }
            changed_.notify_all();
        }
        std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }

    Screen screen_;
    pid_t pid_ = -1;
    int commands_ = -1;
    int fd_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    bool ended_ = false;
};

std::string Dump(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    return text;
}

TEST(SmsAlertE2E, NoModemIsLoggedAsInitialisationFailure) {
    char pattern[] = "/tmp/sms-alert-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    std::ofstream(dir / "mondem.ini") << "[Modem]\nDevice=" << (dir / "ttyUSB0").string() << "\n";
    {
        Monitor monitor(dir, Screen::Offscreen);
        EXPECT_TRUE(monitor.waitFor(Utf8(u8"初始化短信设备失败！"), 1, 60s))
            << Dump(monitor.lines());
        EXPECT_EQ(monitor.count(Utf8(u8"初始化短信设备完成！")), 0);
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

TEST(SmsAlertE2E, FailedSendIsLoggedAndRetriedThenExactlyOneSmsReachesTheModem) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    char pattern[] = "/tmp/sms-alert-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    const int port = RefusedPort();
    // GBK, as the settings dialog writes it.
    std::ofstream(dir / "servers.ini", std::ios::binary)
        << "[数据库]\r\nIP=127.0.0.1\r\nPort=" << port << "\r\nSoundAlert=0\r\nSMSAlert=1\r\n";

    SimulatedModem modem({.cmsError = 500});
    std::ofstream(dir / "mondem.ini")
        << "[Modem]\nDevice=" << modem.path() << "\nCommandTimeout=3000\nSendTimeout=5000\n";

    const std::string connecting = Utf8(u8"正在和127.0.0.1建立连接...");
    const std::string sent = Utf8(u8"已发送短信到管理员手机!");
    const std::string failed = Utf8(u8"已发送短时发生错误!");
    {
        Monitor monitor(dir, Screen::OwnDisplay);
        // The operator sets 5 s, then refreshes so that the new interval holds from now on even
        // if the first cycle has already ended (a click during a cycle does nothing).
        monitor.command("interval 5");
        monitor.command("refresh");
        ASSERT_TRUE(monitor.waitFor(Utf8(u8"初始化短信设备完成！"), 1, 60s))
            << Dump(monitor.lines());
        // The interval is read as each cycle ends. Once the second cycle has ended (its refused
        // probe ends at once), 600 s holds the fourth cycle back until the operator asks for it.
        ASSERT_TRUE(monitor.waitFor(connecting, 2, 150s)) << Dump(monitor.lines());
        std::this_thread::sleep_for(1s);
        monitor.command("interval 600");

        // Third failed probe 5 s after the second: the alert's send is refused by the network.
        ASSERT_TRUE(monitor.waitFor(failed, 1, 200s)) << Dump(monitor.lines());
        EXPECT_EQ(monitor.count(connecting), 3) << Dump(monitor.lines());
        EXPECT_EQ(modem.messages().size(), 0u);

        // The network takes messages again: the next cycle's alert sends at once.
        modem.setBehaviour({});
        monitor.command("refresh");
        ASSERT_TRUE(monitor.waitFor(sent, 1, 100s)) << Dump(monitor.lines());
        EXPECT_EQ(monitor.count(connecting), 4);
        std::this_thread::sleep_for(2s);
        EXPECT_EQ(monitor.count(sent), 1);
        EXPECT_EQ(monitor.count(failed), 1);
    }

    std::vector<SimulatedModem::Message> messages = modem.messages();
    ASSERT_EQ(messages.size(), 1u);
    std::optional<DecodedSubmit> decoded = DecodeSubmit(messages[0].pdu);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->number, SM_ADMIN_NUMBER);
    EXPECT_EQ(decoded->dcs, 0x08);
    const std::string text = ToUtf8(decoded->text);
    const std::string head = Utf8(u8"Vormix服务器智能检测程序:【数据库】发生故障!--");
    EXPECT_EQ(text.substr(0, head.size()), head) << text;
    EXPECT_GT(text.size(), head.size() + 8) << "the date-time follows: " << text;
    EXPECT_EQ(modem.faults(), std::vector<std::string>{});

    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

} // namespace
