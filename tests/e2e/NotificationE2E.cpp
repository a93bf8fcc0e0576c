// The real monitor on a virtual display of its own, with a session bus of the test's own on
// which a mock notification service runs. One server on 127.0.0.1 refuses until the test lets it
// accept: the desktop hears of it once at its third failure, and once when it is back; clicking
// the notification brings the hidden main window back.
#include "MonitorProcess.h"
#include "NotificationDaemonMock.h"
#include "platform/GbkText.h"
#include "support/PrivateBus.h"
#include "support/Pump.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The program writes UTF-8; the literals of this file are GBK.
std::string Out(const std::string& gbk) {
    return GbkToUtf8(gbk);
}

// A socket bound to a loopback port: it refuses connections until Listen(), after which the
// kernel completes them (nobody needs to accept a probe that sends nothing).
class LaterListener {
public:
    LaterListener() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(fd_, reinterpret_cast<sockaddr*>(&address), length);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~LaterListener() { close(fd_); }
    int port() const { return port_; }
    bool Listen() { return listen(fd_, 16) == 0; }

private:
    int fd_;
    int port_ = 0;
};

std::string Describe(const std::vector<NotificationDaemonMock::Notify>& calls) {
    std::string text;
    for (const auto& c : calls)
        text += "  replaces " + std::to_string(c.replaces) + ", urgency " +
                std::to_string(c.urgency) + ": " + c.summary + " / " + c.body + "\n";
    return text;
}

// Until the mock has been sent `count` notifications or `limit` has passed.
bool WaitForCalls(NotificationDaemonMock& mock, std::size_t count, std::chrono::seconds limit) {
    return WaitUntil([&] { return mock.Calls().size() >= count; }, limit);
}

TEST(NotificationE2E, OneCriticalAtTheThirdFailureOneWhenBackAndAClickShowsTheWindow) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    PrivateBus bus;
    if (!bus.Running())
        GTEST_SKIP() << "dbus-daemon is not available";
    NotificationDaemonMock mock(bus.Address());
    if (!mock.Problem().empty())
        GTEST_SKIP() << mock.Problem();

    TempDir temp;
    const fs::path dir = temp.path();
    LaterListener server;
    // No tones and no SMS: this is about the desktop only.
    std::ofstream(dir / "servers.ini", std::ios::binary)
        << "[数据库]\r\nIP=127.0.0.1\r\nPort=" << server.port()
        << "\r\nSoundAlert=0\r\nSMSAlert=0\r\n";
    std::ofstream(dir / "mondem.ini")
        << "[Modem]\nDevice=" << (dir / "no-such-tty").string() << "\nProbeTimeout=200\n";

    const std::string connecting = Out("正在和127.0.0.1建立连接...");
    const std::string connected = Out("连接127.0.0.1成功!");
    const std::string address = "127.0.0.1:" + std::to_string(server.port());
    {
        MonitorProcess monitor(dir, MonitorScreen::OwnDisplay,
                               {.sessionBus = bus.Address().toStdString()});
        monitor.Command("interval 5");
        monitor.Command("refresh");

        // Two failures: nothing yet.
        ASSERT_TRUE(monitor.WaitFor(connecting, 120s, 2)) << DumpLines(monitor.lines());
        EXPECT_EQ(mock.Calls().size(), 0u) << Describe(mock.Calls());

        ASSERT_TRUE(WaitForCalls(mock, 1, 60s)) << DumpLines(monitor.lines());
        auto calls = mock.Calls();
        ASSERT_EQ(calls.size(), 1u) << Describe(calls);
        // Sent when the failure count was 3.
        EXPECT_EQ(calls[0].summary, Out("服务器故障：数据库"));
        EXPECT_EQ(calls[0].body, address + Out(" 连续3次连接失败"));
        EXPECT_EQ(calls[0].urgency, 2);
        EXPECT_EQ(calls[0].replaces, 0u);
        EXPECT_TRUE(calls[0].actions.contains(QStringLiteral("default")));

        // The next cycle alerts again; the desktop hears nothing more.
        ASSERT_TRUE(monitor.WaitFor(connecting, 60s, monitor.Count(connecting) + 1));
        // The mock's first id is 1.
        monitor.Command("hide");
        ASSERT_TRUE(monitor.WaitFor("monitor_on_display: hidden", 30s))
            << DumpLines(monitor.lines());
        mock.Invoke(1, QStringLiteral("default"));
        monitor.Command("await_shown");
        EXPECT_TRUE(monitor.WaitFor("monitor_on_display: shown", 40s))
            << DumpLines(monitor.lines());

        ASSERT_TRUE(server.Listen());
        ASSERT_TRUE(monitor.WaitFor(connected, 60s)) << DumpLines(monitor.lines());
        ASSERT_TRUE(WaitForCalls(mock, 2, 30s)) << Describe(mock.Calls());
        // One more good probe is not announced again.
        ASSERT_TRUE(monitor.WaitFor(connected, 60s, 2)) << DumpLines(monitor.lines());
        calls = mock.Calls();
        ASSERT_EQ(calls.size(), 2u) << Describe(calls);
        EXPECT_EQ(calls[1].summary, Out("服务器恢复：数据库"));
        EXPECT_EQ(calls[1].body, address + Out(" 已恢复连接"));
        EXPECT_EQ(calls[1].urgency, 1);
        // It takes the alert's place on the desktop.
        EXPECT_EQ(calls[1].replaces, 1u);

        // Nothing of this reaches the log.
        for (const std::string& line : monitor.lines())
            EXPECT_EQ(line.find(Out("服务器")), std::string::npos) << line;
    }
}

} // namespace
