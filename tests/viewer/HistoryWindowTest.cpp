#include "viewer/HistoryWindow.h"
#include "history/HistoryDatabase.h"
#include "history/HistoryStore.h"
#include "report/ReportText.h"
#include "support/TempDir.h"
#include "viewer/ConnectTimeChart.h"
#include "viewer/HistoryYear.h"
#include "viewer/OutageTable.h"
#include "viewer/ProbeStrip.h"
#include "viewer/UptimeTable.h"

#include <QImage>
#include <QTest>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <sstream>

namespace {

// A whole hour, so that the hourly counts fall on the windows' edges.
constexpr std::int64_t kNow = 1'796'000'400'000;
constexpr std::int64_t kHour = HistoryStore::kHourMs;
constexpr std::int64_t kMinute = 60'000;

std::string U8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

QString Cell(const QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QStringLiteral("<none>");
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Exec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
        << (message ? message : "") << "\n"
        << sql;
}

// Three servers over the last 8 days. web: every hour 720 held probes at 1..4 ms. db: the same,
// but 360 of the hour three hours ago refused; an outage then (30 minutes, alert, one SMS) and
// one going on for the last 10 minutes (unreachable); its 20 latest probes end in a refused
// and an unreachable one. idle: never probed.
void WriteSmallHistory(const std::string& path) {
    auto opened = HistoryDatabase::OpenForWriting(path);
    ASSERT_TRUE(opened.db) << opened.problem;
    sqlite3* db = opened.db->Handle();
    Exec(db, "INSERT INTO server(id, name, address, port) VALUES(1, 'web', '127.0.0.1', 80), "
             "(2, 'db', '127.0.0.1', 5432), (3, 'idle', '127.0.0.1', 22)");
    std::ostringstream sql;
    sql << "INSERT INTO period(server, length, start, held, refused, connect_n, connect_sum_us, "
           "connect_min_us, connect_max_us) VALUES ";
    for (int h = 1; h <= 8 * 24; ++h)
        for (int server : {1, 2}) {
            const bool bad = server == 2 && h == 3;
            const int held = bad ? 360 : 720;
            sql << (h == 1 && server == 1 ? "" : ",") << "(" << server << "," << kHour << ","
                << kNow - h * kHour << "," << held << "," << (bad ? 360 : 0) << "," << held << ","
                << held * 2000 << ",1000," << (bad ? 9000 : 4000) << ")";
        }
    Exec(db, sql.str());
    Exec(db, "INSERT INTO outage(server, start, declared, end, end_reason, cause, last_result, "
             "failures, alert, sms_sent, sms_failed) VALUES(2, " +
                 std::to_string(kNow - 3 * kHour) + ", " +
                 std::to_string(kNow - 3 * kHour + 10000) + ", " +
                 std::to_string(kNow - 3 * kHour + 30 * kMinute) +
                 ", 1, 1, 1, 360, 1, 1, 0), (2, " + std::to_string(kNow - 10 * kMinute) + ", " +
                 std::to_string(kNow - 10 * kMinute + 10000) + ", NULL, 0, 2, 2, 120, 0, 0, 0)");
    std::ostringstream probes;
    probes << "INSERT INTO probe(server, t, result, connect_us) VALUES ";
    for (int k = 1; k <= 20; ++k) {
        const int result = k == 1 ? 2 : k == 2 ? 1 : 0;
        probes << (k == 1 ? "" : ",") << "(2," << kNow - k * 5000 << "," << result << ","
               << (result == 0 ? std::to_string(2000 + k) : "NULL") << ")";
    }
    for (int k = 1; k <= 10; ++k)
        probes << ",(1," << kNow - k * 5000 << ",0,1500)";
    Exec(db, probes.str());
}

// One probe's end, written as the monitor's writer thread writes it, on a connection of its own.
void AddProbe(const std::string& path, const std::string& name, const std::string& address,
              std::int32_t port, int result, std::int64_t connectMicros) {
    auto writer = HistoryDatabase::OpenForWriting(path);
    ASSERT_TRUE(writer.db) << writer.problem;
    HistoryStore store(*writer.db);
    HistoryRecord probe;
    probe.name = name;
    probe.address = address;
    probe.port = port;
    probe.time = kNow - 1000;
    probe.result = result;
    probe.connectMicros = connectMicros;
    store.Apply({probe});
}

class HistoryWindowTest : public ::testing::Test {
protected:
    HistoryWindow& Open(const std::string& path) {
        window_ =
            std::make_unique<HistoryWindow>(QString::fromStdString(path), [] { return kNow; });
        return *window_;
    }

