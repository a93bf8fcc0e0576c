#include "sms/mondem/ModemConfig.h"

#include "support/Pipe.h"
#include "support/TempDir.h"
#include "support/TranslatedLocale.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

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

TEST(ParseModemConfig, BackendIsAutoUnlessNamedAndAnUnknownOneIsReported) {
    EXPECT_EQ(ParseModemConfig("[Modem]\n").backend, ModemConfig::Backend::Auto);
    EXPECT_EQ(ParseModemConfig("[Modem]\nBackend=ModemManager\n").backend,
              ModemConfig::Backend::ModemManager);
    EXPECT_EQ(ParseModemConfig("[Modem]\nbackend = serial ; the AT port\n").backend,
              ModemConfig::Backend::Serial);
    std::vector<std::string> problems;
    EXPECT_EQ(ParseModemConfig("[Modem]\nBackend=mm\n", &problems).backend,
              ModemConfig::Backend::Auto);
    EXPECT_EQ(problems, std::vector<std::string>{
                            "Backend=mm is not auto, modemmanager or serial; using auto"});
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

// The settings file is read only when it is a regular file of bounded size; anything else gives
// the defaults with a reason, and never holds the caller up.
class ModemConfigFileTest : public testing::Test {
protected:
    std::string path() const { return dir_.file("mondem.ini"); }

    // What reading the file gives, within a safety bound far above any real read.
    std::pair<std::optional<std::string>, std::string> read() const {
        auto reading = std::async(std::launch::async, [this] {
            std::string problem;
            std::optional<std::string> text = ReadModemConfigText(path(), problem);
            return std::pair{text, problem};
        });
        if (reading.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "reading " << path() << " did not end";
            std::abort(); // the reading thread cannot be left behind
        }
        return reading.get();
    }

    TempDir dir_;
};

TEST_F(ModemConfigFileTest, ARegularFileUpToTheBoundIsRead) {
    std::string text = "[Modem]\nBaud=9600\n";
    text.resize(kMaxModemConfigBytes, ';');
    std::ofstream(path(), std::ios::binary) << text;
    const auto [read, problem] = this->read();
    EXPECT_EQ(read, text);
    EXPECT_EQ(problem, "");
}

TEST_F(ModemConfigFileTest, AMissingFileIsNoProblem) {
    const auto [read, problem] = this->read();
    EXPECT_EQ(read, std::nullopt);
    EXPECT_EQ(problem, "");
}

TEST_F(ModemConfigFileTest, WhatIsNoRegularFileOrTooLargeIsNotReadAndSaysWhy) {
    struct Case {
        const char* name;
        void (*make)(const std::string& path);
        const char* problem;
    } cases[] = {
        {"fifo", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); },
         "not a regular file"},
        {"link to /dev/zero", [](const std::string& p) { fs::create_symlink("/dev/zero", p); },
         "not a regular file"},
        {"folder", [](const std::string& p) { fs::create_directory(p); }, "not a regular file"},
        {"one byte too many",
         [](const std::string& p) {
             std::ofstream(p, std::ios::binary) << std::string(kMaxModemConfigBytes + 1, ';');
         },
         "larger than 64 KiB"},
    };
    for (const Case& c : cases) {
        fs::remove_all(path());
        c.make(path());
        const auto [read, problem] = this->read();
        EXPECT_EQ(read, std::nullopt) << c.name;
        EXPECT_EQ(problem, c.problem) << c.name;
    }
}

TEST_F(ModemConfigFileTest, TheSystemsReasonIsEnglishUnderATranslatedLocale) {
    TranslatedLocale locale;
    if (!locale.problem().empty())
        GTEST_SKIP() << locale.problem();
    std::string problem;
    // A file on the way where a folder should be, and one that opens but cannot be read.
    EXPECT_EQ(ReadModemConfigText(dir_.write("file", "x") + "/mondem.ini", problem), std::nullopt);
    EXPECT_EQ(problem, "Not a directory");
    problem.clear();
    EXPECT_EQ(ReadModemConfigText("/proc/self/mem", problem), std::nullopt);
    EXPECT_EQ(problem, "Input/output error");
}

TEST_F(ModemConfigFileTest, AFileThatCannotBeUsedGivesTheDefaults) {
    ASSERT_EQ(::mkfifo(path().c_str(), 0644), 0);
    setenv("MONDEM_CONFIG", path().c_str(), 1);
    auto loading = std::async(std::launch::async, [] { return LoadModemConfig(); });
    if (loading.wait_for(std::chrono::seconds(20)) != std::future_status::ready)
        std::abort(); // a FIFO opened for reading waits for a writer that never comes
    unsetenv("MONDEM_CONFIG");
    const ModemConfig config = loading.get();
    const ModemConfig defaults;
    EXPECT_EQ(config.device, defaults.device);
    EXPECT_EQ(config.search, defaults.search);
    EXPECT_EQ(config.commandTimeoutMs, defaults.commandTimeoutMs);
}

TEST_F(ModemConfigFileTest, ItsComplaintsGoToStandardErrorOnlyWhenItTakesThemAtOnce) {
    dir_.write("mondem.ini", "[Modem]\r\nBaud=fast\r\n");
    setenv("MONDEM_CONFIG", path().c_str(), 1);
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            // A write that waits for the reader ends the child instead of hanging the test.
            ::alarm(20);
            Pipe errors;
            if (::dup2(errors.writer(), STDERR_FILENO) < 0)
                std::_Exit(2);
            LoadModemConfig();
            const bool said = errors.drain().find("mondem: " + path() + ": ") == 0;
            if (!errors.fill())
                std::_Exit(2);
            LoadModemConfig();
            std::_Exit(said && errors.drain() == std::string(4096, 'x') ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
    unsetenv("MONDEM_CONFIG");
}

} // namespace
