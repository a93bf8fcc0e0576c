#include "metrics/ListenSetting.h"

#include "support/TempDir.h"
#include "support/TranslatedLocale.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <future>
#include <sys/stat.h>

namespace {

using State = MetricsSetting::State;

TEST(ListenSetting, AcceptedFormsAndWhereTheyListen) {
    const std::pair<std::string, ListenAddress> cases[] = {
        {"9464", {"127.0.0.1", 9464, false}},
        {":9464", {"127.0.0.1", 9464, false}},
        {"localhost:9464", {"127.0.0.1", 9464, false}},
        {"127.0.0.1:1", {"127.0.0.1", 1, false}},
        {"127.1.2.3:65535", {"127.1.2.3", 65535, false}},
        {"0.0.0.0:9464", {"0.0.0.0", 9464, false}},
        {"192.0.2.7:80", {"192.0.2.7", 80, false}},
        {"[::1]:9464", {"::1", 9464, true}},
        {"[::]:9464", {"::", 9464, true}},
        {"[0:0:0:0:0:0:0:1]:9464", {"::1", 9464, true}},
    };
    for (const auto& [value, expected] : cases) {
        const auto parsed = ParseListen(value);
        ASSERT_TRUE(std::holds_alternative<ListenAddress>(parsed))
            << value << ": " << std::get<ListenError>(parsed).reason;
        EXPECT_EQ(std::get<ListenAddress>(parsed), expected) << value;
    }
    EXPECT_EQ(ToText({"127.0.0.1", 9464, false}), "127.0.0.1:9464");
    EXPECT_EQ(ToText({"::1", 9464, true}), "[::1]:9464");
}

TEST(ListenSetting, RefusedFormsSayWhy) {
    const std::pair<std::string, std::string> cases[] = {
        {"0", "the port must be a number from 1 to 65535"},
        {"65536", "the port must be a number from 1 to 65535"},
        {"123456", "the port must be a number from 1 to 65535"},
        {"-1", "the port must be a number from 1 to 65535"},
        {"+80", "the port must be a number from 1 to 65535"},
        {"0x50", "the port must be a number from 1 to 65535"},
        {"127.0.0.1:", "the port must be a number from 1 to 65535"},
        {"127.0.0.1", "the port must be a number from 1 to 65535"},
        {"127.0.0.1:94 64", "the port must be a number from 1 to 65535"},
        {"abc", "the port must be a number from 1 to 65535"},
        {"example.org:9464",
         "\"example.org\" is not a numeric IPv4 address (host names are not looked up)"},
        {"127.0.0.256:9464",
         "\"127.0.0.256\" is not a numeric IPv4 address (host names are not looked up)"},
        {"127.1:9464", "\"127.1\" is not a numeric IPv4 address (host names are not looked up)"},
        {"::1:9464", "an IPv6 address must be written in brackets, as [::1]:9464"},
        {"[::1:9464", "an IPv6 address needs its closing \"]\""},
        {"[::1]9464", "expected \":port\" after the address"},
        {"[::1]", "expected \":port\" after the address"},
        {"[nope]:9464", "\"nope\" is not an IPv6 address"},
        {"[127.0.0.1]:9464", "\"127.0.0.1\" is not an IPv6 address"},
    };
    for (const auto& [value, reason] : cases) {
        const auto parsed = ParseListen(value);
        ASSERT_TRUE(std::holds_alternative<ListenError>(parsed)) << value;
        EXPECT_EQ(std::get<ListenError>(parsed).reason, "Listen=" + value + ": " + reason);
    }
}

TEST(ListenSetting, TheSectionAndKeyOfTheIniText) {
    struct Case {
        std::string text;
        State state;
        std::string detail; // the address when On, the problem when Unusable
    };
    const Case cases[] = {
        {"", State::Off, ""},
        {"[Metrics]\r\n", State::Off, ""},
        {"[Metrics]\r\nListen=\r\n", State::Off, ""},
        {"[Other]\r\nListen=9464\r\n", State::Off, ""},
        {"Listen=9464\r\n", State::Off, ""}, // before any section: dropped
        {"[Metrics]\r\nListen=9464\r\n", State::On, "127.0.0.1:9464"},
        {"[metrics]\nlisten = 127.0.0.2:80\n", State::On, "127.0.0.2:80"},
        {"[Metrics]\r\n; Listen=1\r\nListen=9464\r\n", State::On, "127.0.0.1:9464"},
        // GBK text elsewhere in the file does not matter; the last key of a name counts.
        {"[监控]\r\n名称=值\r\n[Metrics]\r\nListen=1\r\nListen=2\r\n", State::On, "127.0.0.1:2"},
        {"[Metrics]\r\nListen=9464 ; on\r\n", State::Unusable,
         "Listen=9464 ; on: the port must be a number from 1 to 65535"},
        {"[Metrics]\r\nListen=端口\r\n", State::Unusable,
         "Listen=端口: the port must be a number from 1 to 65535"},
    };
    for (const Case& c : cases) {
        const MetricsSetting setting = ParseMetricsSetting(c.text);
        EXPECT_EQ(setting.state, c.state) << c.text;
        const std::string detail = c.state == State::On ? ToText(setting.listen) : setting.problem;
        EXPECT_EQ(detail, c.detail) << c.text;
    }
}

class ListenSettingFile : public testing::Test {
protected:
    TempDir dir;
};

TEST_F(ListenSettingFile, AbsentFileIsOffAndAPresentOneIsRead) {
    EXPECT_EQ(ReadMetricsSetting(dir.file("monitor.ini")).state, State::Off);
    EXPECT_EQ(ReadMetricsSetting(dir.file("no-such-dir/monitor.ini")).state, State::Off);
    EXPECT_EQ(ReadMetricsSetting(dir.write("file", "x") + "/monitor.ini").state, State::Off);
    const MetricsSetting on =
        ReadMetricsSetting(dir.write("monitor.ini", "[Metrics]\nListen=80\n"));
    EXPECT_EQ(on.state, State::On);
    EXPECT_EQ(ToText(on.listen), "127.0.0.1:80");
}

TEST_F(ListenSettingFile, OnlyARegularFileOfBoundedSizeIsRead) {
    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0700), 0);
    const MetricsSetting folder = ReadMetricsSetting(dir.file("folder"));
    EXPECT_EQ(folder.state, State::Unusable);
    EXPECT_EQ(folder.problem, "is not a regular file");

    const std::string head = "[Metrics]\nListen=80\n";
    const std::string fits = head + std::string(kMetricsSettingMaxBytes - head.size(), ';');
    EXPECT_EQ(ReadMetricsSetting(dir.write("fits.ini", fits)).state, State::On);
    const MetricsSetting big = ReadMetricsSetting(dir.write("big.ini", fits + ";"));
    EXPECT_EQ(big.state, State::Unusable);
    EXPECT_EQ(big.problem, "is larger than 65536 bytes");
}

TEST_F(ListenSettingFile, TheSystemsReasonIsEnglishUnderATranslatedLocale) {
    TranslatedLocale locale;
    if (!locale.problem().empty())
        GTEST_SKIP() << locale.problem();
    // It opens, but reading at address 0 fails.
    const MetricsSetting memory = ReadMetricsSetting("/proc/self/mem");
    EXPECT_EQ(memory.state, State::Unusable);
    EXPECT_EQ(memory.problem, "cannot be read: Input/output error");
}

TEST_F(ListenSettingFile, APipeAtThePathNeverHoldsUpStartUp) {
    const std::string fifo = dir.file("monitor.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto reading = std::async(std::launch::async, [&] { return ReadMetricsSetting(fifo); });
    if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Let the stuck open go on, so the test fails instead of hanging.
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        reading.wait();
        if (writer >= 0)
            ::close(writer);
        FAIL() << "reading a FIFO blocked";
    }
    const MetricsSetting setting = reading.get();
    EXPECT_EQ(setting.state, State::Unusable);
    EXPECT_EQ(setting.problem, "is not a regular file");
}

} // namespace