    TempDir dir_;
    std::unique_ptr<HistoryWindow> window_;
};

TEST_F(HistoryWindowTest, TableListsEveryServerLowestUptimeFirstWithItsWindowsAndOutages) {
    WriteSmallHistory(dir_.file("history.db"));
    HistoryWindow& window = Open(dir_.file("history.db"));
    const UptimeTable* table = window.Servers();
    ASSERT_EQ(table->rowCount(), 3);
    // db: 24 h (17280 - 360) / 17280, 7 days (120960 - 360) / 120960, 30 days: the 8 days there
    // are, (138240 - 360) / 138240.
    EXPECT_EQ(Cell(table, 0, UptimeTable::kName), QStringLiteral("db"));
    EXPECT_EQ(Cell(table, 0, UptimeTable::kAddress), QStringLiteral("127.0.0.1:5432"));
    EXPECT_EQ(Cell(table, 0, UptimeTable::kDay), QStringLiteral("97.92%"));
    EXPECT_EQ(Cell(table, 0, UptimeTable::kWeek), QStringLiteral("99.70%"));
    EXPECT_EQ(Cell(table, 0, UptimeTable::kMonth), QStringLiteral("99.74%"));
    EXPECT_EQ(Cell(table, 0, UptimeTable::kOutages), QStringLiteral("2"));
    EXPECT_EQ(Cell(table, 1, UptimeTable::kName), QStringLiteral("web"));
    EXPECT_EQ(Cell(table, 1, UptimeTable::kDay), QStringLiteral("100.00%"));
    EXPECT_EQ(Cell(table, 1, UptimeTable::kConnect), QStringLiteral("2.00"));
    EXPECT_EQ(Cell(table, 1, UptimeTable::kOutages), QStringLiteral("0"));
    // Never probed: no uptime, and last whichever way the column is sorted first.
    EXPECT_EQ(Cell(table, 2, UptimeTable::kName), QStringLiteral("idle"));
    EXPECT_EQ(Cell(table, 2, UptimeTable::kDay), QStringLiteral("-"));
    EXPECT_TRUE(window.StatusText().contains(QStringLiteral(u"3 台服务器")))
        << window.StatusText().toStdString();
}

TEST_F(HistoryWindowTest, ChosenServerShowsItsOutagesNewestFirstAndItsLatestProbes) {
    WriteSmallHistory(dir_.file("history.db"));
    HistoryWindow& window = Open(dir_.file("history.db"));
    // The first row (the lowest uptime) is chosen from the start.
    ASSERT_EQ(window.Servers()->Chosen(), 2);
    const OutageTable* outages = window.Outages();
    ASSERT_EQ(outages->rowCount(), 2);
    const QString open[] = {QStringLiteral("-"),
                            QStringLiteral("10m00s"),
                            QString::fromStdString(U8(u8"无法连接或超时")),
                            QStringLiteral("120"),
                            QString::fromStdString(U8(u8"持续中")),
                            QStringLiteral(u"否"),
                            QStringLiteral("-")};
    for (int column = OutageTable::kEnd; column < OutageTable::kColumns; ++column)
        EXPECT_EQ(Cell(outages, 0, column), open[column - 1]) << "column " << column;
    EXPECT_EQ(Cell(outages, 1, OutageTable::kStart),
              QString::fromStdString(report_text::LocalTime(kNow - 3 * kHour)));
    EXPECT_EQ(Cell(outages, 1, OutageTable::kDuration), QStringLiteral("30m00s"));
    EXPECT_EQ(Cell(outages, 1, OutageTable::kCause), QStringLiteral(u"拒绝连接"));
    EXPECT_EQ(Cell(outages, 1, OutageTable::kEnded), QStringLiteral(u"恢复"));
    EXPECT_EQ(Cell(outages, 1, OutageTable::kAlert), QStringLiteral(u"是"));
    EXPECT_EQ(Cell(outages, 1, OutageTable::kSms), QStringLiteral(u"已发送1，失败0"));

    // The strip: oldest on the left, the newest (unreachable) last, the refused one before it.
    ProbeStrip* strip = window.Strip();
    ASSERT_EQ(strip->Probes().size(), 20u);
    strip->resize(300, 22);
    const QImage image = strip->grab().toImage();
    const int step = ProbeStrip::kCellWidth + ProbeStrip::kGap;
    const auto colorAt = [&](int cell) { return QColor(image.pixel(cell * step + 2, 10)); };
    EXPECT_EQ(colorAt(0), ProbeStrip::ColorOf(0));
    EXPECT_EQ(colorAt(18), ProbeStrip::ColorOf(1));
    EXPECT_EQ(colorAt(19), ProbeStrip::ColorOf(2));
    EXPECT_EQ(QColor(image.pixel(20 * step + 2, 10)), strip->palette().color(QPalette::Window));
    ASSERT_NE(strip->ProbeAt(19 * step + 1), nullptr);
    EXPECT_EQ(strip->ProbeAt(19 * step + 1)->t, kNow - 5000);
    EXPECT_EQ(strip->ProbeAt(19 * step + ProbeStrip::kCellWidth), nullptr);

    // The chart has the week's hours (and the one that began before it).
    EXPECT_EQ(window.Chart()->Hours().size(), 7u * 24 + 1);

    // Choosing another server shows its own.
    window.Servers()->selectRow(1);
    EXPECT_EQ(window.Servers()->Chosen(), 1);
    EXPECT_EQ(window.Outages()->rowCount(), 0);
    EXPECT_EQ(window.Strip()->Probes().size(), 10u);
}

TEST_F(HistoryWindowTest, ChartDrawsTheAverageLineAndScalesToRoundValues) {
    const std::pair<double, double> tops[] = {{0, 1},   {0.3, 0.5},  {1, 1},  {1.2, 2},
                                              {2, 2},   {2.01, 5},   {7, 10}, {9.5, 10},
                                              {12, 20}, {4000, 5000}};
    for (const auto& [largest, top] : tops)
        EXPECT_DOUBLE_EQ(ConnectTimeChart::ScaleTop(largest), top) << largest;

    WriteSmallHistory(dir_.file("history.db"));
    HistoryWindow& window = Open(dir_.file("history.db"));
    ConnectTimeChart* chart = window.Chart();
    chart->resize(700, 200);
    const auto lineColored = [](const QImage& image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c(image.pixel(x, y));
                count += c.blue() > 140 && c.red() < 80 && c.green() < 120;
            }
        return count;
    };
    EXPECT_GT(lineColored(chart->grab().toImage()), 300);
    // Without hours there is no line.
    chart->SetHours({}, kNow - 7 * 24 * kHour, kNow);
    EXPECT_EQ(lineColored(chart->grab().toImage()), 0);
    // An hour alone, the one going on at the chart's right edge, is a dot inside the chart.
    HistoryQuery::Hour going;
    going.start = kNow;
    going.probes = {10, 10};
    going.connectAvg = 2000;
    going.connectMin = 1000;
    going.connectMax = 3000;
    chart->SetHours({going}, kNow + 20 * kMinute - 7 * 24 * kHour, kNow + 20 * kMinute);
    EXPECT_GT(lineColored(chart->grab().toImage()), 5);
}

