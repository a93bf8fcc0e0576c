#include "sms/mondem/ModemConfig.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseModemConfig, DefaultsWithoutTheSection) {
    for (std::string_view text : {"", "[Other]\nDevice=/dev/ttyS0\n", "Device=/dev/ttyS0\n"}) {
        std::vector<std::string> problems;
        ModemConfig config = ParseModemConfig(text, &problems);
        EXPECT_EQ(config.device, "") << text;
        EXPECT_EQ(config.baud, 115200);
        EXPECT_EQ(config.search, (std::vector<std::string>{"/dev/ttyUSB*", "/dev/ttyACM*"}));
        EXPECT_EQ(config.commandTimeoutMs, 10000);
        EXPECT_TRUE(problems.empty());
    }
}

TEST(ParseModemConfig, ReadsEveryKey) {
    ModemConfig config =
        ParseModemConfig("; modem of the server room\r\n"
                         " [ modem ] \r\n"
                         "DEVICE = /dev/serial/by-id/usb-x-if02-port0 ; the AT port\r\n"
                         "baud=9600\r\n"
                         "Search=/dev/ttyS*; /tmp/a*  /tmp/b*\r\n"
                         "ProbeTimeout=250\r\n"
                         "CommandTimeout=3000\r\n"
                         "SendTimeout=20000\r\n"
                         "Pin=0000\r\n"
                         "Unknown=1\r\n");
    EXPECT_EQ(config.device, "/dev/serial/by-id/usb-x-if02-port0");
    EXPECT_EQ(config.baud, 9600);
    EXPECT_EQ(config.search, (std::vector<std::string>{"/dev/ttyS*", "/tmp/a*", "/tmp/b*"}));
    EXPECT_EQ(config.probeTimeoutMs, 250);
    EXPECT_EQ(config.commandTimeoutMs, 3000);
    EXPECT_EQ(config.sendTimeoutMs, 20000);
    EXPECT_EQ(config.pin, "0000");
}

TEST(ParseModemConfig, LaterSectionsDoNotLeakIn) {
    ModemConfig config = ParseModemConfig("[Modem]\nBaud=57600\n[Other]\nBaud=9600\nDevice=/x\n");
    EXPECT_EQ(config.baud, 57600);
    EXPECT_EQ(config.device, "");
}

struct BadValue {
    const char* line;
};

class BadValueTest : public testing::TestWithParam<BadValue> {};

TEST_P(BadValueTest, KeepsTheDefaultAndSaysWhy) {
    std::vector<std::string> problems;
    ModemConfig config = ParseModemConfig(std::string("[Modem]\n") + GetParam().line, &problems);
    const ModemConfig defaults;
    EXPECT_EQ(config.baud, defaults.baud);
    EXPECT_EQ(config.probeTimeoutMs, defaults.probeTimeoutMs);
    EXPECT_EQ(config.commandTimeoutMs, defaults.commandTimeoutMs);
    EXPECT_EQ(config.sendTimeoutMs, defaults.sendTimeoutMs);
    EXPECT_EQ(config.pin, "");
    EXPECT_EQ(problems.size(), 1u) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(Table, BadValueTest,
                         testing::Values(BadValue{"Baud=115201"}, BadValue{"Baud=fast"},
                                         BadValue{"Baud=-9600"}, BadValue{"ProbeTimeout=0"},
                                         BadValue{"CommandTimeout=10s"},
                                         BadValue{"SendTimeout=99999999999"},
                                         BadValue{"SendTimeout="}, BadValue{"Pin=12"},
                                         BadValue{"Pin=12ab"}));

} // namespace
