#include "app/ErrorBox.h"

#include "platform/AppInfo.h"
#include "platform/ErrorReport.h"
#include "platform/StandardError.h"
#include "platform/qt/QtText.h"

#include <QApplication>
#include <QMessageBox>

#include <algorithm>

namespace {

ErrorBoxRunner& InstalledRunner() {
    static ErrorBoxRunner runner;
    return runner;
}

void RunMessageBox(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setObjectName("ErrorBox");
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace

ErrorBoxRunner SetErrorBoxRunner(ErrorBoxRunner runner) {
    ErrorBoxRunner previous = std::move(InstalledRunner());
    InstalledRunner() = std::move(runner);
    return previous;
}

void ShowErrorBox(const std::string& messageGbk) {
    const QString caption = GbkToQString(kDisplayName);
    const QString text = GbkToQString(messageGbk);
    if (InstalledRunner())
        InstalledRunner()(caption, text);
    else
        RunMessageBox(caption, text);
}

bool ShowsWindows(const QString& platformName) {
    return platformName != QLatin1String("offscreen") && platformName != QLatin1String("minimal");
}

void WriteErrorLine(const std::string& messageGbk) {
    std::string line = GbkToUtf8(std::string(kDisplayName) + ": " + messageGbk);
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    line.push_back('\n');
    WriteStandardError(line);
}

void InstallErrorBox() {
    if (ShowsWindows(QGuiApplication::platformName()))
        SetErrorReportHandler(ShowErrorBox);
    else
        SetErrorReportHandler(WriteErrorLine);
}
