#include "ui/ServerDetails.h"
#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

namespace {

using namespace std::chrono_literals;

// 2026-12-06 20:15:07 local time.
std::chrono::system_clock::time_point LocalTime(int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = 2026 - 1900;
    parts.tm_mon = 11;
    parts.tm_mday = 6;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&parts));
}

class ServerDetailsTest : public testing::Test {
protected:
    void SetUp() override {
        formats.shortDate = "%Y-%m-%d";
        formats.longTime = "%H:%M:%S";
        SetUserFormats(&formats);
        server.Name = "数据库";
        server.IP = "127.0.0.1";
        server.Port = 5432;
    }
    void TearDown() override { SetUserFormats(nullptr); }

    RegionalFormats formats;
    TServers server;
    ProbeRecord record;
};

TEST_F(ServerDetailsTest, BeforeTheFirstProbeOnlyTheAddressIsKnown) {
    EXPECT_EQ(ServerDetailsText(server, record), "地址：127.0.0.1:5432\n"
                                                 "最后检测：尚未检测\n"
                                                 "连接耗时：无\n"
                                                 "连续失败：0 次\n"
                                                 "最后短信：无");
}

TEST_F(ServerDetailsTest, AfterASuccessTheTimeTheOutcomeAndTheConnectDuration) {
    record.lastOutcome = ProbeRecord::Outcome::Success;
    record.lastProbeEnd = LocalTime(20, 15, 7);
    record.lastConnectTime = 1234567ns;
    EXPECT_EQ(ServerDetailsText(server, record), "地址：127.0.0.1:5432\n"
                                                 "最后检测：2026-12-06 20:15:07 正常\n"
                                                 "连接耗时：1.23 ms\n"
                                                 "连续失败：0 次\n"
                                                 "最后短信：无");
}

TEST_F(ServerDetailsTest, AfterFailuresTheLastSuccessfulConnectAndTheLastSmsStay) {
    record.lastOutcome = ProbeRecord::Outcome::Failure;
    record.lastProbeEnd = LocalTime(21, 0, 59);
    record.lastConnectTime = 250us;
    server.FailCount = 4;
    server.LastSMS = EncodeDateTime({2026, 12, 6, 20, 30, 0, 0});
    EXPECT_EQ(ServerDetailsText(server, record), "地址：127.0.0.1:5432\n"
                                                 "最后检测：2026-12-06 21:00:59 故障\n"
                                                 "连接耗时：0.25 ms\n"
                                                 "连续失败：4 次\n"
                                                 "最后短信：2026-12-06 20:30:00");

    // A failure before any success: no duration to show.
    record.lastConnectTime.reset();
    EXPECT_NE(ServerDetailsText(server, record).find("连接耗时：无\n"), std::string::npos);
}

TEST_F(ServerDetailsTest, TheDurationUsesTheUsersDecimalSeparator) {
    formats.decimalSeparator = ',';
    record.lastOutcome = ProbeRecord::Outcome::Success;
    record.lastConnectTime = 12500us;
    EXPECT_NE(ServerDetailsText(server, record).find("连接耗时：12,50 ms\n"), std::string::npos);
}

} // namespace
