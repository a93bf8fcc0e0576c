#include "sms/mondem/mondem.h"

#include "PduDecoder.h"
#include "SimulatedModem.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kNumber = "13800138000";

// Short time-outs so that a silent modem costs seconds, not a minute, with room for a loaded
// machine.
constexpr const char* kTimeouts = "ProbeTimeout=1000\nCommandTimeout=3000\nSendTimeout=3000\n";

// The alert text the monitor sends for a server, as GBK bytes (this file's literals are GBK).
std::string AlertText(const std::string& name) {
    return "Vormix服务器智能检测程序:【" + name + "】发生故障!--2026-12-06 20:15:00";
}

// Every test gets a directory of its own with a mondem.ini that MONDEM_CONFIG points at, and
// closes the library's port afterwards so the next test starts from nothing.
class MondemTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("MONDEM_CONFIG", (dir_ / "mondem.ini").c_str(), 1);
        // Backend=auto must not find a ModemManager of the machine: these cases are the serial
        // path's.
        setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket", 1);
    }

    void TearDown() override {
        fnCloseModem(-1);
        unsetenv("MONDEM_CONFIG");
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }

    void writeConfig(const std::string& modemSection) {
        std::ofstream(dir_ / "mondem.ini") << "[Modem]\n" << kTimeouts << modemSection;
    }

    // Points the stable name `link` at `target`, replacing what it pointed at in one step, as
    // udev does for a by-id name when a modem is plugged in again.
    fs::path plug(const std::string& link, const std::string& target) {
        fs::path path = dir_ / link;
        fs::path fresh = dir_ / (link + ".new");
        fs::remove(fresh);
        fs::create_symlink(target, fresh);
        fs::rename(fresh, path);
        return path;
    }

    // Configures `modem` as the device and brings it up.
    void bringUp(const SimulatedModem& modem, const std::string& moreSettings = "") {
        writeConfig("Device=" + plug("modem", modem.path()).string() + "\n" + moreSettings);
        ASSERT_EQ(fnSetModemType(0, 0), 0);
        ASSERT_EQ(fnInitModem(-1), 0);
    }

    static std::vector<std::u16string> Received(const SimulatedModem& modem) {
        std::vector<DecodedSubmit> parts;
        for (const SimulatedModem::Message& message : modem.messages()) {
            std::optional<DecodedSubmit> decoded = DecodeSubmit(message.pdu);
            EXPECT_TRUE(decoded.has_value()) << message.pdu;
            if (decoded) {
                EXPECT_EQ(decoded->number, kNumber);
                parts.push_back(*decoded);
            }
        }
        std::optional<std::vector<std::u16string>> texts = Reassemble(parts);
        EXPECT_TRUE(texts.has_value());
        return texts.value_or(std::vector<std::u16string>{});
    }

    TempDir temp_;
    const fs::path dir_ = temp_.path();
};

TEST_F(MondemTest, InitialisationTurnsEchoOffAndSelectsPduMode) {
    SimulatedModem modem({.notices = true});
    bringUp(modem);
    // The port search's "AT" (echoed: the modem starts with echo on), then the bring-up.
    EXPECT_EQ(modem.commands(),
              (std::vector<std::string>{"AT", "ATE0", "AT+CMEE=1", "AT+CPIN?", "AT+CMGF=0"}));
    EXPECT_EQ(fnGetStatus(-1), 0);
    EXPECT_EQ(modem.faults(), std::vector<std::string>{});

    fnCloseModem(-1);
    EXPECT_EQ(fnGetStatus(-1), -1);
}

TEST_F(MondemTest, PinIsEnteredWhenConfigured) {
    SimulatedModem modem({.pin = "4321"});
    bringUp(modem, "Pin=4321\n");
    std::vector<std::string> commands = modem.commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "AT+CPIN=\"4321\""), commands.end());
    EXPECT_EQ(fnSendMsg(-1, kNumber, "x"), 0);
}

