#pragma once

#include <QPlainTextEdit>

#include <string>

// The log pane (Memo1): read-only, wrapping at its width, one line appended per event. After
// every change of its text, Memo1Change empties it once it shows more than kMaxRows display
// rows; a line that wraps counts once per row it takes.
class LogPane : public QPlainTextEdit {
    Q_OBJECT

public:
    static constexpr int kMaxRows = 500;

    explicit LogPane(QWidget* parent = nullptr);

    // Appends one line (GBK bytes).
    void AppendLine(const std::string& lineGbk);

    // The rows the pane displays; the empty pane counts none.
    int DisplayRowCount() const;

    void Memo1Change();
};
