#include "metrics/MetricsSetting.h"

#include "platform/ErrorText.h"
#include "storage/BoundedFile.h"
#include "storage/MemIniFile.h"

#include <cerrno>

MetricsSetting ParseMetricsSetting(std::string_view text) {
    TMemIniFile ini("");
    ini.SetText(text);
    MetricsSetting setting;
    const std::string value = ini.GetStr("Metrics", "Listen", "");
    if (value.empty())
        return setting;
    auto parsed = ParseListen(value);
    if (auto* error = std::get_if<ListenError>(&parsed)) {
        setting.state = MetricsSetting::State::Unusable;
        setting.problem = error->reason;
    } else {
        setting.state = MetricsSetting::State::On;
        setting.listen = std::get<ListenAddress>(parsed);
    }
    return setting;
}

MetricsSetting ReadMetricsSetting(const std::string& path) {
    BoundedFileRead file = ReadBoundedFile(path, kMetricsSettingMaxBytes);
    MetricsSetting unusable;
    unusable.state = MetricsSetting::State::Unusable;
    switch (file.outcome) {
    case BoundedFileRead::Outcome::Read:
        return ParseMetricsSetting(file.text);
    case BoundedFileRead::Outcome::Missing:
        return MetricsSetting{};
    case BoundedFileRead::Outcome::NotRegular:
        unusable.problem = "is not a regular file";
        break;
    case BoundedFileRead::Outcome::TooLarge:
        unusable.problem = "is larger than " + std::to_string(kMetricsSettingMaxBytes) + " bytes";
        break;
    case BoundedFileRead::Outcome::CannotOpen:
        // A file where a folder of the path should be: no monitor.ini either.
        if (file.error == ENOTDIR)
            return MetricsSetting{};
        unusable.problem = "cannot be opened: " + ErrnoText(file.error);
        break;
    case BoundedFileRead::Outcome::CannotRead:
        unusable.problem = "cannot be read: " + ErrnoText(file.error);
        break;
    }
    return unusable;
}
