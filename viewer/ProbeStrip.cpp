#include "viewer/ProbeStrip.h"

#include "report/ReportText.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

ProbeStrip::ProbeStrip(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(22);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ProbeStrip::SetProbes(std::vector<HistoryQuery::Probe> probes) {
    probes_ = std::move(probes);
    update();
}

QColor ProbeStrip::ColorOf(int result) {
    switch (result) {
    case 0:
        return QColor(0x2e, 0x9d, 0x4c);
    case 1:
        return QColor(0xd4, 0x3c, 0x3c);
    case 2:
        return QColor(0xe0, 0x8a, 0x1e);
    default:
        return QColor(0x8a, 0x4f, 0xc4);
    }
}

QSize ProbeStrip::sizeHint() const {
    return {240 * (kCellWidth + kGap), 22};
}

int ProbeStrip::Shown() const {
    const int fit = std::max(0, (width() + kGap) / (kCellWidth + kGap));
    return std::min(fit, static_cast<int>(probes_.size()));
}

const HistoryQuery::Probe* ProbeStrip::ProbeAt(int x) const {
    if (x < 0)
        return nullptr;
    const int shown = Shown();
    const int cell = x / (kCellWidth + kGap);
    if (cell >= shown || x % (kCellWidth + kGap) >= kCellWidth)
        return nullptr;
    // Cell 0 is the oldest shown, the newest is probes_[0].
    return &probes_[static_cast<size_t>(shown - 1 - cell)];
}

void ProbeStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int shown = Shown();
    if (shown == 0) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(rect(), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral(u"没有检测记录"));
        return;
    }
    for (int cell = 0; cell < shown; ++cell) {
        const auto& probe = probes_[static_cast<size_t>(shown - 1 - cell)];
        painter.fillRect(cell * (kCellWidth + kGap), 0, kCellWidth, height(),
                         ColorOf(probe.result));
    }
}

bool ProbeStrip::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (const auto* probe = ProbeAt(help->pos().x())) {
            QString text = QString::fromStdString(report_text::LocalTime(probe->t)) +
                           QStringLiteral("  ") +
                           QString::fromStdString(report_text::ResultText(probe->result));
            if (probe->connectMicros)
                text += QStringLiteral(u"  连接 %1 毫秒")
                            .arg(static_cast<double>(*probe->connectMicros) / 1000.0, 0, 'f', 1);
            QToolTip::showText(help->globalPos(), text, this);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}
