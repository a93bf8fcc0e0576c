// The history of the real monitor: the report of an outage the test caused by switching a local
// server from accepting to refusing and back, its uptime counted from the probes, the same
// changes followed as they happen, a SIGKILL while 255 refused servers are written, and each
// fault of the history file (not a database, locked by another program, read-only, full disk),
// after which the monitor probes on.
#include "MonitorProcess.h"
#include "history/HistoryTestSupport.h"
#include "platform/GbkText.h"
#include "support/Loopback.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A server on 127.0.0.1 that accepts (the kernel completes the handshake; nobody needs to
// accept) or refuses (no listening socket) on one port.
class SwitchableServer {
public:
    SwitchableServer() { Accept(); }
    ~SwitchableServer() { Refuse(); }
    int port() const { return port_; }
    void Accept() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port_));
        if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 64) != 0)
            throw std::runtime_error(std::string("listen: ") + std::strerror(errno));
        socklen_t length = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
    }
    void Refuse() {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

// servermonitor-history with `args`: its exit status and standard output.
std::pair<int, std::string> Report(const std::string& args) {
    const std::string command = std::string(SM_HISTORY_REPORT) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::vector<std::vector<std::string>> Csv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> cells;
        std::istringstream cellStream(line);
        std::string cell;
        while (std::getline(cellStream, cell, ','))
            cells.push_back(cell);
        rows.push_back(cells);
    }
    return rows;
}

std::int64_t ParseIso(const std::string& iso) {
    std::tm tm{};
    int millis = 0;
    std::sscanf(iso.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &millis);
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return static_cast<std::int64_t>(timegm(&tm)) * 1000 + millis;
}

void WriteServers(const fs::path& dir, const std::string& sections) {
    std::ofstream(dir / "servers.ini", std::ios::binary) << sections;
}

std::string Section(const std::string& name, int port) {
    return "[" + name + "]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(port) +
           "\r\nSoundAlert=0\r\nSMSAlert=0\r\n";
}

