#include "viewer/HistoryWindow.h"

#include "history/HistoryDatabase.h"
#include "history/HistoryQuery.h"
#include "history/HistoryStore.h"
#include "history/SqliteError.h"
#include "report/HistoryCsv.h"
#include "viewer/ConnectTimeChart.h"
#include "viewer/OutageTable.h"
#include "viewer/ProbeStrip.h"
#include "viewer/UptimeTable.h"

#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <sstream>

namespace {

std::int64_t SystemNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

QString Percent(const HistoryQuery::Count& count) {
    const auto percent = count.Percent();
    return percent ? QStringLiteral("%1%").arg(*percent, 0, 'f', 2) : QStringLiteral("-");
}

QLabel* Caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

bool WriteFile(const QString& file, const std::string& text, QString& error) {
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !out.commit()) {
        error = QStringLiteral(u"无法写入 %1：%2").arg(file, out.errorString());
        return false;
    }
    return true;
}

} // namespace

HistoryWindow::HistoryWindow(QString path, std::function<std::int64_t()> now, QWidget* parent)
    : QMainWindow(parent), path_(std::move(path)), now_(now ? std::move(now) : SystemNow) {
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QStringLiteral(u"服务器历史记录"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* bar = new QWidget(central);
    CreateButtons(bar);
    layout->addWidget(bar);
    auto* splitter = new QSplitter(Qt::Vertical, central);
    servers_ = new UptimeTable(splitter);
    splitter->addWidget(servers_);
    splitter->addWidget(CreateDetails());
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    layout->addWidget(splitter);
    setCentralWidget(central);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("StatusText"));
    statusBar()->addWidget(status_, 1);
    resize(980, 760);

    connect(servers_, &UptimeTable::ServerChosen, this, [this](qint64 id) { ShowServer(id); });
    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (++looks_ % kTableEvery == 0 || !query_ || !shown_)
            Refresh();
        else
            ShowServer(shown_);
    });
    timer_->start();
    Refresh();
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::CreateButtons(QWidget* bar) {
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    auto* refresh = new QPushButton(QStringLiteral(u"刷新"), bar);
    refresh->setObjectName(QStringLiteral("RefreshButton"));
    auto* outages = new QPushButton(QStringLiteral(u"导出故障记录…"), bar);
    outages->setObjectName(QStringLiteral("ExportOutagesButton"));
    auto* probes = new QPushButton(QStringLiteral(u"导出检测记录…"), bar);
    probes->setObjectName(QStringLiteral("ExportProbesButton"));
    row->addWidget(refresh);
    row->addStretch(1);
    row->addWidget(outages);
    row->addWidget(probes);
    connect(refresh, &QPushButton::clicked, this, &HistoryWindow::Refresh);
    connect(outages, &QPushButton::clicked, this, [this] { ChooseAndExport(true); });
    connect(probes, &QPushButton::clicked, this, [this] { ChooseAndExport(false); });
}

QWidget* HistoryWindow::CreateDetails() {
    auto* details = new QWidget(this);
    auto* layout = new QVBoxLayout(details);
    layout->setContentsMargins(0, 0, 0, 0);
    heading_ = Caption(QString(), details);
    heading_->setObjectName(QStringLiteral("ServerHeading"));
    uptimeLine_ = new QLabel(details);
    uptimeLine_->setObjectName(QStringLiteral("UptimeLine"));
    strip_ = new ProbeStrip(details);
    strip_->setObjectName(QStringLiteral("ProbeStrip"));
    chart_ = new ConnectTimeChart(details);
    chart_->setObjectName(QStringLiteral("ConnectTimeChart"));
    outages_ = new OutageTable(details);
    layout->addWidget(heading_);
    layout->addWidget(uptimeLine_);
    layout->addWidget(Caption(QStringLiteral(u"最近的检测（右边最新）"), details));
    layout->addWidget(strip_);
    layout->addWidget(
        Caption(QStringLiteral(u"连接时间（最近7天，每小时平均、最短到最长）"), details));
    layout->addWidget(chart_, 2);
    layout->addWidget(Caption(QStringLiteral(u"故障记录"), details));
    layout->addWidget(outages_, 2);
    return details;
}

QString HistoryWindow::StatusText() const {
    return status_->text();
}

