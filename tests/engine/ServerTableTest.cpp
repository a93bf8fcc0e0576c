#include "engine/ServerTable.h"
#include "FakeView.h"
#include "storage/StreamErrors.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ExpectedSlot {
    std::string name;
    std::string ip;
    std::int32_t port;
    std::int32_t sound;
    std::int32_t sms;
};

struct SchemaCase {
    const char* title;
    std::string ini;
    std::vector<ExpectedSlot> slots;
};

class ServerTableTest : public testing::Test {
protected:
    void SetUp() override {
        for (TServers& slot : ServerTable)
            slot = TServers{};
    }
    TempDir dir;
    FakeView view;
};

TEST_F(ServerTableTest, SchemaAndDefaults) {
    const SchemaCase cases[] = {
        {"all four keys",
         "[Web]\r\nIP=10.0.0.1\r\nPort=80\r\nSoundAlert=0\r\nSMSAlert=1\r\n",
         {{"Web", "10.0.0.1", 80, 0, -1}}},
        {"a section without keys", "[Bare]\r\n", {{"Bare", "127.0.0.1", 7000, -1, 0}}},
        {"empty IP value stays empty", "[A]\r\nIP=\r\nPort=1\r\n", {{"A", "", 1, -1, 0}}},
        {"port in letters", "[A]\r\nIP=1.2.3.4\r\nPort=abc\r\n", {{"A", "1.2.3.4", 7000, -1, 0}}},
        {"hexadecimal port", "[A]\r\nPort=0x1F90\r\n", {{"A", "127.0.0.1", 8080, -1, 0}}},
        {"switches that are words fall back",
         "[A]\r\nSoundAlert=off\r\nSMSAlert=yes\r\n",
         {{"A", "127.0.0.1", 7000, -1, 0}}},
        {"any non-zero switch is true",
         "[A]\r\nSoundAlert=7\r\nSMSAlert=-3\r\n",
         {{"A", "127.0.0.1", 7000, -1, -1}}},
        {"other keys are ignored",
         "[A]\r\nColour=red\r\nPort=9\r\n",
         {{"A", "127.0.0.1", 9, -1, 0}}},
        {"GBK names in file order",
         "[数据库]\r\nIP=10.1.1.1\r\n[网站]\r\nIP=10.1.1.2\r\nPort=443\r\n",
         {{"数据库", "10.1.1.1", 7000, -1, 0}, {"网站", "10.1.1.2", 443, -1, 0}}},
        {"same name twice: both listed, both get the last section's values",
         "[Web]\r\nIP=1.1.1.1\r\nPort=1\r\n[Mail]\r\nIP=3.3.3.3\r\n[web]\r\nIP=2.2.2.2\r\n"
         "Port=2\r\n",
         {{"Web", "2.2.2.2", 2, -1, 0},
          {"Mail", "3.3.3.3", 7000, -1, 0},
          {"web", "2.2.2.2", 2, -1, 0}}},
        {"empty file", "", {}},
    };
    for (const SchemaCase& c : cases) {
        SCOPED_TRACE(c.title);
        LoadServersFrom(dir.write("servers.ini", c.ini), view);
        ASSERT_EQ(view.rows.size(), c.slots.size());
        for (size_t i = 0; i < c.slots.size(); ++i) {
            const TServers& slot = ServerTable[i];
            const ExpectedSlot& want = c.slots[i];
            EXPECT_EQ(slot.Name, want.name);
            EXPECT_EQ(slot.IP, want.ip);
            EXPECT_EQ(slot.Port, want.port);
            EXPECT_EQ(slot.SoundAlert, want.sound);
            EXPECT_EQ(slot.SMSAlert, want.sms);
            EXPECT_EQ(slot.Online, 0);
            EXPECT_EQ(slot.FailCount, 0);
            EXPECT_EQ(slot.ItemIndex, static_cast<int>(i));
            EXPECT_EQ(slot.LastSMS, 0.0);
            EXPECT_EQ(slot.SMSInterval, 10);
            EXPECT_EQ(view.rows[i].caption, want.name);
            EXPECT_EQ(view.rows[i].status, "检测中");
        }
        for (size_t i = c.slots.size(); i < kServerSlots; ++i)
            EXPECT_EQ(ServerTable[i].Name, "") << "slot " << i;
    }
}

