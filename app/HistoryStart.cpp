#include "app/HistoryStart.h"

#include "app/ErrorBox.h"
#include "history/HistorySetting.h"
#include "platform/GbkText.h"

#include <QGuiApplication>

std::unique_ptr<HistoryRecorder> StartHistory(ProbeCycle& cycle, const std::string& settingPath,
                                              const std::string& path) {
    const HistorySetting setting = ReadHistorySetting(settingPath);
    if (!setting.problem.empty())
        WriteStandardError(settingPath + ": [History] " + setting.problem +
                           "; the defaults are used\n");
    if (!setting.enabled)
        return nullptr;
    HistoryWriter::Options options;
    options.path = path;
    options.retention = setting.retention;
    auto line = [](const std::string& text) { WriteStandardError(text + "\n"); };
    auto notice = [shown = false](const std::string& text) mutable {
        if (shown || !ShowsWindows(QGuiApplication::platformName()))
            return;
        shown = true;
        ShowErrorBox(Utf8ToGbk(text));
    };
    return std::make_unique<HistoryRecorder>(cycle, std::move(options), line, notice);
}