TEST_F(HistoryWindowTest, ExportsOutagesAndTheChosenServersProbesAsCsv) {
    WriteSmallHistory(dir_.file("history.db"));
    HistoryWindow& window = Open(dir_.file("history.db"));
    QString error;
    ASSERT_TRUE(window.ExportOutages(QString::fromStdString(dir_.file("o.csv")), error))
        << error.toStdString();
    using report_text::IsoUtc;
    EXPECT_EQ(ReadFile(dir_.file("o.csv")),
              "start,end,duration_seconds,server,address,port,cause,end_reason,failures,alert,"
              "sms_sent,sms_failed\r\n" +
                  IsoUtc(kNow - 3 * kHour) + "," + IsoUtc(kNow - 3 * kHour + 30 * kMinute) +
                  ",1800,db,127.0.0.1,5432,refused,answered,360,1,1,0\r\n" +
                  IsoUtc(kNow - 10 * kMinute) +
                  ",,600,db,127.0.0.1,5432,unreachable,open,120,0,0,0\r\n");

    ASSERT_TRUE(window.ExportProbes(QString::fromStdString(dir_.file("p.csv")), error))
        << error.toStdString();
    const std::string probes = ReadFile(dir_.file("p.csv"));
    EXPECT_EQ(std::count(probes.begin(), probes.end(), '\n'), 21);
    EXPECT_EQ(probes.rfind("time,server,address,port,result,connect_ms\r\n" +
                               IsoUtc(kNow - 100000) + ",db,127.0.0.1,5432,held,2.020\r\n",
                           0),
              0u);
    EXPECT_NE(probes.find(IsoUtc(kNow - 5000) + ",db,127.0.0.1,5432,unreachable,\r\n"),
              std::string::npos);

    // A folder that cannot be written to: an error, no file.
    EXPECT_FALSE(window.ExportProbes(QString::fromStdString(dir_.file("missing/p.csv")), error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing/p.csv"))) << error.toStdString();
}

TEST_F(HistoryWindowTest, ReadsTheFileWhileTheMonitorWritesIt) {
    WriteSmallHistory(dir_.file("history.db"));
    HistoryWindow& window = Open(dir_.file("history.db"));
    ASSERT_EQ(window.Servers()->rowCount(), 3);
    window.Servers()->selectRow(1);
    const std::int64_t chosen = window.Servers()->Chosen();

    AddProbe(dir_.file("history.db"), "new", "127.0.0.2", 7, 0, 800);

    window.Refresh();
    ASSERT_EQ(window.Servers()->rowCount(), 4);
    EXPECT_EQ(window.Servers()->Chosen(), chosen);
    bool found = false;
    for (int row = 0; row < 4; ++row)
        if (Cell(window.Servers(), row, UptimeTable::kName) == QStringLiteral("new")) {
            found = true;
            EXPECT_EQ(Cell(window.Servers(), row, UptimeTable::kDay), QStringLiteral("100.00%"));
        }
    EXPECT_TRUE(found);
}

TEST_F(HistoryWindowTest, LooksAgainByItselfAndShowsTheChosenServersNewProbes) {
    WriteSmallHistory(dir_.file("history.db"));
    HistoryWindow& window = Open(dir_.file("history.db"));
    ASSERT_EQ(window.Strip()->Probes().size(), 20u);

    AddProbe(dir_.file("history.db"), "db", "127.0.0.1", 5432, 3, -1);

    // The next look comes within HistoryWindow::kRefreshMs; the safety time-out is generous.
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Strip()->Probes().size() == 21u; }, 30000));
    EXPECT_EQ(window.Strip()->Probes().front().result, 3);
}

