#include "viewer/ConnectTimeChart.h"

#include "viewer/ProbeStrip.h"

#include <QDateTime>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kLeft = 64;
constexpr int kRight = 10;
constexpr int kTop = 10;
constexpr int kBottom = 22;
constexpr std::int64_t kHourMs = 3'600'000;

} // namespace

ConnectTimeChart::ConnectTimeChart(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(140);
}

void ConnectTimeChart::SetHours(std::vector<HistoryQuery::Hour> hours, std::int64_t from,
                                std::int64_t to) {
    hours_ = std::move(hours);
    from_ = from;
    to_ = std::max(to, from + 1);
    update();
}

double ConnectTimeChart::ScaleTop(double ms) {
    if (!(ms > 0))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(ms)));
    for (double step : {1.0, 2.0, 5.0, 10.0})
        if (step * power >= ms * (1 - 1e-12))
            return step * power;
    return 10 * power;
}

void ConnectTimeChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const QRect plot(kLeft, kTop, std::max(1, width() - kLeft - kRight),
                     std::max(1, height() - kTop - kBottom));
    const QColor text = palette().color(QPalette::Text);

    double largest = 0;
    for (const auto& h : hours_)
        if (h.connectMax)
            largest = std::max(largest, static_cast<double>(*h.connectMax) / 1000.0);
    const double top = ScaleTop(largest);
    const auto x = [&](std::int64_t t) {
        return plot.left() +
               static_cast<double>(t - from_) * plot.width() / static_cast<double>(to_ - from_);
    };
    const auto y = [&](double micros) {
        return plot.bottom() - std::min(micros / 1000.0 / top, 1.0) * plot.height();
    };

    // Scale: three lines with their values, and a mark at every local midnight.
    painter.setPen(QColor(0xd8, 0xd8, 0xd8));
    for (int i = 0; i <= 2; ++i) {
        const int lineY = plot.bottom() - i * plot.height() / 2;
        painter.drawLine(plot.left(), lineY, plot.right(), lineY);
        painter.save();
        painter.setPen(text);
        painter.drawText(QRect(0, lineY - 8, kLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral(u"%1 毫秒").arg(top * i / 2, 0, 'g', 3));
        painter.restore();
    }
    QDateTime day = QDateTime::fromMSecsSinceEpoch(from_).date().startOfDay();
    for (day = day.addDays(1); day.toMSecsSinceEpoch() < to_; day = day.addDays(1)) {
        const int dayX = static_cast<int>(x(day.toMSecsSinceEpoch()));
        painter.setPen(QColor(0xd8, 0xd8, 0xd8));
        painter.drawLine(dayX, plot.top(), dayX, plot.bottom());
        painter.setPen(text);
        painter.drawText(QRect(dayX - 30, plot.bottom() + 3, 60, kBottom - 3), Qt::AlignHCenter,
                         day.toString(QStringLiteral("MM-dd")));
    }

    if (hours_.empty()) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(plot, Qt::AlignCenter, QStringLiteral(u"没有连接时间记录"));
        return;
    }

    // The hour that began before the chart's start is drawn only as far as the chart goes.
    painter.setClipRect(plot);
    painter.setRenderHint(QPainter::Antialiasing);
    const double hourWidth = std::max(1.0, x(from_ + kHourMs) - x(from_));
    // Runs of hours next to each other become lines; an hour alone becomes a dot.
    std::vector<std::vector<QPointF>> runs;
    std::int64_t previous = 0;
    for (const auto& h : hours_) {
        if (!h.connectAvg) {
            previous = 0;
            if (h.probes.total > 0)
                painter.fillRect(QRectF(x(h.start), plot.bottom() - 4, hourWidth, 4),
                                 ProbeStrip::ColorOf(1));
            continue;
        }
        painter.fillRect(QRectF(x(h.start), y(static_cast<double>(h.connectMax.value_or(0))),
                                hourWidth,
                                y(static_cast<double>(h.connectMin.value_or(0))) -
                                    y(static_cast<double>(h.connectMax.value_or(0))) + 1),
                         QColor(0x9c, 0xc3, 0xe6, 150));
        // The middle of the part of the hour the chart shows: the hour going on ends at `to_`.
        const std::int64_t end = std::min(h.start + kHourMs, to_);
        const QPointF point(x(h.start + (end - h.start) / 2), y(*h.connectAvg));
        if (runs.empty() || previous == 0 || h.start - previous > kHourMs)
            runs.emplace_back();
        runs.back().push_back(point);
        previous = h.start;
    }
    const QColor lineColor(0x1f, 0x5f, 0xa8);
    painter.setPen(QPen(lineColor, 1.6));
    for (const auto& run : runs) {
        if (run.size() == 1) {
            painter.setBrush(lineColor);
            painter.drawEllipse(run.front(), 2.5, 2.5);
            painter.setBrush(Qt::NoBrush);
        } else {
            painter.drawPolyline(run.data(), static_cast<int>(run.size()));
        }
    }
    painter.setClipping(false);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(text);
    painter.drawRect(plot.adjusted(0, 0, -1, -1));
}
