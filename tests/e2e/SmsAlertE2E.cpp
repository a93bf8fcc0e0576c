// The real monitor with a refused local server whose SMS switch is on and the simulated modem as
// its GSM modem (through mondem.ini beside servers.ini, as an operator sets it up). The alert
// case runs it on a virtual display of its own, where the interval field is set to 5 s by typing
// into it as an operator does; the value is stored nowhere.
#include "ModemManagerStandIn.h"
#include "MonitorProcess.h"
#include "PduDecoder.h"
#include "SimulatedModem.h"
#include "support/Loopback.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
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

TEST(SmsAlertE2E, NoModemIsLoggedAsInitialisationFailure) {
    TempDir temp;
    const fs::path dir = temp.path();
    std::ofstream(dir / "mondem.ini") << "[Modem]\nDevice=" << (dir / "ttyUSB0").string() << "\n";
    {
        MonitorProcess monitor(dir, MonitorScreen::Offscreen);
        EXPECT_TRUE(monitor.WaitFor(Utf8(u8"初始化短信设备失败！"), 60s, 1))
            << DumpLines(monitor.lines());
        EXPECT_EQ(monitor.Count(Utf8(u8"初始化短信设备完成！")), 0);
    }
}

TEST(SmsAlertE2E, FailedSendIsLoggedAndRetriedThenExactlyOneSmsReachesTheModem) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    TempDir temp;
    const fs::path dir = temp.path();
    const int port = RefusedPort();
    // GBK, as the settings dialog writes it.
    std::ofstream(dir / "servers.ini", std::ios::binary)
        << "[数据库]\r\nIP=127.0.0.1\r\nPort=" << port << "\r\nSoundAlert=0\r\nSMSAlert=1\r\n";

    SimulatedModem modem({.cmsError = 500});
    // Backend=auto (the default) with a system bus on which no ModemManager runs: the serial
    // driver serves.
    std::ofstream(dir / "mondem.ini")
        << "[Modem]\nDevice=" << modem.path() << "\nCommandTimeout=3000\nSendTimeout=5000\n";
    ModemManagerStandIn systemBus({.withService = false});
    ASSERT_EQ(systemBus.problem(), "");
    MonitorLaunch launch;
    launch.environment.emplace_back("DBUS_SYSTEM_BUS_ADDRESS", systemBus.address());

    const std::string connecting = Utf8(u8"正在和127.0.0.1建立连接...");
    const std::string sent = Utf8(u8"已发送短信到管理员手机!");
    const std::string failed = Utf8(u8"已发送短时发生错误!");
    {
        MonitorProcess monitor(dir, MonitorScreen::OwnDisplay, launch);
        // The operator sets 5 s, then refreshes so that the new interval holds from now on even
        // if the first cycle has already ended (a click during a cycle does nothing).
        monitor.Command("interval 5");
        monitor.Command("refresh");
        ASSERT_TRUE(monitor.WaitFor(Utf8(u8"初始化短信设备完成！"), 60s, 1))
            << DumpLines(monitor.lines());
        // The interval is read as each cycle ends. Once the second cycle has ended (its refused
        // probe ends at once), 600 s holds the fourth cycle back until the operator asks for it.
        ASSERT_TRUE(monitor.WaitFor(connecting, 150s, 2)) << DumpLines(monitor.lines());
        std::this_thread::sleep_for(1s);
        monitor.Command("interval 600");

        // Third failed probe 5 s after the second: the alert's send is refused by the network.
        ASSERT_TRUE(monitor.WaitFor(failed, 200s, 1)) << DumpLines(monitor.lines());
        EXPECT_EQ(monitor.Count(connecting), 3) << DumpLines(monitor.lines());
        EXPECT_EQ(modem.messages().size(), 0u);

        // The network takes messages again: the next cycle's alert sends at once.
        modem.setBehaviour({});
        monitor.Command("refresh");
        ASSERT_TRUE(monitor.WaitFor(sent, 100s, 1)) << DumpLines(monitor.lines());
        EXPECT_EQ(monitor.Count(connecting), 4);
        std::this_thread::sleep_for(2s);
        EXPECT_EQ(monitor.Count(sent), 1);
        EXPECT_EQ(monitor.Count(failed), 1);
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
}

