#pragma once

#include "history/HistoryRecorder.h"
#include "platform/StandardError.h"

#include <memory>
#include <string>

class ProbeCycle;

// The monitor's settings file and its history, in the working directory beside servers.ini.
inline constexpr const char* kHistorySettingPath = "monitor.ini";
inline constexpr const char* kHistoryPath = "history.db";

// Reads monitor.ini's [History] and starts the history recorder on `cycle`, or gives nullptr
// when the setting switches it off. A setting that cannot be used is said in one line on
// standard error and the defaults are taken. A fault of the file is said in one line on standard
// error and, when the program shows windows, once in an error box; the monitor runs on either
// way.
std::unique_ptr<HistoryRecorder> StartHistory(ProbeCycle& cycle,
                                              const std::string& settingPath = kHistorySettingPath,
                                              const std::string& path = kHistoryPath);