TEST_F(MondemTest, SimWantingPinWithoutOneConfiguredIsNotReady) {
    SimulatedModem modem({.pin = "4321"});
    writeConfig("Device=" + modem.path() + "\n");
    ASSERT_EQ(fnSetModemType(0, 0), 0);
    EXPECT_EQ(fnInitModem(-1), -1);
    EXPECT_EQ(fnGetStatus(-1), -1);
    EXPECT_EQ(fnSendMsg(-1, kNumber, "x"), -1);
    EXPECT_EQ(modem.messages().size(), 0u);
}

TEST_F(MondemTest, SearchSkipsPortsThatAreNoModemAndTakesTheFirstThatAnswers) {
    SimulatedModem silent({.silent = true});
    SimulatedModem modem;
    std::ofstream(dir_ / "ttyUSB0") << "not a terminal";
    fs::create_directory(dir_ / "ttyUSB1");
    plug("ttyUSB2", silent.path());
    plug("ttyUSB10", modem.path());
    plug("ttyACM0", "/nonexistent/device");
    writeConfig("Search=" + (dir_ / "ttyUSB*").string() + " " + (dir_ / "ttyACM*").string() + "\n");

    ASSERT_EQ(fnSetModemType(0, 0), 0);
    ASSERT_EQ(fnInitModem(-1), 0);
    ASSERT_EQ(fnSendMsg(-1, kNumber, AlertText("ok").c_str()), 0);
    EXPECT_EQ(modem.messages().size(), 1u);
    EXPECT_EQ(silent.messages().size(), 0u);
    EXPECT_EQ(silent.commands().size(), 2u) << "the silent port was asked twice, then left";
}

TEST_F(MondemTest, SearchFindsAModemOnTheSecondPattern) {
    SimulatedModem modem;
    plug("ttyACM3", modem.path());
    writeConfig("Search=" + (dir_ / "ttyUSB*").string() + ";" + (dir_ / "ttyACM*").string() + "\n");
    EXPECT_EQ(fnSetModemType(0, 0), 0);
}

TEST_F(MondemTest, NoModemAtAllIsReportedAsFailure) {
    SimulatedModem silent({.silent = true});
    const std::string cases[] = {
        "Search=" + (dir_ / "ttyUSB*").string() + "\n",   // nothing matches
        "Device=" + (dir_ / "absent").string() + "\n",    // configured, not plugged in
        "Device=" + silent.path() + "\n",                 // a port that never answers
        "Device=" + (dir_ / "mondem.ini").string() + "\n" // not a terminal
    };
    for (const std::string& section : cases) {
        writeConfig(section);
        EXPECT_NE(fnSetModemType(0, 0), 0) << section;
        EXPECT_EQ(fnSendMsg(-1, kNumber, "x"), -1) << section;
    }
    EXPECT_NE(fnSetModemType(1, 0), 0) << "only the generic AT modem exists";
}

TEST_F(MondemTest, PortFloodingWithGarbageIsGivenUpWithinTheTimeOut) {
    // A device that never stops sending (a data port, a logger, a modem gone mad) must not keep
    // the driver reading forever.
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const std::string path = ttyname(slave);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        const std::string garbage(4096, '\x7F');
        while (!stop) {
            if (::write(master, garbage.data(), garbage.size()) < 0) {
                pollfd p{master, POLLOUT, 0};
                ::poll(&p, 1, 10);
            }
        }
    });
    writeConfig("Device=" + path + "\n");
    auto result = std::async(std::launch::async, [] { return fnSetModemType(0, 0); });
    // A safety bound far above the configured 1 s probe, not a measurement; past it the flood
    // stops so that a hung driver lets the test end.
    const bool answered = result.wait_for(20s) == std::future_status::ready;
    stop = true;
    flood.join();
    EXPECT_TRUE(answered) << "the driver kept reading the flood";
    EXPECT_NE(result.get(), 0);
    ::close(slave);
    ::close(master);
}

