#include "sms/mondem/mondem.h"

#include "ModemManagerStandIn.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <iconv.h>
#include <thread>
#include <unistd.h>

// libmondem.so through its five exports, sending through the ModemManager stand-in.

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kNumber = "13800138000";
constexpr const char* kTimeouts = "ProbeTimeout=1000\nCommandTimeout=5000\nSendTimeout=8000\n";

// Narrow literals of this file are GB18030 (the build's execution character set); u8 literals
// are UTF-8.
std::string Utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

// UTF-8 to GBK, by the C library, apart from the library's own conversion the other way.
std::string Gbk(const std::string& utf8) {
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    std::string out(utf8.size() * 2 + 8, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    const size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1))
        return {};
    out.resize(out.size() - dstLeft);
    return out;
}

// What the library writes to standard error while the object lives.
class StderrCapture {
public:
    explicit StderrCapture(const std::string& path) : path_(path) {
        ::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~StderrCapture() { restore(); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    std::string text() {
        restore();
        return ReadBytes(path_);
    }

private:
    void restore() {
        if (saved_ < 0)
            return;
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }
    std::string path_;
    int saved_ = -1;
};

size_t Lines(const std::string& text) {
    size_t count = 0;
    for (char c : text)
        count += c == '\n';
    return count;
}

class ModemManagerTest : public testing::Test {
protected:
    void TearDown() override {
        fnCloseModem(-1);
        unsetenv("MONDEM_CONFIG");
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }

    // Starts the stand-in, points the library at it and writes mondem.ini.
    void start(const std::string& settings = "Backend=modemmanager\n",
               ModemManagerStandIn::Options options = {}) {
        standIn_ = std::make_unique<ModemManagerStandIn>(options);
        ASSERT_EQ(standIn_->problem(), "");
        setenv("DBUS_SYSTEM_BUS_ADDRESS", standIn_->address().c_str(), 1);
        setenv("MONDEM_CONFIG",
               dir_.write("mondem.ini", "[Modem]\n" + std::string(kTimeouts) + settings).c_str(),
               1);
    }

    void bringUp() {
        ASSERT_EQ(fnSetModemType(0, 0), 0);
        ASSERT_EQ(fnInitModem(-1), 0);
    }

    // The texts of the Create calls, as UTF-8; every one for kNumber.
    std::vector<std::string> created() {
        std::vector<std::string> texts;
        for (const std::string& entry : standIn_->logged("create")) {
            const size_t blank = entry.find(' ');
            EXPECT_EQ(entry.substr(0, blank), kNumber);
            texts.push_back(ModemManagerStandIn::FromHex(
                blank == std::string::npos ? "" : entry.substr(blank + 1)));
        }
        return texts;
    }

    // Each message that was sent was deleted afterwards, and the modem holds none.
    void expectAllDeleted() {
        EXPECT_EQ(standIn_->logged("send"), standIn_->logged("delete"));
        EXPECT_EQ(standIn_->command("stored"), std::vector<std::string>{"0"});
    }

    TempDir dir_;
    std::unique_ptr<ModemManagerStandIn> standIn_;
};

TEST_F(ModemManagerTest, AsciiAndChineseTextsArriveAsExactUtf8ForTheNumberAndAreDeleted) {
    start();
    bringUp();
    const std::string chinese =
        Utf8(u8"Vormix服务器智能检测程序:【数据库】发生故障!--2026-12-06 20:15:00");
    ASSERT_FALSE(Gbk(chinese).empty());
    EXPECT_EQ(fnSendMsg(-1, kNumber, "Server db1 is down [3/3] {ok?}"), 0);
    EXPECT_EQ(fnSendMsg(-1, kNumber, Gbk(chinese).c_str()), 0);
    EXPECT_EQ(created(), (std::vector<std::string>{"Server db1 is down [3/3] {ok?}", chinese}));
    EXPECT_EQ(standIn_->logged("send").size(), 2u);
    expectAllDeleted();
    EXPECT_EQ(fnGetStatus(-1), 0);
}

TEST_F(ModemManagerTest, ALongTextIsOneCreateWithTheWholeText) {
    start();
    bringUp();
    std::string text;
    for (int i = 0; i < 300; ++i) // 300 characters, 200 of them Chinese
        text += Utf8((i % 3 == 0) ? u8"故" : (i % 3 == 1) ? u8"障" : u8"x");
    ASSERT_EQ(fnSendMsg(-1, kNumber, Gbk(text).c_str()), 0);
    EXPECT_EQ(created(), std::vector<std::string>{text});
}

TEST_F(ModemManagerTest, AFailedSendIsNotSentAndTheMessageIsDeleted) {
    start();
    bringUp();
    standIn_->command("outcome fail");
    StderrCapture errors(dir_.file("stderr"));
    EXPECT_EQ(fnSendMsg(-1, kNumber, "down"), -1);
    const std::string said = errors.text();
    EXPECT_NE(said.find("not sent"), std::string::npos) << said;
    expectAllDeleted();
    // The next send goes through again.
    standIn_->command("outcome sent");
    EXPECT_EQ(fnSendMsg(-1, kNumber, "down"), 0);
}

TEST_F(ModemManagerTest, ASendThatNeverFinishesFailsAfterSendTimeout) {
    start("Backend=modemmanager\nSendTimeout=1500\n");
    bringUp();
    standIn_->command("outcome hang");
    StderrCapture errors(dir_.file("stderr"));
    const Clock::time_point begin = Clock::now();
    EXPECT_EQ(fnSendMsg(-1, kNumber, "down"), -1);
    const auto took = Clock::now() - begin;
    EXPECT_GE(took, 1500ms);
    EXPECT_LT(took, 60s); // a safety bound only
    const std::string said = errors.text();
    EXPECT_NE(said.find("within SendTimeout=1500 ms"), std::string::npos) << said;
    EXPECT_EQ(standIn_->logged("delete").size(), 1u);
}

TEST_F(ModemManagerTest, WithoutAModemInitialisationFailsWithAClearLine) {
    start("Backend=modemmanager\n", {.withModem = false});
    StderrCapture errors(dir_.file("stderr"));
    EXPECT_EQ(fnSetModemType(0, 0), -1);
    EXPECT_EQ(fnInitModem(-1), -1);
    EXPECT_EQ(fnSendMsg(-1, kNumber, "down"), -1);
    EXPECT_EQ(fnGetStatus(-1), -1);
    const std::string said = errors.text();
    EXPECT_NE(said.find("mondem: ModemManager: manages no modem\n"), std::string::npos) << said;
    EXPECT_TRUE(standIn_->log().empty());
}

TEST_F(ModemManagerTest, WithoutTheServiceOnTheBusInitialisationSaysSo) {
    start("Backend=modemmanager\n", {.withService = false});
    StderrCapture errors(dir_.file("stderr"));
    EXPECT_EQ(fnInitModem(-1), -1);
    const std::string said = errors.text();
    EXPECT_NE(said.find("org.freedesktop.ModemManager1 is not running"), std::string::npos) << said;
}

TEST_F(ModemManagerTest, AModemRemovedAndAddedAgainIsUsedAtTheNextSend) {
    start();
    bringUp();
    ASSERT_EQ(fnSendMsg(-1, kNumber, "first"), 0);
    standIn_->command("remove");
    EXPECT_EQ(fnSendMsg(-1, kNumber, "while away"), -1);
    EXPECT_EQ(fnGetStatus(-1), -1);
    standIn_->command("add");
    EXPECT_EQ(fnSendMsg(-1, kNumber, "second"), 0);
    EXPECT_EQ(created(), (std::vector<std::string>{"first", "second"}));
    const std::vector<std::string> sent = standIn_->logged("send");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_NE(sent[0], sent[1]);
}

TEST_F(ModemManagerTest, ARefusalGivesOneLineNamingThePolkitActionAndNoHang) {
    start();
    bringUp();
    standIn_->command("refuse on");
    StderrCapture errors(dir_.file("stderr"));
    const Clock::time_point begin = Clock::now();
    EXPECT_EQ(fnSendMsg(-1, kNumber, "down"), -1);
    EXPECT_LT(Clock::now() - begin, 30s); // far below any time-out of the settings
    const std::string said = errors.text();
    EXPECT_EQ(Lines(said), 1u) << said;
    EXPECT_NE(said.find("refused to create a message for this account "
                        "(org.freedesktop.DBus.Error.AccessDenied"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("polkit action org.freedesktop.ModemManager1.Messaging"), std::string::npos)
        << said;
}

TEST_F(ModemManagerTest, ALockedSimGetsTheConfiguredPinOnce) {
    start("Backend=modemmanager\nPin=1234\n");
    standIn_->command("lock 1234");
    bringUp();
    EXPECT_EQ(fnInitModem(-1), 0);
    EXPECT_EQ(fnSendMsg(-1, kNumber, "down"), 0);
    EXPECT_EQ(standIn_->logged("sendpin"), std::vector<std::string>{"1234"});
}

TEST_F(ModemManagerTest, AWrongPinIsEnteredOnceAndNeverAgain) {
    start("Backend=modemmanager\nPin=9999\n");
    standIn_->command("lock 1234");
    StderrCapture errors(dir_.file("stderr"));
    EXPECT_EQ(fnSetModemType(0, 0), 0);
    EXPECT_EQ(fnInitModem(-1), -1);
    EXPECT_EQ(fnSendMsg(-1, kNumber, "down"), -1);
    EXPECT_EQ(fnInitModem(-1), -1);
    EXPECT_EQ(standIn_->logged("sendpin"), std::vector<std::string>{"9999"});
    EXPECT_TRUE(standIn_->logged("create").empty());
    const std::string said = errors.text();
    EXPECT_NE(said.find("the SIM refused the Pin of mondem.ini"), std::string::npos) << said;
}

TEST_F(ModemManagerTest, ALockedSimWithoutPinAndADisabledModemAreReportedAndLeftAlone) {
    start();
    standIn_->command("lock 1234");
    {
        StderrCapture errors(dir_.file("stderr"));
        EXPECT_EQ(fnInitModem(-1), -1);
        const std::string said = errors.text();
        EXPECT_NE(said.find("is locked and mondem.ini sets no Pin"), std::string::npos) << said;
    }
    standIn_->command("state 3");
    StderrCapture errors(dir_.file("stderr2"));
    EXPECT_EQ(fnInitModem(-1), -1);
    EXPECT_EQ(fnSendMsg(-1, kNumber, "down"), -1);
    const std::string said = errors.text();
    EXPECT_NE(said.find("/org/freedesktop/ModemManager1/Modem/0 is disabled; enable it"),
              std::string::npos)
        << said;
    EXPECT_TRUE(standIn_->log().empty());
}

TEST_F(ModemManagerTest, DevicePicksTheModemByPortOrEquipmentIdentifier) {
    start("Backend=modemmanager\nDevice=/dev/ttyUSB7\n");
    EXPECT_EQ(fnSetModemType(0, 0), -1);
    dir_.write("mondem.ini", std::string("[Modem]\n") + kTimeouts +
                                 "Backend=modemmanager\nDevice=/dev/ttyUSB2\n");
    EXPECT_EQ(fnSetModemType(0, 0), 0);
    dir_.write("mondem.ini", std::string("[Modem]\n") + kTimeouts +
                                 "Backend=modemmanager\nDevice=860000000000001\n");
    EXPECT_EQ(fnSetModemType(0, 0), 0);
    EXPECT_EQ(fnSendMsg(-1, kNumber, "down"), 0);
}

TEST_F(ModemManagerTest, StatusFollowsTheModemsState) {
    start();
    bringUp();
    EXPECT_EQ(fnGetStatus(-1), 0);
    standIn_->command("state 7"); // searching for a network
    EXPECT_EQ(fnGetStatus(-1), -1);
    standIn_->command("state 11"); // connected
    EXPECT_EQ(fnGetStatus(-1), 0);
}

TEST_F(ModemManagerTest, StatusDuringALongSendIsTheLastOneSeen) {
    start("Backend=modemmanager\nSendTimeout=6000\n");
    bringUp();
    ASSERT_EQ(fnGetStatus(-1), 0);
    standIn_->command("outcome hang");
    std::thread sender([] { EXPECT_EQ(fnSendMsg(-1, kNumber, "down"), -1); });
    // The send holds the driver now (its Create is logged).
    const Clock::time_point until = Clock::now() + 30s;
    while (standIn_->logged("send").empty() && Clock::now() < until)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(fnGetStatus(-1), 0);
    sender.join();
}

TEST_F(ModemManagerTest, AutoTakesModemManagerWhenItManagesTheModem) {
    start("Backend=auto\n");
    bringUp();
    EXPECT_EQ(fnSendMsg(-1, kNumber, "down"), 0);
    EXPECT_EQ(created(), std::vector<std::string>{"down"});
}

TEST_F(ModemManagerTest, ClosingCutsAHangingSendShort) {
    start("Backend=modemmanager\nSendTimeout=600000\n");
    bringUp();
    standIn_->command("outcome hang");
    std::thread closer([] {
        std::this_thread::sleep_for(1s);
        fnCloseModem(-1);
    });
    const Clock::time_point begin = Clock::now();
    EXPECT_EQ(fnSendMsg(-1, kNumber, "down"), -1);
    closer.join();
    EXPECT_LT(Clock::now() - begin, 60s); // nowhere near the ten minutes of SendTimeout
}

} // namespace
