#pragma once

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <memory>

class ConnectTimeChart;
class HistoryDatabase;
class HistoryQuery;
class OutageTable;
class ProbeStrip;
class QLabel;
class QPushButton;
class QTimer;
class UptimeTable;

// The history viewer: every server's uptime in one table, and for the chosen one its uptime,
// its latest probes, a chart of its connect times over the last 7 days and its outages. Reads
// the history file (never writes it) while the monitor may be writing it, and looks again every
// few seconds: the chosen server every 5 s, the whole table (255 servers over 30 days take a
// noticeable moment) every 30 s. A file that is missing, damaged or locked is said in the status
// line and tried again at the next look.
class HistoryWindow : public QMainWindow {
public:
    static constexpr int kRefreshMs = 5000;
    // Every how many looks the whole table is read again.
    static constexpr int kTableEvery = 6;
    static constexpr int kStripProbes = 400;
    static constexpr int kOutageRows = 500;

    // `now` gives the time in milliseconds since 1970 UTC; empty: the system clock.
    explicit HistoryWindow(QString path, std::function<std::int64_t()> now = {},
                           QWidget* parent = nullptr);
    ~HistoryWindow() override;

    // Reads the file again: the table, and the chosen server (the first row when none is).
    void Refresh();
    void ShowServer(std::int64_t serverId);
    // Writes every outage, or the chosen server's probes, to `file` as CSV; false with `error`
    // set when nothing is chosen or the file cannot be written.
    bool ExportOutages(const QString& file, QString& error);
    bool ExportProbes(const QString& file, QString& error);

    UptimeTable* Servers() const { return servers_; }
    OutageTable* Outages() const { return outages_; }
    ProbeStrip* Strip() const { return strip_; }
    ConnectTimeChart* Chart() const { return chart_; }
    QString StatusText() const;

private:
    QWidget* CreateDetails();
    void CreateButtons(QWidget* bar);
    // The open file's queries; null (with the status line saying why) when it cannot be read.
    HistoryQuery* Query();
    void Drop(const QString& why);
    void ChooseAndExport(bool outages);

    QString path_;
    std::function<std::int64_t()> now_;
    std::unique_ptr<HistoryDatabase> db_;
    std::unique_ptr<HistoryQuery> query_;
    std::int64_t shown_ = 0;
    int looks_ = 0;
    UptimeTable* servers_ = nullptr;
    QLabel* heading_ = nullptr;
    QLabel* uptimeLine_ = nullptr;
    ProbeStrip* strip_ = nullptr;
    ConnectTimeChart* chart_ = nullptr;
    OutageTable* outages_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* timer_ = nullptr;
};