TEST_F(HistoryWindowTest, MissingOrDamagedFileIsSaidAndLeftAsItIs) {
    HistoryWindow& missing = Open(dir_.file("history.db"));
    EXPECT_EQ(missing.Servers()->rowCount(), 0);
    EXPECT_TRUE(missing.StatusText().contains(QStringLiteral(u"还没有历史记录文件")))
        << missing.StatusText().toStdString();
    EXPECT_EQ(dir_.listing(), "");
    // The monitor starts and writes it: the next look finds it.
    WriteSmallHistory(dir_.file("history.db"));
    missing.Refresh();
    EXPECT_EQ(missing.Servers()->rowCount(), 3);

    const std::string junk(4096, 'x');
    const std::string path = dir_.write("junk.db", junk);
    HistoryWindow& damaged = Open(path);
    EXPECT_EQ(damaged.Servers()->rowCount(), 0);
    EXPECT_TRUE(damaged.StatusText().contains(QStringLiteral(u"无法读取历史记录文件")))
        << damaged.StatusText().toStdString();
    QString error;
    EXPECT_FALSE(damaged.ExportOutages(QString::fromStdString(dir_.file("o.csv")), error));
    // A reader never moves a file aside or mends it.
    EXPECT_EQ(ReadFile(path), junk);
}

TEST_F(HistoryWindowTest, OpensAYearOfTwoHundredFiftyFiveServers) {
    HistoryYear{255, 3, kNow}.Write(dir_.file("history.db"));
    HistoryWindow& window = Open(dir_.file("history.db"));
    window.resize(1100, 820);
    window.show();
    ASSERT_EQ(window.Servers()->rowCount(), 255);
    // Every fifth server refused 60 of its 720 probes an hour: those come first.
    EXPECT_EQ(Cell(window.Servers(), 0, UptimeTable::kDay), QStringLiteral("91.67%"));
    EXPECT_EQ(Cell(window.Servers(), 50, UptimeTable::kDay), QStringLiteral("91.67%"));
    EXPECT_EQ(Cell(window.Servers(), 51, UptimeTable::kDay), QStringLiteral("100.00%"));
    EXPECT_GT(window.Outages()->rowCount(), 100);
    EXPECT_EQ(window.Strip()->Probes().size(), static_cast<size_t>(HistoryWindow::kStripProbes));
    if (const QByteArray shots = qgetenv("SM_SCREENSHOT_DIR"); !shots.isEmpty()) {
        window.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/viewer-year.png"));
        WriteSmallHistory(dir_.file("small.db"));
        HistoryWindow& small = Open(dir_.file("small.db"));
        small.resize(1100, 820);
        small.show();
        small.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/viewer-outage.png"));
    }
}

} // namespace
