#pragma once

#include <QStyledItemDelegate>
#include <QTreeWidget>

class TListView;

// Underlines the cells of the view's hot row.
class THotTrackDelegate : public QStyledItemDelegate {
public:
    explicit THotTrackDelegate(TListView* view);
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    TListView* view_;
};

// A list in report view with hot tracking: over a row the pointer becomes a hand and the row is
// underlined. Rows are whole-row selected, never edited in place and never sorted.
class TListView : public QTreeWidget {
    Q_OBJECT

public:
    explicit TListView(QWidget* parent = nullptr);

    // The row under the pointer, or -1.
    int HotRow() const { return hotRow_; }

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void SetHotRow(int row);

    int hotRow_ = -1;
};