HistoryQuery* HistoryWindow::Query() {
    if (query_)
        return query_.get();
    HistoryDatabase::Opened opened = HistoryDatabase::OpenForReading(path_.toStdString());
    if (!opened.db) {
        Drop(opened.fault == HistoryDatabase::Fault::Missing
                 ? QStringLiteral(u"还没有历史记录文件 %1（监视程序运行时会建立它）").arg(path_)
                 : QStringLiteral(u"无法读取历史记录文件 %1：%2")
                       .arg(path_, QString::fromStdString(opened.problem)));
        return nullptr;
    }
    db_ = std::move(opened.db);
    query_ = std::make_unique<HistoryQuery>(*db_);
    return query_.get();
}

void HistoryWindow::Drop(const QString& why) {
    query_.reset();
    db_.reset();
    status_->setText(why);
}

void HistoryWindow::Refresh() {
    HistoryQuery* query = Query();
    if (!query)
        return;
    try {
        const std::int64_t now = now_();
        servers_->Show(query->Uptimes(now), query->OutageCounts(now - 30 * HistoryStore::kDayMs));
        status_->setText(
            QStringLiteral(u"%1  ·  %2 台服务器  ·  更新于 %3")
                .arg(path_)
                .arg(servers_->rowCount())
                .arg(QDateTime::fromMSecsSinceEpoch(now).toString(QStringLiteral("HH:mm:ss"))));
    } catch (const SqliteError& error) {
        Drop(QStringLiteral(u"无法读取历史记录文件 %1：%2")
                 .arg(path_, QString::fromUtf8(error.what())));
        return;
    }
    if (!servers_->Chosen() && servers_->rowCount() > 0)
        servers_->selectRow(0);
    else if (const std::int64_t chosen = servers_->Chosen())
        ShowServer(chosen);
}

void HistoryWindow::ShowServer(std::int64_t serverId) {
    HistoryQuery* query = Query();
    const HistoryQuery::Uptime* uptime = servers_->UptimeOf(serverId);
    if (!query || !uptime)
        return;
    try {
        const std::int64_t now = now_();
        const std::int64_t weekAgo = now - 7 * HistoryStore::kDayMs;
        strip_->SetProbes(query->LatestProbes(serverId, kStripProbes));
        chart_->SetHours(query->Hours(serverId, weekAgo - HistoryStore::kHourMs), weekAgo, now);
        outages_->Show(query->ServerOutages(serverId, kOutageRows), now);
    } catch (const SqliteError& error) {
        Drop(QStringLiteral(u"无法读取历史记录文件 %1：%2")
                 .arg(path_, QString::fromUtf8(error.what())));
        return;
    }
    shown_ = serverId;
    heading_->setText(QString::fromStdString(uptime->server.name) + QStringLiteral("    ") +
                      QString::fromStdString(uptime->server.address) + QStringLiteral(":") +
                      QString::number(uptime->server.port));
    uptimeLine_->setText(
        QStringLiteral(u"正常率：24小时 %1    7天 %2    30天 %3")
            .arg(Percent(uptime->day), Percent(uptime->week), Percent(uptime->month)));
}

bool HistoryWindow::ExportOutages(const QString& file, QString& error) {
    HistoryQuery* query = Query();
    if (!query) {
        error = StatusText();
        return false;
    }
    std::ostringstream text;
    try {
        history_csv::WriteOutages(query->Outages(0), now_(), text);
    } catch (const SqliteError& e) {
        error = QString::fromUtf8(e.what());
        return false;
    }
    return WriteFile(file, text.str(), error);
}

bool HistoryWindow::ExportProbes(const QString& file, QString& error) {
    HistoryQuery* query = Query();
    const HistoryQuery::Uptime* uptime = servers_->UptimeOf(shown_);
    if (!query || !uptime) {
        error = query ? QStringLiteral(u"请先选择一台服务器") : StatusText();
        return false;
    }
    std::ostringstream text;
    try {
        history_csv::WriteProbes(uptime->server, query->Probes(shown_, 0), text);
    } catch (const SqliteError& e) {
        error = QString::fromUtf8(e.what());
        return false;
    }
    return WriteFile(file, text.str(), error);
}

void HistoryWindow::ChooseAndExport(bool outages) {
    const QString file = QFileDialog::getSaveFileName(
        this, outages ? QStringLiteral(u"导出故障记录") : QStringLiteral(u"导出检测记录"),
        outages ? QStringLiteral("outages.csv") : QStringLiteral("probes.csv"),
        QStringLiteral(u"CSV 文件 (*.csv)"));
    if (file.isEmpty())
        return;
    QString error;
    if (!(outages ? ExportOutages(file, error) : ExportProbes(file, error)))
        QMessageBox::warning(this, QStringLiteral(u"服务器历史记录"), error);
}