TEST_F(ServerTableTest, ThreeHundredSectionsFillTheFirst255Slots) {
    std::string ini;
    for (int i = 0; i < 300; ++i)
        ini += "[S" + std::to_string(i) + "]\r\nPort=" + std::to_string(1000 + i) + "\r\n";
    LoadServersFrom(dir.write("servers.ini", ini), view);
    ASSERT_EQ(view.rows.size(), 255u);
    EXPECT_EQ(view.rows.front().caption, "S0");
    EXPECT_EQ(view.rows.back().caption, "S254");
    EXPECT_EQ(ServerTable[254].Name, "S254");
    EXPECT_EQ(ServerTable[254].Port, 1254);
    EXPECT_EQ(ServerTable[254].ItemIndex, 254);
    EXPECT_EQ(FindServer("127.0.0.1", 1255), -1);
}

TEST_F(ServerTableTest, ReloadForgetsRunTimeState) {
    const std::string path = dir.write("servers.ini", "[A]\r\nIP=10.0.0.1\r\n[B]\r\n");
    LoadServersFrom(path, view);
    ServerTable[0].FailCount = 5;
    ServerTable[0].Online = -1;
    ServerTable[0].LastSMS = 46000.5;
    ServerTable[1].SMSInterval = 99;
    view.SetRowStatus(0, "故障");
    LoadServersFrom(path, view);
    EXPECT_EQ(ServerTable[0].FailCount, 0);
    EXPECT_EQ(ServerTable[0].Online, 0);
    EXPECT_EQ(ServerTable[0].LastSMS, 0.0);
    EXPECT_EQ(ServerTable[1].SMSInterval, 10);
    ASSERT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(view.rows[0].status, "检测中");
}

TEST_F(ServerTableTest, MissingFileEmptiesTableAndRows) {
    LoadServersFrom(dir.write("servers.ini", "[A]\r\n[B]\r\n"), view);
    ASSERT_EQ(view.rows.size(), 2u);
    LoadServersFrom(dir.file("absent.ini"), view);
    EXPECT_EQ(view.rows.size(), 0u);
    EXPECT_EQ(ServerTable[0].IP, "");
    EXPECT_EQ(ServerTable[0].Name, "");
}

TEST_F(ServerTableTest, ReadsServersIniOfTheWorkingDirectory) {
    dir.write("servers.ini", "[Here]\r\nIP=10.9.9.9\r\n");
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    LoadServers(view);
    ASSERT_EQ(::chdir(previous), 0);
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(ServerTable[0].IP, "10.9.9.9");
}

// Root reads any file, so the unreadable case runs in a child that gives up root first.
TEST_F(ServerTableTest, UnreadableFileThrowsAfterClearing) {
    const std::string path = dir.write("servers.ini", "[A]\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    LoadServersFrom(dir.write("other.ini", "[X]\r\n[Y]\r\n"), view);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(10);
        try {
            LoadServersFrom(path, view);
            ::_exit(11);
        } catch (const EFOpenError& e) {
            const bool cleared =
                view.rows.empty() && ServerTable[0].IP.empty() && ServerTable[0].Name.empty();
            ::_exit(e.Message() == "Cannot open file " + path && cleared ? 0 : 12);
        } catch (...) {
            ::_exit(13);
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(ServerTableTest, FindServerFirstExactMatch) {
    LoadServersFrom(dir.write("servers.ini", "[A]\r\nIP=10.0.0.1\r\nPort=80\r\n"
                                             "[B]\r\nIP=10.0.0.2\r\nPort=80\r\n"
                                             "[C]\r\nIP=10.0.0.1\r\nPort=80\r\n"
                                             "[D]\r\nIP=host.Example\r\nPort=80\r\n"),
                    view);
    struct {
        std::string ip;
        std::int32_t port;
        int slot;
    } const cases[] = {
        {"10.0.0.1", 80, 0},
        {"10.0.0.2", 80, 1},
        {"10.0.0.1", 81, -1},
        {"10.0.0.1 ", 80, -1},
        {"host.Example", 80, 3},
        {"host.example", 80, -1},
        {"", 0, 4},
        {"10.0.0.3", 80, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindServer(c.ip, c.port), c.slot) << c.ip << ":" << c.port;
}

} // namespace
