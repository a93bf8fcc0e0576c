#include "ui/TListView.h"

#include "platform/ErrorReport.h"
#include "platform/qt/QtText.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>

THotTrackDelegate::THotTrackDelegate(TListView* view) : QStyledItemDelegate(view), view_(view) {}

void THotTrackDelegate::initStyleOption(QStyleOptionViewItem* option,
                                        const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.row() == view_->HotRow())
        option->font.setUnderline(true);
}

TListView::TListView(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setMouseTracking(true);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    setItemDelegate(new THotTrackDelegate(this));
}

void TListView::SetHotRow(int row) {
    if (row == hotRow_)
        return;
    hotRow_ = row;
    if (row >= 0)
        viewport()->setCursor(Qt::PointingHandCursor);
    else
        viewport()->unsetCursor();
    viewport()->update();
}

void TListView::mouseMoveEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    SetHotRow(index.isValid() ? index.row() : -1);
    QTreeWidget::mouseMoveEvent(event);
}

bool TListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave)
        SetHotRow(-1);
    if (event->type() == QEvent::ToolTip && OnInfoTip) {
        ShowInfoTip(static_cast<QHelpEvent*>(event));
        return true;
    }
    return QTreeWidget::viewportEvent(event);
}

void TListView::ShowInfoTip(QHelpEvent* event) {
    const QModelIndex index = indexAt(event->pos());
    std::string tip;
    if (index.isValid())
        RunGuarded([&] { OnInfoTip(index.row(), tip); });
    if (tip.empty()) {
        QToolTip::hideText();
        event->ignore();
        return;
    }
    // Bound to the row: moving onto another row asks again.
    const QRect row = visualRect(index.siblingAtColumn(0))
                          .united(visualRect(index.siblingAtColumn(columnCount() - 1)));
    QToolTip::showText(event->globalPos(), GbkToQString(tip), viewport(), row);
}
