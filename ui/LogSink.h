#pragma once

#include <string>

// Where the main window copies every log line besides its pane (the program's standard output).
// Called on the GUI thread, so neither call may wait for long.
class LogSink {
public:
    virtual ~LogSink() = default;

    // One log line, GBK bytes without a line end; lines arrive in the order they were logged.
    virtual void Write(const std::string& lineGbk) = 0;

    // The process is about to end: hands on what is still pending, waiting a short, bounded time
    // at most.
    virtual void Flush() = 0;
};
