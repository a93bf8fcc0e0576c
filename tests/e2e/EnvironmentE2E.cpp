// The real monitor in a hostile but ordinary environment: a standard output nobody reads, a
// standard output or error closed by the launcher, a temporary folder that cannot be used, a
// server list it may not read, a modem settings file that never ends, a termination signal
// during start-up and a close while an alert is being sent. Each time the monitor says what went
// wrong where the operator will see it and goes on probing its local server, or ends with exit
// code 0 when a signal asks it to.
#include "MonitorProcess.h"
#include "SimulatedModem.h"
#include "support/Loopback.h"
#include "support/Pump.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The program writes UTF-8; this file's plain literals are GBK.
std::string Utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

const std::string kDisplayName = Utf8(u8"Vormix服务器智能检测程序");
const std::string kConnected = Utf8(u8"连接127.0.0.1成功!");

// A line of `lines` that holds every one of `parts`.
bool AnyLineHolds(const std::vector<std::string>& lines, const std::vector<std::string>& parts) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return std::all_of(parts.begin(), parts.end(), [&](const std::string& part) {
            return line.find(part) != std::string::npos;
        });
    });
}

// A working folder with a servers.ini whose last server is `server`, and no modem: the settings
// name a device that does not exist, so start-up does not depend on the machine's ports.
class EnvironmentE2E : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        // Readable by the unprivileged user of some cases.
        fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
        WriteServers(0);
        WriteModemSettings("Device=" + dir.file("no-such-tty") + "\n");
    }

    // `refused` servers on a refused port, then the listening one; no tones, no SMS.
    void WriteServers(int refused, const std::string& more = "") {
        std::string text;
        const int closed = RefusedPort();
        for (int i = 0; i < refused; ++i)
            text += "[r" + std::to_string(i) +
                    "]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(closed) + "\r\nSoundAlert=0\r\n";
        text += "[s]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(server.port()) +
                "\r\nSoundAlert=0\r\n" + more;
        dir.write("servers.ini", text);
    }

    void WriteModemSettings(const std::string& keys) {
        dir.write("mondem.ini", "[Modem]\n" + keys);
    }

    // Waits until the listening server was connected to `count` times in all.
    bool WaitForProbes(int count, std::chrono::seconds limit) {
        return WaitUntil([&] { return server.accepted() >= count; }, limit);
    }

    // A close request by signal: the program ends with exit code 0.
    static void ExpectCleanExit(MonitorProcess& monitor) {
        monitor.Signal(SIGTERM);
        EXPECT_EQ(monitor.WaitForExit(30s), std::optional<int>(0)) << DumpLines(monitor.lines());
    }

    // The program runs on, probes its server and ends on request.
    void ExpectRunsOn(MonitorProcess& monitor) {
        EXPECT_TRUE(monitor.WaitFor(kConnected, 60s)) << DumpLines(monitor.lines());
        // The server takes the connection from its backlog a moment after the monitor logs it.
        EXPECT_TRUE(WaitForProbes(1, 20s));
        ExpectCleanExit(monitor);
    }

    LoopbackServer server{LoopbackServer::Hold};
    TempDir dir;
};

bool IsRoot() {
    return geteuid() == 0;
}

TEST_F(EnvironmentE2E, AStandardOutputNobodyReadsStopsNeitherProbingNorTheClose) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    // Each cycle logs some 9 KB: a handful of them is more than the pipe (one page) and the
    // program's queue of log lines hold. The operator asks for one cycle after the other.
    WriteServers(250);
    MonitorProcess monitor(dir.path(), MonitorScreen::OwnDisplay, {.unreadOutput = true});
    auto refreshUntilProbed = [&] {
        const int before = server.accepted();
        // A click while a cycle runs does nothing; so it is repeated until the next cycle runs.
        for (int attempt = 0; attempt < 30; ++attempt) {
            monitor.Command("refresh");
            if (WaitForProbes(before + 1, 3s))
                return true;
        }
        return false;
    };
    bool dropping = false;
    for (int cycle = 0; cycle < 20 && !dropping; ++cycle) {
        ASSERT_TRUE(refreshUntilProbed()) << "cycle " << cycle << DumpLines(monitor.errorLines());
        dropping = AnyLineHolds(monitor.errorLines(), {"log lines are dropped"});
    }
    EXPECT_TRUE(dropping) << DumpLines(monitor.errorLines());
    EXPECT_TRUE(refreshUntilProbed()) << "no cycle after lines were dropped";
    monitor.Command("close");
    EXPECT_TRUE(monitor.WaitForError("monitor_on_display: exit 0", 60s))
        << DumpLines(monitor.errorLines());
    EXPECT_TRUE(AnyLineHolds(monitor.errorLines(), {"log lines were dropped from standard output"}))
        << DumpLines(monitor.errorLines());
}

