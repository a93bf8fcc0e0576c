// The real monitor on a virtual display of its own, in a working directory of its own: a GBK
// servers.ini naming a failing and an accepting server on 127.0.0.1, no modem, and an ALSA
// configuration (through a private HOME) that captures the tones into files. The interval field
// is typed into as an operator does. Its standard output must show every probe of the first
// three cycles, in order, with the outcome of each, and the alert of the failing server after
// its third failure: nine tones, then the failed SMS send. The same with no session bus and with
// a bus on which no notification service runs, and with a server that accepts and then drops
// every connection during the hold instead of refusing it.
#include "MonitorProcess.h"
#include "platform/GbkText.h"
#include "support/Loopback.h"
#include "support/PrivateBus.h"
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
#include <optional>
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

// How the failing server fails: it refuses, or it accepts and then closes (a FIN) or resets each
// connection 300 ms later, during the hold.
enum class Failing { Refused, ClosesDuringTheHold, ResetsDuringTheHold };

int TonesCaptured(const fs::path& dir) {
    // One capture file per tone: tone.wav, tone.wav.0001 ... tone.wav.0008.
    int tones = 0;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().rfind("tone.wav", 0) == 0 &&
            fs::file_size(entry.path()) > 48000)
            ++tones;
    return tones;
}

// The whole run, with `sessionBus` as the monitor's session bus (none when empty). The failing
// server comes first, so that each cycle ends with the accepting server's hold.
void ProbesBothServersEveryCycleAndAlertsAfterTheThirdFailure(Failing failing,
                                                              const std::string& sessionBus) {
    TempDir temp;
    const fs::path dir = temp.path();
    const fs::path home = dir / "home";
    fs::create_directory(home);

    LoopbackServer web(LoopbackServer::Hold);
    std::optional<LoopbackServer> dropping;
    if (failing != Failing::Refused)
        dropping.emplace(failing == Failing::ClosesDuringTheHold ? LoopbackServer::CloseAfter
                                                                 : LoopbackServer::ResetAfter,
                         300);
    const int down = dropping ? dropping->port() : RefusedPort();

    std::ofstream(dir / "servers.ini", std::ios::binary)
        << "[数据库]\r\nIP=127.0.0.1\r\nPort=" << down << "\r\nSoundAlert=1\r\nSMSAlert=1\r\n"
        << "[网站]\r\nIP=127.0.0.1\r\nPort=" << web.port() << "\r\nSoundAlert=1\r\nSMSAlert=1\r\n";
    // No modem: initialisation and the alert's send fail, and say so in the log.
    std::ofstream(dir / "mondem.ini")
        << "[Modem]\nDevice=" << (dir / "no-such-tty").string() << "\nProbeTimeout=200\n";
    const fs::path capture = dir / "tone.wav";
    std::ofstream(home / ".asoundrc")
        << "pcm.!default { type file; slave.pcm \"null\"; file \"" << capture.string()
        << "\"; format \"wav\"; truncate false }\n";

    const Lines accepted = {Out("正在和127.0.0.1建立连接..."), Out("连接127.0.0.1成功!"),
                            Out("和127.0.0.1断开连接!")};
    const Lines downProbe = dropping ? accepted : Lines{Out("正在和127.0.0.1建立连接...")};
    const std::string disconnected = Out("和127.0.0.1断开连接!");
    // Each cycle ends with the accepting server's disconnect line.
    const int disconnectsPerCycle = dropping ? 2 : 1;
    const std::string failedSend = Out("已发送短时发生错误!");
    Lines lines;
    {
        MonitorProcess monitor(dir, MonitorScreen::OwnDisplay,
                               {.home = home, .sessionBus = sessionBus});
        // The operator sets 5 s, then refreshes so that the new interval holds from now on
        // even if the first cycle has already ended (a click during a cycle does nothing).
        monitor.Command("interval 5");
        monitor.Command("refresh");
        // The interval is read as each cycle ends. Once the second cycle has ended, 600 s keeps
        // a fourth cycle and its alert from mixing into the log and the tones of the first
        // alert, which take 9 s.
        ASSERT_TRUE(monitor.WaitFor(disconnected, 150s, 2 * disconnectsPerCycle))
            << DumpLines(monitor.lines());
        std::this_thread::sleep_for(1s);
        monitor.Command("interval 600");
        const bool alerted = monitor.WaitFor(failedSend, 200s);
        // Anything logged right after the alert line would show here.
        std::this_thread::sleep_for(1s);
        lines = monitor.lines();
        ASSERT_TRUE(alerted) << DumpLines(lines);

        if (dropping) {
            // The same server now holds the whole time: its count goes back to 0, so the
            // fourth cycle starts no alert (no tones, no send).
            dropping->setMode(LoopbackServer::Hold);
            monitor.Command("refresh");
            ASSERT_TRUE(monitor.WaitFor(disconnected, 100s, 4 * disconnectsPerCycle))
                << DumpLines(monitor.lines());
            std::this_thread::sleep_for(12s);
            Lines after = monitor.lines();
            EXPECT_EQ(Lines(after.begin() + static_cast<long>(lines.size()), after.end()),
                      (Lines{accepted[0], accepted[1], accepted[2], accepted[0], accepted[1],
                             accepted[2]}))
                << DumpLines(after);
        }
    }

    Lines expected = {Out("初始化短信设备失败！")};
    for (int cycle = 0; cycle < 3; ++cycle) {
        expected.insert(expected.end(), downProbe.begin(), downProbe.end());
        expected.insert(expected.end(), accepted.begin(), accepted.end());
    }
    expected.push_back(failedSend);
    EXPECT_EQ(lines, expected) << DumpLines(lines);
    EXPECT_EQ(TonesCaptured(dir), 9);
}

TEST(EngineE2E, ProbesBothServersEveryCycleAndAlertsAfterTheThirdFailure) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    ProbesBothServersEveryCycleAndAlertsAfterTheThirdFailure(Failing::Refused, {});
}

// A session bus without a notification service: the alert is exactly as without any bus.
TEST(EngineE2E, AlertsTheSameOnASessionBusWithoutANotificationService) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    PrivateBus bus;
    if (!bus.Running())
        GTEST_SKIP() << "dbus-daemon is not available";
    ProbesBothServersEveryCycleAndAlertsAfterTheThirdFailure(Failing::Refused,
                                                             bus.Address().toStdString());
}

// A server behind which nothing answers accepts and then drops every connection: it alerts after
// its third probe exactly as a refused one does, and a hold that lasts resets its count.
TEST(EngineE2E, AServerClosingEveryConnectionDuringTheHoldAlertsAfterItsThirdProbe) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    ProbesBothServersEveryCycleAndAlertsAfterTheThirdFailure(Failing::ClosesDuringTheHold, {});
}

TEST(EngineE2E, AServerResettingEveryConnectionDuringTheHoldAlertsAfterItsThirdProbe) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    ProbesBothServersEveryCycleAndAlertsAfterTheThirdFailure(Failing::ResetsDuringTheHold, {});
}

} // namespace
