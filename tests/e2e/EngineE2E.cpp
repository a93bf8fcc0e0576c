// The real monitor on a virtual display of its own, in a working directory of its own: a GBK
// servers.ini naming an accepting and a refused server on 127.0.0.1, no modem, and an ALSA
// configuration (through a private HOME) that captures the tones into files. The interval field
// is typed into as an operator does. Its standard output must show every probe of the first
// three cycles, in order, with the outcome of each, and the alert of the refused server after
// its third failure: nine tones, then the failed SMS send. The same with no session bus and with
// a bus on which no notification service runs.
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

// The whole run, with `sessionBus` as the monitor's session bus (none when empty).
void ProbesBothServersEveryCycleAndAlertsAfterTheThirdFailure(const std::string& sessionBus) {
    TempDir temp;
    const fs::path dir = temp.path();
    const fs::path home = dir / "home";
    fs::create_directory(home);

    LoopbackServer web(LoopbackServer::Hold);
    const int refused = RefusedPort();

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
        MonitorProcess monitor(dir, MonitorScreen::OwnDisplay,
                               {.home = home, .sessionBus = sessionBus});
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
}

TEST(EngineE2E, ProbesBothServersEveryCycleAndAlertsAfterTheThirdFailure) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    ProbesBothServersEveryCycleAndAlertsAfterTheThirdFailure({});
}

// A session bus without a notification service: the alert is exactly as without any bus.
TEST(EngineE2E, AlertsTheSameOnASessionBusWithoutANotificationService) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    PrivateBus bus;
    if (!bus.Running())
        GTEST_SKIP() << "dbus-daemon is not available";
    ProbesBothServersEveryCycleAndAlertsAfterTheThirdFailure(bus.Address().toStdString());
}

} // namespace
