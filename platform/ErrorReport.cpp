#include "platform/ErrorReport.h"

#include "platform/Exception.h"
#include "platform/GbkText.h"
#include "platform/StandardError.h"

#include <mutex>

namespace {

std::mutex handlerLock;
ErrorReportHandler installedHandler;

void WriteToStandardError(const std::string& messageGbk) {
    WriteStandardError(GbkToUtf8(messageGbk) + "\n");
}

} // namespace

ErrorReportHandler SetErrorReportHandler(ErrorReportHandler handler) {
    std::lock_guard lock(handlerLock);
    ErrorReportHandler previous = std::move(installedHandler);
    installedHandler = std::move(handler);
    return previous;
}

void ShowErrorReport(const std::string& messageGbk) {
    ErrorReportHandler handler;
    {
        std::lock_guard lock(handlerLock);
        handler = installedHandler;
    }
    if (handler)
        handler(messageGbk);
    else
        WriteToStandardError(messageGbk);
}

void ReportCurrentException() {
    try {
        throw;
    } catch (const Exception& e) {
        ShowErrorReport(e.Message());
    } catch (const std::exception& e) {
        ShowErrorReport(e.what());
    } catch (...) {
        ShowErrorReport("Unknown exception");
    }
}
