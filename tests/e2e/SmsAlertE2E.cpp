// The real monitor, headless, with a refused local server whose SMS switch is on and the
// simulated modem as its GSM modem (through mondem.ini beside servers.ini, as an operator sets it
// up). With the default interval of 60 s the third failed probe comes about two minutes after
// start, so this test takes about three minutes.
#include "PduDecoder.h"
#include "SimulatedModem.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <csignal>
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

// The monitor as a child process in `dir`, its standard output collected line by line.
class Monitor {
public:
    explicit Monitor(const fs::path& dir) {
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
            unsetenv("MONDEM_CONFIG"); // the program must find ./mondem.ini by itself
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            execl(SM_SERVERMONITOR, SM_SERVERMONITOR, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        fd_ = out[0];
        reader_ = std::thread([this] { read(); });
    }

    ~Monitor() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        reader_.join();
        close(fd_);
    }

    // Waits until a line equal to `line` has been logged `count` times.
    bool waitFor(const std::string& line, int count, std::chrono::seconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return occurrences(line) >= count; });
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
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
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
        Monitor monitor(dir);
        EXPECT_TRUE(monitor.waitFor(Utf8(u8"初始化短信设备失败！"), 1, 60s))
            << Dump(monitor.lines());
        EXPECT_EQ(monitor.count(Utf8(u8"初始化短信设备完成！")), 0);
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

TEST(SmsAlertE2E, FailedSendIsLoggedAndRetriedThenExactlyOneSmsReachesTheModem) {
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
        Monitor monitor(dir);
        ASSERT_TRUE(monitor.waitFor(Utf8(u8"初始化短信设备完成！"), 1, 60s))
            << Dump(monitor.lines());

        // Third failed probe at about 121 s: the alert's send is refused by the network.
        ASSERT_TRUE(monitor.waitFor(failed, 1, 200s)) << Dump(monitor.lines());
        EXPECT_EQ(monitor.count(connecting), 3) << Dump(monitor.lines());
        EXPECT_EQ(modem.messages().size(), 0u);

        // The network takes messages again: the next cycle's alert sends at once.
        modem.setBehaviour({});
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
