#pragma once

#include "engine/MonitorView.h"

#include <functional>
#include <string>
#include <vector>

// A MonitorView that records what the engine does to the window.
class FakeView : public MonitorView {
public:
    struct Row {
        std::string caption;
        std::string status;
    };

    std::vector<Row> rows;
    // Every status write as "index:status", in order.
    std::vector<std::string> statusWrites;
    std::vector<std::string> log;
    // Every button change as "1+" / "1-" / "2+" / "2-", in order.
    std::vector<std::string> buttons;
    int interval = 60;
    int intervalReads = 0;
    bool button1 = true;
    bool button2 = true;
    // Whether both buttons were disabled when each log line arrived.
    std::vector<bool> buttonsOffAtLog;
    // Runs after a line is recorded; may throw to play a failing window.
    std::function<void(const std::string& line)> onLog;

    void ClearRows() override { rows.clear(); }
    void AddRow(const std::string& caption, const std::string& status) override {
        rows.push_back({caption, status});
    }
    void SetRowStatus(int index, const std::string& status) override {
        statusWrites.push_back(std::to_string(index) + ":" + status);
        if (index >= 0 && index < static_cast<int>(rows.size()))
            rows[index].status = status;
    }
    void AppendLog(const std::string& line) override {
        log.push_back(line);
        buttonsOffAtLog.push_back(!button1 && !button2);
        if (onLog)
            onLog(line);
    }
    int IntervalValue() override {
        ++intervalReads;
        return interval;
    }
    void SetButton1Enabled(bool enabled) override {
        button1 = enabled;
        buttons.push_back(enabled ? "1+" : "1-");
    }
    void SetButton2Enabled(bool enabled) override {
        button2 = enabled;
        buttons.push_back(enabled ? "2+" : "2-");
    }
};