// A server that accepts and then drops every connection 300 ms into the hold, with a FIN or a
// reset: its SMS goes out at the end of its third probe, as a refused server's does.
TEST(SmsAlertE2E, AServerDroppingEveryConnectionSendsTheSmsAfterItsThirdProbe) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    for (const auto mode : {LoopbackServer::CloseAfter, LoopbackServer::ResetAfter}) {
        SCOPED_TRACE(mode == LoopbackServer::CloseAfter ? "closed" : "reset");
        TempDir temp;
        const fs::path dir = temp.path();
        LoopbackServer dropping(mode, 300);
        std::ofstream(dir / "servers.ini", std::ios::binary)
            << "[数据库]\r\nIP=127.0.0.1\r\nPort=" << dropping.port()
            << "\r\nSoundAlert=0\r\nSMSAlert=1\r\n";
        SimulatedModem modem;
        std::ofstream(dir / "mondem.ini")
            << "[Modem]\nDevice=" << modem.path() << "\nCommandTimeout=3000\nSendTimeout=5000\n";

        const std::string ready = Utf8(u8"初始化短信设备完成！");
        const std::vector<std::string> probe = {Utf8(u8"正在和127.0.0.1建立连接..."),
                                                Utf8(u8"连接127.0.0.1成功!"),
                                                Utf8(u8"和127.0.0.1断开连接!")};
        const std::string sent = Utf8(u8"已发送短信到管理员手机!");
        std::vector<std::string> lines;
        {
            MonitorProcess monitor(dir, MonitorScreen::OwnDisplay);
            monitor.Command("interval 5");
            monitor.Command("refresh");
            // Sent as the third cycle ends; the fourth starts 5 s later.
            const bool alerted = monitor.WaitFor(sent, 200s);
            lines = monitor.lines();
            ASSERT_TRUE(alerted) << DumpLines(lines);
        }
        std::vector<std::string> expected = {ready};
        for (int cycle = 0; cycle < 3; ++cycle)
            expected.insert(expected.end(), probe.begin(), probe.end());
        expected.push_back(sent);
        ASSERT_GE(lines.size(), expected.size()) << DumpLines(lines);
        EXPECT_EQ(std::vector<std::string>(lines.begin(),
                                           lines.begin() + static_cast<long>(expected.size())),
                  expected)
            << DumpLines(lines);

        const std::vector<SimulatedModem::Message> messages = modem.messages();
        ASSERT_EQ(messages.size(), 1u);
        std::optional<DecodedSubmit> decoded = DecodeSubmit(messages[0].pdu);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_NE(ToUtf8(decoded->text).find(Utf8(u8"【数据库】发生故障!--")), std::string::npos);
    }
}

TEST(SmsAlertE2E, WithModemManagerOnTheSystemBusExactlyOneSmsGoesOutAtTheThirdFailure) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    TempDir temp;
    const fs::path dir = temp.path();
    const int port = RefusedPort();
    std::ofstream(dir / "servers.ini", std::ios::binary)
        << "[数据库]\r\nIP=127.0.0.1\r\nPort=" << port << "\r\nSoundAlert=0\r\nSMSAlert=1\r\n";
    std::ofstream(dir / "mondem.ini")
        << "[Modem]\nBackend=auto\nCommandTimeout=5000\nSendTimeout=10000\n";

    ModemManagerStandIn modemManager;
    ASSERT_EQ(modemManager.problem(), "");
    MonitorLaunch launch;
    launch.environment.emplace_back("DBUS_SYSTEM_BUS_ADDRESS", modemManager.address());

    const std::string connecting = Utf8(u8"正在和127.0.0.1建立连接...");
    const std::string sent = Utf8(u8"已发送短信到管理员手机!");
    {
        MonitorProcess monitor(dir, MonitorScreen::OwnDisplay, launch);
        monitor.Command("interval 5");
        monitor.Command("refresh");
        ASSERT_TRUE(monitor.WaitFor(Utf8(u8"初始化短信设备完成！"), 60s, 1))
            << DumpLines(monitor.lines());
        // As above: the fourth cycle waits for 600 s once the second has ended.
        ASSERT_TRUE(monitor.WaitFor(connecting, 150s, 2)) << DumpLines(monitor.lines());
        std::this_thread::sleep_for(1s);
        monitor.Command("interval 600");

        ASSERT_TRUE(monitor.WaitFor(sent, 200s, 1)) << DumpLines(monitor.lines());
        EXPECT_EQ(monitor.Count(connecting), 3) << DumpLines(monitor.lines());
        std::this_thread::sleep_for(2s);
        EXPECT_EQ(monitor.Count(sent), 1);
        EXPECT_EQ(monitor.Count(Utf8(u8"已发送短时发生错误!")), 0);
    }

    const std::vector<std::string> created = modemManager.logged("create");
    ASSERT_EQ(created.size(), 1u);
    const size_t blank = created[0].find(' ');
    EXPECT_EQ(created[0].substr(0, blank), SM_ADMIN_NUMBER);
    const std::string text = ModemManagerStandIn::FromHex(created[0].substr(blank + 1));
    const std::string head = Utf8(u8"Vormix服务器智能检测程序:【数据库】发生故障!--");
    EXPECT_EQ(text.substr(0, head.size()), head) << text;
    EXPECT_GT(text.size(), head.size() + 8) << "the date-time follows: " << text;
    EXPECT_EQ(modemManager.logged("send").size(), 1u);
    EXPECT_EQ(modemManager.logged("delete"), modemManager.logged("send"));
}

} // namespace
