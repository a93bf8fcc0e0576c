#include "ui/TListView.h"

#include <QHeaderView>
#include <QMouseEvent>

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
    return QTreeWidget::viewportEvent(event);
}
