#pragma once

#include "metrics/ListenAddress.h"

#include <cstddef>
#include <string>
#include <string_view>

// What monitor.ini says about the endpoint.
struct MetricsSetting {
    enum class State {
        // No file, no [Metrics] section, no Listen key or an empty value: no endpoint.
        Off,
        On,
        // The file or the value cannot be used; `problem` says why.
        Unusable,
    };
    State state = State::Off;
    ListenAddress listen;
    std::string problem;
};

// The setting from INI text (GBK or ASCII): section [Metrics], key Listen, both found without
// regard to letter case.
MetricsSetting ParseMetricsSetting(std::string_view text);

// The largest monitor.ini that is read; a bigger file is Unusable.
inline constexpr std::size_t kMetricsSettingMaxBytes = 64 * 1024;

// The setting from the file at `path`. Only a regular file is read, and it is opened without
// waiting, so a pipe or a device at the path never holds up the caller: anything that is not a
// regular file is Unusable, as is a file that cannot be read or is larger than
// kMetricsSettingMaxBytes. No file at all is Off, as is a path through a file where a folder
// should be.
MetricsSetting ReadMetricsSetting(const std::string& path);
