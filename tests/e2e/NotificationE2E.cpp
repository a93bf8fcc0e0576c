// The real monitor on a virtual display of its own, with a session bus of the test's own on
// which a mock notification service runs. One server on 127.0.0.1 refuses until the test lets it
// listen: the desktop hears of it once at its third failure, and once when it is back; clicking
// the notification brings the hidden main window back. A second server on 127.0.0.2, probed
// first in each cycle, holds every cycle at its start until the test lets its connect through,
// so that the test can look at a moment it knows.
#include "MonitorProcess.h"
#include "NotificationDaemonMock.h"
#include "platform/GbkText.h"
#include "support/Loopback.h"
#include "support/PrivateBus.h"
#include "support/Pump.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The program writes UTF-8; the literals of this file are GBK.
std::string Out(const std::string& gbk) {
    return GbkToUtf8(gbk);
}

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
    // Refuses until it listens.
    LoopbackListener server(LoopbackListener::BoundOnly{});
    // Its accept queue is full, so a probe's SYN gets no answer until the test takes the queued
    // connection away (the probe's own then takes its place, for the next cycle to wait again).
    LoopbackListener gate(LoopbackListener::BoundOnly{}, 0, "127.0.0.2");
    gate.Listen(0);
    gate.Fill();
    // No tones and no SMS: this is about the desktop only.
    std::ofstream(dir / "servers.ini", std::ios::binary)
        << "[前置]\r\nIP=127.0.0.2\r\nPort=" << gate.Port()
        << "\r\nSoundAlert=0\r\nSMSAlert=0\r\n[数据库]\r\nIP=127.0.0.1\r\nPort=" << server.Port()
        << "\r\nSoundAlert=0\r\nSMSAlert=0\r\n";
    std::ofstream(dir / "mondem.ini")
        << "[Modem]\nDevice=" << (dir / "no-such-tty").string() << "\nProbeTimeout=200\n";

    const std::string atGate = Out("正在和127.0.0.2建立连接...");
    const std::string connecting = Out("正在和127.0.0.1建立连接...");
    const std::string connected = Out("连接127.0.0.1成功!");
    const std::string address = "127.0.0.1:" + std::to_string(server.Port());
    {
        MonitorProcess monitor(dir, MonitorScreen::OwnDisplay,
                               {.sessionBus = bus.Address().toStdString()});
        monitor.Command("interval 5");
        monitor.Command("refresh");

        for (int cycle = 1; cycle <= 2; ++cycle) {
            ASSERT_TRUE(monitor.WaitFor(atGate, 120s, cycle)) << DumpLines(monitor.lines());
            const int queued = gate.Accept();
            ASSERT_GE(queued, 0);
            CloseInOrder(queued);
        }
        // The third cycle waits at the gate: two cycles have ended, each with a failure and the
        // look for servers to alert, and the third probe of the database has not started.
        ASSERT_TRUE(monitor.WaitFor(atGate, 60s, 3)) << DumpLines(monitor.lines());
        EXPECT_EQ(monitor.Count(connecting), 2) << DumpLines(monitor.lines());
        EXPECT_EQ(mock.Calls().size(), 0u) << Describe(mock.Calls());
        // From now on the gate lets every probe through.
        gate.Listen(128);

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

        server.Listen(16);
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
