#pragma once

#include "history/HistoryQuery.h"

#include <QColor>
#include <QWidget>
#include <vector>

// The latest probes of one server as a row of coloured cells, oldest on the left: green held,
// red refused, orange unreachable or timed out, purple dropped during the hold. As many of the
// latest as fit the width are drawn; a cell's tooltip gives its time, result and connect time.
class ProbeStrip : public QWidget {
public:
    static constexpr int kCellWidth = 6;
    static constexpr int kGap = 1;

    explicit ProbeStrip(QWidget* parent = nullptr);

    // `probes` newest first, as HistoryQuery::LatestProbes gives them.
    void SetProbes(std::vector<HistoryQuery::Probe> probes);
    const std::vector<HistoryQuery::Probe>& Probes() const { return probes_; }

    static QColor ColorOf(int result);
    // The probe drawn at x, or nullptr.
    const HistoryQuery::Probe* ProbeAt(int x) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    int Shown() const;

    std::vector<HistoryQuery::Probe> probes_;
};
