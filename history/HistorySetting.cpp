#include "history/HistorySetting.h"

#include "platform/ErrorText.h"
#include "storage/BoundedFile.h"
#include "storage/MemIniFile.h"

#include <charconv>

namespace {

constexpr std::size_t kMaxBytes = 64 * 1024;

void ReadDays(TMemIniFile& ini, const char* key, int low, int high, int& days,
              std::string& problem) {
    const std::string text = ini.GetStr("History", key, "");
    if (text.empty())
        return;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        problem += std::string(problem.empty() ? "" : "; ") + key + "=" + text +
                   " is not a number of days from " + std::to_string(low) + " to " +
                   std::to_string(high);
        return;
    }
    days = value;
}

} // namespace

HistorySetting ParseHistorySetting(std::string_view text) {
    TMemIniFile ini("");
    ini.SetText(text);
    HistorySetting setting;
    const std::string enabled = ini.GetStr("History", "Enabled", "");
    if (enabled == "0")
        setting.enabled = false;
    else if (!enabled.empty() && enabled != "1")
        setting.problem = "Enabled=" + enabled + " is neither 1 nor 0";
    HistoryRetention& r = setting.retention;
    ReadDays(ini, "DetailDays", 0, 3650, r.detailDays, setting.problem);
    ReadDays(ini, "HourlyDays", 1, 3650, r.hourlyDays, setting.problem);
    ReadDays(ini, "RollupDays", 1, 36500, r.rollupDays, setting.problem);
    ReadDays(ini, "OutageDays", kMinOutageDays, 36500, r.outageDays, setting.problem);
    return setting;
}

HistorySetting ReadHistorySetting(const std::string& path) {
    BoundedFileRead file = ReadBoundedFile(path, kMaxBytes);
    HistorySetting setting;
    switch (file.outcome) {
    case BoundedFileRead::Outcome::Read:
        return ParseHistorySetting(file.text);
    case BoundedFileRead::Outcome::Missing:
        return setting;
    case BoundedFileRead::Outcome::NotRegular:
        setting.problem = "is not a regular file";
        break;
    case BoundedFileRead::Outcome::TooLarge:
        setting.problem = "is larger than " + std::to_string(kMaxBytes) + " bytes";
        break;
    case BoundedFileRead::Outcome::CannotOpen:
        if (file.error == ENOTDIR)
            return setting;
        setting.problem = "cannot be opened: " + ErrnoText(file.error);
        break;
    case BoundedFileRead::Outcome::CannotRead:
        setting.problem = "cannot be read: " + ErrnoText(file.error);
        break;
    }
    return setting;
}
