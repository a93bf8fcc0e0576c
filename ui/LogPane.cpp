#include "ui/LogPane.h"

#include "platform/ErrorReport.h"
#include "platform/qt/QtText.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextLayout>

LogPane::LogPane(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    // Selecting and copying stay possible; the caret keys move through the text.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // A permanent scroll bar keeps the wrap width, and so the row count, from shifting.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUndoRedoEnabled(false);
    connect(this, &QPlainTextEdit::textChanged, this,
            [this] { RunGuarded([this] { Memo1Change(); }); });
}

void LogPane::AppendLine(const std::string& lineGbk) {
    appendPlainText(GbkToQString(lineGbk));
}

int LogPane::DisplayRowCount() const {
    const QTextDocument* doc = document();
    if (doc->isEmpty())
        return 0;
    QAbstractTextDocumentLayout* layout = doc->documentLayout();
    int rows = 0;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        // Asking for the block's extent lays it out at the pane's current width.
        layout->blockBoundingRect(block);
        rows += qMax(1, block.layout()->lineCount());
    }
    return rows;
}

void LogPane::Memo1Change() {
    if (DisplayRowCount() > kMaxRows)
        clear();
}
