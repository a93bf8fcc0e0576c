#include "report/HistoryReport.h"
#include "HistoryTestSupport.h"
#include "history/HistoryStore.h"
#include "report/ReportText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

constexpr std::int64_t kNow = 1'765'000'000'000; // 2025-12-06T05:46:40Z
constexpr std::int64_t H = HistoryStore::kHourMs;

TEST(HistoryReportArguments, ModesSpansAndMistakes) {
    std::string error;
    auto options = HistoryReport::Parse({"--outages", "--since", "2h", "--csv"}, kNow, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->mode, HistoryReport::Mode::Outages);
    EXPECT_TRUE(options->csv);
    EXPECT_EQ(*options->since, kNow - 2 * H);
    EXPECT_EQ(HistoryReport::ParseSince("30m", kNow), kNow - 30 * 60'000);
    EXPECT_EQ(HistoryReport::ParseSince("7d", kNow), kNow - 7 * 24 * H);
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(HistoryReport::ParseSince("2025-12-06", kNow), 1'764'979'200'000);
    EXPECT_EQ(HistoryReport::ParseSince("2025-12-06 05:46", kNow), 1'764'999'960'000);
    EXPECT_EQ(HistoryReport::ParseSince("2025-12-06 05:46:40", kNow), kNow);
    for (const char* bad :
         {"", "h", "2025-13-01", "2025-12-06 25:00", "yesterday", "5x", "2025-12-06 05:46:40 junk"})
        EXPECT_FALSE(HistoryReport::ParseSince(bad, kNow)) << bad;

    const std::vector<std::vector<std::string>> mistakes = {
        {"--uptime", "--follow"},      {"--since"}, {"--since", "never"},
        {"--uptime", "--since", "1d"}, {"--file"},  {"--bogus"}};
    for (const auto& args : mistakes) {
        error.clear();
        EXPECT_FALSE(HistoryReport::Parse(args, kNow, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(HistoryReport::Parse({"--file", "x.db", "--uptime"}, kNow, error)->path, "x.db");
}

class HistoryReportTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        auto opened = HistoryDatabase::OpenForWriting(path);
        ASSERT_TRUE(opened.db);
        HistoryStore store(*opened.db);
        // web: 3 held of 4 in the last hour; db: refused twice 3 days ago, an outage with an
        // alert and a quoted name.
        store.Apply(
            {ProbeRecordAt("web", kNow - 1000, 0, 2000), ProbeRecordAt("web", kNow - 2000, 0, 4000),
             ProbeRecordAt("web", kNow - 3000, 1), ProbeRecordAt("web", kNow - 4000, 0, 3000),
             ProbeRecordAt("db", kNow - 72 * H, 1), ProbeRecordAt("db", kNow - 72 * H + 5, 1)});
        HistoryRecord outage = ProbeRecordAt("db", kNow - 72 * H, 1);
        outage.name = "d\"b";
        outage.kind = HistoryRecord::Kind::OutageStarted;
        outage.outageId = 1;
        outage.declared = kNow - 72 * H + 10'000;
        outage.failures = 3;
        HistoryRecord end = outage;
        end.kind = HistoryRecord::Kind::OutageEnded;
        end.time = kNow - 72 * H + 125'000;
        end.endReason = 1;
        end.alert = true;
        end.smsSent = 1;
        end.failures = 5;
        store.Apply({outage, end});
    }
    int Run(std::vector<std::string> args) {
        args.push_back("--file");
        args.push_back(path);
        std::string error;
        auto options = HistoryReport::Parse(args, kNow, error);
        EXPECT_TRUE(options) << error;
        out.str("");
        err.str("");
        return HistoryReport::Run(*options, out, err);
    }

    TempDir dir;
    std::string path = dir.file("history.db");
    std::ostringstream out, err;
};

TEST_F(HistoryReportTest, OutagesAsCsvAndForPeople) {
    EXPECT_EQ(Run({"--outages", "--csv"}), 0);
    EXPECT_EQ(out.str(), "start,end,duration_seconds,server,address,port,cause,end_reason,"
                         "failures,alert,sms_sent,sms_failed\r\n"
                         "2025-12-03T05:46:40.000Z,2025-12-03T05:48:45.000Z,125,\"d\"\"b\","
                         "127.0.0.1,5432,refused,answered,5,1,1,0\r\n");
    EXPECT_EQ(Run({"--outages", "--since", "2025-12-04"}), 0);
    EXPECT_EQ(out.str().find("d\"b"), std::string::npos) << out.str();
    EXPECT_EQ(Run({}), 0);
    EXPECT_NE(out.str().find("2025-12-03 05:46:40  2025-12-03 05:48:45  2m05s"), std::string::npos)
        << out.str();
}

TEST_F(HistoryReportTest, UptimeFromTheProbes) {
    EXPECT_EQ(Run({"--uptime", "--csv"}), 0);
    std::istringstream lines(out.str());
    std::string header, web, db;
    std::getline(lines, header);
    std::getline(lines, web);
    std::getline(lines, db);
    EXPECT_EQ(web, "web,127.0.0.1,80,75.0000,75.0000,75.0000,3,4,3,4,3,4,3.000,2.000,4.000\r");
    EXPECT_EQ(db, "db,127.0.0.1,5432,,0.0000,0.0000,0,0,0,2,0,2,,,\r");
}

TEST_F(HistoryReportTest, ExitStatusesForFilesItCannotRead) {
    std::string error;
    auto options = HistoryReport::Parse({"--file", dir.file("none.db")}, kNow, error);
    std::ostringstream o, e;
    EXPECT_EQ(HistoryReport::Run(*options, o, e), HistoryReport::kNoFile);
    EXPECT_NE(e.str().find("none.db"), std::string::npos);
    options->path = dir.write("junk.db", std::string(5000, 'q'));
    EXPECT_EQ(HistoryReport::Run(*options, o, e), HistoryReport::kUnusableFile);
}

TEST(ReportText, DurationsWidthsAndCsvFields) {
    EXPECT_EQ(report_text::Duration(45'999), "45s");
    EXPECT_EQ(report_text::Duration(185'000), "3m05s");
    EXPECT_EQ(report_text::Duration(7'380'000), "2h03m");
    EXPECT_EQ(report_text::Duration(363'600'000), "4d05h");
    EXPECT_EQ(report_text::Width("ab"), 2u);
    EXPECT_EQ(report_text::Width(reinterpret_cast<const char*>(u8"网站x")), 5u);
    EXPECT_EQ(report_text::CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(report_text::CsvField("plain"), "plain");
}

} // namespace
