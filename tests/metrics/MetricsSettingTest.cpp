#include "metrics/MetricsSetting.h"

#include "support/TempDir.h"
#include "support/TranslatedLocale.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <future>
#include <sys/stat.h>

namespace {

using State = MetricsSetting::State;

TEST(MetricsSetting, TheSectionAndKeyOfTheIniText) {
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

class MetricsSettingFile : public testing::Test {
protected:
    TempDir dir;
};

TEST_F(MetricsSettingFile, AbsentFileIsOffAndAPresentOneIsRead) {
    EXPECT_EQ(ReadMetricsSetting(dir.file("monitor.ini")).state, State::Off);
    EXPECT_EQ(ReadMetricsSetting(dir.file("no-such-dir/monitor.ini")).state, State::Off);
    EXPECT_EQ(ReadMetricsSetting(dir.write("file", "x") + "/monitor.ini").state, State::Off);
    const MetricsSetting on =
        ReadMetricsSetting(dir.write("monitor.ini", "[Metrics]\nListen=80\n"));
    EXPECT_EQ(on.state, State::On);
    EXPECT_EQ(ToText(on.listen), "127.0.0.1:80");
}

TEST_F(MetricsSettingFile, OnlyARegularFileOfBoundedSizeIsRead) {
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

TEST_F(MetricsSettingFile, TheSystemsReasonIsEnglishUnderATranslatedLocale) {
    TranslatedLocale locale;
    if (!locale.problem().empty())
        GTEST_SKIP() << locale.problem();
    // It opens, but reading at address 0 fails.
    const MetricsSetting memory = ReadMetricsSetting("/proc/self/mem");
    EXPECT_EQ(memory.state, State::Unusable);
    EXPECT_EQ(memory.problem, "cannot be read: Input/output error");
}

TEST_F(MetricsSettingFile, APipeAtThePathNeverHoldsUpStartUp) {
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
