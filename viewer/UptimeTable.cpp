#include "viewer/UptimeTable.h"

#include <QHeaderView>

namespace {

constexpr int kKeyRole = Qt::UserRole;
constexpr int kServerRole = Qt::UserRole + 1;

// A cell that sorts by a number of its own rather than by its text.
class NumberItem : public QTableWidgetItem {
public:
    NumberItem(const QString& text, double key) : QTableWidgetItem(text) {
        setData(kKeyRole, key);
        setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    bool operator<(const QTableWidgetItem& other) const override {
        return data(kKeyRole).toDouble() < other.data(kKeyRole).toDouble();
    }
};

// No probes sort after every percentage, whichever way the column is sorted from the start.
constexpr double kNoProbes = 1000;

QTableWidgetItem* PercentItem(const HistoryQuery::Count& count) {
    const auto percent = count.Percent();
    if (!percent)
        return new NumberItem(QStringLiteral("-"), kNoProbes);
    return new NumberItem(QStringLiteral("%1%").arg(*percent, 0, 'f', 2), *percent);
}

} // namespace

UptimeTable::UptimeTable(QWidget* parent)
    : RowTable(QStringLiteral("UptimeTable"),
               {QStringLiteral(u"服务器"), QStringLiteral(u"地址"), QStringLiteral(u"24小时"),
                QStringLiteral(u"7天"), QStringLiteral(u"30天"), QStringLiteral(u"平均连接(毫秒)"),
                QStringLiteral(u"故障(30天)")},
               parent) {
    horizontalHeader()->setSectionResizeMode(kName, QHeaderView::Stretch);
    horizontalHeader()->setSectionResizeMode(kAddress, QHeaderView::ResizeToContents);
    setSortingEnabled(true);
    sortByColumn(kDay, Qt::AscendingOrder);
    connect(this, &QTableWidget::itemSelectionChanged, this, [this] {
        if (const std::int64_t id = Chosen())
            emit ServerChosen(id);
    });
}

void UptimeTable::Show(const std::vector<HistoryQuery::Uptime>& uptimes,
                       const std::map<std::int64_t, std::int64_t>& outages) {
    const std::int64_t chosen = Chosen();
    uptimes_ = uptimes;
    const QSignalBlocker quiet(this);
    setSortingEnabled(false);
    setRowCount(static_cast<int>(uptimes.size()));
    int row = 0;
    for (const auto& u : uptimes) {
        auto* name = new QTableWidgetItem(QString::fromStdString(u.server.name));
        name->setData(kServerRole, static_cast<qlonglong>(u.server.id));
        setItem(row, kName, name);
        setItem(row, kAddress,
                new QTableWidgetItem(QString::fromStdString(u.server.address) +
                                     QStringLiteral(":") + QString::number(u.server.port)));
        setItem(row, kDay, PercentItem(u.day));
        setItem(row, kWeek, PercentItem(u.week));
        setItem(row, kMonth, PercentItem(u.month));
        setItem(row, kConnect,
                u.connectAvg
                    ? new NumberItem(QString::number(*u.connectAvg / 1000.0, 'f', 2), *u.connectAvg)
                    : new NumberItem(QStringLiteral("-"), 1e18));
        const auto found = outages.find(u.server.id);
        const std::int64_t count = found == outages.end() ? 0 : found->second;
        setItem(row, kOutages, new NumberItem(QString::number(count), static_cast<double>(count)));
        ++row;
    }
    setSortingEnabled(true);
    for (row = 0; row < rowCount(); ++row)
        if (ServerAt(row) == chosen)
            selectRow(row);
}

std::int64_t UptimeTable::ServerAt(int row) const {
    const QTableWidgetItem* name = item(row, kName);
    return name ? name->data(kServerRole).toLongLong() : 0;
}

std::int64_t UptimeTable::Chosen() const {
    const auto rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : ServerAt(rows.first().row());
}

const HistoryQuery::Uptime* UptimeTable::UptimeOf(std::int64_t serverId) const {
    for (const auto& u : uptimes_)
        if (u.server.id == serverId)
            return &u;
    return nullptr;
}
