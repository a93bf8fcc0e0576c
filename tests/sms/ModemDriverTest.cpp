#include "sms/mondem/ModemDriver.h"

#include "ManualModemClock.h"
#include "SimulatedModem.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kNumber = "13800138000";
constexpr auto kProbeTimeout = 1000ms;
constexpr auto kCommandTimeout = 3000ms;
constexpr auto kSendTimeout = 7000ms;

// The driver on a clock of the test's own, so that time-outs pass when the test says so. Every
// test has a mondem.ini of its own that MONDEM_CONFIG points at.
class ModemDriverTest : public testing::Test {
protected:
    void SetUp() override { setenv("MONDEM_CONFIG", (dir_ / "mondem.ini").c_str(), 1); }
    void TearDown() override { unsetenv("MONDEM_CONFIG"); }

    void configure(const SimulatedModem& modem) {
        std::ofstream(dir_ / "mondem.ini")
            << "[Modem]\nDevice=" << modem.path() << "\nProbeTimeout=" << kProbeTimeout.count()
            << "\nCommandTimeout=" << kCommandTimeout.count()
            << "\nSendTimeout=" << kSendTimeout.count() << "\n";
    }

    void bringUp(const SimulatedModem& modem) {
        configure(modem);
        ASSERT_EQ(driver_.setModemType(0, 0), 0);
        ASSERT_EQ(driver_.initModem(), 0);
    }

    std::future<int> sendInBackground() {
        return std::async(std::launch::async, [this] { return driver_.sendMessage(kNumber, "x"); });
    }

    // A safety bound on a call that is expected to have returned, not a measurement.
    static int resultOf(std::future<int>& call) {
        return call.wait_for(20s) == std::future_status::ready ? call.get() : 99;
    }

    TempDir temp_;
    const fs::path dir_ = temp_.path();
    ManualModemClock clock_;
    ModemDriver driver_{clock_};
};

TEST_F(ModemDriverTest, ASilentModemIsGivenUpExactlyAtTheConfiguredTimeOut) {
    struct Case {
        const char* name;
        SimulatedModem::Behaviour behaviour;
        std::chrono::milliseconds timeout;
    } cases[] = {{"no prompt", {.silent = true}, kCommandTimeout},
                 {"no +CMGS", {.silentAfterPdu = true}, kSendTimeout}};
    for (const Case& c : cases) {
        SimulatedModem modem;
        bringUp(modem);
        modem.setBehaviour(c.behaviour);
        std::future<int> send = sendInBackground();
        ASSERT_TRUE(clock_.waitForWaiter(c.timeout)) << c.name;
        // Short of the time-out the driver, having seen the time, still waits for that same
        // deadline: the send cannot have ended.
        clock_.advance(c.timeout - 1ms);
        EXPECT_TRUE(clock_.waitForWaiter(1ms)) << c.name;
        EXPECT_NE(send.wait_for(0s), std::future_status::ready) << c.name;
        clock_.advance(1ms);
        EXPECT_EQ(resultOf(send), -1) << c.name;
        // A modem that fell silent is dropped; the next call looks for it anew.
        EXPECT_EQ(driver_.status(), -1) << c.name;
        driver_.closeModem();
    }
}

TEST_F(ModemDriverTest, ASimStillBusyIsAskedAgainAfterAPauseOfASecond) {
    SimulatedModem modem({.simBusy = 2});
    configure(modem);
    ASSERT_EQ(driver_.setModemType(0, 0), 0);
    const auto before = clock_.elapsed();
    EXPECT_EQ(driver_.initModem(), 0);
    EXPECT_EQ(clock_.elapsed() - before, 2s);
    std::vector<std::string> commands = modem.commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "AT+CPIN?"), 3);
    EXPECT_EQ(driver_.sendMessage(kNumber, "x"), 0);
}

TEST_F(ModemDriverTest, ClosingDuringASendFreesThePortAtOnceAndTheSendFails) {
    SimulatedModem modem({.silentAfterPdu = true});
    bringUp(modem);
    std::future<int> send = sendInBackground();
    ASSERT_TRUE(clock_.waitForWaiter(kSendTimeout));
    // The driver waits for the confirmation once it has written the message, but the modem's
    // thread may not have read it yet; were it to read it only after the switch below, it would
    // confirm it as a second message.
    ASSERT_TRUE(modem.waitForPdus(1, 20s));
    EXPECT_TRUE(modem.exclusive());

    // The send's clock never moves: only the close can end it.
    EXPECT_EQ(driver_.closeModem(), 0);
    EXPECT_FALSE(modem.exclusive());
    EXPECT_EQ(resultOf(send), -1);
    EXPECT_EQ(driver_.status(), -1);

    // Calls after the close find the modem again.
    modem.setBehaviour({});
    EXPECT_EQ(driver_.sendMessage(kNumber, "x"), 0);
    EXPECT_EQ(modem.messages().size(), 1u);
}

TEST_F(ModemDriverTest, ClosingDuringThePortSearchFreesThePort) {
    SimulatedModem modem({.silent = true});
    configure(modem);
    std::future<int> search =
        std::async(std::launch::async, [this] { return driver_.setModemType(0, 0); });
    ASSERT_TRUE(clock_.waitForWaiter(kProbeTimeout));
    // Written before the driver waits, but the modem's thread may read it later.
    ASSERT_TRUE(modem.waitForCommands(1, 20s));
    EXPECT_TRUE(modem.exclusive());
    driver_.closeModem();
    EXPECT_FALSE(modem.exclusive());
    EXPECT_EQ(resultOf(search), -1);
    // Asked once: the search did not go on to its second attempt, which would reach the modem
    // well within this wait (it cannot make a correct driver fail).
    EXPECT_FALSE(modem.waitForCommands(2, 1s));
    EXPECT_EQ(modem.commands(), std::vector<std::string>{"AT"});
}

} // namespace
