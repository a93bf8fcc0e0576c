#pragma once

#include "history/HistoryQuery.h"

#include <QWidget>
#include <cstdint>
#include <vector>

// One server's connect times per hour, drawn with QPainter: the range from the shortest to the
// longest as a light band, the average as a line (broken where an hour has no held probe; an
// hour alone is a dot), and a red mark under each hour whose probes all failed.
class ConnectTimeChart : public QWidget {
public:
    explicit ConnectTimeChart(QWidget* parent = nullptr);

    // `hours` oldest first; the chart spans [from, to) (milliseconds since 1970 UTC).
    void SetHours(std::vector<HistoryQuery::Hour> hours, std::int64_t from, std::int64_t to);
    const std::vector<HistoryQuery::Hour>& Hours() const { return hours_; }

    // The top of the scale for a largest value of `ms` milliseconds: the next 1, 2 or 5 times a
    // power of ten at or above it (1 for nothing to show).
    static double ScaleTop(double ms);

    QSize sizeHint() const override { return {720, 180}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<HistoryQuery::Hour> hours_;
    std::int64_t from_ = 0;
    std::int64_t to_ = 1;
};
