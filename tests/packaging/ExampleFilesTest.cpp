// The example mondem.ini shipped in the documentation is one the modem library accepts as it is.

#include "sms/mondem/ModemConfig.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

TEST(ExampleMondemIni, ReadsWithoutProblemsAndGivesTheDefaults) {
    std::ifstream file(SM_SOURCE_DIR "/packaging/examples/mondem.ini", std::ios::binary);
    ASSERT_TRUE(file) << "no packaging/examples/mondem.ini";
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    std::vector<std::string> problems;
    const ModemConfig config = ParseModemConfig(text, &problems);
    EXPECT_EQ(problems, std::vector<std::string>{});
    // Its active keys spell out the defaults, and the port is still searched for.
    const ModemConfig defaults;
    EXPECT_EQ(config.device, "");
    EXPECT_EQ(config.baud, defaults.baud);
    EXPECT_EQ(config.search, defaults.search);
    EXPECT_EQ(config.probeTimeoutMs, defaults.probeTimeoutMs);
    EXPECT_EQ(config.commandTimeoutMs, defaults.commandTimeoutMs);
    EXPECT_EQ(config.sendTimeoutMs, defaults.sendTimeoutMs);
    EXPECT_EQ(config.pin, "");
}

TEST(ExampleMondemIni, EveryCommentedKeyIsAKeyTheLibraryReads) {
    // Uncommenting a line must not give a key that is silently ignored or a value it rejects.
    std::ifstream file(SM_SOURCE_DIR "/packaging/examples/mondem.ini", std::ios::binary);
    ASSERT_TRUE(file);
    std::string line, uncommented;
    int keys = 0;
    while (std::getline(file, line)) {
        // A commented key has no blank after the ";"; prose has.
        if (line.size() > 1 && line[0] == ';' && line[1] != ' ' &&
            line.find('=') != std::string::npos) {
            line.erase(0, 1);
            ++keys;
        }
        uncommented += line + "\n";
    }
    EXPECT_EQ(keys, 3);
    std::vector<std::string> problems;
    const ModemConfig config = ParseModemConfig(uncommented, &problems);
    EXPECT_EQ(problems, std::vector<std::string>{});
    EXPECT_EQ(config.device, "/dev/serial/by-id/usb-Example_Modem-if02-port0");
    EXPECT_EQ(config.search, (std::vector<std::string>{"/dev/ttyUSB*", "/dev/ttyACM*"}));
    EXPECT_EQ(config.pin, "1234");
}

} // namespace
