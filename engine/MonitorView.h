#pragma once

#include <string>

// What the monitoring engine needs of the main window. The window implements it; tests use a
// recording fake. Every call is made on the GUI thread; texts are GBK bytes.
class MonitorView {
public:
    virtual ~MonitorView() = default;

    // ListView1: remove all rows; append a row (caption, status sub-item); replace the status of
    // the row at `index` (out-of-range indexes are ignored).
    virtual void ClearRows() = 0;
    virtual void AddRow(const std::string& caption, const std::string& status) = 0;
    virtual void SetRowStatus(int index, const std::string& status) = 0;

    // Memo1: append one log line.
    virtual void AppendLog(const std::string& line) = 0;

    // SpinEdit1.Value: the interval between cycles in seconds, read as typed.
    virtual int IntervalValue() = 0;

    // Button1 ("立即刷新") and Button2 ("设置").
    virtual void SetButton1Enabled(bool enabled) = 0;
    virtual void SetButton2Enabled(bool enabled) = 0;
};
