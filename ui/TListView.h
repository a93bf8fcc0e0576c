#pragma once

#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <functional>
#include <string>

class QHelpEvent;
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
    using TInfoTipEvent = std::function<void(int row, std::string& infoTipGbk)>;

    explicit TListView(QWidget* parent = nullptr);

    // Asked, each time the pointer rests over a row, for that row's tooltip; the handler runs
    // guarded, and an empty text shows none. Unset: the rows' own tooltips, if any.
    TInfoTipEvent OnInfoTip;

    // The row under the pointer, or -1.
    int HotRow() const { return hotRow_; }

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void SetHotRow(int row);
    void ShowInfoTip(QHelpEvent* event);

    int hotRow_ = -1;
};