class ClosedDescriptorE2E : public EnvironmentE2E, public testing::WithParamInterface<int> {};

TEST_P(ClosedDescriptorE2E, ADescriptorClosedAtStartIsNotTakenByTheDisplayConnection) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    // A setting the modem library complains about on standard error during start-up, next to
    // the modem line on standard output.
    WriteModemSettings("Device=" + dir.file("no-such-tty") + "\nBaud=12\n");
    const std::string closed = std::to_string(GetParam());
    MonitorProcess monitor(dir.path(), MonitorScreen::OwnDisplay,
                           {.environment = {{"SM_MONITOR_CLOSED", closed}}});
    EXPECT_TRUE(WaitForProbes(1, 90s)) << DumpLines(monitor.errorLines());
    if (GetParam() == 2) {
        EXPECT_EQ(monitor.Count(Utf8(u8"初始化短信设备失败！")), 1) << DumpLines(monitor.lines());
    }
    monitor.Command("close");
    EXPECT_TRUE(monitor.WaitForError("monitor_on_display: exit 0", 60s))
        << DumpLines(monitor.errorLines());
}

INSTANTIATE_TEST_SUITE_P(StandardOutputAndError, ClosedDescriptorE2E, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? "StandardOutput" : "StandardError";
                         });

// Without a display the default error report is a line on standard error: the display name,
// then the message.
TEST_F(EnvironmentE2E, ATemporaryFolderThatIsFullLeavesTheNormalLookAndNamesTheFolder) {
    if (!IsRoot())
        GTEST_SKIP() << "mounting a size-limited folder needs root";
    const std::string tiny = dir.file("tiny");
    fs::create_directory(tiny);
    if (::mount("tmpfs", tiny.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=4k,mode=1777") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{tiny};
    // The one page the folder may hold is taken.
    std::ofstream(tiny + "/filler", std::ios::binary) << std::string(8192, 'x');
    {
        MonitorProcess monitor(dir.path(), MonitorScreen::Offscreen,
                               {.environment = {{"TMPDIR", tiny}}});
        EXPECT_TRUE(monitor.WaitForError(kDisplayName + ": ", 60s))
            << DumpLines(monitor.errorLines());
        EXPECT_TRUE(AnyLineHolds(monitor.errorLines(),
                                 {kDisplayName + ": ", tiny + "/skin-", "No space left"}))
            << DumpLines(monitor.errorLines());
        ExpectRunsOn(monitor);
    }
}

TEST_F(EnvironmentE2E, ATemporaryFolderTheUserMayNotWriteLeavesTheNormalLookAndNamesTheFolder) {
    if (!IsRoot())
        GTEST_SKIP() << "running as the unprivileged user nobody needs root";
    const std::string locked = dir.file("locked");
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    MonitorProcess monitor(dir.path(), MonitorScreen::Offscreen,
                           {.environment = {{"TMPDIR", locked}}, .asNobody = true});
    EXPECT_TRUE(monitor.WaitForError(kDisplayName + ": ", 60s)) << DumpLines(monitor.errorLines());
    EXPECT_TRUE(
        AnyLineHolds(monitor.errorLines(), {kDisplayName + ": ", locked + "/skin-", "denied"}))
        << DumpLines(monitor.errorLines());
    ExpectRunsOn(monitor);
}

TEST_F(EnvironmentE2E, ATemporaryFolderThatDoesNotExistIsNamedAndNothingIsWrittenElsewhere) {
    const std::string missing = dir.file("missing");
    MonitorProcess monitor(dir.path(), MonitorScreen::Offscreen,
                           {.environment = {{"TMPDIR", missing}}});
    EXPECT_TRUE(monitor.WaitForError(kDisplayName + ": ", 60s)) << DumpLines(monitor.errorLines());
    EXPECT_TRUE(AnyLineHolds(monitor.errorLines(), {kDisplayName + ": ", missing + "/skin-"}))
        << DumpLines(monitor.errorLines());
    EXPECT_FALSE(AnyLineHolds(monitor.errorLines(), {" /skin-"})) << "the root folder was used";
    EXPECT_FALSE(fs::exists(missing));
    ExpectRunsOn(monitor);
}

TEST_F(EnvironmentE2E, AnUnreadableServerListIsReportedOnStandardErrorWhenHeadless) {
    if (!IsRoot())
        GTEST_SKIP() << "running as the unprivileged user nobody needs root";
    fs::permissions(dir.file("servers.ini"), fs::perms::none);
    MonitorProcess monitor(dir.path(), MonitorScreen::Offscreen, {.asNobody = true});
    EXPECT_TRUE(monitor.WaitForError(kDisplayName + ": Cannot open file ", 60s))
        << DumpLines(monitor.errorLines());
    EXPECT_TRUE(AnyLineHolds(monitor.errorLines(), {kDisplayName + ": ", "servers.ini"}));
    // As after the box's OK: the window is up and takes the close request; the modem was left
    // alone.
    ExpectCleanExit(monitor);
    EXPECT_EQ(monitor.lines(), std::vector<std::string>{});
}

class ModemSettingsE2E : public EnvironmentE2E, public testing::WithParamInterface<bool> {};

TEST_P(ModemSettingsE2E, ASettingsFileThatNeverEndsIsReportedAndTheDefaultsApply) {
    fs::remove(dir.file("mondem.ini"));
    const bool fifo = GetParam();
    if (fifo)
        ASSERT_EQ(::mkfifo(dir.file("mondem.ini").c_str(), 0644), 0);
    else
        fs::create_symlink("/dev/zero", dir.file("mondem.ini"));
    MonitorProcess monitor(dir.path(), MonitorScreen::Offscreen);
    EXPECT_TRUE(monitor.WaitForError("mondem: ./mondem.ini: not a regular file", 60s))
        << DumpLines(monitor.errorLines());
    ExpectRunsOn(monitor);
}

INSTANTIATE_TEST_SUITE_P(FifoAndDevZero, ModemSettingsE2E, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "Fifo" : "LinkToDevZero";
                         });

TEST_F(EnvironmentE2E, ATerminationSignalDuringStartUpEndsWithExitCodeZeroAndFreesTheModem) {
    // A port that never answers holds start-up in the modem search for many seconds.
    SimulatedModem modem({.silent = true});
    WriteModemSettings("Device=" + modem.path() + "\nProbeTimeout=20000\n");
    MonitorProcess monitor(dir.path(), MonitorScreen::Offscreen);
    ASSERT_TRUE(modem.waitForCommands(1, 60s)) << DumpLines(monitor.errorLines());
    EXPECT_TRUE(modem.exclusive()) << "the search holds the port";
    ExpectCleanExit(monitor);
    EXPECT_FALSE(modem.exclusive()) << "the port was left in exclusive mode";
    EXPECT_EQ(monitor.lines(), std::vector<std::string>{});
}

TEST_F(EnvironmentE2E, ClosingWhileAnAlertIsBeingSentFreesTheModemPort) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    // A modem that takes the message and never confirms it keeps the alert's send waiting.
    SimulatedModem modem({.silentAfterPdu = true});
    WriteModemSettings("Device=" + modem.path() + "\nCommandTimeout=5000\nSendTimeout=300000\n");
    const int refused = RefusedPort();
    dir.write("servers.ini", "[db]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(refused) +
                                 "\r\nSoundAlert=0\r\nSMSAlert=1\r\n");
    MonitorProcess monitor(dir.path(), MonitorScreen::OwnDisplay);
    // Three failed cycles 5 s apart start the alert.
    monitor.Command("interval 5");
    monitor.Command("refresh");
    ASSERT_TRUE(monitor.WaitFor(Utf8(u8"初始化短信设备完成！"), 60s)) << DumpLines(monitor.lines());
    ASSERT_TRUE(modem.waitForPdus(1, 150s)) << DumpLines(monitor.lines());
    EXPECT_TRUE(modem.exclusive());
    monitor.Command("close");
    EXPECT_TRUE(monitor.WaitForError("monitor_on_display: exit 0", 60s))
        << DumpLines(monitor.errorLines());
    EXPECT_FALSE(modem.exclusive()) << "the port was left in exclusive mode";
}

} // namespace