TEST(HistoryE2E, TheReportShowsTheOutageOfAServerThatRefusedAndCameBack) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    TempDir temp;
    const fs::path dir = temp.path();
    SwitchableServer server;
    WriteServers(dir, Section("web", server.port()));
    const std::string db = (dir / "history.db").string();
    const std::string connecting = GbkToUtf8("正在和127.0.0.1建立连接...");
    const std::string held = GbkToUtf8("和127.0.0.1断开连接!");

    std::int64_t down = 0, up = 0;
    pid_t follower = -1;
    const fs::path followed = dir / "follow.csv";
    {
        MonitorProcess monitor(dir, MonitorScreen::OwnDisplay);
        // Every cycle from here on is the test's own click.
        monitor.Command("interval 600");
        monitor.Command("refresh");
        ASSERT_TRUE(monitor.WaitFor(held, 120s)) << DumpLines(monitor.lines());
        std::this_thread::sleep_for(3s);
        ASSERT_TRUE(fs::exists(db));

        follower = fork();
        if (follower == 0) {
            const int out = open(followed.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            execl(SM_HISTORY_REPORT, SM_HISTORY_REPORT, "--follow", "--csv", "--file", db.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        std::this_thread::sleep_for(1s);

        const int before = monitor.Count(connecting);
        down = NowMs();
        server.Refuse();
        for (int failure = 1; failure <= 3; ++failure) {
            monitor.Command("refresh");
            ASSERT_TRUE(monitor.WaitFor(connecting, 60s, before + failure))
                << DumpLines(monitor.lines());
            std::this_thread::sleep_for(1500ms);
        }
        const int heldBefore = monitor.Count(held);
        up = NowMs();
        server.Accept();
        monitor.Command("refresh");
        ASSERT_TRUE(monitor.WaitFor(held, 60s, heldBefore + 1)) << DumpLines(monitor.lines());
        // A batch is written every half second.
        std::this_thread::sleep_for(2s);

        const auto [status, csv] = Report("--outages --csv --file " + db);
        ASSERT_EQ(status, 0) << csv;
        const auto rows = Csv(csv);
        ASSERT_EQ(rows.size(), 2u) << csv;
        ASSERT_EQ(rows[1].size(), 12u) << csv;
        EXPECT_NEAR(static_cast<double>(ParseIso(rows[1][0]) - down), 0.0, 1000.0) << csv;
        EXPECT_NEAR(static_cast<double>(ParseIso(rows[1][1]) - up), 0.0, 1000.0) << csv;
        EXPECT_EQ(rows[1][3], "web");
        EXPECT_EQ(rows[1][5], std::to_string(server.port()));
        EXPECT_EQ(rows[1][6], "refused");
        EXPECT_EQ(rows[1][7], "answered");
        EXPECT_EQ(rows[1][8], "3");

        // Uptime from the probes: every held probe logged its disconnect, every probe its
        // attempt.
        const auto [uptimeStatus, uptime] = Report("--uptime --csv --file " + db);
        ASSERT_EQ(uptimeStatus, 0) << uptime;
        const auto table = Csv(uptime);
        ASSERT_EQ(table.size(), 2u) << uptime;
        const int probes = monitor.Count(connecting);
        const int heldProbes = monitor.Count(held);
        EXPECT_EQ(table[1][6], std::to_string(heldProbes)) << uptime;
        EXPECT_EQ(table[1][7], std::to_string(probes)) << uptime;
        char percent[32];
        std::snprintf(percent, sizeof percent, "%.4f", 100.0 * heldProbes / probes);
        EXPECT_EQ(table[1][3], percent) << uptime;

        // For the closing note: the report as a person reads it.
        std::cout << Report("--outages --file " + db).second
                  << Report("--uptime --file " + db).second;
    }
    kill(follower, SIGTERM);
    waitpid(follower, nullptr, 0);
    std::ifstream in(followed);
    std::stringstream text;
    text << in.rdbuf();
    const auto follow = Csv(text.str());
    ASSERT_EQ(follow.size(), 3u) << text.str();
    EXPECT_EQ(follow[1][4], "down") << text.str();
    EXPECT_EQ(follow[2][4], "up") << text.str();
    EXPECT_NEAR(static_cast<double>(ParseIso(follow[1][0]) - down), 0.0, 1000.0) << text.str();
}

TEST(HistoryE2E, ASigkillWhileWritingHardLeavesAnIntactFileUpToAboutASecondBefore) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    TempDir temp;
    const fs::path dir = temp.path();
    std::string sections;
    for (int i = 0; i < 255; ++i)
        sections += Section("s" + std::to_string(i), RefusedPort(i % 8));
    WriteServers(dir, sections);
    const std::string connecting = GbkToUtf8("正在和127.0.0.1建立连接...");
    std::int64_t killed = 0;
    std::int64_t thirdCycle = 0;
    {
        MonitorProcess monitor(dir, MonitorScreen::OwnDisplay);
        monitor.Command("interval 5");
        ASSERT_TRUE(monitor.WaitFor(connecting, 240s, 255 * 2 + 1)) << monitor.Count(connecting);
        thirdCycle = NowMs();
        // Into the third cycle, in the middle of its walk.
        ASSERT_TRUE(monitor.WaitFor(connecting, 240s, 255 * 2 + 128)) << monitor.Count(connecting);
        killed = NowMs();
        ASSERT_EQ(kill(monitor.ProgramPid(), SIGKILL), 0);
        std::this_thread::sleep_for(1s);
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2((dir / "history.db").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr),
              SQLITE_OK);
    EXPECT_EQ(Rows(db, "PRAGMA integrity_check"), Lines{"ok"});
    const Lines last = Rows(db, "SELECT max(t), count(*) FROM probe");
    sqlite3_close(db);
    ASSERT_EQ(last.size(), 1u);
    const std::int64_t lastProbe = std::stoll(last[0].substr(0, last[0].find('|')));
    std::cout << "last probe kept " << killed - lastProbe
              << " ms before the kill; probes: " << last[0].substr(last[0].find('|') + 1) << "\n";
    // Refused probes are quick: the third cycle's first 128 can all fall within the last batch,
    // and before them lies the 5 s pause between cycles. So the kept records reach either to
    // 1.5 s before the kill, or to the end of the second cycle when the third began later.
    EXPECT_GE(std::stoll(last[0].substr(last[0].find('|') + 1)), 255 * 2);
    if (thirdCycle < killed - 1500) {
        EXPECT_GE(lastProbe, killed - 1500);
    }
}

// The monitor alone in `dir` without a display: the line about the history file, then its
// first probe, and it still runs.
void ProbesOnAfter(const fs::path& dir, const std::string& expected) {
    MonitorProcess monitor(dir, MonitorScreen::Offscreen);
    const bool said = monitor.WaitForError(expected, 60s);
    EXPECT_TRUE(said) << DumpLines(monitor.errorLines());
    EXPECT_TRUE(monitor.WaitFor(GbkToUtf8("正在和127.0.0.1建立连接..."), 60s))
        << DumpLines(monitor.lines());
    int lines = 0;
    for (const std::string& line : monitor.errorLines())
        lines += line.find("history.db") != std::string::npos;
    EXPECT_EQ(lines, 1) << DumpLines(monitor.errorLines());
    EXPECT_FALSE(monitor.WaitForExit(1s).has_value());
}

// A tmpfs of `size` at `path`; empty when none can be mounted here.
std::string MountTmpfs(const fs::path& path, const std::string& options) {
    fs::create_directory(path);
    if (geteuid() != 0)
        return "mounting a folder needs root";
    if (::mount("tmpfs", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0)
        return std::string("no tmpfs can be mounted here: ") + std::strerror(errno);
    return {};
}

struct Unmount {
    fs::path path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
};

TEST(HistoryFaultsE2E, AFileThatIsNotADatabaseIsMovedAsideAndANewOneStarted) {
    TempDir temp;
    const fs::path dir = temp.path();
    WriteServers(dir, Section("web", RefusedPort()));
    std::ofstream(dir / "history.db") << std::string(8192, 'x');
    ProbesOnAfter(dir, "history.db: was not a database or was damaged; moved aside to "
                       "history.db.damaged-");
    int aside = 0;
    for (const auto& entry : fs::directory_iterator(dir))
        aside += entry.path().filename().string().rfind("history.db.damaged-", 0) == 0;
    EXPECT_EQ(aside, 1);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2((dir / "history.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    EXPECT_EQ(Rows(db, "PRAGMA user_version"), Lines{"1"});
    sqlite3_close(db);
}

TEST(HistoryFaultsE2E, AFileAnotherProgramLocksLeavesTheMonitorWithoutHistory) {
    TempDir temp;
    const fs::path dir = temp.path();
    WriteServers(dir, Section("web", RefusedPort()));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "history.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other,
                           "CREATE TABLE mine(x); BEGIN EXCLUSIVE; INSERT INTO mine "
                           "VALUES(1);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    ProbesOnAfter(dir, "history.db: is locked by another program");
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
}

TEST(HistoryFaultsE2E, AFolderThatCannotBeWrittenLeavesTheMonitorWithoutHistory) {
    TempDir temp;
    const fs::path dir = temp.path() + "/ro";
    const std::string problem = MountTmpfs(dir, "size=64k,mode=0755");
    if (!problem.empty())
        GTEST_SKIP() << problem;
    Unmount unmount{dir};
    WriteServers(dir, Section("web", RefusedPort()));
    ASSERT_EQ(::mount("tmpfs", dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
    ProbesOnAfter(dir, "history.db: cannot be written");
}

TEST(HistoryFaultsE2E, AFullDiskLeavesTheMonitorWithoutHistory) {
    TempDir temp;
    const fs::path dir = temp.path() + "/tiny";
    const std::string problem = MountTmpfs(dir, "size=64k,mode=0755");
    if (!problem.empty())
        GTEST_SKIP() << problem;
    Unmount unmount{dir};
    WriteServers(dir, Section("web", RefusedPort()));
    {
        // Every block taken.
        std::ofstream filler(dir / "filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), block.size()) && filler.flush()) {
        }
    }
    ProbesOnAfter(dir, "history.db: cannot grow: the disk is full");
}

} // namespace