TEST_F(MondemTest, ChineseAlertTravelsAsUcs2AndDecodesToTheSameCharacters) {
    SimulatedModem modem({.notices = true});
    bringUp(modem);
    ASSERT_EQ(fnSendMsg(-1, kNumber, AlertText("数据库").c_str()), 0);

    std::vector<SimulatedModem::Message> messages = modem.messages();
    ASSERT_EQ(messages.size(), 1u);
    std::optional<DecodedSubmit> decoded = DecodeSubmit(messages[0].pdu);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->dcs, 0x08);
    EXPECT_EQ(decoded->number, kNumber);
    EXPECT_EQ(ToUtf8(decoded->text),
              ToUtf8(u"Vormix服务器智能检测程序:【数据库】发生故障!--2026-12-06 20:15:00"));
    EXPECT_EQ(modem.faults(), std::vector<std::string>{});
}

TEST_F(MondemTest, ControlBytesInANameCannotEndTheMessageEarly) {
    SimulatedModem modem;
    bringUp(modem);
    const std::string name = "db\x1A"
                             "AT+CMGF=1\r\x1B"
                             "x";
    ASSERT_EQ(fnSendMsg(-1, kNumber, AlertText(name).c_str()), 0);
    EXPECT_EQ(Received(modem), std::vector<std::u16string>{u"Vormix服务器智能检测程序:【db\x1A"
                                                           u"AT+CMGF=1\r\x1B"
                                                           u"x】发生故障!--2026-12-06 20:15:00"});
    EXPECT_EQ(modem.faults(), std::vector<std::string>{});
}

TEST_F(MondemTest, LongTextsGoOutInNumberedPartsThatReassemble) {
    SimulatedModem modem;
    bringUp(modem);
    std::string name, ascii;
    std::u16string expectedName;
    for (int i = 0; i < 30; ++i) {
        name += "数据库";
        expectedName += u"数据库";
    }
    for (int i = 0; i < 40; ++i)
        ascii += "server-" + std::to_string(i) + " [down] ";

    ASSERT_EQ(fnSendMsg(-1, kNumber, AlertText(name).c_str()), 0);
    ASSERT_EQ(fnSendMsg(-1, kNumber, ascii.c_str()), 0);

    EXPECT_GE(modem.messages().size(), 5u);
    std::vector<std::u16string> texts = Received(modem);
    ASSERT_EQ(texts.size(), 2u);
    const std::u16string alert =
        u"Vormix服务器智能检测程序:【" + expectedName + u"】发生故障!--2026-12-06 20:15:00";
    const std::u16string plain(ascii.begin(), ascii.end());
    EXPECT_TRUE((ToUtf8(texts[0]) == ToUtf8(alert) && ToUtf8(texts[1]) == ToUtf8(plain)) ||
                (ToUtf8(texts[1]) == ToUtf8(alert) && ToUtf8(texts[0]) == ToUtf8(plain)))
        << ToUtf8(texts[0]) << "\n"
        << ToUtf8(texts[1]);
}

TEST_F(MondemTest, RefusalsAreReportedAsNotSent) {
    SimulatedModem modem({.cmsError = 500});
    bringUp(modem);
    EXPECT_EQ(fnSendMsg(-1, kNumber, AlertText("数据库").c_str()), -1);
    EXPECT_EQ(modem.messages().size(), 0u);

    // The modem itself is fine: once the network takes messages again, they go out.
    modem.setBehaviour({});
    EXPECT_EQ(fnSendMsg(-1, kNumber, AlertText("数据库").c_str()), 0);
    EXPECT_EQ(modem.messages().size(), 1u);
}

TEST_F(MondemTest, OkWithoutMessageReferenceIsNotASend) {
    SimulatedModem modem({.okWithoutCmgs = true});
    bringUp(modem);
    EXPECT_EQ(fnSendMsg(-1, kNumber, "x"), -1);
}

TEST_F(MondemTest, BadArgumentsAreRefusedWithoutTouchingTheModem) {
    SimulatedModem modem;
    bringUp(modem);
    const size_t before = modem.commands().size();
    EXPECT_EQ(fnSendMsg(-1, nullptr, "x"), -1);
    EXPECT_EQ(fnSendMsg(-1, kNumber, nullptr), -1);
    EXPECT_EQ(fnSendMsg(-1, "", "x"), -1);
    EXPECT_EQ(fnSendMsg(-1, "1380013800;", "x"), -1);
    EXPECT_EQ(modem.commands().size(), before);
}

