#include "viewer/OutageTable.h"

#include "report/ReportText.h"

#include <QHeaderView>

using namespace report_text;

namespace {

QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QString SmsText(const HistoryQuery::OutageRow& o) {
    if (o.smsSent == 0 && o.smsFailed == 0)
        return QStringLiteral("-");
    return QStringLiteral(u"已发送%1，失败%2").arg(o.smsSent).arg(o.smsFailed);
}

} // namespace

OutageTable::OutageTable(QWidget* parent)
    : RowTable(QStringLiteral("OutageTable"),
               {QStringLiteral(u"开始"), QStringLiteral(u"结束"), QStringLiteral(u"时长"),
                QStringLiteral(u"原因"), QStringLiteral(u"失败次数"), QStringLiteral(u"结束方式"),
                QStringLiteral(u"告警"), QStringLiteral(u"短信")},
               parent) {
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    horizontalHeader()->setStretchLastSection(true);
}

void OutageTable::Show(const std::vector<HistoryQuery::OutageRow>& outages, std::int64_t now) {
    setRowCount(static_cast<int>(outages.size()));
    int row = 0;
    for (const auto& o : outages) {
        const QStringList cells{Q(LocalTime(o.start)),
                                o.end ? Q(LocalTime(*o.end)) : QStringLiteral("-"),
                                Q(Duration(o.end.value_or(now) - o.start)),
                                Q(ResultText(o.cause)),
                                QString::number(o.failures),
                                Q(EndText(o.endReason)),
                                o.alert ? QStringLiteral(u"是") : QStringLiteral(u"否"),
                                SmsText(o)};
        for (int column = 0; column < kColumns; ++column)
            setItem(row, column, new QTableWidgetItem(cells[column]));
        ++row;
    }
}
