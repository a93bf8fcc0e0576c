#pragma once

#include <functional>
#include <string>

// The program's default error report: an exception that escapes a handler run by the event loop
// ends up here. The application installs a handler that shows a modal error box; until then (and
// in tests that install nothing) the message is written to standard error.
//
// The handler receives the exception's message as GBK bytes. It runs on the calling thread; only
// the GUI thread reports errors.
using ErrorReportHandler = std::function<void(const std::string& messageGbk)>;

// Installs `handler` and returns the previous one. An empty handler restores the default.
ErrorReportHandler SetErrorReportHandler(ErrorReportHandler handler);

// Reports a message through the installed handler.
void ShowErrorReport(const std::string& messageGbk);

// Reports the exception that is currently being handled (call only inside a catch block).
void ReportCurrentException();

// Runs `body`; an exception escaping it is reported and does not propagate. Returns true when
// the body ran to its end. This is the boundary to put around every handler that Qt calls, so
// that no exception unwinds through Qt's frames.
template <class Body> bool RunGuarded(Body&& body) noexcept {
    try {
        body();
        return true;
    } catch (...) {
        ReportCurrentException();
        return false;
    }
}