TEST_F(MondemTest, ClosingFromAnotherThreadDuringASendFreesThePortAndFailsTheSend) {
    // As the program's close path does while an alert's worker waits for a slow modem.
    SimulatedModem modem({.silentAfterPdu = true});
    bringUp(modem);
    auto send = std::async(std::launch::async,
                           [] { return fnSendMsg(-1, kNumber, AlertText("数据库").c_str()); });
    ASSERT_TRUE(modem.waitForPdus(1, 20s));
    EXPECT_TRUE(modem.exclusive());
    EXPECT_EQ(fnCloseModem(-1), 0);
    EXPECT_FALSE(modem.exclusive()) << "the port was left in exclusive mode";
    // A safety bound, not a measurement.
    ASSERT_EQ(send.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(send.get(), -1);
}

TEST_F(MondemTest, PortVanishingDuringASendFailsAndTheModemWorksWhenBack) {
    auto first = std::make_unique<SimulatedModem>(SimulatedModem::Behaviour{.hangUpOnPdu = true});
    bringUp(*first);
    EXPECT_EQ(fnSendMsg(-1, kNumber, AlertText("数据库").c_str()), -1);

    // Plugged in again: a new device behind the same configured name, no restart, no new
    // fnSetModemType.
    SimulatedModem second;
    plug("modem", second.path());
    first.reset();
    EXPECT_EQ(fnSendMsg(-1, kNumber, AlertText("数据库").c_str()), 0);
    EXPECT_EQ(Received(second).size(), 1u);
    EXPECT_EQ(fnGetStatus(-1), 0);
}

TEST_F(MondemTest, ModemUnpluggedBetweenSendsWorksOnTheNextCall) {
    auto first = std::make_unique<SimulatedModem>();
    bringUp(*first);
    ASSERT_EQ(fnSendMsg(-1, kNumber, "first"), 0);
    first->hangUp();

    SimulatedModem second;
    plug("modem", second.path());
    EXPECT_EQ(fnSendMsg(-1, kNumber, "second"), 0);
    EXPECT_EQ(Received(second), std::vector<std::u16string>{u"second"});
}

TEST_F(MondemTest, ModemUnpluggedAndAbsentFailsEachCallQuickly) {
    auto modem = std::make_unique<SimulatedModem>();
    bringUp(*modem);
    modem.reset();
    fs::remove(dir_ / "modem");
    EXPECT_EQ(fnSendMsg(-1, kNumber, "x"), -1);
    EXPECT_EQ(fnSendMsg(-1, kNumber, "x"), -1);
}

TEST_F(MondemTest, SendsFromTwoThreadsAtOnceBothSucceedOneAfterTheOther) {
    // Slow answers widen the window in which unserialised calls would interleave.
    SimulatedModem modem({.notices = true, .answerDelay = 30ms});
    bringUp(modem);
    int results[2] = {1, 1};
    std::thread a([&] { results[0] = fnSendMsg(-1, kNumber, AlertText("数据库").c_str()); });
    std::thread b([&] { results[1] = fnSendMsg(-1, kNumber, AlertText("Web服务器").c_str()); });
    a.join();
    b.join();
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    EXPECT_EQ(modem.faults(), std::vector<std::string>{});
    std::vector<std::u16string> texts = Received(modem);
    ASSERT_EQ(texts.size(), 2u);
    std::vector<std::string> utf8 = {ToUtf8(texts[0]), ToUtf8(texts[1])};
    std::sort(utf8.begin(), utf8.end());
    std::vector<std::string> expected = {
        ToUtf8(u"Vormix服务器智能检测程序:【Web服务器】发生故障!--2026-12-06 20:15:00"),
        ToUtf8(u"Vormix服务器智能检测程序:【数据库】发生故障!--2026-12-06 20:15:00")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(utf8, expected);
}

} // namespace
