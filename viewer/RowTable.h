#pragma once

#include <QStringList>
#include <QTableWidget>

// A table the viewer fills and the user only reads: whole rows are chosen, nothing is edited,
// no row numbers.
class RowTable : public QTableWidget {
public:
    RowTable(const QString& objectName, const QStringList& headings, QWidget* parent);
};
