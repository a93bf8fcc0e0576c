#include "viewer/RowTable.h"

#include <QHeaderView>

RowTable::RowTable(const QString& objectName, const QStringList& headings, QWidget* parent)
    : QTableWidget(0, static_cast<int>(headings.size()), parent) {
    setObjectName(objectName);
    setHorizontalHeaderLabels(headings);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->setVisible(false);
}
